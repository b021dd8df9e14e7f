#include "scoremodel/TapeFixes.h"

#include "scoremodel/InstrumentFit.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace tw {

namespace {

long long onsetTicks(const RepeatRule &rule) {
    return (long long)std::ceil(rule.minOnsetSeconds * rule.ticksPerFrame - 1e-9);
}

// Whether `b`, starting at or after `a`, follows it too closely.
bool follows(const TapeNote &a, const TapeNote &b, const RepeatRule &rule) {
    if (tooClose((long long)b.start - ((long long)a.start + a.length), rule.minGapMs,
                 rule.ticksPerFrame))
        return true;
    return (long long)b.start - a.start < onsetTicks(rule);
}

// Whether a note (not one of `except`) of `key` comes too close to `n` placed on that key.
bool rowTaken(const std::vector<TapeNote> &notes, const std::vector<bool> &gone, unsigned key,
              const TapeNote &n, std::size_t except, const RepeatRule &rule) {
    TapeNote moved = n;
    moved.note = key;
    for (std::size_t i = 0; i < notes.size(); ++i) {
        const TapeNote &o = notes[i];
        if (i == except || gone[i] || o.note != key)
            continue;
        const bool before = o.start < moved.start || (o.start == moved.start && i < except);
        if (before ? follows(o, moved, rule) : follows(moved, o, rule))
            return true;
    }
    return false;
}

} // namespace

RepeatRule repeatRuleOf(const Instrument &instrument, unsigned ticksPerFrame) {
    RepeatRule rule;
    rule.minGapMs = instrument.minGapMs.value_or(0);
    rule.ticksPerFrame = ticksPerFrame;
    if (instrument.strip.minHoleSpacingMm && instrument.mmPerSecond && *instrument.mmPerSecond > 0)
        rule.minOnsetSeconds =
            std::min(200.0, *instrument.strip.minHoleSpacingMm / *instrument.mmPerSecond);
    return rule;
}

CloseScanner::CloseScanner(const RepeatRule &rule) : rule_(rule), onset_(onsetTicks(rule)) {}

std::optional<std::size_t> CloseScanner::add(std::size_t index, const TapeNote &n) {
    if (n.note > 127)
        return std::nullopt;
    Last &e = ending_[n.note], &s = started_[n.note];
    std::optional<std::size_t> earlier;
    if (e.set) {
        const TapeNote &p = e.note;
        if (tooClose((long long)n.start - ((long long)p.start + p.length), rule_.minGapMs,
                     rule_.ticksPerFrame))
            earlier = e.index;
        else if ((long long)n.start - s.note.start < onset_)
            earlier = s.index;
    }
    if (!e.set || (long long)n.start + n.length > (long long)e.note.start + e.note.length)
        e = {index, n, true};
    s = {index, n, true};
    return earlier;
}

std::vector<ClosePair> pairsTooClose(const std::vector<TapeNote> &notes, const RepeatRule &rule) {
    std::vector<std::size_t> order(notes.size());
    std::iota(order.begin(), order.end(), std::size_t(0));
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return notes[a].start < notes[b].start; });
    CloseScanner scanner(rule);
    std::vector<ClosePair> pairs;
    for (std::size_t i : order)
        if (const std::optional<std::size_t> e = scanner.add(i, notes[i]))
            pairs.push_back({*e, i});
    return pairs;
}

FixCounts fixTooClose(std::vector<TapeNote> &notes, const RepeatRule &rule,
                      const std::bitset<128> &playable, const FixChoice &choice) {
    FixCounts counts;
    std::vector<ClosePair> pairs = pairsTooClose(notes, rule);
    counts.found = unsigned(pairs.size());
    // The least silence that is not too close.
    const long long gap =
        std::max(1LL, ((long long)rule.minGapMs * rule.ticksPerFrame + 999) / 1000);
    std::vector<bool> gone(notes.size(), false);
    // A mend may leave a pair behind it (a dropped note's follower and the note before it):
    // a few rounds, each over what is left.
    for (int round = 0; round < 4 && !pairs.empty(); ++round) {
        bool changed = false;
        for (const ClosePair &p : pairs) {
            TapeNote &a = notes[p.earlier];
            TapeNote &b = notes[p.later];
            if (gone[p.earlier] || gone[p.later] || a.note != b.note || !follows(a, b, rule))
                continue;
            const long long length = (long long)b.start - gap - a.start;
            if (choice.shortenEarlier && length >= 1 &&
                (long long)b.start - a.start >= onsetTicks(rule)) {
                a.length = uint32_t(length);
                ++counts.shortened;
                changed = true;
                continue;
            }
            if (choice.moveOctave) {
                bool moved = false;
                for (int step : {12, -12}) {
                    const int key = int(b.note) + step;
                    if (key < 0 || key > 127 || !playable.test(std::size_t(key)) ||
                        rowTaken(notes, gone, unsigned(key), b, p.later, rule))
                        continue;
                    b.note = unsigned(key);
                    moved = true;
                    break;
                }
                if (moved) {
                    ++counts.moved;
                    changed = true;
                    continue;
                }
            }
            if (choice.dropLater) {
                gone[p.later] = true;
                ++counts.dropped;
                changed = true;
            }
        }
        if (!changed)
            break;
        std::vector<TapeNote> kept;
        kept.reserve(notes.size());
        for (std::size_t i = 0; i < notes.size(); ++i)
            if (!gone[i])
                kept.push_back(notes[i]);
        notes.swap(kept);
        gone.assign(notes.size(), false);
        pairs = pairsTooClose(notes, rule);
    }
    counts.remaining = unsigned(pairs.size());
    return counts;
}

unsigned shortenRests(std::vector<TapeNote> &notes, unsigned maxTicks) {
    unsigned shortened = 0;
    long long end = -1;  // the latest end so far, before shifting
    long long shift = 0; // ticks taken out so far
    for (TapeNote &n : notes) {
        const long long rest = end < 0 ? 0 : (long long)n.start - end;
        if (rest > (long long)maxTicks) {
            shift += rest - maxTicks;
            ++shortened;
        }
        end = std::max(end, (long long)n.start + n.length);
        n.start = uint32_t(n.start - shift);
    }
    return shortened;
}

} // namespace tw
