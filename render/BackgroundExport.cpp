#include "render/BackgroundExport.h"

#include "render/CutPlan.h"

#include <chrono>
#include <new>
#include <utility>

namespace tw {

BackgroundExport::BackgroundExport(const ScoreModel &model, ExportOptions options, std::string path)
    : options_(std::move(options)), path_(std::move(path)) {
    // A melody without shown notes is copied too: the export then says why it writes nothing.
    melody_.copyShownFrom(model);
    worker_ = std::thread([this] {
        // Worker thread: the copy, the options and the progress only.
        ExportResult r;
        try {
            r = exportTape(melody_, options_, path_, &progress_);
        } catch (const std::bad_alloc &) {
            r = {errExportDrawing, "not enough memory"};
        }
        result_ = std::move(r);
        finished_.store(true, std::memory_order_release);
    });
}

BackgroundExport::~BackgroundExport() {
    cancel();
    if (worker_.joinable())
        worker_.join();
}

const ExportResult &BackgroundExport::result() {
    if (worker_.joinable())
        worker_.join();
    return result_;
}

BackgroundSummary::BackgroundSummary(const ScoreModel &model, ExportOptions options)
    : options_(std::move(options)) {
    melody_.copyShownFrom(model);
    worker_ = std::thread([this] {
        // Worker thread: the copy, the options and the stop only.
        std::string text;
        try {
            text = stripSummary(melody_, options_, &stop_);
        } catch (const std::bad_alloc &) {
            text = "not enough memory to plan the strip";
        }
        const std::lock_guard<std::mutex> lock(mutex_);
        text_ = std::move(text);
        finished_ = true;
        done_.notify_all();
    });
}

BackgroundSummary::~BackgroundSummary() {
    stop_ = true;
    if (worker_.joinable())
        worker_.join();
}

bool BackgroundSummary::waitFor(double seconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    return done_.wait_for(lock, std::chrono::duration<double>(seconds),
                          [this] { return finished_; });
}

bool BackgroundSummary::finished() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return finished_;
}

std::string BackgroundSummary::text() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return text_;
}

} // namespace tw
