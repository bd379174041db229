// A quick, conservative inside test for point location, between the index's boxes and the
// exact test: each tetrahedron's barycentric weights as affine functions of the point, in
// floats, all of a block's in one array in tetrahedron order. One 48-byte read and a dozen
// multiplications reject a candidate that the exact test would need its four corners for.
// It never rejects a tetrahedron that the exact test would accept: a tetrahedron whose frame
// cannot promise that gets a frame that rejects nothing.
#pragma once

#include <cstdint>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "volume/arena.h"
#include "volume/cellindex.h"

// Weight k of a point r (relative to the frames' origin) is the sum over axes a of
// column[a][k] * r[a], plus column[3][k]: four weights side by side, for one vector
// multiply-add per axis. One cache line.
struct alignas(64) TetraFrame {
    float column[4][4];
};

class TetraFrames {
public:
    // Frames for `count` tetrahedra, all rejecting nothing until set, for an exact test that
    // accepts weights in [low, high]. `origin` should lie near the tetrahedra.
    TetraFrames(Arena* arena, uint32_t count, const double* origin, double low, double high);
    TetraFrames() = default;  // no tetrahedra

    // Sets tetrahedron i's frame from its weight planes, given the largest edge component
    // squared over |det| (the scale of the planes' own rounding) and a box that holds every
    // point that the exact test accepts for it. A frame whose float rounding could reject
    // such a point is left rejecting nothing.
    void Set(uint32_t i, const WeightPlanes& planes, double entryScale, const double* boxLow,
             const double* boxHigh);

    // The point relative to the origin, as Rejects takes it.
    void Relative(const double* point, float* r) const {
        for (int a = 0; a < 3; ++a) r[a] = (float)(point[a] - origin[a]);
    }
    // True when tetrahedron i cannot hold the point r within the exact test's tolerance. A NaN
    // anywhere rejects nothing.
    bool Rejects(uint32_t i, const float* r) const {
        const TetraFrame& f = frames[i];
#if defined(__SSE2__)
        __m128 w = _mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_load_ps(f.column[0]), _mm_set1_ps(r[0])),
                                         _mm_mul_ps(_mm_load_ps(f.column[1]), _mm_set1_ps(r[1]))),
                              _mm_add_ps(_mm_mul_ps(_mm_load_ps(f.column[2]), _mm_set1_ps(r[2])),
                                         _mm_load_ps(f.column[3])));
        __m128 out =
            _mm_or_ps(_mm_cmplt_ps(w, _mm_set1_ps(low)), _mm_cmpgt_ps(w, _mm_set1_ps(high)));
        return _mm_movemask_ps(out) != 0;
#else
        bool out = false;
        for (int k = 0; k < 4; ++k) {
            float w = f.column[0][k] * r[0] + f.column[1][k] * r[1] +
                      (f.column[2][k] * r[2] + f.column[3][k]);
            out |= (w < low) | (w > high);
        }
        return out;
#endif
    }
    const TetraFrame* Address(uint32_t i) const {
        return &frames[i];
    }

    uint64_t MemoryBytes() const {
        return sizeof *this + frames.size * sizeof(TetraFrame);
    }

private:
    double origin[3] = {0, 0, 0};
    float low = 0;  // the exact test's bounds widened by the margin, as floats
    float high = 0;
    ArenaArray<TetraFrame> frames;
};
