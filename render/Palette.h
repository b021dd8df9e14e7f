// The red, green and blue of FLTK colour numbers, for back ends that do not have FLTK's colour
// map: FLTK 1.3's default palette (the 0..7 base colours, the grey ramp and the colour cube) and
// the 0xRRGGBB00 numbers.
#pragma once

#include "notes/RowColours.h"

#include <cstdint>

namespace tw {

// Palette entries the board uses beside those of notes/NoteSets.h.
constexpr TapeColour paletteDarkGreen = 60; // FL_DARK_GREEN
constexpr TapeColour paletteBlue = 216;     // FL_BLUE
constexpr TapeColour paletteMagenta = 248;  // FL_MAGENTA
// The beat grid's lines: blues that no note, row or marker has.
constexpr TapeColour beatLineColour = tapeRgb(150, 200, 240);
constexpr TapeColour barLineColour = tapeRgb(30, 110, 220);

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb &a, const Rgb &b) {
        return a.r == b.r && a.g == b.g && a.b == b.b;
    }
};

// FLTK's colour for a colour number. Palette entries 8..31 (FLTK's user interface colours) are
// not used by the board and come out black.
Rgb colourRgb(TapeColour colour);

} // namespace tw
