// How far a long piece of work has got, and a way to ask it to stop. The work advances
// `done` towards `total` and looks at `cancelled` between its units (blocks, lines); any
// thread may read the counts and set the flag.
#pragma once

#include <atomic>
#include <cstdint>

struct Progress {
    std::atomic<bool> cancelled{false};
    std::atomic<uint64_t> done{0};
    std::atomic<uint64_t> total{0};

    bool Cancelled() const { return cancelled.load(std::memory_order_relaxed); }
};
