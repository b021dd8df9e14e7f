// The view options: display scale and zoom, the note name column, and the pointer (its
// position for the status line and the name column, and its shape while a click is armed).
#include "scoretape/ScoreTape.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>

#include <algorithm>

namespace tw {

namespace {

constexpr Fl_Color hoverBand = tapeRgb(255, 255, 190);
constexpr Fl_Color keyLine = FL_DARK3;

} // namespace

void Flt_ScoreTape::setDisplayScale(double scale) {
    view_.scale = scale > 0 ? scale : 1;
    applyZoom();
}

void Flt_ScoreTape::applyZoom() {
    view_.metrics = tw::boardMetrics(view_.factor());
    tickWidth_ = view_.metrics.tickWidth;
    rowHeight_ = view_.metrics.rowHeight;
    updateVisibleArea(w(), h());
    redraw();
}

namespace {

bool onGrid(const Flt_ScoreTape &t, int ex, int ey) {
    const int top = t.y() + t.labelStripHeight();
    return ex >= t.boardX() && ex < t.boardX() + t.gridWidth() && ey >= top &&
           ey < top + t.gridHeight();
}

} // namespace

void Flt_ScoreTape::zoomAt(int step, int eventX, int eventY) {
    step = std::clamp(step, 0, tw::zoomStepCount - 1);
    const bool centred = !onGrid(*this, eventX, eventY);
    if (centred) {
        eventX = boardX() + gridWidth() / 2;
        eventY = y() + labelStripHeight() + gridHeight() / 2;
    }
    const ClickPosition at = clickPosition(eventX, eventY, 0);
    view_.zoomStep = step;
    applyZoom();
    if (centred) {
        eventX = boardX() + gridWidth() / 2;
        eventY = y() + labelStripHeight() + gridHeight() / 2;
    }
    setFirstTick(tw::anchoredFirstTick(at.tick, eventX - boardX(), tickWidth_));
    setBottomNote(tw::anchoredBottomNote(at.note, eventY - y(), rowHeight_, visibleRows_));
}

void Flt_ScoreTape::zoomTo(int step) {
    if (view_.pointerInside)
        zoomAt(step, view_.pointerX, view_.pointerY);
    else
        zoomAt(step, x() - 1, y() - 1); // off the grid: the view's centre
}

void Flt_ScoreTape::setNoteNamesShown(bool on) {
    if (on == view_.noteNames)
        return;
    view_.noteNames = on;
    updateVisibleArea(w(), h());
    redraw();
}

void Flt_ScoreTape::setCrosshair(bool on) {
    view_.crosshair = on;
    showCursor();
}

bool Flt_ScoreTape::pointerCell(unsigned &tick, unsigned &note) const {
    if (!view_.pointerInside || !onGrid(*this, view_.pointerX, view_.pointerY))
        return false;
    const ClickPosition at = clickPosition(view_.pointerX, view_.pointerY, 0);
    tick = at.tick;
    note = at.note;
    return note < 128;
}

double Flt_ScoreTape::secondsAt(unsigned tick) const {
    return double(tick) * timeScale_ / ticksPerFrame_;
}

bool Flt_ScoreTape::trackPointer(int event) {
    if (event != FL_ENTER && event != FL_MOVE && event != FL_DRAG && event != FL_LEAVE)
        return false;
    unsigned tick = 0, before = 128, after = 128;
    pointerCell(tick, before);
    const bool inside = event != FL_LEAVE && Fl::event_inside(this);
    const bool entered = inside != view_.pointerInside;
    if (entered && !inside && window())
        window()->cursor(FL_CURSOR_DEFAULT);
    view_.pointerInside = inside;
    if (entered)
        showCursor();
    view_.pointerX = Fl::event_x();
    view_.pointerY = Fl::event_y();
    pointerCell(tick, after);
    if (view_.noteNames && before != after)
        redraw(); // the name of the row under the pointer
    if (pointerCallback_)
        pointerCallback_();
    return true;
}

void Flt_ScoreTape::drawNoteColumn() {
    const tw::BoardMetrics &m = view_.metrics;
    const int X = x(), top = y() + labelStripHeight(), rh = int(rowHeight_);
    const int keysW = m.noteColumnWidth * 9 / 20, keysX = boardX() - 1 - keysW;
    const int blackW = keysW * 3 / 5;
    unsigned tick = 0, hovered = 128;
    pointerCell(tick, hovered);

    fl_push_clip(X, y(), m.noteColumnWidth, h());
    fl_font(labelFont_, std::min(m.labelFontSize, rh));
    for (unsigned n = bottomNote_; n < bottomNote_ + visibleRows_ && n < 128; ++n) {
        const int ry = top + rowIndex(n) * rh;
        if (tw::isBlackKey(n)) {
            fl_color(FL_BLACK);
            fl_rectf(keysX, ry, blackW, rh);
            fl_color(keyLine); // the border of the two white keys beside it
            fl_xyline(keysX + blackW, ry + rh / 2, keysX + keysW - 1);
        } else if (n % 12 == 0 || n % 12 == 5) {
            fl_color(keyLine); // B to C and E to F: white keys meet over the full width
            fl_xyline(keysX, ry + rh - 1, keysX + keysW - 1);
        }
        if (n == hovered) {
            fl_color(hoverBand);
            fl_rectf(X, ry, keysX - X, rh);
        }
        if (n % 12 == 0 || n == hovered) {
            fl_color(FL_BLACK);
            fl_draw(tw::noteName(n).c_str(), X + 1, ry, keysX - X - 3, rh, FL_ALIGN_RIGHT);
        }
    }
    fl_color(keyLine);
    fl_rect(keysX, top, keysW, gridHeight());
    fl_pop_clip();
}

} // namespace tw
