// Filled rectangles gathered over a page or tile and handed back a colour at a time in an order
// that gives the same picture as filling them one by one: a vector page then takes a few fills
// instead of one for every note. Shared by the painters that write vector pages.
#pragma once

#include "notes/RowColours.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace tw {

// Bars at least this many units thick are drawn as strokes along their middle (one number
// pair fewer than a rectangle); thinner ones are filled, as viewers widen thin strokes.
constexpr int minStrokeWidth = 3;

class RectLayers {
public:
    // A rectangle waiting, cut to the area. Its layer lies above that of every earlier
    // rectangle it overlaps in another colour and not below that of one in its own.
    struct Rect {
        int x, y, w, h;
        TapeColour colour;
        uint32_t layer;
    };
    // Rectangles of one colour, layer and thickness, to be drawn together: thickness > 0 for
    // bars wider than tall (that many rows), < 0 for ones taller than wide. `stroke` tells
    // whether they are thick and many enough to be stroked along their middle.
    using Run = std::function<void(TapeColour colour, int thickness, bool stroke,
                                   const std::vector<const Rect *> &rects)>;

    // Forgets what is gathered; rectangles are cut to x0 <= x < x1, y0 <= y < y1.
    void setArea(long long x0, long long y0, long long x1, long long y1);
    // Gathers a rectangle that reaches into the area (callers skip the ones outside).
    void add(int x, int y, int w, int h, TapeColour colour);
    bool empty() const { return rects_.empty(); }
    // Hands out everything gathered, run by run, and forgets it.
    void drain(const Run &run);

private:
    // One link of a cell's list of the rectangles that reach into it, newest first.
    struct CellLink {
        uint32_t rect;
        int32_t next; // -1 at the end
    };

    long long x0_ = 0, y0_ = 0, x1_ = 0, y1_ = 0;
    // The rectangles waiting, and square cells over the area that find those a new one may
    // overlap. A cell forgets the rectangles below one that covers it whole: whatever overlaps
    // them there overlaps that one, whose layer is no lower.
    std::vector<Rect> rects_;
    std::vector<int32_t> cellHeads_; // per cell its newest link, -1 for none
    std::vector<CellLink> cellLinks_;
    int cellSize_ = 32, cellColumns_ = 0;
    std::vector<uint32_t> order_;
    std::vector<const Rect *> run_;
};

} // namespace tw
