// An export on a worker thread. The thread that starts it (the GUI thread, or the command
// line's main thread) hands over a copy of what the export needs, so that the melody may be
// edited meanwhile; it watches the progress and may cancel.
//
// Threads: every member function is called on the thread that made the object. The worker
// reads only its own copy of the melody, shares the progress through atomics, and writes the
// result before it sets `finished_` (release; read with acquire).
#pragma once

#include "render/ExportParts.h"
#include "render/TapeExport.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace tw {

class BackgroundExport {
public:
    // Copies the notes, markers, row colours and ticks per frame of `model` and starts.
    BackgroundExport(const ScoreModel &model, ExportOptions options, std::string path);
    // Cancels a running export and waits for the worker: no file is left behind.
    ~BackgroundExport();
    BackgroundExport(const BackgroundExport &) = delete;
    BackgroundExport &operator=(const BackgroundExport &) = delete;

    const std::string &path() const { return path_; }
    // Parts (tiles, pages) done, of `total()`; the total is 0 until the export knows it.
    uint64_t done() const { return progress_.done.load(); }
    uint64_t total() const { return progress_.total.load(); }
    void cancel() { progress_.cancel = true; }
    bool cancelRequested() const { return progress_.cancel.load(); }
    bool finished() const { return finished_.load(std::memory_order_acquire); }
    // Waits for the worker and gives what the export returned.
    const ExportResult &result();

private:
    // The worker's own: written on the starting thread before the worker starts, then only
    // read by the worker.
    ScoreModel melody_;
    ExportOptions options_;
    std::string path_;
    ExportProgress progress_;
    ExportResult result_; // the worker's until finished_
    std::atomic<bool> finished_{false};
    std::thread worker_;
};

// What the options would make of the melody (stripSummary), worked out on a worker thread
// from a copy, so that a window stays responsive over a long melody.
//
// Threads: every member function is called on the thread that made the object; the worker
// reads only its copy and writes the text before it sets `finished_` under the mutex.
class BackgroundSummary {
public:
    BackgroundSummary(const ScoreModel &model, ExportOptions options);
    // Stops the worker and waits for it (it looks at the stop every few thousand notes).
    ~BackgroundSummary();
    BackgroundSummary(const BackgroundSummary &) = delete;
    BackgroundSummary &operator=(const BackgroundSummary &) = delete;

    // Waits at most `seconds` for the worker; true when it has finished.
    bool waitFor(double seconds);
    bool finished();
    // The summary; "" until finished.
    std::string text();

private:
    ScoreModel melody_;
    ExportOptions options_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false; // under mutex_
    std::string text_;      // under mutex_
    std::thread worker_;
};

} // namespace tw
