#include "mididevice/NoxssThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>

using namespace tw;

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

TEST(NoxssThread, AThrowingTaskIsToldAndTheNextTaskRuns) {
    struct Case {
        const char *what;
        std::function<void()> raise;
        std::string line;
    };
    const std::string prefix = NoxssThread::taskFailedLine;
    const Case cases[] = {
        {"std::exception", [] { throw std::runtime_error("port vanished"); },
         prefix + "port vanished\n"},
        {"other type", [] { throw 42; }, prefix + "an exception of unknown type\n"},
    };
    NoxssThread thread;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        thread.task = [&](const std::atomic<bool> &) { c.raise(); };
        ::testing::internal::CaptureStderr();
        ASSERT_TRUE(thread.start());
        waitUntilFinished(thread);
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(thread.state(), NoxssThread::stateFinished);
        EXPECT_EQ(err, c.line);
        thread.stop();

        std::atomic<int> runs{0};
        thread.task = [&](const std::atomic<bool> &) { ++runs; };
        ASSERT_TRUE(thread.start());
        thread.stop();
        EXPECT_EQ(runs.load(), 1) << "the worker serves the next task";
    }
}
