// What is in view: the visible area, scrolling, ticks per frame, markers, row colours and the
// channel mask, and the geometry of the board that drawing and the tests use.
#include "scoretape/ScoreTape.h"

#include <algorithm>

namespace tw {

void Flt_ScoreTape::resize(int x, int y, int w, int h) {
    Fl_Widget::resize(x, y, w, h);
    updateVisibleArea(w, h);
}

void Flt_ScoreTape::updateVisibleArea(int w, int h) {
    if (w < 10 || h < 10) {
        setVisibleArea(0, 0);
        return;
    }
    const int column = boardX() - x();
    const int margins = labelStripHeight() + view_.metrics.bottomMargin;
    setVisibleArea(w - 1 > column ? unsigned(w - 1 - column) / tickWidth_ : 0,
                   h < margins ? 0 : unsigned(h - margins) / rowHeight_);
}

// ---- Geometry ----

bool Flt_ScoreTape::isRowShown(unsigned note) const {
    return note >= bottomNote_ && note < bottomNote_ + visibleRows_;
}

int Flt_ScoreTape::rowIndex(unsigned note) const {
    return int(bottomNote_ + visibleRows_ - 1 - note);
}

int Flt_ScoreTape::rowLineY(unsigned note) const {
    return y() + labelStripHeight() + int(rowHeight_ / 2) + rowIndex(note) * int(rowHeight_);
}

Fl_Color Flt_ScoreTape::noteColour(const TapeNote &note) const {
    Fl_Color c = channelColour(note.channel, note.selected);
    return c == 0 ? FL_WHITE : c;
}

bool Flt_ScoreTape::noteRect(const TapeNote &note, Rect &rect) const {
    const long long first = firstTick_, start = note.start, end = start + note.length;
    if (!(first < end && start < first + visibleTicks_) || !isChannelShown(note) ||
        !isRowShown(note.note))
        return false;
    const long long c0 = std::max(start - first, 0LL);
    const long long c1 = std::min(end - first, (long long)visibleTicks_);
    rect.x = boardX() + int(c0 * tickWidth_);
    rect.y = y() + 1 + (rowIndex(note.note) + 1) * int(rowHeight_);
    rect.w = int((c1 - c0) * tickWidth_);
    rect.h = int(rowHeight_) - 1;
    return true;
}

Flt_ScoreTape::Rect Flt_ScoreTape::markerRect(unsigned tick) const {
    // Far outside the widget the position is only kept from overflowing: it is not seen.
    long long left = boardX() + ((long long)tick - (long long)firstTick_) * tickWidth_;
    left = std::max(std::min(left, 1LL << 24), -(1LL << 24));
    return Rect{int(left), y() + labelStripHeight(), 2, gridHeight()};
}

std::vector<Flt_ScoreTape::FrameLabel> Flt_ScoreTape::frameLabels() const {
    std::vector<FrameLabel> labels;
    const long long frame = ticksPerFrame_, step = frame * tickWidth_;
    long long g = firstTick_ / frame + 1;
    const tw::BoardMetrics &m = view_.metrics;
    const long long left = boardX() - x();
    long long p = left + x() + (g * frame - firstTick_) * tickWidth_;
    if (p - left < m.labelGap) {
        p += step;
        g += 1;
    }
    const long long firstStart = notes_.empty() ? 0 : notes_.front().start;
    // The first label is always drawn; further ones while they fit.
    do {
        Fl_Color colour = g * frame > firstStart ? FL_RED : FL_BLACK;
        labels.push_back(
            FrameLabel{int(p + m.labelInset), y() + m.labelBaseline, unsigned(g), colour});
        g += 1;
        p += step;
    } while (p <= w() - m.labelGap);
    return labels;
}

} // namespace tw
