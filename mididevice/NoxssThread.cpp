#include "mididevice/NoxssThread.h"

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
    task(*flag);
    finished.store(true);
}
