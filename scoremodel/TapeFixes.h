// Making a melody fit a punched strip: the pairs of notes of one key that follow each other too
// closely for the strip (their holes would run into one, or the tooth cannot sound again), the
// ways to mend them, and shortening long rests that only waste strip.
#pragma once

#include "notes/Instrument.h"
#include "notes/TapeNote.h"

#include <bitset>
#include <cstddef>
#include <optional>
#include <vector>

namespace tw {

// When a note follows the previous note of its key too closely: less than `minGapMs` of silence
// after that note's end (always when it starts at that end or before; see tooClose), or, with
// `minOnsetSeconds`, less than that from the previous note's start to its own.
struct RepeatRule {
    unsigned minGapMs = 0;
    unsigned ticksPerFrame = 8; // a frame is a second
    double minOnsetSeconds = 0; // 0..200
};

// The rule of an instrument: its min-gap-ms, and its min-hole-spacing-mm at its tape's speed.
RepeatRule repeatRuleOf(const Instrument &instrument, unsigned ticksPerFrame);

// Two notes (indexes into the list) of one key, `later` too close after `earlier`.
struct ClosePair {
    std::size_t earlier = 0, later = 0;
};

// Every pair of the notes, ordered by the later note's start. For each note the earlier one is
// the note of its key that ends last before it (or the one that started last, for the start
// spacing).
std::vector<ClosePair> pairsTooClose(const std::vector<TapeNote> &notes, const RepeatRule &rule);

// The same pairs for notes handed over one at a time in the order of their starts, so that a
// long melody is looked at without a copy. Indexes are the caller's own.
class CloseScanner {
public:
    explicit CloseScanner(const RepeatRule &rule);
    // The note `index`, starting at or after every note before it: the index of the earlier
    // note of the pair it ends, if it is too close.
    std::optional<std::size_t> add(std::size_t index, const TapeNote &note);

private:
    struct Last {
        std::size_t index = 0;
        TapeNote note;
        bool set = false;
    };
    RepeatRule rule_;
    long long onset_;
    Last ending_[128], started_[128];
};

// The ways to mend a pair, tried in this order for each pair that the chosen ones allow.
struct FixChoice {
    bool shortenEarlier = true; // end the earlier note so that the silence is kept
    bool moveOctave = true;     // the later note to its pitch class an octave up or down, when
                                // the instrument plays that note and its row is free there
    bool dropLater = false;     // remove the later note
};

struct FixCounts {
    unsigned found = 0; // pairs before
    unsigned shortened = 0, moved = 0, dropped = 0;
    unsigned remaining = 0; // pairs after
};

// Mends the pairs of `notes` (ordered by start; stays so) with the chosen ways.
FixCounts fixTooClose(std::vector<TapeNote> &notes, const RepeatRule &rule,
                      const std::bitset<128> &playable, const FixChoice &choice);

// Longest rest anyone may ask for, in seconds.
constexpr double maxRestSecondsLimit = 3600;

// Shortens every rest between notes (a time in which no note sounds) longer than `maxTicks` to
// that length by moving the notes after it earlier; `notes` ordered by start stays so. Returns
// how many rests became shorter.
unsigned shortenRests(std::vector<TapeNote> &notes, unsigned maxTicks);

} // namespace tw
