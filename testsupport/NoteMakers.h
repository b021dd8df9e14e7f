// Notes for tests, written in one line: tn(60, 0) is C4 at tick 0, four ticks long.
#pragma once

#include "notes/TapeNote.h"

namespace tw {

inline TapeNote tn(unsigned note, unsigned start, unsigned length = 4, unsigned channel = 0,
                   unsigned velocity = 100, bool selected = false) {
    return TapeNote{note, start, length, channel, velocity, selected};
}

} // namespace tw
