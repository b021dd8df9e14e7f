// What is in view: the visible area, scrolling, ticks per frame, markers, row colours and the
// channel mask, and the geometry of the board that drawing and the tests use.
#include "scoretape/ScoreTape.h"

#include <algorithm>

void Flt_ScoreTape::resize(int x, int y, int w, int h) {
    Fl_Widget::resize(x, y, w, h);
    updateVisibleArea(w, h);
}

void Flt_ScoreTape::updateVisibleArea(int w, int h) {
    if (w < 10 || h < 10) {
        visibleTicks_ = 0;
        visibleRows_ = 0;
        return;
    }
    const int column = boardX() - x();
    const int margins = labelStripHeight() + view_.metrics.bottomMargin;
    visibleTicks_ = w - 1 > column ? unsigned(w - 1 - column) / tickWidth_ : 0;
    visibleRows_ = h < margins ? 0 : std::min(unsigned(h - margins) / rowHeight_, 128u);
}

void Flt_ScoreTape::setTicksPerFrame(unsigned ticks) {
    if (ticks < 2 || ticks > 200)
        return;
    ticksPerFrame_ = ticks;
    redraw();
}

void Flt_ScoreTape::setFirstTick(unsigned tick) {
    if (tick == firstTick_)
        return;
    firstTick_ = tick;
    redraw();
}

unsigned Flt_ScoreTape::endTick() const {
    if (notes_.empty())
        return 0;
    return notes_.back().start + notes_.back().length;
}

void Flt_ScoreTape::scrollToEnd() {
    unsigned end = endTick();
    setFirstTick(visibleTicks_ < end ? end - visibleTicks_ : 0);
}

void Flt_ScoreTape::setBottomNote(unsigned note) {
    if (note > 127)
        return;
    bottomNote_ = note;
    redraw();
}

bool Flt_ScoreTape::scrollNotes(int rows) {
    if (rows < 0) {
        unsigned d = unsigned(-(long long)rows);
        if (bottomNote_ == 0)
            return false;
        bottomNote_ = bottomNote_ <= d ? 0 : bottomNote_ - d;
    } else {
        const unsigned top = bottomNote_ + visibleRows_ - 1;
        if (top >= 127)
            return false;
        if (uint64_t(top) + unsigned(rows) < 127)
            bottomNote_ += unsigned(rows);
        else // the top row becomes 127; without rows in view the bottom one does
            bottomNote_ = visibleRows_ == 0 ? 127 : 128 - visibleRows_;
    }
    redraw();
    return true;
}

void Flt_ScoreTape::setPlayMarker(unsigned tick) {
    if (tick == playMarker_)
        return;
    playMarker_ = tick;
    redraw();
}

void Flt_ScoreTape::setLeftMarker(unsigned tick) {
    if (tick < firstTick_) {
        unsigned boundary = tick / ticksPerFrame_ * ticksPerFrame_;
        if (boundary == tick && boundary != 0)
            boundary -= ticksPerFrame_;
        firstTick_ = boundary;
    } else if (uint64_t(tick) >= uint64_t(firstTick_) + visibleTicks_) {
        firstTick_ = ((tick - visibleTicks_) / ticksPerFrame_ + 1) * ticksPerFrame_;
    }
    markers_.first = tick;
    if (markers_.second < tick)
        markers_.second = tick;
    redraw();
}

void Flt_ScoreTape::setRightMarker(unsigned tick) {
    markers_.second = tick;
    if (markers_.first > tick)
        markers_.first = tick;
    redraw();
}

void Flt_ScoreTape::toggleSectionMarker(unsigned tick) {
    if (!sectionMarkers_.erase(tick))
        sectionMarkers_.insert(tick);
    redraw();
}

void Flt_ScoreTape::clearSectionMarkers() {
    if (sectionMarkers_.empty())
        return;
    sectionMarkers_.clear();
    redraw();
}

void Flt_ScoreTape::setRowColours(const RowColours &colours) {
    rowColours_ = colours;
    redraw();
}

void Flt_ScoreTape::setChannelMask(unsigned short mask) {
    if (mask == channelMask_)
        return;
    for (TapeNote &n : notes_)
        n.selected = false;
    channelMask_ = mask;
    redraw();
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

std::pair<std::size_t, std::size_t> Flt_ScoreTape::candidateNotes() const {
    // Ordered by start: notes that start at or after the last shown tick are never drawn, and
    // a note that starts more than the longest length before firstTick ends before it.
    const uint64_t viewEnd = uint64_t(firstTick_) + visibleTicks_;
    auto byStart = [](const TapeNote &n, uint64_t t) { return n.start < t; };
    const std::size_t last = std::size_t(
        std::lower_bound(notes_.begin(), notes_.end(), viewEnd, byStart) - notes_.begin());
    const unsigned longest = longestNote();
    const uint64_t low = firstTick_ >= longest ? uint64_t(firstTick_) - longest + 1 : 0;
    const std::size_t first = std::size_t(
        std::lower_bound(notes_.begin(), notes_.begin() + last, low, byStart) - notes_.begin());
    return {first, last};
}
