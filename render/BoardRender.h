// The score board drawn once for every back end: its geometry for a melody shown in an area of
// pixels, the colours of notes and markers, and the drawing itself through a Painter.
#pragma once

#include "render/Painter.h"
#include "scoremodel/ScoreModel.h"

#include <climits>
#include <vector>

namespace tw {

// Sizes of the board's labels and margins in pixels at 100 % (a tick's and a row's are the
// view's).
struct BoardSizes {
    int labelStrip = 11;  // above the grid, for the frame labels
    int bottomMargin = 4; // below the grid
    int labelFontSize = 10;
    int labelBaseline = 9; // of the frame labels and the top row number, from the top
    int labelGap = 10;     // frame labels stay this far from the board's edges
    int labelInset = 2;    // frame label text right of its frame line
    int cornerInset = 3;   // the row numbers, from the left edge
    int markerWidth = 2;
    int beatLineGap = 4; // beat lines closer than this are left out, then bar lines too
};

// The board's place in pixels. A column of width `column` at the left of the area (the
// window's note names) holds no grid: the grid, its lines and numbers begin right of it.
struct BoardArea {
    int x = 0, y = 0, w = 0, h = 0;
    int column = 0;
};

struct PixelRect {
    int x = 0, y = 0, w = 0, h = 0;
    friend bool operator==(const PixelRect &a, const PixelRect &b) {
        return a.x == b.x && a.y == b.y && a.w == b.w && a.h == b.h;
    }
};

// One frame number along the top, its text base line at (x, y).
struct BoardLabel {
    int x = 0, y = 0;
    unsigned number = 0;
    TapeColour colour = 0;
};

// The colour of notes of a channel (0 for channel index 2 and channels above 15: drawn black).
TapeColour channelNoteColour(unsigned channel, bool selected);

// Where things lie on the board of `model` seen through `view` (first tick, bottom note, visible
// ticks and rows, tick and row sizes) in `area`. Keeps references to the model and the view.
class BoardLayout {
public:
    BoardLayout(const ScoreModel &model, const BoardView &view, BoardArea area,
                BoardSizes sizes = BoardSizes());

    const ScoreModel &model() const { return model_; }
    const BoardView &view() const { return view_; }
    const BoardArea &area() const { return area_; }
    const BoardSizes &sizes() const { return sizes_; }
    // Left edge of the grid.
    int gridX() const { return area_.x + area_.column; }
    bool isRowShown(unsigned note) const;
    int rowIndex(unsigned note) const; // from the top; only for shown rows
    int rowLineY(unsigned note) const;
    int gridHeight() const { return int(view_.visibleRows * view_.rowHeight); }
    int gridWidth() const { return int(view_.visibleTicks * view_.tickWidth); }
    int tickLineX(unsigned column) const { return gridX() + int(column * view_.tickWidth); }
    // The bar of a note, clipped to the shown ticks; false when the note is not drawn.
    bool noteRect(const TapeNote &note, PixelRect &rect) const;
    // The top pixel row of the bars on a shown row.
    int noteTop(unsigned note) const;
    PixelRect markerRect(unsigned tick) const;
    // The frame numbers whose text starts at x from fromX to before toX.
    std::vector<BoardLabel> frameLabels(long long fromX = LLONG_MIN,
                                        long long toX = LLONG_MAX) const;
    TapeColour noteColour(const TapeNote &note) const;

private:
    const ScoreModel &model_;
    const BoardView &view_;
    BoardArea area_;
    BoardSizes sizes_;
};

// Paints the whole board of the layout's model and view: white ground, tick and row lines, row
// and frame numbers, markers and notes. labelFont is the FLTK font number of the numbers.
void drawBoard(Painter &painter, const BoardLayout &layout, int labelFont = 0);

} // namespace tw
