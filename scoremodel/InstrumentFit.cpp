#include "scoremodel/InstrumentFit.h"

#include <algorithm>
#include <cstdlib>

namespace tw {

namespace {

bool playableNote(int note, const std::bitset<128> &playable) {
    return note >= 0 && note < 128 && playable.test(std::size_t(note));
}

} // namespace

int octaveTarget(int note, const std::bitset<128> &playable) {
    // Eleven octaves span every note number from anywhere in the range of a shifted note.
    for (int distance = 12; distance <= 12 * 12; distance += 12) {
        if (playableNote(note + distance, playable))
            return note + distance;
        if (playableNote(note - distance, playable))
            return note - distance;
    }
    return -1;
}

int fittedNote(unsigned note, int shift, bool octaves, const std::bitset<128> &playable) {
    const int shifted = int(note) + shift;
    if (octaves && !playableNote(shifted, playable)) {
        const int target = octaveTarget(shifted, playable);
        if (target >= 0)
            return target;
    }
    return shifted >= 0 && shifted < 128 ? shifted : -1;
}

std::vector<FitLine> fitShifts(const std::vector<TapeNote> &notes,
                               const std::bitset<128> &playable) {
    // The count of each pitch is all that matters.
    unsigned counts[128] = {};
    int low = 127, high = 0;
    for (const TapeNote &n : notes) {
        if (n.note > 127)
            continue;
        ++counts[n.note];
        low = std::min(low, int(n.note));
        high = std::max(high, int(n.note));
    }
    std::vector<FitLine> lines;
    for (int shift = -maxFitShift; shift <= maxFitShift; ++shift) {
        if (low <= high && (low + shift < 0 || high + shift > 127))
            continue;
        FitLine line;
        line.shift = shift;
        for (int p = low; p <= high; ++p) {
            if (counts[p] == 0 || playableNote(p + shift, playable))
                continue;
            line.unplayable += counts[p];
            if (octaveTarget(p + shift, playable) >= 0)
                line.byOctaves += counts[p];
        }
        lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end(), [](const FitLine &a, const FitLine &b) {
        if (a.unplayable != b.unplayable)
            return a.unplayable < b.unplayable;
        if (std::abs(a.shift) != std::abs(b.shift))
            return std::abs(a.shift) < std::abs(b.shift);
        return a.shift < b.shift;
    });
    return lines;
}

unsigned mergeUnisons(std::vector<TapeNote> &notes) {
    std::vector<TapeNote> kept;
    kept.reserve(notes.size());
    std::size_t group = 0; // first kept note of the current start
    for (const TapeNote &n : notes) {
        if (!kept.empty() && kept.back().start != n.start)
            group = kept.size();
        const auto same =
            std::find_if(kept.begin() + std::ptrdiff_t(group), kept.end(), [&](const TapeNote &k) {
                return k.note == n.note && k.channel == n.channel;
            });
        if (same == kept.end()) {
            kept.push_back(n);
            continue;
        }
        same->length = std::max(same->length, n.length);
        same->selected = same->selected || n.selected;
    }
    const unsigned merged = unsigned(notes.size() - kept.size());
    if (merged != 0)
        notes.swap(kept);
    return merged;
}

bool tooClose(long long gap, unsigned minGapMs, unsigned ticksPerFrame) {
    // gap / ticksPerFrame seconds against minGapMs / 1000 seconds, in whole numbers.
    return gap < 1 || gap * 1000 < (long long)minGapMs * ticksPerFrame;
}

} // namespace tw
