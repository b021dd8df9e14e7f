// What is in view: the visible area, scrolling, ticks per frame, markers, row colours and the
// channel mask, and the geometry of the board that drawing and the tests use.
#include "scoretape/ScoreTape.h"

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

tw::BoardLayout Flt_ScoreTape::layout() const {
    return tw::BoardLayout(*this, tw::BoardArea{x(), y(), w(), h(), boardX() - x()}, view_.metrics);
}

bool Flt_ScoreTape::isRowShown(unsigned note) const {
    return layout().isRowShown(note);
}

int Flt_ScoreTape::rowIndex(unsigned note) const {
    return layout().rowIndex(note);
}

int Flt_ScoreTape::rowLineY(unsigned note) const {
    return layout().rowLineY(note);
}

Fl_Color Flt_ScoreTape::noteColour(const TapeNote &note) const {
    return layout().noteColour(note);
}

bool Flt_ScoreTape::noteRect(const TapeNote &note, Rect &rect) const {
    return layout().noteRect(note, rect);
}

Flt_ScoreTape::Rect Flt_ScoreTape::markerRect(unsigned tick) const {
    return layout().markerRect(tick);
}

std::vector<Flt_ScoreTape::FrameLabel> Flt_ScoreTape::frameLabels() const {
    return layout().frameLabels();
}

} // namespace tw
