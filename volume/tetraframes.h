// A quick, conservative inside test for point location, between the index's boxes and the
// exact test: each tetrahedron's barycentric weights as affine functions of the point, in
// floats, all of a block's in one array in tetrahedron order. One 48-byte read and a dozen
// multiplications reject a candidate that the exact test would need its four corners for.
// It never rejects a tetrahedron that the exact test would accept: a tetrahedron whose frame
// cannot promise that gets a frame that rejects nothing.
#pragma once

#include <cstdint>

#include "volume/arena.h"

// Weight k + 1 of a point r (relative to the frames' origin) is row[k][0..2] . r + row[k][3];
// weight 0 is one minus the other three.
struct TetraFrame {
    float row[3][4];
};

class TetraFrames {
public:
    // Frames for `count` tetrahedra, all rejecting nothing until set, for an exact test that
    // accepts weights in [low, high]. `origin` should lie near the tetrahedra.
    TetraFrames(Arena* arena, uint32_t count, const double* origin, double low, double high);

    // Sets tetrahedron i's frame from its corner 0, its edges from that corner (as columns)
    // and their determinant, given a box that holds every point that the exact test accepts
    // for it. A frame whose float rounding could reject such a point is left rejecting nothing.
    void Set(uint32_t i, const double* corner, const double edge[3][3], double det,
             const double* boxLow, const double* boxHigh);

    // The point relative to the origin, as Rejects takes it.
    void Relative(const double* point, float* r) const {
        for (int a = 0; a < 3; ++a) r[a] = (float)(point[a] - origin[a]);
    }
    // True when tetrahedron i cannot hold the point r within the exact test's tolerance. A NaN
    // anywhere rejects nothing.
    bool Rejects(uint32_t i, const float* r) const {
        const TetraFrame& f = frames[i];
        float w[4];
        for (int k = 0; k < 3; ++k) {
            w[k + 1] = f.row[k][0] * r[0] + f.row[k][1] * r[1] + f.row[k][2] * r[2] + f.row[k][3];
        }
        w[0] = 1.0f - (w[1] + w[2] + w[3]);
        bool out = false;
        for (float x : w) out |= (x < low) | (x > high);
        return out;
    }
    const TetraFrame* Address(uint32_t i) const { return &frames[i]; }

    uint64_t MemoryBytes() const { return sizeof *this + frames.size * sizeof(TetraFrame); }

private:
    double origin[3];
    float low;  // the exact test's bounds widened by the margin, as floats
    float high;
    ArenaArray<TetraFrame> frames;
};
