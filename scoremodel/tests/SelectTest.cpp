// Selection operations: flags only, never the melody or the history.
#include "ModelTestSupport.h"

#include "notes/NoteSets.h"

#include <gtest/gtest.h>

using namespace tw;

namespace {

std::vector<bool> flags(const ScoreModel &tape) {
    std::vector<bool> out;
    for (const TapeNote &n : tape.notes())
        out.push_back(n.selected);
    return out;
}

std::vector<TapeNote> byVelocity(std::initializer_list<unsigned> velocities) {
    std::vector<TapeNote> list;
    unsigned start = 0;
    for (unsigned v : velocities)
        list.push_back(tn(60, start++, 1, 0, v));
    return list;
}

} // namespace

TEST(TapeSelect, Loudest) {
    const struct {
        unsigned percent, count;
        std::vector<TapeNote> notes;
        std::vector<unsigned> preselected;
    } cases[] = {
        {20, 2, byVelocity({100, 100, 90, 80, 80, 80, 70, 60, 50, 40}), {}},
        {30, 3, byVelocity({100, 100, 90, 80, 80, 80, 70, 60, 50, 40}), {}},
        {40, 6, byVelocity({100, 100, 90, 80, 80, 80, 70, 60, 50, 40}), {}},
        {90, 9, byVelocity({100, 100, 90, 80, 80, 80, 70, 60, 50, 40}), {0, 1, 9}},
        {10, 0, byVelocity({1, 2, 3, 4}), {}},
        {10, 1, byVelocity({1, 2, 3, 4, 5}), {}},
        {100, 5, byVelocity({1, 2, 3, 4, 0}), {}},
        {4000000000u, 4, byVelocity({1, 2, 3, 4}), {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.percent);
        TestModel tape;
        tape.load(c.notes);
        for (unsigned i : c.preselected)
            tape.setSelected(i, true);
        EXPECT_EQ(tape.selectLoudest(c.percent), c.count);
        unsigned selected = 0;
        for (const TapeNote &n : tape.notes())
            selected += n.selected;
        // Notes below the threshold that were selected before stay selected.
        EXPECT_GE(selected, c.count);
        EXPECT_FALSE(tape.dataChanged());
    }
}

TEST(TapeSelect, LoudestCountsShownNotesOnly) {
    TestModel tape;
    tape.load({tn(60, 0, 1, 0, 10), tn(60, 1, 1, 1, 127), tn(60, 2, 1, 0, 20)});
    tape.setChannelMask(0x0001);
    EXPECT_EQ(tape.selectLoudest(50), 1u); // K = round(2 * 0.5) = 1: velocity 20
    EXPECT_EQ(flags(tape), (std::vector<bool>{false, false, true}));
}

TEST(TapeSelect, SpecialNotes) {
    const struct {
        unsigned indicator, count, firstTick;
    } cases[] = {{indicatorPiano, 2, 300}, {indicatorNone, 0, 7}, {indicatorDeleika26, 4, 0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.indicator);
        TestModel tape;
        RowColours rc;
        ASSERT_TRUE(indicatorRowColours(c.indicator, rc));
        tape.setRowColours(rc);
        // 20 and 109 lie outside the piano; of these only 43 is a Deleika note.
        tape.load({tn(21, 0, 1, 0, 1, true), tn(20, 300), tn(108, 400), tn(109, 500), tn(43, 600)});
        tape.view.firstTick = 7;
        EXPECT_EQ(tape.selectSpecialNotes(tape.view), c.count);
        if (c.indicator != indicatorDeleika26) {
            EXPECT_FALSE(tape.notes()[0].selected); // the whole selection is cleared first
        }
        EXPECT_EQ(tape.view.firstTick, c.firstTick); // scrolled to the first special note
        if (c.indicator == indicatorPiano) {
            EXPECT_EQ(flags(tape), (std::vector<bool>{false, true, false, true, false}));
        }
    }
}

TEST(TapeSelect, Region) {
    TestModel tape;
    tape.load({tn(60, 31), tn(60, 32), tn(60, 63), tn(60, 64), tn(61, 40, 4, 3)});
    tape.setRightMarker(64);
    tape.setLeftMarker(32, tape.view);
    tape.setChannelMask(0x0001);
    tape.selectBetweenMarkers();
    EXPECT_EQ(flags(tape), (std::vector<bool>{false, true, false, true, false}));
    // Notes are sorted: 31, 32, 40, 63, 64.
    tape.unselectAll();
    tape.setLeftMarker(64, tape.view);
    tape.selectBetweenMarkers(); // both on one tick
    EXPECT_EQ(flags(tape), std::vector<bool>(5, false));
}

TEST(TapeSelect, InvertAndFromAndToggle) {
    TestModel tape;
    tape.load({tn(60, 0), tn(61, 10, 4, 2), tn(62, 20, 4, 1)});
    tape.setSelected(1, true);
    tape.setChannelMask(0x0003); // channel 2 hidden: this clears every flag
    tape.setSelected(1, true);   // not shown: refused
    tape.setSelected(7, true);   // no such note
    EXPECT_EQ(flags(tape), (std::vector<bool>{false, false, false}));
    tape.setChannelMask(0xFFFF);
    tape.setSelected(1, true);
    TestModel &t = tape;
    t.invertSelection();
    EXPECT_EQ(flags(t), (std::vector<bool>{true, false, true}));
    t.unselectAll();
    t.selectFrom(10);
    EXPECT_EQ(flags(t), (std::vector<bool>{false, true, true}));
    EXPECT_FALSE(t.toggleSelectionAt(11, 61)); // inside the note, not its first tick
    EXPECT_TRUE(t.toggleSelectionAt(10, 61));
    EXPECT_EQ(flags(t), (std::vector<bool>{false, false, true}));
    t.selectAll();
    EXPECT_EQ(t.selectedNotes().size(), 3u);
    EXPECT_TRUE(t.selectedNotes()[0].selected);
    EXPECT_FALSE(t.dataChanged());
    EXPECT_TRUE(t.undoSnapshots().empty());
}

TEST(TapeSelect, InvertUnselectsHiddenButNeverSelectsThem) {
    TestModel tape;
    tape.load({tn(60, 0, 4, 0, 1, true), tn(61, 0, 4, 2, 1, true), tn(62, 1, 4, 2)});
    tape.setSelectedVelocity(5); // recorded with the flags as they are
    tape.setChannelMask(0x0001);
    ASSERT_TRUE(tape.undo()); // brings the flags back, also on the hidden channel
    EXPECT_EQ(flags(tape), (std::vector<bool>{true, true, false}));
    tape.invertSelection();
    EXPECT_EQ(flags(tape), (std::vector<bool>{false, false, false}));
}
