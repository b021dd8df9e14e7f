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
    tw::drawBoard(painter, layout(), labelFont_);
    if (display_.noteNames)
        drawNoteColumn();
    drawTake();
    drawPlayhead();
    drawSelectionRectangle();
}

bool Flt_ScoreTape::cellBox(long long tick0, long long tick1, int note0, int note1,
                            Rect &box) const {
    const tw::BoardLayout board = layout();
    const long long first = board_.firstTick, tw = board_.tickWidth, rh = board_.rowHeight;
    const long long top = (long long)board_.bottomNote + board_.visibleRows - 1;
    const long long gridTop = y() + labelStripHeight();
    // Cells as the board places them, kept within the grid.
    const long long x0 = board.gridX() + (tick0 - first) * tw;
    const long long x1 = board.gridX() + (tick1 + 1 - first) * tw;
    const long long y0 = gridTop + (top - note1) * rh;
    const long long y1 = gridTop + (top - note0 + 1) * rh;
    const long long left = std::max<long long>(x0, board.gridX());
    const long long right = std::min<long long>(x1, board.gridX() + board.gridWidth());
    const long long upper = std::max<long long>(y0, gridTop);
    const long long lower = std::min<long long>(y1, gridTop + board.gridHeight());
    if (right <= left || lower <= upper)
        return false;
    box = {int(left), int(upper), int(right - left), int(lower - upper)};
    return true;
}

void Flt_ScoreTape::setTakeNotes(std::vector<TapeNote> notes) {
    if (notes.empty() && take_.empty())
        return;
    take_ = std::move(notes);
    redraw();
}

void Flt_ScoreTape::drawTake() {
    if (take_.empty())
        return;
    const long long first = board_.firstTick;
    const long long last = first + board_.visibleTicks + 1; // a part column too
    fl_color(FL_DARK_MAGENTA);
    fl_line_style(FL_SOLID, 2);
    for (const TapeNote &n : take_) {
        if (n.start >= last)
            break; // ordered by start
        const long long end = (long long)n.start + std::max<uint32_t>(n.length, 1) - 1;
        Rect box;
        if (end >= first && cellBox(n.start, end, n.note, n.note, box))
            fl_rect(box.x, box.y, box.w, box.h);
    }
    fl_line_style(0);
}

void Flt_ScoreTape::drawSelectionRectangle() {
    Rect box;
    if (!rectangle_.on ||
        !cellBox(rectangle_.tick0, rectangle_.tick1, rectangle_.note0, rectangle_.note1, box))
        return;
    fl_color(FL_BLACK);
    fl_line_style(FL_DOT, 1);
    fl_rect(box.x, box.y, box.w, box.h);
    fl_line_style(0);
}

} // namespace tw
