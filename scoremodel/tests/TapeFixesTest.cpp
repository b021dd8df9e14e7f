// Notes too close to repeat found and mended, long rests shortened: the rules, the counts
// before and after, and each as one edit that undo takes back.
#include "ModelTestSupport.h"

#include <gtest/gtest.h>

using namespace tw;

namespace {

// 250 ms of silence at 8 ticks a second: 2 ticks.
RepeatRule quarterSecond(double onset = 0) {
    RepeatRule rule;
    rule.minGapMs = 250;
    rule.ticksPerFrame = 8;
    rule.minOnsetSeconds = onset;
    return rule;
}

std::bitset<128> playable(std::initializer_list<unsigned> notes) {
    std::bitset<128> set;
    for (unsigned n : notes)
        set.set(n);
    return set;
}

struct Summary {
    unsigned note, start, length;
    friend bool operator==(const Summary &a, const Summary &b) {
        return a.note == b.note && a.start == b.start && a.length == b.length;
    }
};
std::ostream &operator<<(std::ostream &out, const Summary &s) {
    return out << s.note << "@" << s.start << "+" << s.length;
}
std::vector<Summary> summary(const std::vector<TapeNote> &notes) {
    std::vector<Summary> out;
    for (const TapeNote &n : notes)
        out.push_back({n.note, n.start, n.length});
    return out;
}

} // namespace

