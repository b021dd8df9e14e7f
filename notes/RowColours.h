// Colour of each note row and the colour that marks special rows.
// Colour values are FLTK's Fl_Color numbers (an unsigned int: 0xRRGGBB00 for RGB colours,
// small numbers for palette entries), kept here without FLTK so that lower layers can build tables.
#pragma once

namespace tw {

using TapeColour = unsigned int; // identical to FLTK's Fl_Color

// FLTK's fl_rgb_color(r, g, b) without FLTK.
constexpr TapeColour tapeRgb(unsigned r, unsigned g, unsigned b) {
    return ((r & 0xFFu) << 24) | ((g & 0xFFu) << 16) | ((b & 0xFFu) << 8);
}

struct RowColours {
    TapeColour colours[128] = {}; // index = note number: colour of the row's guide line
    TapeColour special = 0;       // a note on a row of this colour is a special note
};

} // namespace tw
