// The tape: construction, the melody's change reports, and what is in view.
#include "scoretape/ScoreTape.h"

namespace tw {

Flt_ScoreTape::Flt_ScoreTape(int x, int y, int w, int h, const char *label)
    : Fl_Widget(x, y, w, h, label) {
    model_.setChangeCallback([this] { redraw(); });
    updateVisibleArea(w, h);
}

Flt_ScoreTape::~Flt_ScoreTape() = default;

void Flt_ScoreTape::setLabelFont(Fl_Font font) {
    labelFont_ = font;
    redraw();
}

void Flt_ScoreTape::setFirstTick(unsigned tick) {
    if (tick == board_.firstTick)
        return;
    board_.firstTick = tick;
    redraw();
}

void Flt_ScoreTape::setBottomNote(unsigned note) {
    if (note > 127)
        return;
    board_.bottomNote = note;
    redraw();
}

bool Flt_ScoreTape::scrollNotes(int rows) {
    if (!board_.scrollRows(rows))
        return false;
    redraw();
    return true;
}

void Flt_ScoreTape::scrollToEnd() {
    const unsigned end = model_.endTick();
    setFirstTick(board_.visibleTicks < end ? end - board_.visibleTicks : 0);
}

} // namespace tw
