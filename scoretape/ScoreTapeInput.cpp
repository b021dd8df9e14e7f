// Pointer presses and releases on the board become (tick, note, state) for the click callback.
#include "scoretape/ScoreTape.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>

namespace tw {

Flt_ScoreTape::ClickPosition Flt_ScoreTape::clickPosition(int eventX, int eventY,
                                                          int eventState) const {
    ClickPosition pos;
    // Unsigned on purpose: positions off the board give ticks and notes that the operations
    // refuse (below row 0 the note wraps around).
    pos.tick = unsigned(eventX - boardX()) / tickWidth_ + firstTick_;
    pos.note = visibleRows_ + bottomNote_ - unsigned(eventY - y()) / rowHeight_;
    pos.state = eventState & ~(FL_CAPS_LOCK | FL_NUM_LOCK | FL_SCROLL_LOCK);
    // The grid: the shown rows below the label strip, the shown tick columns.
    const int dx = eventX - boardX(), dy = eventY - y(), strip = labelStripHeight();
    pos.onGrid = dx >= 0 && dx < gridWidth() && dy >= strip && dy < strip + gridHeight();
    return pos;
}

Flt_ScoreTape::DragEvent Flt_ScoreTape::dragEvent(int event, int eventX, int eventY,
                                                  int eventState) const {
    DragEvent e;
    e.event = event;
    const int dx = eventX - boardX(), dy = eventY - y(), tw = int(tickWidth_), rh = int(rowHeight_);
    // Floor division: left of the grid and above it the cells count on below 0.
    const long long column = dx >= 0 ? dx / tw : -((-dx + tw - 1) / tw);
    const long long row = dy >= 0 ? dy / rh : -((-dy + rh - 1) / rh);
    e.point.x = eventX;
    e.point.y = eventY;
    e.point.tick = column + (long long)firstTick_;
    e.point.note = int((long long)visibleRows_ + bottomNote_ - row);
    e.rightHalf = dx - column * tw >= tw / 2;
    e.state = eventState & ~(FL_CAPS_LOCK | FL_NUM_LOCK | FL_SCROLL_LOCK);
    e.onGrid = clickPosition(eventX, eventY, eventState).onGrid;
    return e;
}

void Flt_ScoreTape::setPointerShape(PointerShape shape) {
    if (shape == pointerShape_)
        return;
    pointerShape_ = shape;
    showCursor();
}

void Flt_ScoreTape::showCursor() {
    if (!view_.pointerInside || !window())
        return;
    Fl_Cursor cursor = FL_CURSOR_DEFAULT;
    if (view_.crosshair)
        cursor = FL_CURSOR_CROSS;
    else if (pointerShape_ == PointerShape::move)
        cursor = FL_CURSOR_MOVE;
    else if (pointerShape_ == PointerShape::resize)
        cursor = FL_CURSOR_WE;
    window()->cursor(cursor);
}

void Flt_ScoreTape::setSelectionRectangle(bool on, long long tick0, long long tick1, int note0,
                                          int note1) {
    rectangle_ = SelectionRectangle{on, tick0, tick1, note0, note1};
    redraw();
}

int Flt_ScoreTape::handle(int event) {
    if (event == FL_PUSH || event == FL_DRAG || event == FL_RELEASE) {
        if (event == FL_DRAG)
            trackPointer(event);
        const DragEvent drag = dragEvent(event, Fl::event_x(), Fl::event_y(), Fl::event_state());
        if (dragCallback_ && (event != FL_PUSH || Fl::event_x() >= boardX()) && dragCallback_(drag))
            return 1;
        if (event == FL_DRAG)
            return 1;
    }
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
