// Arranging a melody for a fixed-note instrument: the transpositions that leave the fewest notes
// the instrument cannot play, and the notes that follow the previous note of their key too
// closely for a punched tape (the two holes would run into one).
#pragma once

#include "notes/TapeNote.h"

#include <bitset>
#include <cstddef>
#include <vector>

namespace tw {

// Transpositions tried, in semitones either way.
constexpr int maxFitShift = 24;

struct FitLine {
    int shift = 0;           // semitones
    unsigned unplayable = 0; // notes the instrument cannot play after the shift
    unsigned byOctaves = 0;  // of those, the ones whole octaves would make playable
    friend bool operator==(const FitLine &a, const FitLine &b) {
        return a.shift == b.shift && a.unplayable == b.unplayable && a.byOctaves == b.byOctaves;
    }
};

// The nearest playable note whole octaves away from `note` (the higher one of two as near), or
// -1 when there is none. `note` may lie outside 0..127.
int octaveTarget(int note, const std::bitset<128> &playable);

// The note that `note` becomes: moved by `shift`, then, with `octaves`, by whole octaves onto a
// playable note when it is not playable itself; -1 when it would leave 0..127.
int fittedNote(unsigned note, int shift, bool octaves, const std::bitset<128> &playable);

// Every shift from -maxFitShift to +maxFitShift that keeps each note within 0..127, with its
// counts, sorted by fewest unplayable notes, then by smallest shift (downwards first).
std::vector<FitLine> fitShifts(const std::vector<TapeNote> &notes,
                               const std::bitset<128> &playable);

// Merges the notes that a fit moved onto another of the same start, channel and key into the
// first of them, which keeps the longer length and stays selected when either was. The notes
// must be ordered by start. Returns how many notes went.
unsigned mergeUnisons(std::vector<TapeNote> &notes);

// Whether a note starting `gap` ticks after the end of the previous note of its key (negative
// when they overlap) follows it too closely: closer than `minGapMs` at `ticksPerFrame` ticks a
// second, and always when it starts at that end or before.
bool tooClose(long long gap, unsigned minGapMs, unsigned ticksPerFrame);

} // namespace tw
