// The worker thread: jobs run one at a time in the order given, finished ones come back with
// what they printed, and cancelling stops the running job and drops the waiting ones.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/worker.h"

namespace {

using namespace std::chrono_literals;

// What the test jobs report back to the test, shared by all of them.
struct Log {
    std::atomic<int> started{0};
    std::atomic<int> destroyed{0};
    std::atomic<bool> release{false};  // lets the jobs that wait for it go on
};

// Prints its name, counts `units` units and, if it is to wait, waits for the release (or a
// cancel) before each of them.
class TestJob : public Job {
public:
    TestJob(Log& log, std::string name, int units = 1, bool wait = false)
        : log(log), name(std::move(name)), units(units), wait(wait) {}
    ~TestJob() override { ++log.destroyed; }

    bool Run(Console console, Progress* progress) override {
        ++log.started;
        console.Print("%s started\n", name.c_str());
        progress->total = units;
        for (int i = 0; i < units; ++i) {
            while (wait && !log.release && !progress->Cancelled()) std::this_thread::sleep_for(1ms);
            if (progress->Cancelled()) return false;
            console.Print("%s unit %d\n", name.c_str(), i);
            ++progress->done;
        }
        return true;
    }
    void Apply() override { applied = true; }
    bool Absorb(Job& newer) override {
        TestJob* other = dynamic_cast<TestJob*>(&newer);
        if (!mergeable || !other || !other->mergeable) return false;
        name += "+" + other->name;
        return true;
    }

    Log& log;
    std::string name;
    int units;
    bool wait;
    bool mergeable = false;
    bool applied = false;
};

std::unique_ptr<TestJob> Make(Log& log, const char* name, int units = 1, bool wait = false) {
    return std::make_unique<TestJob>(log, name, units, wait);
}

// Waits until the worker has started `n` jobs in all.
void WaitStarted(const Log& log, int n) {
    while (log.started < n) std::this_thread::sleep_for(1ms);
}

std::vector<std::string> Outputs(const std::vector<FinishedJob>& finished) {
    std::vector<std::string> out;
    for (const FinishedJob& f : finished) out.push_back(f.output);
    return out;
}

}  // namespace

TEST(WorkerThreads, JobsRunInOrderAndReturnWithTheirOwnOutput) {
    Log log;
    Worker worker;
    EXPECT_FALSE(worker.Busy());
    worker.Submit(Make(log, "a", 2, true));  // holds the others back until released
    worker.Submit(Make(log, "b"));
    worker.Submit(Make(log, "c", 3));
    WaitStarted(log, 1);
    EXPECT_TRUE(worker.Busy());
    std::vector<FinishedJob> finished;
    worker.TakeFinished(finished);
    EXPECT_TRUE(finished.empty());  // nothing is done while the first job waits
    EXPECT_EQ(log.started, 1);

    log.release = true;
    worker.WaitUntilIdle();
    EXPECT_FALSE(worker.Busy());
    worker.TakeFinished(finished);
    EXPECT_EQ(Outputs(finished),
              (std::vector<std::string>{"a started\na unit 0\na unit 1\n", "b started\nb unit 0\n",
                                        "c started\nc unit 0\nc unit 1\nc unit 2\n"}));
    for (FinishedJob& f : finished) f.job->Apply();
    EXPECT_TRUE(static_cast<TestJob*>(finished[2].job.get())->applied);
    worker.TakeFinished(finished);  // taken once only
    EXPECT_TRUE(finished.empty());
    EXPECT_EQ(log.destroyed, 3);  // the finished jobs went with the list that held them
}

