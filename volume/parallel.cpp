#include "volume/parallel.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <exception>
#include <thread>

int DefaultThreads() {
    if (const char* text = std::getenv("VELMORA_THREADS")) {
        errno = 0;
        char* end = nullptr;
        long n = std::strtol(text, &end, 10);
        if (errno == 0 && end != text && *end == '\0' && n >= 1 && n <= 4096) return (int)n;
    }
    unsigned cores = std::thread::hardware_concurrency();
    return cores > 0 ? (int)cores : 1;
}

int ResolveThreads(int threads) {
    return threads > 0 ? threads : DefaultThreads();
}

void RunOnThreads(int threads, const std::function<void(int)>& work) {
    if (threads <= 1) {
        work(0);
        return;
    }
    std::exception_ptr failure;
    std::mutex failureMutex;
    auto run = [&](int worker) {
        try {
            work(worker);
        } catch (...) {
            std::lock_guard<std::mutex> lock(failureMutex);
            if (!failure) failure = std::current_exception();
        }
    };
    std::vector<std::thread> helpers;
    helpers.reserve(threads - 1);
    for (int t = 1; t < threads; ++t) helpers.emplace_back(run, t);
    run(0);
    for (std::thread& h : helpers) h.join();
    if (failure) std::rethrow_exception(failure);
}

void ParallelFor(size_t count, int threads, const std::function<void(size_t, int)>& work) {
    if (threads < 1) threads = 1;
    if ((size_t)threads > count) threads = (int)count;
    std::atomic<size_t> next{0};
    RunOnThreads(threads, [&](int worker) {
        try {
            for (size_t i; (i = next.fetch_add(1, std::memory_order_relaxed)) < count;) {
                work(i, worker);
            }
        } catch (...) {
            next.store(count, std::memory_order_relaxed);  // the others stop too
            throw;
        }
    });
}

OrderedConsole::OrderedConsole(Console console, size_t count)
    : out(console), texts(count), finished(count, 0) {}

void OrderedConsole::Finish(size_t i, std::string text) {
    std::lock_guard<std::mutex> lock(mutex);
    texts[i] = std::move(text);
    finished[i] = 1;
    for (; printed < texts.size() && finished[printed]; ++printed) {
        std::string& text = texts[printed];
        out.Write(text);
        std::string().swap(text);
    }
}

size_t OrderedConsole::Printed() {
    std::lock_guard<std::mutex> lock(mutex);
    return printed;
}
