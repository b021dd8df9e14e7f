// Notes for tests, written in one line: tn(60, 0) is C4 at tick 0, four ticks long.
#pragma once

#include "notes/TapeNote.h"

#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace tw {

// A value for a one-byte field of a note; a test that means a larger one learns it at once
// instead of testing a wrapped value.
inline uint8_t noteByte(unsigned value) {
    if (value > 255)
        throw std::out_of_range("tn: " + std::to_string(value) + " does not fit a note's byte");
    return uint8_t(value);
}

inline TapeNote tn(unsigned note, unsigned start, unsigned length = 4, unsigned channel = 0,
                   unsigned velocity = 100, bool selected = false) {
    TapeNote n;
    n.note = noteByte(note);
    n.start = start;
    n.length = length;
    n.channel = noteByte(channel);
    n.velocity = noteByte(velocity);
    n.selected = selected;
    return n;
}

// The starts of notes in storage order.
inline std::vector<unsigned> starts(const std::vector<TapeNote> &notes) {
    std::vector<unsigned> out;
    for (const TapeNote &n : notes)
        out.push_back(n.start);
    return out;
}

// How a failed expectation shows a note: its fields as numbers, in tn's order.
inline void PrintTo(const TapeNote &n, std::ostream *out) {
    *out << "tn(" << unsigned(n.note) << ", " << n.start << ", " << n.length << ", "
         << unsigned(n.channel) << ", " << unsigned(n.velocity) << (n.selected ? ", sel)" : ")");
}

} // namespace tw
