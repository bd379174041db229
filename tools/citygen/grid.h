// The regular grid of cells that the city is snapped to; nodes are the cell corners.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/citygen/layout.h"

namespace citygen {

using Index = std::array<int, 3>;  // a node or cell position (i, j, k)

struct Grid {
    Index n;                       // cells per axis
    Vec3 h;                        // cell size per axis, world units
    std::array<size_t, 3> stride;  // node index step per axis
    std::vector<uint8_t> solid;    // per cell: 1 inside a building
    std::vector<Box> buildings;    // the buildings as snapped to the grid, world units

    size_t Nodes() const { return stride[2] * size_t(n[2] + 1); }
    size_t Node(const Index& p) const { return p[0] + stride[1] * p[1] + stride[2] * p[2]; }
    size_t Cell(const Index& c) const { return c[0] + size_t(n[0]) * (c[1] + size_t(n[1]) * c[2]); }
    double Coord(int axis, int i) const { return kLo[axis] + h[axis] * i; }

    // False outside the grid, so the domain's faces behave like solid walls.
    bool Air(const Index& c) const {
        for (int a = 0; a < 3; ++a) {
            if (c[a] < 0 || c[a] >= n[a]) return false;
        }
        return !solid[Cell(c)];
    }

    Index NodePosition(size_t id) const {
        return {int(id % stride[1]), int(id / stride[1] % (n[1] + 1)), int(id / stride[2])};
    }
};

// The grid of n cells over the domain with the city's buildings snapped to it: each face
// of a building moves to its nearest grid line, and a building thinner than a cell keeps
// the cell around its middle. With `downwind` > 0 the grid goes on for that many more
// cells of the same size past the domain's downwind side (x = max).
Grid MakeGrid(const Index& n, const std::vector<Box>& city, int downwind = 0);

}  // namespace citygen
