// The model's instrument operations: fitting as one edit, and selecting the notes too close.
#include "ModelTestSupport.h"

#include "notes/Instrument.h"

#include <gtest/gtest.h>

using namespace tw;

namespace {

Instrument cMajor() {
    InstrumentError error;
    return *parseInstrument("name: C major\nnotes: C4 D4 E4 F4 G4 A4 B4 C5\nmin-gap-ms: 250\n",
                            error);
}

std::vector<unsigned> pitches(const ScoreModel &tape) {
    std::vector<unsigned> out;
    for (const TapeNote &n : tape.notes())
        out.push_back(n.note);
    return out;
}

} // namespace

TEST(ModelInstrument, FitIsOneEditOnTheChosenNotesAndKeepsTheSelection) {
    TestModel tape;
    // F# G# A# a semitone above F G A, and B2 far below C4.
    tape.load({tn(66, 0), tn(68, 4), tn(70, 8), tn(47, 12), tn(66, 16, 4, 2)});
    tape.setChannelMask(0xFFFF & ~(1u << 2)); // the last note is hidden

    // Nothing selected: every shown note moves.
    ASSERT_EQ(tape.notesToFit().size(), 4u);
    EXPECT_TRUE(tape.fitToInstrument(cMajor(), -1, true));
    EXPECT_EQ(pitches(tape), (std::vector<unsigned>{65, 67, 69, 46, 66}));
    EXPECT_TRUE(tape.dataChanged());
    EXPECT_TRUE(tape.undo());
    EXPECT_EQ(pitches(tape), (std::vector<unsigned>{66, 68, 70, 47, 66}));

    // Only the selected notes move, and they stay selected.
    tape.setSelected(1, true);
    tape.setSelected(3, true);
    EXPECT_EQ(tape.notesToFit().size(), 2u);
    EXPECT_TRUE(tape.fitToInstrument(cMajor(), 1, true));
    EXPECT_EQ(pitches(tape), (std::vector<unsigned>{66, 69, 70, 60, 66}));
    EXPECT_TRUE(tape.notes()[1].selected && tape.notes()[3].selected);
    EXPECT_FALSE(tape.notes()[0].selected);
    EXPECT_TRUE(tape.undo());
    EXPECT_EQ(pitches(tape), (std::vector<unsigned>{66, 68, 70, 47, 66}));

    // A shift of nothing changes nothing and records nothing.
    const unsigned position = tape.undoPosition();
    EXPECT_FALSE(tape.fitToInstrument(cMajor(), 0, false));
    EXPECT_EQ(tape.undoPosition(), position);
}

TEST(ModelInstrument, NotesTooCloseAreSelectedAndTheFirstScrolledIntoView) {
    TestModel tape; // rows 50 to 79
    tape.setTicksPerFrame(8);
    // 250 ms are two ticks at 8 ticks per frame: a gap of one tick is too short.
    tape.load({tn(100, 10, 4), tn(100, 15, 4), tn(100, 21, 2), tn(60, 30, 2), tn(60, 32, 2)});
    tape.setSelected(0, true);
    EXPECT_EQ(tape.selectNotesTooClose(cMajor(), tape.view), 2u);
    EXPECT_EQ(tape.selectedNotes(), (std::vector<TapeNote>{tn(100, 15, 4), tn(60, 32, 2)}));
    EXPECT_EQ(tape.view.firstTick, 15u);
    EXPECT_LE(tape.view.bottomNote, 100u); // row 100 is among the 30 shown
    EXPECT_GT(tape.view.bottomNote + 30, 100u);
    EXPECT_FALSE(tape.dataChanged());

    // At 4 ticks per frame a tick lasts 250 ms; without a gap in the file one tick is enough.
    tape.setTicksPerFrame(4);
    EXPECT_EQ(tape.selectNotesTooClose(cMajor(), tape.view), 1u);
    Instrument noGap = cMajor();
    noGap.minGapMs.reset();
    tape.setTicksPerFrame(8);
    EXPECT_EQ(tape.selectNotesTooClose(noGap, tape.view), 1u);
    EXPECT_EQ(tape.selectedNotes(), (std::vector<TapeNote>{tn(60, 32, 2)}));
}

TEST(ModelInstrument, AnOctaveMovedOntoAnotherNoteBecomesOneWithIt) {
    TestModel tape;
    // C3 and C4 together; the instrument has no C3. Channel 1's C4 is a note of its own.
    tape.load({tn(60, 0, 4), tn(48, 0, 8), tn(60, 0, 4, 1), tn(62, 8)});
    EXPECT_TRUE(tape.fitToInstrument(cMajor(), 0, true));
    EXPECT_EQ(tape.notes(), (std::vector<TapeNote>{tn(60, 0, 8), tn(60, 0, 4, 1), tn(62, 8)}));
    EXPECT_TRUE(tape.undo());
    EXPECT_EQ(tape.notes().size(), 4u);
}
