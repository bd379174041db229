// The staggered arrangement of the flow unknowns on the grid: pressure and eddy viscosity
// at cell centres, each velocity component on the cell faces normal to it. Cells and faces
// share one index space padded by two layers on every side, so stencils need no bounds
// tests: index At(i, j, k) is cell (i, j, k) and also its lower face on each axis.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/citygen/grid.h"

namespace citygen {

// What a face position holds, for one velocity component.
enum FaceKind : uint8_t {
    kFaceDead,     // inside a building: no value, no flow
    kFaceOpen,     // between two air cells: solved for
    kFaceWall,     // between air and a building or a closed side of the domain: velocity 0
    kFaceInlet,    // on the upwind side: the approaching wind, given
    kFaceOutlet,   // on the downwind side: where the flow leaves
    kGhostFloor,   // beside a face, below the floor: a rough wall
    kGhostFree,    // above the ceiling, beyond the sides across the wind: free slip
    kGhostInlet,   // upwind of the domain: air that does not move across the wind
    kGhostOutlet,  // downwind of the domain: no change along the wind
};

// True for faces that carry a velocity value (possibly the wall's 0).
inline bool HasValue(uint8_t kind) {
    return kind == kFaceOpen || kind == kFaceWall || kind == kFaceInlet || kind == kFaceOutlet;
}

struct Staggered {
    static constexpr int kPad = 2;

    Index n;                                   // cells per axis
    Vec3 h;                                    // cell size per axis
    std::array<ptrdiff_t, 3> stride;           // padded index step per axis
    size_t size = 0;                           // padded index count
    std::vector<uint8_t> air;                  // per padded cell: 1 for an air cell
    std::array<std::vector<uint8_t>, 3> kind;  // per axis and padded face: a FaceKind

    size_t At(int i, int j, int k) const {
        return size_t(i + kPad) + stride[1] * (j + kPad) + stride[2] * (k + kPad);
    }
    double Area(int axis) const { return h[(axis + 1) % 3] * h[(axis + 2) % 3]; }
    double Volume() const { return h[0] * h[1] * h[2]; }
};

Staggered MakeStaggered(const Grid& g);

// A padded field of the staggered index space, zero everywhere.
inline std::vector<double> Field(const Staggered& s) {
    return std::vector<double>(s.size, 0.0);
}

}  // namespace citygen
