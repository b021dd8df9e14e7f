// Notes for tests, written in one line: tn(60, 0) is C4 at tick 0, four ticks long.
#pragma once

#include "notes/TapeNote.h"

#include <vector>

namespace tw {

inline TapeNote tn(unsigned note, unsigned start, unsigned length = 4, unsigned channel = 0,
                   unsigned velocity = 100, bool selected = false) {
    return TapeNote{note, start, length, channel, velocity, selected};
}

// The starts of notes in storage order.
inline std::vector<unsigned> starts(const std::vector<TapeNote> &notes) {
    std::vector<unsigned> out;
    for (const TapeNote &n : notes)
        out.push_back(n.start);
    return out;
}

} // namespace tw