TEST(WorkerThreads, CancelStopsTheRunningJobDropsTheWaitingOnesAndShowsNothing) {
    Log log;
    Worker worker;
    EXPECT_EQ(worker.Cancel(), 0);  // nothing to cancel
    worker.Submit(Make(log, "long", 1000, true));
    worker.Submit(Make(log, "next"));
    worker.Submit(Make(log, "last"));
    WaitStarted(log, 1);
    EXPECT_EQ(worker.Cancel(), 3);
    EXPECT_EQ(log.destroyed, 2);  // the waiting ones are gone at once
    worker.WaitUntilIdle();
    std::vector<FinishedJob> finished;
    worker.TakeFinished(finished);
    EXPECT_TRUE(finished.empty());
    EXPECT_EQ(log.started, 1);
    EXPECT_EQ(log.destroyed, 3);  // and the cancelled one with what it made
    EXPECT_EQ(worker.Cancel(), 0);

    // The worker goes on with what comes after.
    worker.Submit(Make(log, "after"));
    worker.WaitUntilIdle();
    worker.TakeFinished(finished);
    EXPECT_EQ(Outputs(finished), std::vector<std::string>{"after started\nafter unit 0\n"});
}

TEST(WorkerThreads, AJobThatCompletesAfterItWasCancelledIsStillDropped) {
    // It waits for the cancel and then reports its work complete all the same, as a job does
    // whose last unit ends just as Esc is pressed.
    class Stubborn : public TestJob {
    public:
        using TestJob::TestJob;
        bool Run(Console console, Progress* progress) override {
            ++log.started;
            while (!progress->Cancelled()) std::this_thread::sleep_for(1ms);
            console.Print("done anyway\n");
            return true;
        }
    };
    Log log;
    Worker worker;
    worker.Submit(std::make_unique<Stubborn>(log, "s"));
    WaitStarted(log, 1);
    EXPECT_EQ(worker.Cancel(), 1);
    worker.WaitUntilIdle();
    std::vector<FinishedJob> finished;
    worker.TakeFinished(finished);
    EXPECT_TRUE(finished.empty());
}

TEST(WorkerThreads, CancelDropsFinishedJobsNotYetTaken) {
    // A job that ends between the drawing thread's last look and the cancel: its output
    // would otherwise come after the "Cancelled." line.
    Log log;
    Worker worker;
    worker.Submit(Make(log, "quick"));
    worker.WaitUntilIdle();
    EXPECT_EQ(worker.Cancel(), 1);
    EXPECT_EQ(log.destroyed, 1);
    std::vector<FinishedJob> finished;
    worker.TakeFinished(finished);
    EXPECT_TRUE(finished.empty());
}

TEST(WorkerThreads, ProgressIsThatOfTheRunningJob) {
    Log log;
    Worker worker;
    long done = -1, total = -1;
    EXPECT_FALSE(worker.GetProgress(&done, &total));
    worker.Submit(Make(log, "p", 4, true));
    WaitStarted(log, 1);
    // The job sets its total before it waits for the first unit.
    while (worker.GetProgress(&done, &total) && total == 0) std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(worker.GetProgress(&done, &total));
    EXPECT_EQ(done, 0);
    EXPECT_EQ(total, 4);
    log.release = true;
    worker.WaitUntilIdle();
    EXPECT_FALSE(worker.GetProgress(&done, &total));
}

TEST(WorkerThreads, AWaitingJobMayAbsorbNewerOnesButTheRunningOneNever) {
    Log log;
    Worker worker;
    auto running = Make(log, "run", 1, true);
    running->mergeable = true;
    worker.Submit(std::move(running));
    WaitStarted(log, 1);
    for (const char* name : {"x", "y", "z"}) {
        auto job = Make(log, name);
        job->mergeable = true;
        worker.Submit(std::move(job));
    }
    worker.Submit(Make(log, "apart"));  // not mergeable: queued behind
    log.release = true;
    worker.WaitUntilIdle();
    std::vector<FinishedJob> finished;
    worker.TakeFinished(finished);
    EXPECT_EQ(Outputs(finished), (std::vector<std::string>{"run started\nrun unit 0\n",
                                                           "x+y+z started\nx+y+z unit 0\n",
                                                           "apart started\napart unit 0\n"}));
}

TEST(WorkerThreads, DestroyingTheWorkerCancelsAndWaitsForTheRunningJob) {
    Log log;
    {
        Worker worker;
        worker.Submit(Make(log, "forever", 1, true));
        worker.Submit(Make(log, "never"));
        WaitStarted(log, 1);
    }
    EXPECT_EQ(log.started, 1);
    EXPECT_EQ(log.destroyed, 2);
}
