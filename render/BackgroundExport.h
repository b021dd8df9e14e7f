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
#include <cstdint>
#include <memory>
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
    PictureModel melody_;
    ExportOptions options_;
    std::string path_;
    ExportProgress progress_;
    ExportResult result_; // the worker's until finished_
    std::atomic<bool> finished_{false};
    std::thread worker_;
};

} // namespace tw
