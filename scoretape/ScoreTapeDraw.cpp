// Drawing of the score board. The geometry comes from the members of ScoreTapeView.cpp; this
// file only paints it, always completely. The note name column and the playhead are drawn in
// ScoreTapeZoom.cpp and ScoreTapePlayhead.cpp.
#include "scoretape/ScoreTape.h"

#include <FL/fl_draw.H>

#include <cstdio>

namespace tw {

namespace {

void fillRect(const Flt_ScoreTape::Rect &r, Fl_Color colour) {
    fl_color(colour);
    fl_rectf(r.x, r.y, r.w, r.h);
}

void drawNumber(unsigned number, int x, int y) {
    char text[16];
    std::snprintf(text, sizeof text, "%u", number);
    fl_draw(text, x, y);
}

} // namespace

void Flt_ScoreTape::draw() {
    const int X = boardX(), Y = y(), H = gridHeight(), W = gridWidth();
    const int strip = labelStripHeight();
    const tw::BoardMetrics &m = view_.metrics;
    fl_color(FL_WHITE);
    fl_rectf(x(), Y, w(), h());

    // Tick lines, black on frame boundaries.
    for (unsigned i = 0; i <= visibleTicks_; ++i) {
        fl_color((uint64_t(firstTick_) + i) % ticksPerFrame_ == 0 ? FL_BLACK : FL_LIGHT2);
        fl_line(tickLineX(i), Y + strip, tickLineX(i), Y + strip + H);
    }
    // Row lines in the colours of the instrument.
    for (unsigned n = bottomNote_ + visibleRows_; n-- > bottomNote_;) {
        if (n >= 128)
            continue;
        fl_color(rowColours_.colours[n]);
        fl_line(X, rowLineY(n), X + W, rowLineY(n));
    }

    fl_color(FL_BLACK);
    fl_font(labelFont_, m.labelFontSize);
    drawNumber(bottomNote_ + visibleRows_ - 1, X + m.cornerInset, Y + m.labelBaseline);
    drawNumber(bottomNote_, X + m.cornerInset, Y + H + strip + m.bottomMargin);
    for (const FrameLabel &label : frameLabels()) {
        fl_color(label.colour);
        drawNumber(label.number, label.x, label.y);
    }

    // Markers: red over purple over green over blue.
    const uint64_t viewEnd = uint64_t(firstTick_) + visibleTicks_;
    for (unsigned t : sectionMarkers_)
        if (t >= firstTick_ && t < viewEnd)
            fillRect(markerRect(t), FL_BLUE);
    if (playMarker_ >= firstTick_ && playMarker_ < viewEnd)
        fillRect(markerRect(playMarker_), FL_DARK_GREEN);
    fillRect(markerRect(markers_.second), FL_MAGENTA);
    fillRect(markerRect(markers_.first), FL_RED);

    // Notes in storage order, later ones over earlier ones.
    const auto range = candidateNotes();
    Rect bar;
    for (std::size_t i = range.first; i < range.second; ++i) {
        if (noteRect(notes_[i], bar))
            fillRect(bar, noteColour(notes_[i]));
    }

    if (view_.noteNames)
        drawNoteColumn();
    drawPlayhead();
}

} // namespace tw
