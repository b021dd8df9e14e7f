// Note indicator sets: which notes an instrument can play, and the row colour tables that the
// score tape draws its row lines with. Colours are FLTK colour numbers, built here without FLTK.
#pragma once

#include "notes/RowColours.h"

#include <bitset>
#include <cstdint>
#include <vector>

namespace tw {

// Palette indexes of FLTK's standard colour map used by the tables.
constexpr TapeColour paletteForeground = 0; // FLTK's colour 0
constexpr TapeColour paletteDark1 = 47;     // FL_DARK1
constexpr TapeColour paletteLight2 = 52;    // FL_LIGHT2
constexpr TapeColour paletteBlack = 56;     // FL_BLACK
constexpr TapeColour paletteRed = 88;       // FL_RED
constexpr TapeColour paletteWhite = 255;    // FL_WHITE

// The notes of one instrument, in the order of its table.
struct NoteSet {
    std::vector<int8_t> notes;
    std::bitset<128> members;

    // Reads the table up to its terminator, the first byte with the top bit set.
    explicit NoteSet(const uint8_t *table);
};

// The 26 fixed notes of the Deleika-26 in ascending order, then the terminator 0xFF.
extern const uint8_t deleika26Notes[27];

// Every row in colour c; special is 0.
RowColours uniformRowColours(TapeColour c);
// The "88-key Piano" table: C keys red, other white keys black, black keys light grey,
// rows outside the 88 keys white, which is also the special colour.
RowColours pianoRowColours();
// Rows of member notes in `inside`, the others in `outside`.
RowColours noteSetRowColours(const std::bitset<128> &members, TapeColour outside, TapeColour inside,
                             TapeColour special);

// Indicator choices of the settings menu.
constexpr unsigned indicatorNone = 0;
constexpr unsigned indicatorPiano = 1;
constexpr unsigned indicatorDeleika26 = 2;
// The table of indicator choice n into out; false (out unchanged) for an unknown n.
bool indicatorRowColours(unsigned n, RowColours &out);

} // namespace tw
