// Drawing of the score board: the renderer that also draws it into files paints the board
// through FLTK, with the widget's zoomed sizes and its note name column left free; the note
// name column (ScoreTapeZoom.cpp) and the playhead (ScoreTapePlayhead.cpp) are drawn over it.
#include "scoretape/FltkPainter.h"
#include "scoretape/ScoreTape.h"

namespace tw {

void Flt_ScoreTape::draw() {
    tw::FltkPainter painter;
    tw::drawBoard(painter, layout(), labelFont_);
    if (display_.noteNames)
        drawNoteColumn();
    drawPlayhead();
}

} // namespace tw
