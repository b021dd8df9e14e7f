// The playhead: a line over the board at the tick being played, moved by a timer on the GUI
// thread from the clock reading that the playback worker published, and the view following it.
#include "scoretape/ScoreTape.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <cmath>

namespace tw {

namespace {

constexpr double timerPeriod = 1.0 / 60; // seconds between two playhead steps
constexpr int lineWidth = 2;
// Orange: no row, marker or channel colour is orange.
constexpr Fl_Color playheadColour = tapeRgb(255, 140, 0);

} // namespace

void Flt_ScoreTape::startPlayhead(unsigned tick, double secondsPerTick, double loopTicks) {
    playhead_.arm(tick, secondsPerTick, loopTicks);
    Fl::remove_timeout(playheadTimer, this);
    Fl::add_timeout(timerPeriod, playheadTimer, this);
}

void Flt_ScoreTape::stopPlayhead() {
    Fl::remove_timeout(playheadTimer, this);
    if (!playhead_.active)
        return;
    playhead_.active = false;
    redraw();
}

void Flt_ScoreTape::holdPlayhead(bool on, int64_t nowMicros) {
    holdPlayhead_ = on;
    if (!on) {
        stopPlayhead();
        return;
    }
    if (!playhead_.active) {
        startPlayhead(playMarker_, timeScale_ / ticksPerFrame_);
        playhead_.startMicros.store(nowMicros);
    }
}

void Flt_ScoreTape::playheadTimer(void *tape) {
    Fl::repeat_timeout(timerPeriod, playheadTimer, tape);
    static_cast<Flt_ScoreTape *>(tape)->updatePlayhead(NoxmidiSnd::Timing::system().nowMicros());
}

void Flt_ScoreTape::updatePlayhead(int64_t nowMicros) {
    if (!playhead_.active)
        return;
    if (player_.state() != NoxssThread::stateRunning && !holdPlayhead_) {
        stopPlayhead(); // the view stays where it is
        return;
    }
    double tick = 0;
    if (!playhead_.tickAt(nowMicros, tick))
        return; // the worker has not begun yet
    const bool moved = !playhead_.hasPosition || playheadX(tick) != playheadX(playhead_.position);
    playhead_.position = tick;
    playhead_.hasPosition = true;
    if (view_.follow)
        setFirstTick(tw::followFirstTick(firstTick_, visibleTicks_, tick));
    if (moved)
        redraw();
}

bool Flt_ScoreTape::playheadTick(double &tick) const {
    if (!playhead_.active || !playhead_.hasPosition)
        return false;
    tick = playhead_.position;
    return true;
}

int Flt_ScoreTape::playheadX(double tick) const {
    const double offset = std::floor((tick - firstTick_) * tickWidth_);
    // Far outside the widget the position is only kept from overflowing: it is not seen.
    return boardX() + int(std::fmax(std::fmin(offset, 1 << 24), -(1 << 24)));
}

void Flt_ScoreTape::drawPlayhead() {
    double tick = 0;
    if (!playheadTick(tick))
        return;
    const int left = playheadX(tick);
    if (left < boardX() || left >= boardX() + gridWidth())
        return;
    fl_color(playheadColour);
    fl_rectf(left, y() + labelStripHeight(), lineWidth, gridHeight());
}

} // namespace tw
