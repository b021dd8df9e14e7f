// Fitting a melody to a fixed-note instrument, and the notes too close to repeat.
#include "scoremodel/InstrumentFit.h"

#include "notes/NoteSets.h"
#include "scoremodel/TapeFixes.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace tw;

namespace {

std::vector<TapeNote> melody(const std::vector<unsigned> &pitches) {
    std::vector<TapeNote> notes;
    unsigned start = 0;
    for (unsigned p : pitches)
        notes.push_back(TapeNote{p, start += 4, 2, 0, 100, false});
    return notes;
}

std::bitset<128> playableSet(std::initializer_list<unsigned> notes) {
    std::bitset<128> set;
    for (unsigned n : notes)
        set.set(n);
    return set;
}

} // namespace

TEST(InstrumentFit, Deleika26RaisedASemitoneFitsOneDown) {
    const NoteSet deleika(deleika26Notes);
    std::vector<unsigned> raised;
    for (int8_t n : deleika.notes)
        raised.push_back(unsigned(n) + 1);
    const std::vector<FitLine> lines = fitShifts(melody(raised), deleika.members);
    ASSERT_EQ(lines.size(), 2u * maxFitShift + 1);
    EXPECT_EQ(lines[0], (FitLine{-1, 0, 0}));
    EXPECT_GT(lines[1].unplayable, 0u);
    for (unsigned p : raised)
        EXPECT_TRUE(deleika.members.test(unsigned(fittedNote(p, -1, false, deleika.members))));
}

TEST(InstrumentFit, MelodyThatFitsNoShiftCountsTheOctaveMoves) {
    // C, C# and D in a row cannot all be played by C, D and E; E2 can by two octaves.
    const std::bitset<128> cde = playableSet({60, 62, 64});
    const std::vector<FitLine> lines = fitShifts(melody({60, 61, 62, 40}), cde);
    ASSERT_GE(lines.size(), 4u);
    // Equal counts sort by the smaller shift, downwards first when as small.
    EXPECT_EQ(lines[0], (FitLine{0, 2, 1}));
    EXPECT_EQ(lines[1], (FitLine{2, 2, 0}));
    EXPECT_EQ(lines[2], (FitLine{-1, 3, 0}));
    EXPECT_EQ(lines[3], (FitLine{1, 3, 0}));
    const auto octave =
        std::find_if(lines.begin(), lines.end(), [](const FitLine &l) { return l.shift == 12; });
    ASSERT_NE(octave, lines.end());
    EXPECT_EQ(*octave, (FitLine{12, 4, 3})); // 72 and 74 an octave down, 52 one up

    const struct {
        unsigned note;
        int shift;
        bool octaves;
        int result;
    } moves[] = {
        {40, 0, true, 64},  {40, 0, false, 40}, {61, 0, true, 61},
        {74, 0, true, 62},  {50, 0, true, 62},  {127, 1, false, -1},
        {127, 1, true, -1}, {0, -1, true, -1},  {36, 0, true, 60},
    };
    for (const auto &m : moves) {
        SCOPED_TRACE(m.note);
        EXPECT_EQ(fittedNote(m.note, m.shift, m.octaves, cde), m.result);
    }
    // Of two octave moves as near, the higher one.
    EXPECT_EQ(octaveTarget(62, playableSet({50, 74})), 74);
    EXPECT_EQ(octaveTarget(62, playableSet({50, 86})), 50);
}

TEST(InstrumentFit, ShiftsThatLeaveTheNoteRangeAreNotOffered) {
    EXPECT_EQ(fitShifts(melody({0, 127}), playableSet({1})), (std::vector<FitLine>{{0, 2, 0}}));
    const std::vector<FitLine> high = fitShifts(melody({120}), playableSet({60}));
    ASSERT_EQ(high.size(), 24u + 8u); // -24 .. +7
    EXPECT_EQ(high[0], (FitLine{0, 1, 1}));
    EXPECT_EQ(fitShifts({}, playableSet({60})).front(), (FitLine{0, 0, 0}));
}

TEST(InstrumentFit, NotesTooCloseToRepeat) {
    // Key 60: gaps of 0, 1, 3 and 4 ticks. Key 64: a long note with a short one inside it (an
    // overlap) and a note right at the long one's end. Key 62 never repeats.
    const std::vector<TapeNote> notes = {
        {60, 0, 4, 0, 100, false},  {64, 0, 20, 0, 100, false}, // 0, 1
        {64, 2, 2, 1, 100, false},  {60, 4, 4, 0, 100, false},  // 2, 3: overlap, gap 0
        {62, 5, 1, 0, 100, false},  {60, 9, 2, 0, 100, false},  // 4, 5: gap 1
        {60, 14, 1, 0, 100, false}, {60, 19, 1, 0, 100, false}, // 6: gap 3, 7: gap 4
        {64, 20, 1, 0, 100, false},                             // 8: gap 0 after the long note
    };
    const struct {
        unsigned minGapMs, ticksPerFrame;
        std::vector<std::size_t> found;
    } cases[] = {
        {0, 8, {2, 3, 8}},          // no gap given: one tick
        {120, 8, {2, 3, 8}},        // 120 ms is less than a tick (125 ms)
        {125, 8, {2, 3, 8}},        // exactly a tick is enough
        {126, 8, {2, 3, 5, 8}},     // a tick is too short now
        {120, 32, {2, 3, 5, 6, 8}}, // 3.84 ticks: gaps of 1 and 3 are too short, 4 is not
        {125, 32, {2, 3, 5, 6, 8}}, // exactly 4 ticks: gap 4 is enough
        {126, 32, {2, 3, 5, 6, 7, 8}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.minGapMs) + " ms at " + std::to_string(c.ticksPerFrame));
        RepeatRule rule;
        rule.minGapMs = c.minGapMs;
        rule.ticksPerFrame = c.ticksPerFrame;
        std::vector<std::size_t> found;
        for (const ClosePair &p : pairsTooClose(notes, rule))
            found.push_back(p.later);
        std::sort(found.begin(), found.end());
        EXPECT_EQ(found, c.found);
    }
}

TEST(InstrumentFit, UnisonsMergeIntoTheFirst) {
    std::vector<TapeNote> notes = {
        {60, 0, 4, 0, 100, false}, {72, 0, 2, 1, 90, false},  {60, 0, 8, 0, 80, true},
        {60, 0, 2, 1, 70, false},  {60, 4, 4, 0, 100, false}, {60, 4, 1, 0, 60, false},
    };
    EXPECT_EQ(mergeUnisons(notes), 2u);
    // The first of each pair stays, with the longer length and the selection of either.
    const std::vector<TapeNote> expected = {
        {60, 0, 8, 0, 100, true},
        {72, 0, 2, 1, 90, false},
        {60, 0, 2, 1, 70, false},
        {60, 4, 4, 0, 100, false},
    };
    EXPECT_EQ(notes, expected);
    EXPECT_TRUE(notes[0].selected);
    EXPECT_EQ(mergeUnisons(notes), 0u);
}
