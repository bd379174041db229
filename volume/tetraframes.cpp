#include "volume/tetraframes.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// How far beyond the exact test's bounds a float weight must lie to reject. A frame is kept
// only while its rounding, bounded below, stays under half of this; the other half covers the
// exact test's own rounding, which for the tetrahedra that get a box is smaller by far.
const double kMargin = 0.01;
// Unit roundoff of floats and of doubles.
const double kFloatUnit = 0x1p-24;
const double kDoubleUnit = 0x1p-53;

}  // namespace

TetraFrames::TetraFrames(Arena* arena, uint32_t count, const double* from, double lowest,
                         double highest)
    : low(std::nextafter((float)(lowest - kMargin), -INFINITY)),
      high(std::nextafter((float)(highest + kMargin), INFINITY)) {
    for (int a = 0; a < 3; ++a) origin[a] = from[a];
    frames.Allocate(arena, count);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    TetraFrame none;
    std::fill(&none.column[0][0], &none.column[0][0] + 16, nan);
    std::fill(frames.data, frames.data + count, none);
}

void TetraFrames::Set(uint32_t i, const WeightPlanes& planes, double entryScale,
                      const double* boxLow, const double* boxHigh) {
    // Weight k + 1 = (p - corner) . row[k] and weight 0 = 1 - their sum, rewritten about the
    // origin: gradient[k] . (p - origin) + offset[k].
    double gradient[4][3], offset[4];
    planes.Gradients(gradient);
    double reach[3];  // the farthest any accepted point lies from the origin, per axis
    for (int a = 0; a < 3; ++a) {
        reach[a] = std::max(std::fabs(boxLow[a] - origin[a]), std::fabs(boxHigh[a] - origin[a]));
    }
    for (int k = 0; k < 4; ++k) {
        offset[k] = k == 0 ? 1 : 0;
        for (int a = 0; a < 3; ++a) offset[k] -= gradient[k][a] * (planes.corner[a] - origin[a]);
    }
    // Rounding of a float weight: the point and the frame rounded to floats and the float
    // sums (8 float units of each term); the planes' own double arithmetic (cofactors over
    // the determinant, a few double units of edge^2 / |det| per entry, three of them summed
    // for weight 0).
    const double reachSum = reach[0] + reach[1] + reach[2];
    const double entryError = 3 * 16 * kDoubleUnit * entryScale;
    double error = 0;
    for (int k = 0; k < 4; ++k) {
        double terms = std::fabs(offset[k]);
        for (int a = 0; a < 3; ++a) terms += std::fabs(gradient[k][a]) * reach[a];
        error = std::max(error, 8 * kFloatUnit * terms + 2 * entryError * reachSum);
    }
    // Twice that for safety. NaN and infinite sizes fail.
    if (!(2 * error <= kMargin / 2)) return;
    for (int k = 0; k < 4; ++k) {
        for (int a = 0; a < 3; ++a) frames[i].column[a][k] = (float)gradient[k][a];
        frames[i].column[3][k] = (float)offset[k];
    }
}