TEST(TapeFixes, PairsFollowTheGapAndTheStartSpacing) {
    const struct {
        const char *what;
        std::vector<TapeNote> notes;
        double onset;
        std::size_t pairs;
    } cases[] = {
        {"gap of 2 ticks is enough", {tn(60, 0, 4), tn(60, 6, 4)}, 0, 0},
        {"gap of 1 tick is not", {tn(60, 0, 4), tn(60, 5, 4)}, 0, 1},
        {"overlap", {tn(60, 0, 8), tn(60, 4, 2)}, 0, 1},
        {"other keys do not count", {tn(60, 0, 4), tn(62, 4, 4), tn(64, 4, 4)}, 0, 0},
        {"start spacing of 1 s needs 8 ticks", {tn(60, 0, 1), tn(60, 7, 1)}, 1, 1},
        {"start spacing kept", {tn(60, 0, 1), tn(60, 8, 1)}, 1, 0},
        {"three in a row", {tn(60, 0, 4), tn(60, 4, 4), tn(60, 8, 4)}, 0, 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(pairsTooClose(c.notes, quarterSecond(c.onset)).size(), c.pairs);
    }
}

TEST(TapeFixes, EachWayMendsWhatItCan) {
    // C4 twice without silence (its octave C5 is taken there, C3 not played), E4 overlapping
    // itself (too short to shorten), G4 twice without silence (G5 free).
    const std::vector<TapeNote> melody = {tn(60, 0, 4),  tn(60, 4, 4),  tn(72, 5, 4), tn(64, 10, 8),
                                          tn(64, 12, 4), tn(67, 20, 4), tn(67, 24, 2)};
    const std::bitset<128> notes = playable({60, 64, 67, 72, 76, 79});
    const struct {
        const char *what;
        FixChoice choice;
        FixCounts counts; // found, shortened, moved, dropped, remaining
        std::vector<Summary> after;
    } cases[] = {
        {"shorten only: the overlap cannot be",
         {true, false, false},
         {3, 2, 0, 0, 1},
         {{60, 0, 2}, {60, 4, 4}, {72, 5, 4}, {64, 10, 8}, {64, 12, 4}, {67, 20, 2}, {67, 24, 2}}},
        {"octave only: C5 is taken",
         {false, true, false},
         {3, 0, 2, 0, 1},
         {{60, 0, 4}, {60, 4, 4}, {72, 5, 4}, {64, 10, 8}, {76, 12, 4}, {67, 20, 4}, {79, 24, 2}}},
        {"drop only",
         {false, false, true},
         {3, 0, 0, 3, 0},
         {{60, 0, 4}, {72, 5, 4}, {64, 10, 8}, {67, 20, 4}}},
        {"all three, in their order",
         {true, true, true},
         {3, 2, 1, 0, 0},
         {{60, 0, 2}, {60, 4, 4}, {72, 5, 4}, {64, 10, 8}, {76, 12, 4}, {67, 20, 2}, {67, 24, 2}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<TapeNote> list = melody;
        const FixCounts counts = fixTooClose(list, quarterSecond(), notes, c.choice);
        EXPECT_EQ(counts.found, c.counts.found);
        EXPECT_EQ(counts.shortened, c.counts.shortened);
        EXPECT_EQ(counts.moved, c.counts.moved);
        EXPECT_EQ(counts.dropped, c.counts.dropped);
        EXPECT_EQ(counts.remaining, c.counts.remaining);
        EXPECT_EQ(pairsTooClose(list, quarterSecond()).size(), c.counts.remaining);
        EXPECT_EQ(summary(list), c.after);
    }
}

TEST(TapeFixes, TheModelMendsShownNotesAsOneEdit) {
    TestModel tape;
    tape.setTicksPerFrame(8);
    // The pair on channel 2 is hidden and stays.
    tape.load({tn(60, 0, 4), tn(62, 0, 4, 2), tn(60, 4, 4), tn(62, 4, 4, 2), tn(60, 8, 4)});
    tape.setChannelMask(0xFFFF & ~(1u << 2));
    const unsigned before = tape.undoPosition();
    const FixCounts counts =
        tape.fixNotesTooClose(quarterSecond(), playable({60, 62}), FixChoice{false, false, true});
    EXPECT_EQ(counts.found, 2u);
    EXPECT_EQ(counts.dropped,
              1u); // the third C4 follows the first with room once the second is gone
    EXPECT_EQ(counts.remaining, 0u);
    EXPECT_EQ(summary(tape.notes()),
              (std::vector<Summary>{{62, 0, 4}, {60, 0, 4}, {62, 4, 4}, {60, 8, 4}}));
    EXPECT_TRUE(tape.dataChanged());
    EXPECT_TRUE(tape.undo());
    EXPECT_EQ(tape.notes().size(), 5u);
    EXPECT_EQ(tape.undoPosition(), before); // one edit
    // Nothing to mend: no edit.
    tape.load({tn(60, 0, 4), tn(60, 8, 4)});
    const unsigned unchanged = tape.undoPosition();
    EXPECT_EQ(tape.fixNotesTooClose(quarterSecond(), playable({60}), FixChoice{}).found, 0u);
    EXPECT_EQ(tape.undoPosition(), unchanged);
}

TEST(TapeFixes, LongRestsBecomeTheGivenLength) {
    TestModel tape;
    tape.setTicksPerFrame(8);
    // Rests of 4 s (32 ticks) and of 1 s, the second one's note on a hidden channel; a long
    // note bridges what would be a rest after the short one.
    tape.load({tn(60, 0, 8), tn(62, 40, 8, 3), tn(64, 56, 40), tn(65, 60, 4), tn(67, 100, 4)});
    tape.setChannelMask(0xFFFF & ~(1u << 3));
    const unsigned before = tape.undoPosition();
    EXPECT_EQ(tape.shortenRests(2), 1u); // 4 s becomes 2 s: 16 ticks earlier from there on
    EXPECT_EQ(starts(tape.notes()), (std::vector<unsigned>{0, 24, 40, 44, 84}));
    EXPECT_TRUE(tape.undo());
    EXPECT_EQ(starts(tape.notes()), (std::vector<unsigned>{0, 40, 56, 60, 100}));
    EXPECT_EQ(tape.undoPosition(), before);
    EXPECT_EQ(tape.shortenRests(0.5), 2u); // 32 and 8 ticks become 4, the rest of 4 stays
    EXPECT_EQ(starts(tape.notes()), (std::vector<unsigned>{0, 12, 24, 28, 68}));
    EXPECT_EQ(tape.shortenRests(10), 0u);
    EXPECT_EQ(tape.shortenRests(-1), 0u);
    EXPECT_EQ(tape.shortenRests(1e9), 0u);
}

TEST(TapeFixes, SelectionFollowsTheHoleSpacingToo) {
    InstrumentError error;
    // 8 mm between two holes at 16 mm a second: half a second, 4 ticks at 8 a second.
    const Instrument box = *parseInstrument("name: b\nnotes: C4\nmin-gap-ms: 100\n"
                                            "mm-per-second: 16\nmin-hole-spacing-mm: 8\n",
                                            error);
    TestModel tape;
    tape.setTicksPerFrame(8);
    tape.load({tn(60, 0, 1), tn(60, 3, 1), tn(60, 7, 1), tn(60, 12, 1)});
    EXPECT_EQ(tape.selectNotesTooClose(box, tape.view),
              1u); // 3 after 0; 7 after 3 and 12 after 7 are room
    EXPECT_TRUE(tape.notes()[1].selected);
    Instrument gapOnly = box;
    gapOnly.strip.minHoleSpacingMm.reset();
    EXPECT_EQ(tape.selectNotesTooClose(gapOnly, tape.view), 0u);
}
