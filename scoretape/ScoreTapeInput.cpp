// Pointer presses and releases on the board become (tick, note, state) for the click callback.
#include "scoretape/ScoreTape.h"

#include <FL/Fl.H>

namespace tw {

Flt_ScoreTape::ClickPosition Flt_ScoreTape::clickPosition(int eventX, int eventY,
                                                          int eventState) const {
    ClickPosition pos;
    // Unsigned on purpose: positions off the board give ticks and notes that the operations
    // refuse (below row 0 the note wraps around).
    pos.tick = unsigned(eventX - boardX()) / board_.tickWidth + board_.firstTick;
    pos.note = board_.visibleRows + board_.bottomNote - unsigned(eventY - y()) / board_.rowHeight;
    pos.state = eventState & ~(FL_CAPS_LOCK | FL_NUM_LOCK | FL_SCROLL_LOCK);
    // The grid: the shown rows below the label strip, the shown tick columns.
    const int dx = eventX - boardX(), dy = eventY - y(), strip = labelStripHeight();
    const BoardLayout grid = layout();
    pos.onGrid = dx >= 0 && dx < grid.gridWidth() && dy >= strip && dy < strip + grid.gridHeight();
    return pos;
}

int Flt_ScoreTape::handle(int event) {
    if (trackPointer(event))
        return 1;
    if (event != FL_PUSH && event != FL_RELEASE)
        return Fl_Widget::handle(event);
    if (Fl::event_x() < boardX())
        return 1; // the note name column takes no clicks
    const ClickPosition pos = clickPosition(Fl::event_x(), Fl::event_y(), Fl::event_state());
    if (clickCallback_ && pos.onGrid)
        clickCallback_(pos.tick, pos.note, pos.state, event == FL_PUSH);
    return 1;
}

} // namespace tw
