#include "notes/NoteSets.h"

namespace tw {

const uint8_t deleika26Notes[27] = {43, 48, 50, 55, 57, 59, 60, 62, 64, 65, 66, 67, 69,  71,
                                    72, 73, 74, 76, 77, 78, 79, 81, 83, 84, 86, 88, 0xFF};

NoteSet::NoteSet(const uint8_t *table) {
    for (const uint8_t *p = table; (*p & 0x80u) == 0; ++p) {
        notes.push_back(int8_t(*p));
        members.set(*p);
    }
}

RowColours uniformRowColours(TapeColour c) {
    RowColours rc;
    for (TapeColour &colour : rc.colours)
        colour = c;
    rc.special = paletteForeground;
    return rc;
}

RowColours pianoRowColours() {
    // Mark the black keys: from C#0 the steps between them repeat 2, 3, 2, 2, 3.
    bool black[128] = {};
    static const unsigned steps[5] = {2, 3, 2, 2, 3};
    for (unsigned p = 1, i = 0; p < 128; p += steps[i], i = (i + 1) % 5)
        black[p] = true;

    RowColours rc;
    for (unsigned n = 0; n < 128; ++n) {
        if (n < 21 || n > 108)
            rc.colours[n] = paletteWhite;
        else if (n % 12 == 0)
            rc.colours[n] = paletteRed;
        else
            rc.colours[n] = black[n] ? paletteLight2 : paletteBlack;
    }
    rc.special = paletteWhite;
    return rc;
}

RowColours noteSetRowColours(const std::bitset<128> &members, TapeColour outside, TapeColour inside,
                             TapeColour special) {
    RowColours rc;
    for (unsigned n = 0; n < 128; ++n)
        rc.colours[n] = members.test(n) ? inside : outside;
    rc.special = special;
    return rc;
}

bool indicatorRowColours(unsigned n, RowColours &out) {
    switch (n) {
    case indicatorNone:
        out = uniformRowColours(paletteDark1);
        return true;
    case indicatorPiano:
        out = pianoRowColours();
        return true;
    case indicatorDeleika26:
        out = noteSetRowColours(NoteSet(deleika26Notes).members, paletteWhite, paletteDark1,
                                paletteWhite);
        return true;
    default:
        return false;
    }
}

} // namespace tw
