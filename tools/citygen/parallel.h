// Loops over independent work units on all cores (oneTBB). Every unit is computed alone and
// sums are formed per unit and then added in unit order, so results never depend on the
// number of threads.
#pragma once

#include <tbb/blocked_range.h>
#include <tbb/global_control.h>
#include <tbb/parallel_for.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace citygen {

// Limits the loops below to `threads` threads while it lives; 0 leaves them unlimited.
class ThreadLimit {
public:
    explicit ThreadLimit(int threads) {
        if (threads > 0) {
            control = std::make_unique<tbb::global_control>(
                tbb::global_control::max_allowed_parallelism, size_t(threads));
        }
    }

private:
    std::unique_ptr<tbb::global_control> control;
};

// Calls work(i) for every i in [begin, end); the calls must touch disjoint data.
template <typename Work>
void ParallelFor(int begin, int end, const Work& work) {
    if (end <= begin) return;
    tbb::parallel_for(tbb::blocked_range<int>(begin, end), [&](const tbb::blocked_range<int>& r) {
        for (int i = r.begin(); i != r.end(); ++i) work(i);
    });
}

// The sum of part(i) over [begin, end), added in the order of i.
template <typename Part>
double SumOver(int begin, int end, const Part& part) {
    std::vector<double> parts(std::max(end - begin, 0));
    ParallelFor(begin, end, [&](int i) { parts[i - begin] = part(i); });
    double sum = 0.0;
    for (double p : parts) sum += p;
    return sum;
}

// The largest part(i) over [begin, end); 0 for an empty range.
template <typename Part>
double MaxOver(int begin, int end, const Part& part) {
    std::vector<double> parts(std::max(end - begin, 0), 0.0);
    ParallelFor(begin, end, [&](int i) { parts[i - begin] = part(i); });
    double largest = 0.0;
    for (double p : parts) largest = std::max(largest, p);
    return largest;
}

}  // namespace citygen
