#include "mididevice/NoxssThread.h"

#include <exception>
#include <iostream>
#include <string>

namespace tw {

NoxssThread::~NoxssThread() {
    stop();
}

bool NoxssThread::start() {
    if (worker.joinable() || !task)
        return false;
    stopFlag.store(false);
    finished.store(false);
    // A failure to create the thread leaves the object idle; the exception reaches the owner.
    worker = std::thread(&NoxssThread::run, this, &stopFlag);
    return true;
}

void NoxssThread::stop() {
    if (!worker.joinable())
        return;
    stopFlag.store(true);
    worker.join();
}

int NoxssThread::state() const {
    if (!worker.joinable())
        return stateIdle;
    return finished.load() ? stateFinished : stateRunning;
}

void NoxssThread::run(const std::atomic<bool> *flag) {
    // An exception ends the task, never the program: it is told on standard error (one whole
    // line, so that it does not interleave with another thread's) and the worker finishes as if
    // the task had returned.
    try {
        task(*flag);
    } catch (const std::exception &e) {
        std::cerr << (std::string(taskFailedLine) + e.what() + '\n') << std::flush;
    } catch (...) {
        std::cerr << (std::string(taskFailedLine) + "an exception of unknown type\n") << std::flush;
    }
    finished.store(true);
}

} // namespace tw
