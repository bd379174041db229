#include "tools/citygen/planeflow.h"

#include <algorithm>

#include "tools/citygen/parallel.h"

namespace citygen {
namespace {

// One node plane across axis a, in numbers of its own: faces ib + nb ic, nodes
// ib + (nb + 1) ic, with ib, ic along the axes b = a + 1 and c = a + 2.
struct Plane {
    int nb, nc;
    std::vector<double> shortfall;   // per face: its flux less what interpolation passes
    std::vector<double> freeWeight;  // per face: weight of its free corners; -1 without flow
    std::vector<double> weight;      // per node: its weight summed over the faces with flow
    std::vector<uint8_t> free;       // per node: 1 when not held at zero
    std::vector<double> share;       // per node: flux given to it

    size_t Corner(size_t face, int k) const {  // corner k = 00, 10, 11, 01
        const size_t ib = face % nb + (k == 1 || k == 2), ic = face / nb + (k >= 2);
        return ib + size_t(nb + 1) * ic;
    }
};

constexpr double kWeight[4] = {1.0 / 3.0, 1.0 / 6.0, 1.0 / 3.0, 1.0 / 6.0};
constexpr double kFewFree = 0.4;  // below: a face with one free corner or none
constexpr size_t kTakers = 8;     // free nodes that share the flux of such a face

// Gives the shortfall of `face`, which has one free corner or none, to the free corners of
// itself and the nearest faces (breadth first through faces with flow, ring by ring until
// kTakers nodes are found), raising them all by the same amount.
void HandOver(Plane& pl, size_t face) {
    std::vector<size_t> ring{face}, seen{face}, takers;
    for (int k = 0; k < 4; ++k) {
        if (pl.free[pl.Corner(face, k)]) takers.push_back(pl.Corner(face, k));
    }
    while (!ring.empty() && takers.size() < kTakers) {
        std::vector<size_t> next;
        for (size_t f : ring) {
            const int ib = int(f % pl.nb), ic = int(f / pl.nb);
            const int steps[4][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
            for (const auto& d : steps) {
                const int jb = ib + d[0], jc = ic + d[1];
                if (jb < 0 || jb >= pl.nb || jc < 0 || jc >= pl.nc) continue;
                const size_t g = jb + size_t(pl.nb) * jc;
                if (pl.freeWeight[g] < 0.0 || std::count(seen.begin(), seen.end(), g)) continue;
                seen.push_back(g);
                next.push_back(g);
                for (int k = 0; k < 4; ++k) {
                    const size_t node = pl.Corner(g, k);
                    if (pl.free[node] && !std::count(takers.begin(), takers.end(), node)) {
                        takers.push_back(node);
                    }
                }
            }
        }
        ring = std::move(next);
    }
    double total = 0.0;
    for (size_t node : takers) total += pl.weight[node];
    for (size_t node : takers) pl.share[node] += pl.shortfall[face] * pl.weight[node] / total;
}

}  // namespace

void MatchPlaneFlow(const Grid& g, const WindField& w, const std::vector<uint8_t>& wallAxes, int a,
                    std::vector<double>& velocity) {
    const int b = (a + 1) % 3, c = (a + 2) % 3;
    const Staggered& s = w.grid;
    ParallelFor(0, g.n[a] + 1, [&](int plane) {
        Plane pl{g.n[b], g.n[c], {}, {}, {}, {}, {}};
        const size_t faces = size_t(pl.nb) * pl.nc, nodes = size_t(pl.nb + 1) * (pl.nc + 1);
        pl.shortfall.assign(faces, 0.0);
        pl.freeWeight.assign(faces, -1.0);
        pl.weight.assign(nodes, 0.0);
        pl.share.assign(nodes, 0.0);
        pl.free.resize(nodes);
        std::vector<size_t> node(nodes);  // grid node of each plane node
        Index p;
        p[a] = plane;
        for (p[c] = 0; p[c] <= pl.nc; ++p[c]) {
            for (p[b] = 0; p[b] <= pl.nb; ++p[b]) {
                const size_t local = p[b] + size_t(pl.nb + 1) * p[c];
                node[local] = g.Node(p);
                pl.free[local] = !((wallAxes[node[local]] >> a) & 1);
            }
        }
        for (p[c] = 0; p[c] < pl.nc; ++p[c]) {
            for (p[b] = 0; p[b] < pl.nb; ++p[b]) {
                const size_t face = p[b] + size_t(pl.nb) * p[c];
                const size_t f = s.At(p[0], p[1], p[2]);
                const uint8_t kind = s.kind[a][f];
                if (kind != kFaceOpen && kind != kFaceInlet && kind != kFaceOutlet) continue;
                pl.shortfall[face] = w.velocity[a][f];
                pl.freeWeight[face] = 0.0;
                for (int k = 0; k < 4; ++k) {
                    const size_t corner = pl.Corner(face, k);
                    pl.shortfall[face] -= kWeight[k] * velocity[node[corner]];
                    pl.weight[corner] += kWeight[k];
                    if (pl.free[corner]) pl.freeWeight[face] += kWeight[k];
                }
            }
        }
        for (size_t face = 0; face < faces; ++face) {
            if (pl.freeWeight[face] < 0.0) continue;
            if (pl.freeWeight[face] < kFewFree) {
                HandOver(pl, face);
            } else {
                for (int k = 0; k < 4; ++k) {
                    const size_t corner = pl.Corner(face, k);
                    if (!pl.free[corner]) continue;
                    pl.share[corner] += pl.shortfall[face] * kWeight[k] / pl.freeWeight[face];
                }
            }
        }
        for (size_t local = 0; local < nodes; ++local) {
            if (pl.weight[local] > 0.0) velocity[node[local]] += pl.share[local] / pl.weight[local];
        }
    });
}

}  // namespace citygen
