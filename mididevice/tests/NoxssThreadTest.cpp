#include "mididevice/NoxssThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace {

// Lets a test wait, without timing, for a task that runs on the worker.
class Latch {
public:
    void open() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            isOpen = true;
        }
        changed.notify_all();
    }
    void wait() {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return isOpen; });
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    bool isOpen = false;
};

// A task that reports that it runs and then spins until it is asked to stop.
NoxssThread::Task untilStopped(Latch &started, std::atomic<int> &flagAtStart) {
    return [&](const std::atomic<bool> &stop) {
        flagAtStart = stop.load() ? 1 : 0;
        started.open();
        while (!stop.load())
            std::this_thread::yield();
    };
}

void waitUntilFinished(NoxssThread &thread) {
    while (thread.state() == NoxssThread::stateRunning)
        std::this_thread::yield();
}

} // namespace

TEST(NoxssThread, NewObjectIsIdleAndStopReturnsAtOnce) {
    NoxssThread thread;
    EXPECT_EQ(thread.state(), NoxssThread::stateIdle);
    thread.stop();
    EXPECT_EQ(thread.state(), NoxssThread::stateIdle);
}

TEST(NoxssThread, StartWithoutTaskIsRefused) {
    NoxssThread thread;
    EXPECT_FALSE(thread.start());
    EXPECT_EQ(thread.state(), NoxssThread::stateIdle);
}

TEST(NoxssThread, SecondStartIsRefusedWhileRunningAndWhenFinished) {
    NoxssThread thread;
    Latch started;
    std::atomic<int> flagAtStart{-1};
    thread.task = untilStopped(started, flagAtStart);
    ASSERT_TRUE(thread.start());
    started.wait();
    EXPECT_EQ(thread.state(), NoxssThread::stateRunning);
    EXPECT_FALSE(thread.start());
    thread.stop();
    EXPECT_EQ(thread.state(), NoxssThread::stateIdle);

    std::atomic<int> runs{0};
    thread.task = [&](const std::atomic<bool> &) { ++runs; };
    ASSERT_TRUE(thread.start());
    waitUntilFinished(thread);
    EXPECT_EQ(thread.state(), NoxssThread::stateFinished);
    EXPECT_FALSE(thread.start()) << "a finished worker must be joined by stop first";
    thread.stop();
    EXPECT_EQ(thread.state(), NoxssThread::stateIdle);
    EXPECT_EQ(runs.load(), 1);
}

TEST(NoxssThread, StopEndsTheTaskAndTheNextStartClearsTheFlag) {
    NoxssThread thread;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        Latch started;
        std::atomic<int> flagAtStart{-1};
        thread.task = untilStopped(started, flagAtStart);
        ASSERT_TRUE(thread.start());
        started.wait();
        EXPECT_EQ(flagAtStart.load(), 0) << "a stop request of an earlier run reached the task";
        thread.stop();
        EXPECT_EQ(thread.state(), NoxssThread::stateIdle);
    }
}

TEST(NoxssThread, DestroyingARunningObjectStopsAndJoinsTheWorker) {
    std::atomic<bool> returned{false};
    Latch started;
    {
        NoxssThread thread;
        thread.task = [&](const std::atomic<bool> &stop) {
            started.open();
            while (!stop.load())
                std::this_thread::yield();
            returned = true;
        };
        ASSERT_TRUE(thread.start());
        started.wait();
    }
    EXPECT_TRUE(returned.load());
}
