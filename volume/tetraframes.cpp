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

void Cross(const double* a, const double* b, double* out) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

}  // namespace

TetraFrames::TetraFrames(Arena* arena, uint32_t count, const double* from, double lowest,
                         double highest)
    : low(std::nextafter((float)(lowest - kMargin), -INFINITY)),
      high(std::nextafter((float)(highest + kMargin), INFINITY)) {
    for (int a = 0; a < 3; ++a) origin[a] = from[a];
    frames.Allocate(arena, count);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    TetraFrame none;
    std::fill(&none.row[0][0], &none.row[0][0] + 12, nan);
    std::fill(frames.data, frames.data + count, none);
}

void TetraFrames::Set(uint32_t i, const double* corner, const double edge[3][3], double det,
                      const double* boxLow, const double* boxHigh) {
    // Weight k + 1 = (p - corner) . (edge[k+1] x edge[k+2]) / det, as the exact test's Cramer
    // rule has it, rewritten about the origin.
    double row[3][4];
    double reach[3];  // the farthest any accepted point lies from the origin, per axis
    double largestEdge = 0;
    for (int a = 0; a < 3; ++a) {
        reach[a] = std::max(std::fabs(boxLow[a] - origin[a]), std::fabs(boxHigh[a] - origin[a]));
        for (int k = 0; k < 3; ++k) largestEdge = std::max(largestEdge, std::fabs(edge[k][a]));
    }
    for (int k = 0; k < 3; ++k) {
        Cross(edge[(k + 1) % 3], edge[(k + 2) % 3], row[k]);
        row[k][3] = 0;
        for (int a = 0; a < 3; ++a) {
            row[k][a] /= det;
            row[k][3] -= row[k][a] * (corner[a] - origin[a]);
        }
    }
    // Rounding of a float weight: the point and the frame rounded to floats and the float
    // sums (8 float units of each term); the frame's own double arithmetic (cofactors over
    // the determinant, at most a few double units of edge^2 / |det| per entry).
    const double reachSum = reach[0] + reach[1] + reach[2];
    const double entryError = 16 * kDoubleUnit * largestEdge * largestEdge / std::fabs(det);
    double error = 12 * kFloatUnit;  // weight 0's own subtractions
    for (int k = 0; k < 3; ++k) {
        double terms = std::fabs(row[k][3]);
        for (int a = 0; a < 3; ++a) terms += std::fabs(row[k][a]) * reach[a];
        error += 8 * kFloatUnit * terms + 2 * entryError * reachSum;
    }
    // Weight 0 sums all three errors; twice that for safety. NaN and infinite sizes fail.
    if (!(2 * error <= kMargin / 2)) return;
    for (int k = 0; k < 3; ++k) {
        for (int c = 0; c < 4; ++c) frames[i].row[k][c] = (float)row[k][c];
    }
}
