// Runs one task at a time on a thread of its own and lets the owner ask it to stop.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

namespace tw {

class NoxssThread {
public:
    // The task gets the stop flag and returns soon after it sees it set. An exception that it
    // throws ends the task: standard error gets taskFailedLine followed by the exception's text,
    // and the worker finishes as if the task had returned.
    using Task = std::function<void(const std::atomic<bool> &stop)>;

    // Values of state().
    static constexpr int stateIdle = 0;     // no worker (never started, or joined)
    static constexpr int stateFinished = 1; // the task returned by itself; not joined yet
    static constexpr int stateRunning = 2;  // the task runs

    static constexpr const char *taskFailedLine = "Worker task ended by an exception: ";

    // The work to run. Only the owner assigns it, and only while state() is idle (start refuses
    // while a worker exists, so a task is never replaced under a running worker).
    Task task;

    NoxssThread() = default;
    NoxssThread(const NoxssThread &) = delete;
    NoxssThread &operator=(const NoxssThread &) = delete;
    // Stops and joins a running worker.
    ~NoxssThread();

    // Everything below is called by the owner's thread only (the GUI thread).

    // Launches the task with cleared flags. False, and nothing happens, when a worker exists
    // (running or finished) or the task is empty.
    bool start();
    // Sets the stop flag and joins the worker; returns at once when there is none. Leaves idle.
    void stop();
    // stateIdle, stateFinished or stateRunning.
    int state() const;

private:
    void run(const std::atomic<bool> *flag);

    std::thread worker;
    std::atomic<bool> stopFlag{false}; // written by the owner, read by the task
    std::atomic<bool> finished{false}; // written by the worker, read by the owner
};

} // namespace tw
