#include "scoremodel/TimeScale.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

namespace tw {

namespace {

long long scaled(uint32_t tick, uint32_t pivot, double factor) {
    return (long long)pivot + std::llround((double(tick) - double(pivot)) * factor);
}

} // namespace

bool scaleNoteTimesAt(std::vector<TapeNote> &notes, const std::vector<std::size_t> &chosen,
                      uint32_t pivot, double factor) {
    if (!(factor >= TimeScale::minFactor && factor <= TimeScale::maxFactor))
        return false;
    struct Placed {
        std::size_t index;
        long long start, end;
    };
    // The chosen notes by key, each key in the order of the original starts.
    std::map<std::pair<uint32_t, uint32_t>, std::vector<Placed>> keys;
    for (std::size_t i : chosen) {
        const TapeNote &n = notes[i];
        keys[{n.channel, n.note}].push_back(Placed{i, 0, 0});
    }
    for (auto &[key, list] : keys) {
        (void)key;
        std::stable_sort(list.begin(), list.end(), [&](const Placed &a, const Placed &b) {
            return notes[a.index].start < notes[b.index].start;
        });
        for (std::size_t j = 0; j < list.size(); ++j) {
            const TapeNote &n = notes[list[j].index];
            long long start = std::max(scaled(n.start, pivot, factor), 0LL);
            long long end = std::max(scaled(n.start + n.length, pivot, factor), start + 1);
            if (j > 0) {
                // Apart before, apart after: one tick of silence between the two at least.
                Placed &before = list[j - 1];
                const TapeNote &b = notes[before.index];
                const long long gap = uint64_t(b.start) + b.length < n.start ? 1 : 0;
                if (start < before.start + 1 + gap) {
                    end += before.start + 1 + gap - start;
                    start = before.start + 1 + gap;
                }
                before.end = std::min(before.end, start - gap);
            }
            list[j].start = start;
            list[j].end = end;
        }
    }
    for (const auto &entry : keys)
        for (const Placed &p : entry.second)
            if (p.end > (long long)lastTick)
                return false;
    for (const auto &entry : keys)
        for (const Placed &p : entry.second) {
            notes[p.index].start = uint32_t(p.start);
            notes[p.index].length = uint32_t(p.end - p.start);
        }
    std::stable_sort(notes.begin(), notes.end(), ByStart());
    return true;
}

} // namespace tw
