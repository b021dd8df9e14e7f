// Where a strip's holes are cut and how a long strip is cut into pieces, in millimetres at
// true scale: plain numbers for the cutter files, the PDF pages and their tests.
//
// Along the strip x runs from the start of the lead-in (0) to the end of the lead-out; across
// it y runs from the lower edge (0) to the upper one (the tape width). A piece ends in a
// diagonal edge: at height y it lies at centreMm + slantMm * (y / width - 0.5). Two pieces
// overlap by the join; no hole lies within the seam safety distance of that overlap.
#pragma once

#include "render/TapeExport.h"
#include "scoremodel/TapeFixes.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <functional>
#include <vector>

namespace tw {

// The most pieces a strip is cut into.
constexpr unsigned maxCutPieces = 2000;
// A diagonal seam runs this part of the tape width along the strip.
constexpr double seamSlantPerWidth = 0.25;

struct PieceEdge {
    double centreMm = 0;
    double slantMm = 0; // 0: a straight end
    double at(double y, double width) const { return centreMm + slantMm * (y / width - 0.5); }
};

struct CutPiece {
    PieceEdge left, right;
    double minXMm = 0, maxXMm = 0; // the extent along the strip, corners included
    double lengthMm() const { return maxXMm - minXMm; }
};

// One hole: round (x0 == x1) or a slot whose round ends are centred at x0 and x1.
struct CutHole {
    unsigned track = 0;
    double x0Mm = 0, x1Mm = 0, yMm = 0, radiusMm = 0;
    unsigned piece = 0;
    std::size_t note = 0; // index into the melody's notes
};

// The strip of a melody: its pieces and what the holes come to. The plan holds no hole: it
// makes those of a piece from the melody when asked (forEachHole), so that its memory does not
// grow with the melody's length beyond a bit a note.
struct CutPlan {
    double widthMm = 0, lengthMm = 0;
    TapeGeometry geometry;
    std::vector<CutPiece> pieces; // in the melody's order
    std::size_t holes = 0;        // of the melody's shown notes the instrument has a track for
    std::size_t pairsTooClose = 0;
    unsigned holesAtSeams = 0; // holes a seam could not avoid (music too dense)

    // How the holes come from the melody (planCut's, for forEachHole).
    const ScoreModel *model = nullptr; // the melody planned: it outlives the plan, unchanged
    std::array<int, 128> track{};      // of each note; -1 for none
    double radiusMm = 0;
    double lookBackMm = 0; // the longest hole or slot, from its start to its far end
    bool slots = false;
    RepeatRule rule;                   // when a repeat is too close
    std::vector<PieceEdge> startEdges; // each piece's first edge, before any mirroring
    std::vector<bool> ringed;          // by note: one of a pair still too close
};

// The seconds of the melody at the start and the end of a piece (after any mirroring).
std::pair<double, double> pieceSeconds(const CutPlan &plan, const CutPiece &piece);

// Where a note's hole or slot lies along the strip before any mirroring: its leading edge at
// the note's start after the lead-in.
double holeStartMm(const TapeGeometry &g, unsigned tick, unsigned ticksPerFrame);

// Plans the strip of the model's shown notes for the instrument, cut into pieces no longer
// than `bedMm` (0: no limit; one piece). With `slots` every note is as long as it lasts (for
// bars on paper), else the instrument's hole shape decides. Errors: errExportGeometry,
// errExportTooLarge, errExportNoNotes; errExportCancelled once `stop` (may be null) is set.
ExportResult planCut(const ScoreModel &model, const ExportInstrument &instrument, double bedMm,
                     bool slots, CutPlan &plan, const std::atomic<bool> *stop = nullptr);

// What the options would make of the melody, in one line for the export window: "Strip 3.41 m
// in 8 pieces, 594 holes, 2 pairs too close"; the reason instead when no strip can be planned,
// and "" for the board picture (no tape geometry, or PNG and board SVG), or once `stop` (may be
// null) is set.
std::string stripSummary(const ScoreModel &model, const ExportOptions &options,
                         const std::atomic<bool> *stop = nullptr);
// Whether the options make a strip, so that stripSummary has something to say.
bool makesStrip(const ExportOptions &options);

// Calls `each` with the holes of piece `piece` in the order of the notes until it returns
// false. Costs about the notes near the piece (a binary search finds them).
void forEachHole(const CutPlan &plan, unsigned piece,
                 const std::function<bool(const CutHole &)> &each);

// The same holes in the order a cutter should cut them: column by column along the strip, up
// one column and down the next, so that the head travels little. Made a few thousand notes at
// a time.
void forEachHoleInCuttingOrder(const CutPlan &plan, unsigned piece,
                               const std::function<bool(const CutHole &)> &each);

// The later note of each pair still too close, in the melody's order.
std::vector<TapeNote> laterNotesTooClose(const CutPlan &plan);

} // namespace tw
