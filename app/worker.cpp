#include "app/worker.h"

Worker::Worker() : thread(&Worker::Loop, this) {}

Worker::~Worker() {
    Cancel();
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wake.notify_one();
    thread.join();
}

void Worker::Submit(std::unique_ptr<Job> job) {
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!waiting.empty() && waiting.back()->Absorb(*job)) return;
        waiting.push_back(std::move(job));
    }
    wake.notify_one();
}

void Worker::TakeFinished(std::vector<FinishedJob>& out) {
    out.clear();
    std::lock_guard<std::mutex> lock(mutex);
    out.swap(finished);
}

int Worker::Cancel() {
    std::deque<std::unique_ptr<Job>> dropped;
    std::vector<FinishedJob> unshown;
    int count = 0;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (running && !runningCancelled) {
            runningCancelled = true;
            progress.cancelled = true;
            ++count;
        }
        count += (int)(waiting.size() + finished.size());
        dropped.swap(waiting);
        unshown.swap(finished);
    }
    idle.notify_all();
    return count;  // the dropped jobs are released here, outside the lock
}

bool Worker::GetProgress(long* done, long* total) const {
    std::lock_guard<std::mutex> lock(mutex);
    if (!running) return false;
    *done = (long)progress.done.load();
    *total = (long)progress.total.load();
    return true;
}

bool Worker::Busy() const {
    std::lock_guard<std::mutex> lock(mutex);
    return running || !waiting.empty();
}

void Worker::WaitUntilIdle() {
    std::unique_lock<std::mutex> lock(mutex);
    idle.wait(lock, [this] { return !running && waiting.empty(); });
}

void Worker::Loop() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        wake.wait(lock, [this] { return stopping || !waiting.empty(); });
        if (stopping) return;
        std::unique_ptr<Job> job = std::move(waiting.front());
        waiting.pop_front();
        running = true;
        runningCancelled = false;
        progress.cancelled = false;
        progress.done = 0;
        progress.total = 0;
        lock.unlock();

        std::string output;
        const bool completed = job->Run(Console(&output), &progress);

        lock.lock();
        if (completed && !runningCancelled) {
            finished.push_back({std::move(job), std::move(output)});
        } else {
            // A cancelled job frees what it made, outside the lock, before the worker counts
            // as idle.
            lock.unlock();
            job.reset();
            lock.lock();
        }
        running = false;
        if (waiting.empty()) idle.notify_all();
    }
}
