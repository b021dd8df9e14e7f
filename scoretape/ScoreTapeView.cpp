// The visible area that follows the widget's size, and the geometry of the board that drawing,
// hit-testing and the tests use.
#include "scoretape/ScoreTape.h"

namespace tw {

void Flt_ScoreTape::resize(int x, int y, int w, int h) {
    Fl_Widget::resize(x, y, w, h);
    updateVisibleArea(w, h);
}

void Flt_ScoreTape::updateVisibleArea(int w, int h) {
    if (w < 10 || h < 10) {
        board_.setArea(0, 0);
        return;
    }
    const int column = boardX() - x();
    const int margins = labelStripHeight() + display_.metrics.bottomMargin;
    board_.setArea(w - 1 > column ? unsigned(w - 1 - column) / board_.tickWidth : 0,
                   h < margins ? 0 : unsigned(h - margins) / board_.rowHeight);
}

tw::BoardLayout Flt_ScoreTape::layout() const {
    return tw::BoardLayout(model_, board_, tw::BoardArea{x(), y(), w(), h(), boardX() - x()},
                           display_.metrics);
}

} // namespace tw
