// The playhead: a line over the board at the tick being played, placed by the playback
// controller's timer, and the view following it.
#include "scoretape/Playhead.h"
#include "scoretape/ScoreTape.h"

#include <FL/fl_draw.H>

#include <cmath>

namespace tw {

namespace {

constexpr int lineWidth = 2;
// Orange: no row, marker or channel colour is orange.
constexpr Fl_Color playheadColour = tapeRgb(255, 140, 0);

} // namespace

void Flt_ScoreTape::showPlayhead(double tick) {
    const bool moved = !playhead_ || playheadX(tick) != playheadX(*playhead_);
    playhead_ = tick;
    if (display_.follow)
        setFirstTick(tw::followFirstTick(board_.firstTick, board_.visibleTicks, tick));
    if (moved)
        redraw();
}

void Flt_ScoreTape::hidePlayhead() {
    if (!playhead_)
        return;
    playhead_.reset();
    redraw();
}

bool Flt_ScoreTape::playheadTick(double &tick) const {
    if (!playhead_)
        return false;
    tick = *playhead_;
    return true;
}

int Flt_ScoreTape::playheadX(double tick) const {
    const double offset = std::floor((tick - board_.firstTick) * board_.tickWidth);
    // Far outside the widget the position is only kept from overflowing: it is not seen.
    return boardX() + int(std::fmax(std::fmin(offset, 1 << 24), -(1 << 24)));
}

void Flt_ScoreTape::drawPlayhead() {
    double tick = 0;
    if (!playheadTick(tick))
        return;
    const int left = playheadX(tick);
    const BoardLayout grid = layout();
    if (left < boardX() || left >= boardX() + grid.gridWidth())
        return;
    fl_color(playheadColour);
    fl_rectf(left, y() + labelStripHeight(), lineWidth, grid.gridHeight());
}

} // namespace tw
