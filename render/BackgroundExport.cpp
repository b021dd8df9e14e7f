#include "render/BackgroundExport.h"

#include <new>
#include <utility>

namespace tw {

BackgroundExport::BackgroundExport(const ScoreModel &model, ExportOptions options, std::string path)
    : options_(std::move(options)), path_(std::move(path)) {
    // A melody without shown notes is copied too: the export then says why it writes nothing.
    melody_.copyFrom(model);
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

} // namespace tw
