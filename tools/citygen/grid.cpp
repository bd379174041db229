#include "tools/citygen/grid.h"

#include <cmath>
#include <utility>

namespace citygen {
namespace {

// Cell range [first, last) on `axis` of the building faces lo and hi. The layout keeps
// every building inside the grid with air above it at all sizes used.
std::pair<int, int> Snap(const Grid& g, int axis, double lo, double hi) {
    const double scale = 1.0 / g.h[axis];
    int first = int(std::lround((lo - kLo[axis]) * scale));
    int last = int(std::lround((hi - kLo[axis]) * scale));
    if (last <= first) {
        first = int(std::floor((0.5 * (lo + hi) - kLo[axis]) * scale));
        last = first + 1;
    }
    return {first, last};
}

void FillBuilding(Grid& g, const Box& b) {
    std::array<std::pair<int, int>, 3> r;
    Box snapped;
    for (int a = 0; a < 3; ++a) {
        r[a] = Snap(g, a, b.lo[a], b.hi[a]);
        snapped.lo[a] = g.Coord(a, r[a].first);
        snapped.hi[a] = g.Coord(a, r[a].second);
    }
    g.buildings.push_back(snapped);
    Index c;
    for (c[2] = r[2].first; c[2] < r[2].second; ++c[2]) {
        for (c[1] = r[1].first; c[1] < r[1].second; ++c[1]) {
            for (c[0] = r[0].first; c[0] < r[0].second; ++c[0]) g.solid[g.Cell(c)] = 1;
        }
    }
}

}  // namespace

Grid MakeGrid(const Index& n, const std::vector<Box>& city, int downwind) {
    Grid g;
    g.n = n;
    for (int a = 0; a < 3; ++a) g.h[a] = (kHi[a] - kLo[a]) / n[a];
    g.n[0] += downwind;
    g.stride = {1, size_t(g.n[0] + 1), size_t(g.n[0] + 1) * size_t(g.n[1] + 1)};
    g.solid.assign(size_t(g.n[0]) * g.n[1] * g.n[2], 0);
    for (const Box& b : city) FillBuilding(g, b);
    return g;
}

}  // namespace citygen
