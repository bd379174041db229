// Work on several threads: the thread count, sharing out pieces of work, printing their text in
// order, and the arena that the volume's derived arrays come from.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "volume/arena.h"
#include "volume/parallel.h"

namespace {

// Sets VELMORA_THREADS for the life of the object, then restores it.
class ThreadsVariable {
public:
    explicit ThreadsVariable(const char* value) {
        if (const char* old = std::getenv("VELMORA_THREADS")) saved = old, had = true;
        if (value) {
            setenv("VELMORA_THREADS", value, 1);
        } else {
            unsetenv("VELMORA_THREADS");
        }
    }
    ~ThreadsVariable() {
        if (had) {
            setenv("VELMORA_THREADS", saved.c_str(), 1);
        } else {
            unsetenv("VELMORA_THREADS");
        }
    }

private:
    std::string saved;
    bool had = false;
};

TEST(ParallelSettings, VelmoraThreadsSetsTheDefaultCount) {
    const int cores = (int)std::max(1u, std::thread::hardware_concurrency());
    {
        ThreadsVariable unset(nullptr);
        EXPECT_EQ(DefaultThreads(), cores);
    }
    {
        ThreadsVariable three("3");
        EXPECT_EQ(DefaultThreads(), 3);
        EXPECT_EQ(ResolveThreads(0), 3);
        EXPECT_EQ(ResolveThreads(5), 5);  // a count asked for wins
    }
    // Anything but a whole number from 1 up falls back to one thread per core.
    for (const char* bad : {"0", "-2", "two", "3x", "", "99999999999999999999"}) {
        ThreadsVariable variable(bad);
        EXPECT_EQ(DefaultThreads(), cores) << "VELMORA_THREADS=" << bad;
    }
}

TEST(ParallelThreads, EveryPieceRunsOnceOnAThreadOfItsOwnNumber) {
    for (int threads : {1, 2, 3, 8}) {
        for (size_t count : {0, 1, 2, 5, 1000}) {
            std::vector<std::atomic<int>> runs(count);
            std::vector<int> worker(count, -1);
            std::atomic<int> maxWorker{-1};
            ParallelFor(count, threads, [&](size_t i, int w) {
                ++runs[i];
                worker[i] = w;
                int seen = maxWorker.load();
                while (w > seen && !maxWorker.compare_exchange_weak(seen, w)) {
                }
            });
            for (size_t i = 0; i < count; ++i) {
                EXPECT_EQ(runs[i].load(), 1) << i;
                EXPECT_GE(worker[i], 0);
                EXPECT_LT(worker[i], threads);
            }
            // No more workers than pieces.
            EXPECT_LT(maxWorker.load(), (int)std::max<size_t>(count, 1));
        }
    }
}

TEST(ParallelThreads, AThrowingPieceStopsTheRestAndReachesTheCaller) {
    std::atomic<int> ran{0};
    // The other pieces take a while, so that the stop reaches them long before they could
    // all have run, even when the throwing thread is held up on a busy machine.
    EXPECT_THROW(ParallelFor(100000, 3,
                             [&](size_t i, int) {
                                 ++ran;
                                 if (i == 10) throw std::runtime_error("piece 10");
                                 std::this_thread::sleep_for(std::chrono::microseconds(50));
                             }),
                 std::runtime_error);
    EXPECT_LT(ran.load(), 100000);
    std::atomic<int> started{0};
    EXPECT_THROW(RunOnThreads(4,
                              [&](int worker) {
                                  ++started;
                                  if (worker == 2) throw std::logic_error("worker 2");
                              }),
                 std::logic_error);
    EXPECT_EQ(started.load(), 4);  // the others ran to their end and were joined
}

TEST(ParallelThreads, OrderedConsolePrintsPiecesInOrderWhateverOrderTheyFinish) {
    const size_t count = 200;
    std::string text;
    OrderedConsole output(Console(&text), count);
    // Pieces finish in an order of their own: the later ones sleep less.
    ParallelFor(count, 4, [&](size_t i, int) {
        std::this_thread::sleep_for(std::chrono::microseconds((count - i) % 7 * 50));
        std::string piece;
        Console(&piece).Print("piece %zu\n", i);
        if (i % 3 == 0) Console(&piece).Print("  more of %zu\n", i);
        output.Finish(i, piece);
    });
    std::string expected;
    for (size_t i = 0; i < count; ++i) {
        expected += "piece " + std::to_string(i) + "\n";
        if (i % 3 == 0) expected += "  more of " + std::to_string(i) + "\n";
    }
    EXPECT_EQ(text, expected);
    EXPECT_EQ(output.Printed(), count);
}

TEST(ParallelThreads, OrderedConsoleHoldsBackEverythingAfterAGap) {
    std::string text;
    OrderedConsole output(Console(&text), 4);
    output.Finish(1, "one\n");
    output.Finish(3, "three\n");
    EXPECT_EQ(text, "");
    EXPECT_EQ(output.Printed(), 0u);
    output.Finish(0, "");  // a piece with no text of its own
    EXPECT_EQ(text, "one\n");
    EXPECT_EQ(output.Printed(), 2u);
}

TEST(Arena, HoldsMemoryInProportionToWhatItServes) {
    // A small volume's derived data: slabs in proportion, not a huge page at the start (the
    // readers promise memory in proportion to the file).
    Arena small;
    for (int i = 0; i < 10; ++i) small.Allocate<double>(20);
    EXPECT_LE(small.Bytes(), 16u << 10);
    // Slabs grow with what is held, so that many allocations take few slabs.
    Arena large;
    for (int i = 0; i < 4096; ++i) large.Allocate<char>(64 << 10);
    EXPECT_GE(large.Bytes(), 256u << 20);
    EXPECT_LE(large.Bytes(), 3 * (256u << 20));
}

TEST(ArenaThreads, AllocationsAreAlignedDistinctAndSurviveManyThreads) {
    Arena arena;
    EXPECT_EQ(arena.Bytes(), 0u);
    const int threads = 4, perThread = 2000;
    std::vector<std::vector<std::pair<uint64_t*, size_t>>> got(threads);
    RunOnThreads(threads, [&](int t) {
        for (int i = 0; i < perThread; ++i) {
            // Sizes from a few bytes up to several megabytes, beyond a slab.
            size_t n = i % 500 == 7 ? (size_t(5) << 20) / 8 : 1 + (i * 37 + t) % 300;
            uint64_t* p = arena.Allocate<uint64_t>(n);
            for (size_t k = 0; k < n; ++k) p[k] = ((uint64_t)t << 40) | ((uint64_t)i << 20) | k;
            got[t].push_back({p, n});
        }
    });
    std::set<uintptr_t> starts;
    for (int t = 0; t < threads; ++t) {
        for (int i = 0; i < perThread; ++i) {
            auto [p, n] = got[t][i];
            EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % alignof(uint64_t), 0u);
            EXPECT_TRUE(starts.insert(reinterpret_cast<uintptr_t>(p)).second);
            // Nothing written later by anyone overwrote it.
            for (size_t k = 0; k < n; k += 97) {
                ASSERT_EQ(p[k], ((uint64_t)t << 40) | ((uint64_t)i << 20) | k);
            }
        }
    }
    EXPECT_GE(arena.Bytes(), (uint64_t)threads * 4 * (5 << 20));
    // A count whose bytes overflow is refused before any allocation.
    EXPECT_THROW(arena.Allocate<uint64_t>(SIZE_MAX / 4), std::bad_alloc);
    struct alignas(64) Line {
        char bytes[64];
    };
    Line* line = arena.Allocate<Line>(3);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(line) % 64, 0u);
}

}  // namespace
