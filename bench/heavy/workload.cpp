#include "bench/heavy/workload.h"

#include <algorithm>
#include <cmath>

const char* const kFieldNames[kBenchFieldCount] = {"density", "energy", "momentum"};

namespace {

double Distance(const Point& a, const Point& b) {
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                     (a[2] - b[2]) * (a[2] - b[2]));
}

}  // namespace

LineAgreement CompareLines(const std::vector<std::vector<Point>>& a,
                           const std::vector<std::vector<Point>>& b, double seedTolerance) {
    LineAgreement agreement;
    agreement.lines = (int)std::max(a.size(), b.size());
    for (size_t i = 0; i < (size_t)agreement.lines; ++i) {
        static const std::vector<Point> kNone;
        const std::vector<Point>& x = i < a.size() ? a[i] : kNone;
        const std::vector<Point>& y = i < b.size() ? b[i] : kNone;
        if (x.size() != y.size()) ++agreement.countMismatches;
        if (x.empty() || y.empty()) continue;
        if (Distance(x.front(), y.front()) > seedTolerance) ++agreement.seedMismatches;
        agreement.endDistance = std::max(agreement.endDistance, Distance(x.back(), y.back()));
        for (size_t k = 0; k < std::min(x.size(), y.size()); ++k) {
            agreement.pointDistance = std::max(agreement.pointDistance, Distance(x[k], y[k]));
        }
    }
    return agreement;
}

long StepsTaken(const std::vector<std::vector<Point>>& lines, int maxSteps) {
    long steps = 0;
    for (const std::vector<Point>& line : lines) {
        long points = (long)line.size();
        steps += points > maxSteps ? points - 1 : points;
    }
    return steps;
}
