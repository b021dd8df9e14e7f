// The size of the board: zoom steps, the pixel sizes at a zoom factor, the view that keeps
// a tick and a note under the pointer while the zoom changes, note names, the pointer status
// line and the display scale of the screen. Plain arithmetic, no FLTK.
#pragma once

#include "notes/NoteNames.h"
#include "render/BoardRender.h"
#include "scoremodel/BoardView.h"

#include <string>

namespace tw {

// The step after `step` by `delta` steps, kept inside the table.
int zoomStepBy(int step, int delta);

// Pixel sizes of the board at a factor (display scale times zoom): those the renderer draws
// with, the label strip one row high, and the note name column. At factor 1 they are the sizes
// the board always had: ticks 8 pixels wide, rows 11 pixels high, labels in 10 points.
struct BoardMetrics : BoardSizes {
    int noteColumnWidth = 48; // the note name column
};
BoardMetrics boardMetrics(double factor);
// The width of a tick column and the height of a row at a factor, into the view.
void zoomSizes(BoardView &view, double factor);

// The first tick that keeps `tick` under the pointer px pixels right of the board's left
// edge at the new tick width (0 when the tick lies closer to the start than that).
unsigned anchoredFirstTick(unsigned tick, int px, unsigned tickWidth);
// The bottom note that keeps `note` under the pointer py pixels below the widget's top, with
// rowHeight and visibleRows of the new zoom; kept inside 0..127.
unsigned anchoredBottomNote(unsigned note, int py, unsigned rowHeight, unsigned visibleRows);

// True for the notes of the black keys.
bool isBlackKey(unsigned note);
// What lies under the pointer: "G4 (67) · tick 1,234 · 12.3 s".
std::string pointerStatus(unsigned note, unsigned tick, double seconds);

// The display scale of a screen with `dpi` dots per inch (rounded to a whole number): 1 below
// 144, 1.5 from 144, 2 from 192, 3 from 288.
double scaleForDpi(double dpi);
// The scale to use: a TAPEWORKS2_SCALE value (a number from 0.5 to 4) when one is given and
// valid, otherwise the screen's.
double displayScale(double dpi, const char *overrideValue);

// The tape's display options and what it knows of the pointer.
struct TapeDisplay {
    double scale = 1;       // the display scale: the size of the zoom's 100 %
    bool noteNames = false; // the note name column is shown
    bool follow = true;     // the view follows the playhead
    bool crosshair = false; // the pointer is a crosshair over the board
    BoardMetrics metrics;   // at scale times zoom
    // The pointer while it is over the widget, in widget coordinates (absolute).
    bool pointerInside = false;
    int pointerX = 0, pointerY = 0;

    double factor(int zoomStep) const { return scale * zoomPercents[zoomStep] / 100.0; }
};

} // namespace tw
