// Running independent pieces of work on several threads, and printing what they wrote in the
// order of the pieces, so that the output does not depend on how many threads ran them.
#pragma once

#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "volume/console.h"

// The number of threads long work runs on by default: VELMORA_THREADS when it holds a whole
// number from 1 up, else one per core.
int DefaultThreads();

// `threads` itself when positive, else DefaultThreads().
int ResolveThreads(int threads);

// Calls work(worker) on `threads` threads at once, worker = 0 .. threads - 1, the calling
// thread being worker 0; returns when all have returned. The first exception thrown is
// rethrown here.
void RunOnThreads(int threads, const std::function<void(int worker)>& work);

// Calls work(i, worker) once for each i in [0, count) on up to `threads` threads, the
// calling one among them; `worker` (0 .. threads - 1) names the thread, so that each can keep
// scratch space of its own. The pieces are handed out in ascending order as threads come free.
// Returns when every piece has run.
void ParallelFor(size_t count, int threads, const std::function<void(size_t i, int worker)>& work);

// The console text of numbered pieces of work, printed in piece order however the pieces
// finish: a piece's text appears once every earlier piece has finished. Safe to use from
// several threads.
class OrderedConsole {
public:
    OrderedConsole(Console out, size_t count);

    // Piece `i` is complete and wrote `text` (each piece writes into a string of its own, so
    // that threads never touch each other's): prints it and every following finished piece
    // that waited for it.
    void Finish(size_t i, std::string text);
    // The number of pieces printed so far: they are 0 .. Printed() - 1.
    size_t Printed();

private:
    Console out;
    std::vector<std::string> texts;
    std::vector<char> finished;
    size_t printed = 0;
    std::mutex mutex;
};
