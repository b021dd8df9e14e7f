// The pieces of the export that TapeExport.cpp puts together; for the export and its tests.
#pragma once

#include "render/BoardRender.h"
#include "render/ExportFile.h"
#include "render/TapeExport.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace tw {

// A length from an instrument file that the tape's drawing can use: finite, below a kilometre,
// and above zero (or zero where that means "none").
inline bool usableLength(double value, bool zeroAllowed) {
    return std::isfinite(value) && (value > 0 || (zeroAllowed && value == 0)) && value < 1e6;
}

// A number with one decimal, as the tape's texts show millimetres and seconds.
inline std::string oneDecimal(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

// The view of a picture of the whole melody at 100 %: first tick 0, the lowest shown note's row
// at the bottom, as many rows as up to the highest shown note and as many ticks as up to the
// end of the last shown note. False when no note of a shown channel exists (the view is then
// empty).
bool pictureView(const ScoreModel &model, BoardView &view);
// The board's area that shows `view`: the picture's size in pixels.
BoardArea pictureArea(const BoardView &view, const BoardSizes &sizes = BoardSizes());

// Finishes a vector surface (and destroys it and cr); reports what went wrong while drawing or
// writing.
ExportResult finishSurface(cairo_surface_t *surface, cairo_t *cr);

// The progress of one export, or none: counts parts and tells when to stop.
class ProgressTicker {
public:
    explicit ProgressTicker(ExportProgress *progress) : progress_(progress) {}
    void setTotal(uint64_t total) {
        if (progress_)
            progress_->total = total;
    }
    void step() {
        if (progress_)
            progress_->done.fetch_add(1, std::memory_order_relaxed);
    }
    bool cancelled() const { return progress_ && progress_->cancel.load(); }
    static ExportResult cancelledResult() {
        return {errExportCancelled, "the export was cancelled"};
    }

private:
    ExportProgress *progress_;
};

ExportResult writeBoardPng(const ScoreModel &model, const BoardView &view, ExportFile &file,
                           ProgressTicker ticker = ProgressTicker(nullptr));
ExportResult writeBoardSvg(const ScoreModel &model, const BoardView &view, ExportFile &file,
                           ProgressTicker ticker = ProgressTicker(nullptr));
ExportResult writeBoardPdf(const ScoreModel &model, const BoardView &view,
                           const ExportOptions &options, ExportFile &file,
                           ProgressTicker ticker = ProgressTicker(nullptr));

// ---- The tape at true scale (TapePages.cpp) ----

// Landscape paper, in millimetres.
struct PaperMm {
    double width = 0, height = 0;
};
PaperMm paperSize(Paper paper);

constexpr double pageMarginMm = 10;
constexpr double glueOverlapMm = 10;
constexpr double pageHeaderMm = 14; // below the top margin, above the tape
constexpr double pointsPerMm = 72.0 / 25.4;

// Where the tape lies on every page and how it is cut.
struct TapePlan {
    PaperMm paper;
    double tapeLeftMm = 0, tapeTopMm = 0; // on the page
    double advanceMm = 0;                 // tape per page; each page shows glueOverlapMm more
    double tapeLengthMm = 0;
    unsigned pages = 0;
};

// One note on the tape: its track (the index of its note among the playable ones) and its
// extent along the tape from the start.
struct TapeMark {
    unsigned track = 0;
    double startMm = 0, lengthMm = 0;
};

struct TapeContent {
    std::vector<TapeMark> marks;
    std::vector<TapeNote> unplayable; // shown notes the instrument has no track for
    double lengthMm = 0;              // to the end of the last mark or note
};

TapeContent tapeContent(const ScoreModel &model, const ExportInstrument &instrument);
// Checks the geometry against the paper and cuts the tape into pages.
ExportResult planTape(const TapeGeometry &geometry, Paper paper, double lengthMm, TapePlan &plan);
ExportResult writeTapePdf(const ScoreModel &model, const ExportOptions &options, ExportFile &file,
                          ProgressTicker ticker = ProgressTicker(nullptr));

// ---- The strip for a cutter (CutFiles.cpp) ----

// The cutter SVG or DXF of the options' format, in pieces no longer than the bed, written
// piece by piece as it is made. Counts the groups of holes and marks, two a piece.
ExportResult writeCutFile(const ScoreModel &model, const ExportOptions &options, ExportFile &file,
                          ProgressTicker ticker = ProgressTicker(nullptr));

// "C4" for 60, "F#2", "C-1".
std::string noteName(unsigned note);

} // namespace tw
