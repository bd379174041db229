// Wall time and page faults of one piece of work.
#pragma once

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <vector>

struct Measurement {
    double seconds = 0;
    long faults = 0;  // minor and major page faults while it ran
};

inline long PageFaults() {
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt + usage.ru_majflt;
}

template <typename Work>
Measurement Measure(Work work) {
    Measurement m;
    long faults = PageFaults();
    auto start = std::chrono::steady_clock::now();
    work();
    m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    m.faults = PageFaults() - faults;
    return m;
}

// The first run of some work and the runs after it.
struct Runs {
    Measurement first;
    std::vector<Measurement> later;

    double Best() const {
        double best = 1e300;
        for (const Measurement& m : later) best = std::min(best, m.seconds);
        return later.empty() ? first.seconds : best;
    }
    // The page faults of the last run: what repeating the work settles to.
    long LastFaults() const { return later.empty() ? first.faults : later.back().faults; }
};
