// Stretching and squeezing time: the notes chosen move away from or towards a pivot tick by a
// factor, and their lengths change with it, rounded to whole ticks. No FLTK.
#pragma once

#include "notes/TapeNote.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tw {

struct TimeScale {
    static constexpr double minPercent = 1, maxPercent = 10000;
    static constexpr double minFactor = minPercent / 100, maxFactor = maxPercent / 100;
};

// Scales the notes of `notes` for which pick(note) holds: starts and ends around `pivot` by
// `factor`, each rounded to the nearest tick, no start before tick 0 and every length at least
// one tick. Notes of the same key (channel and note) that were apart stay apart by at least one
// tick and those that touched may touch but never overlap, so that no two become one; a note
// whose start would coincide with that of the key's note before it moves one tick later. The
// list stays ordered by start. False, with `notes` unchanged, when the factor is out of range or
// an end would pass the last tick.
template <class Pick>
bool scaleNoteTimes(std::vector<TapeNote> &notes, uint32_t pivot, double factor, Pick pick);

// The ticks from the first start to the last end of the notes that pick accepts; 0 for none.
template <class Pick> uint64_t spanOf(const std::vector<TapeNote> &notes, Pick pick) {
    uint64_t first = UINT64_MAX, end = 0;
    for (const TapeNote &n : notes) {
        if (!pick(n))
            continue;
        first = std::min<uint64_t>(first, n.start);
        end = std::max<uint64_t>(end, uint64_t(n.start) + n.length);
    }
    return end > first ? end - first : 0;
}

// The chosen notes' indexes are passed as a list: the body lives in TimeScale.cpp.
bool scaleNoteTimesAt(std::vector<TapeNote> &notes, const std::vector<std::size_t> &chosen,
                      uint32_t pivot, double factor);

template <class Pick>
bool scaleNoteTimes(std::vector<TapeNote> &notes, uint32_t pivot, double factor, Pick pick) {
    std::vector<std::size_t> chosen;
    for (std::size_t i = 0; i < notes.size(); ++i)
        if (pick(notes[i]))
            chosen.push_back(i);
    return scaleNoteTimesAt(notes, chosen, pivot, factor);
}

} // namespace tw
