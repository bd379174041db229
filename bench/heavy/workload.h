// What the heavy benchmark asks of both sides: the fields, and the comparison of the results.
#pragma once

#include <array>
#include <vector>

using Point = std::array<double, 3>;

enum BenchField { kDensity = 0, kEnergy = 1, kMomentum = 2 };
const int kBenchFieldCount = 3;
extern const char* const kFieldNames[kBenchFieldCount];

// How closely two sets of lines agree, line by line.
struct LineAgreement {
    int lines = 0;             // lines compared (the larger set's count)
    int countMismatches = 0;   // lines whose point counts differ
    int seedMismatches = 0;    // lines whose first points differ at all
    double endDistance = 0;    // largest distance between the last points
    double pointDistance = 0;  // largest distance between points of the same number
};
LineAgreement CompareLines(const std::vector<std::vector<Point>>& a,
                           const std::vector<std::vector<Point>>& b, double seedTolerance);

// Midpoint steps the lines took: every point but the seed is one, and the step that left the
// mesh one more, unless `maxSteps` ended the line.
long StepsTaken(const std::vector<std::vector<Point>>& lines, int maxSteps);
