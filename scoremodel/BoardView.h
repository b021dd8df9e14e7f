// The part of the tape in view: the first tick and the bottom note, how many whole tick columns
// and rows fit, the zoom step and the sizes of a tick and a row in pixels at that zoom. A plain
// value beside the melody: the window keeps one for the screen, an export makes one for its
// picture, and layout, hit-testing and drawing take the melody and the view together.
#pragma once

namespace tw {

// Zoom steps in percent of the actual size; index actualSizeStep is 100 %.
constexpr int zoomPercents[] = {50, 75, 100, 150, 200, 300, 400};
constexpr int zoomStepCount = int(sizeof zoomPercents / sizeof zoomPercents[0]);
constexpr int actualSizeStep = 2;

struct BoardView {
    unsigned firstTick = 0;
    unsigned visibleTicks = 0; // whole tick columns shown
    unsigned visibleRows = 0;  // whole rows shown, at most 128
    unsigned bottomNote = 58;
    int zoomStep = actualSizeStep;
    unsigned tickWidth = 8;  // pixels of a tick column at the zoom
    unsigned rowHeight = 11; // pixels of a row at the zoom

    // The number of whole tick columns and rows shown (rows kept to 128).
    void setArea(unsigned ticks, unsigned rows);
    bool showsRow(unsigned note) const;
    // The highest shown row, counted from bottomNote (may lie above 127).
    unsigned topNote() const { return bottomNote + visibleRows - 1; }
    // Moves the rows up (positive) or down by `rows`, kept inside 0..127; false when the
    // view already stood at that end.
    bool scrollRows(int rows);
    // Brings `tick` into view by whole frames of ticksPerFrame when it lies outside: left of
    // the view onto the frame boundary before it, right of it so that it is the last column.
    void showTick(unsigned tick, unsigned ticksPerFrame);
    // Puts the row of `note` in the middle when it is not shown.
    void showRow(unsigned note);
};

} // namespace tw
