// What the score board is drawn through: a few integer pixel operations with FLTK's meaning, so
// that one drawing routine serves the window (FLTK) and files (Cairo) alike.
#pragma once

#include "notes/RowColours.h"

#include <optional>

namespace tw {

// The part of the picture a painter draws into: x0 <= x < x1, y0 <= y < y1.
struct PaintBounds {
    long long x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

class Painter {
public:
    virtual ~Painter() = default;
    // Colours are FLTK colour numbers: palette indexes or 0xRRGGBB00.
    virtual void setColour(TapeColour colour) = 0;
    // Fills w x h pixels from (x, y).
    virtual void fillRect(int x, int y, int w, int h) = 0;
    // A one-pixel line that covers both end points.
    virtual void line(int x0, int y0, int x1, int y1) = 0;
    // font is an FLTK font number, size its height in pixels.
    virtual void setFont(int font, int size) = 0;
    // Text with its base line at y, starting at x.
    virtual void text(const char *text, int x, int y) = 0;
    // Where drawing can show (a tile or a page of a large picture), so that the drawing
    // skips what lies outside; none: everything may show.
    virtual std::optional<PaintBounds> bounds() const { return std::nullopt; }
};

} // namespace tw
