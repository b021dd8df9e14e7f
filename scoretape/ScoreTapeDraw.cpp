// Drawing of the score board: the renderer that also draws it into files paints the board
// through FLTK, with the widget's zoomed sizes and its note name column left free; the note
// name column (ScoreTapeZoom.cpp) and the playhead (ScoreTapePlayhead.cpp) are drawn over it.
#include "scoretape/FltkPainter.h"
#include "scoretape/ScoreTape.h"

#include <FL/fl_draw.H>

#include <algorithm>

namespace tw {

void Flt_ScoreTape::draw() {
    tw::FltkPainter painter;
    tw::drawBoard(painter, *this, layout(), labelFont_);
    if (view_.noteNames)
        drawNoteColumn();
    drawPlayhead();
    drawSelectionRectangle();
}

void Flt_ScoreTape::drawSelectionRectangle() {
    if (!rectangle_.on)
        return;
    const tw::BoardLayout board = layout();
    const long long first = firstTick_, tw = tickWidth_, rh = rowHeight_;
    const long long top = (long long)bottomNote_ + visibleRows_ - 1;
    // Cells as the board places them, kept within the grid.
    const long long x0 = board.gridX() + (rectangle_.tick0 - first) * tw;
    const long long x1 = board.gridX() + (rectangle_.tick1 + 1 - first) * tw;
    const long long y0 = y() + labelStripHeight() + (top - rectangle_.note1) * rh;
    const long long y1 = y() + labelStripHeight() + (top - rectangle_.note0 + 1) * rh;
    const long long left = std::max<long long>(x0, board.gridX());
    const long long right = std::min<long long>(x1, board.gridX() + board.gridWidth());
    const long long upper = std::max<long long>(y0, y() + labelStripHeight());
    const long long lower = std::min<long long>(y1, y() + labelStripHeight() + board.gridHeight());
    if (right <= left || lower <= upper)
        return;
    fl_color(FL_BLACK);
    fl_line_style(FL_DOT, 1);
    fl_rect(int(left), int(upper), int(right - left), int(lower - upper));
    fl_line_style(0);
}

} // namespace tw
