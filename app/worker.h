// Long work away from the thread that draws: one worker thread runs the jobs it is given one
// at a time, in the order given, while the event loop goes on drawing. The drawing thread
// collects the finished jobs and shows their results; it can cancel the running job and the
// waiting ones.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "volume/console.h"
#include "volume/progress.h"

class Job {
public:
    virtual ~Job() = default;
    // On the worker thread: the long work. It prints to `console`, counts its units (blocks,
    // lines) in `progress` and stops between units once progress->Cancelled(); false then.
    virtual bool Run(Console console, Progress* progress) = 0;
    // On the drawing thread, once Run has completed: shows the result.
    virtual void Apply() = 0;
    // Offered a job submitted while this one still waits: true when this one takes over what
    // `newer` asks for, so that `newer` need not run. By default jobs stay apart.
    virtual bool Absorb(Job& newer) {
        (void)newer;
        return false;
    }
};

// A job whose work completed, with everything its work printed.
struct FinishedJob {
    std::unique_ptr<Job> job;
    std::string output;
};

class Worker {
public:
    Worker();
    // Cancels what runs and waits, and ends the thread.
    ~Worker();
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Queues a job behind the others, unless the newest waiting job absorbs it.
    void Submit(std::unique_ptr<Job> job);
    // Moves the jobs finished since the last call into `out` (emptied first), oldest first.
    void TakeFinished(std::vector<FinishedJob>& out);
    // Stops the running job between two of its units and drops the waiting ones and the
    // finished ones not yet taken, with all they hold; their results never appear. Returns
    // how many jobs were cancelled.
    int Cancel();
    // Units done and in all of the running job; false while no job runs.
    bool GetProgress(long* done, long* total) const;
    // True while a job runs or waits.
    bool Busy() const;
    // Blocks until no job runs or waits.
    void WaitUntilIdle();

private:
    void Loop();

    mutable std::mutex mutex;
    std::condition_variable wake;  // a job arrived, or the worker is to stop
    std::condition_variable idle;  // the last job ended
    std::deque<std::unique_ptr<Job>> waiting;
    bool running = false;           // a job is in Run
    bool runningCancelled = false;  // ... and its result is to be dropped
    bool stopping = false;
    Progress progress;  // of the running job
    std::vector<FinishedJob> finished;
    std::thread thread;  // last: starts once everything above is ready
};
