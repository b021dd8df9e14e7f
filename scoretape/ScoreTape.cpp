// The tape: construction, the melody's change reports, and what is in view.
#include "scoretape/ScoreTape.h"

#include <FL/Fl.H>

namespace tw {

Flt_ScoreTape::Flt_ScoreTape(int x, int y, int w, int h, const char *label)
    : Fl_Widget(x, y, w, h, label) {
    model_.setChangeCallback([this] {
        redraw();
        compressLater();
    });
    updateVisibleArea(w, h);
}

Flt_ScoreTape::~Flt_ScoreTape() {
    Fl::remove_timeout(compressTimer, this);
}

void Flt_ScoreTape::compressLater() {
    if (compressing_ || !model_.undoHistoryMayHoldRaw())
        return;
    compressing_ = true;
    Fl::add_timeout(compressPause, compressTimer, this);
}

void Flt_ScoreTape::compressTimer(void *data) {
    auto *tape = static_cast<Flt_ScoreTape *>(data);
    // A step's worth at a time, so that the editor answers keys and clicks in between.
    if (tape->model_.compressUndoHistory(UndoHistory::compressStep))
        Fl::repeat_timeout(compressPause, compressTimer, data);
    else
        tape->compressing_ = false;
}

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
