// The melody made fit for a punched strip: notes too close to repeat mended, long rests
// shortened, each as one edit.
#include "scoremodel/ScoreModel.h"

#include <algorithm>
#include <cmath>

namespace tw {

FixCounts ScoreModel::fixNotesTooClose(const RepeatRule &rule, const std::bitset<128> &playable,
                                       const FixChoice &choice) {
    FixCounts counts;
    recordEdit([&] {
        // The shown notes are mended; the hidden ones stay as they are.
        std::vector<TapeNote> shown, hidden;
        for (const TapeNote &n : notes_)
            (isChannelShown(n) ? shown : hidden).push_back(n);
        counts = fixTooClose(shown, rule, playable, choice);
        if (counts.shortened + counts.moved + counts.dropped == 0)
            return false;
        std::vector<TapeNote> all = std::move(hidden);
        all.insert(all.end(), shown.begin(), shown.end());
        std::stable_sort(all.begin(), all.end(),
                         [](const TapeNote &a, const TapeNote &b) { return a.start < b.start; });
        replaceNotes(std::move(all));
        return true;
    });
    return counts;
}

unsigned ScoreModel::shortenRests(double seconds) {
    if (!(seconds >= 0 && seconds <= maxRestSecondsLimit))
        return 0;
    const unsigned ticks = unsigned(std::llround(seconds * ticksPerFrame_));
    unsigned shortened = 0;
    recordEdit([&] {
        std::vector<TapeNote> list = notes_;
        shortened = tw::shortenRests(list, ticks);
        if (shortened == 0)
            return false;
        replaceNotes(std::move(list));
        return true;
    });
    return shortened;
}

} // namespace tw
