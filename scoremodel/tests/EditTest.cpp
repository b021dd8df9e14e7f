// Edit operations: what they change, and that an edit which changes nothing is not recorded.
#include "ModelTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using namespace tw;

namespace {

constexpr unsigned maxTick = 0xFFFFFFFFu;

bool ordered(const ScoreModel &tape) {
    return std::is_sorted(tape.notes().begin(), tape.notes().end(), ByStart());
}

} // namespace

// Each case: a melody, an edit, and the starts afterwards; whether it was recorded.
TEST(TapeEdit, TimeEdits) {
    const struct {
        const char *what;
        std::vector<TapeNote> notes;
        std::function<void(TestModel &)> edit;
        std::vector<unsigned> starts;
        bool recorded;
    } cases[] = {
        {"insertTime moves notes at or after the tick",
         {tn(60, 99, 20), tn(61, 100)},
         [](TestModel &t) { t.insertTime(100, 8); },
         {99, 108},
         true},
        {"insertTime 0", {tn(60, 100)}, [](TestModel &t) { t.insertTime(100, 0); }, {100}, false},
        {"insertTime after the last note",
         {tn(60, 10)},
         [](TestModel &t) { t.insertTime(11, 5); },
         {10},
         false},
        {"eraseRegion 32..64",
         {tn(60, 10), tn(61, 20, 30), tn(62, 32), tn(63, 63), tn(64, 64)},
         [](TestModel &t) {
             t.setRightMarker(64);
             t.setLeftMarker(32, t.view);
             t.eraseRegion();
         },
         {10, 20, 32},
         true},
        {"eraseRegion with markers on one tick",
         {tn(60, 10)},
         [](TestModel &t) {
             t.setLeftMarker(10, t.view);
             t.eraseRegion();
         },
         {10},
         false},
        {"insertRegionLength 32..64",
         {tn(60, 31), tn(61, 32)},
         [](TestModel &t) {
             t.setRightMarker(64);
             t.setLeftMarker(32, t.view);
             t.insertRegionLength();
         },
         {31, 64},
         true},
        {"moveSelected -1 at tick 0",
         {tn(60, 0, 4, 0, 1, true), tn(61, 5)},
         [](TestModel &t) { t.moveSelected(-1); },
         {0, 5},
         false},
        {"moveSelected re-sorts",
         {tn(60, 0, 4, 0, 1, true), tn(61, 5)},
         [](TestModel &t) { t.moveSelected(10); },
         {5, 10},
         true},
        {"moveSelected leaves hidden channels",
         {tn(60, 0, 4, 0, 1, true), tn(61, 2, 4, 1, 1, true)},
         [](TestModel &t) {
             t.setChannelMask(0x0001); // clears flags: select again
             t.setSelected(0, true);
             t.moveSelected(3);
         },
         {2, 3},
         true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TestModel tape;
        tape.load(c.notes);
        c.edit(tape);
        EXPECT_EQ(starts(tape.notes()), c.starts);
        EXPECT_EQ(tape.dataChanged(), c.recorded);
        EXPECT_EQ(tape.undoSnapshots().size(), c.recorded ? 1u : 0u);
        EXPECT_TRUE(ordered(tape));
    }
}

TEST(TapeEdit, EraseRegionKeepsLengthOfANoteReachingIn) {
    TestModel tape;
    tape.load({tn(60, 20, 30), tn(61, 70, 2)});
    tape.setRightMarker(64);
    tape.setLeftMarker(32, tape.view);
    tape.eraseRegion();
    EXPECT_EQ(tape.notes()[0].length, 30u);
    EXPECT_EQ(tape.notes()[1].start, 38u);
    EXPECT_EQ(tape.leftMarker(), 32u);
    EXPECT_EQ(tape.rightMarker(), 64u);
}

// Shifts near the last tick are refused for the notes they would wrap, and the order holds.
TEST(TapeEdit, ShiftsNeverWrapAroundTime) {
    const struct {
        const char *what;
        std::vector<TapeNote> notes;
        std::function<void(TestModel &)> edit;
        std::vector<unsigned> starts;
    } cases[] = {
        {"insertTime",
         {tn(60, 10), tn(61, maxTick - 20, 4)},
         [](TestModel &t) { t.insertTime(5, 100); },
         {110, maxTick - 20}},
        {"insertTime exactly to the last tick",
         {tn(61, maxTick - 20, 4)},
         [](TestModel &t) { t.insertTime(5, 16); },
         {maxTick - 4}},
        {"insertRegionLength",
         {tn(60, 10), tn(61, maxTick - 100, 4)},
         [](TestModel &t) {
             t.setRightMarker(1000);
             t.setLeftMarker(1, t.view);
             t.insertRegionLength();
         },
         {1009, maxTick - 100}},
        {"moveSelected",
         {tn(60, 10, 4, 0, 1, true), tn(61, maxTick - 4, 4, 0, 1, true)},
         [](TestModel &t) { t.moveSelected(2); },
         {12, maxTick - 4}},
        {"pasteNotesWithTime",
         {tn(60, 0), tn(61, maxTick - 30, 4)},
         [](TestModel &t) {
             t.pasteNotesWithTime(maxTick - 40, {tn(70, 0, 2), tn(71, 20, 21)});
         },
         {0, maxTick - 30, maxTick - 40}},
        {"pasteNotes",
         {tn(60, 0)},
         [](TestModel &t) {
             t.pasteNotes(maxTick - 10, {tn(70, 100, 2), tn(71, 110, 20)});
         },
         {0, maxTick - 10}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TestModel tape;
        tape.load(c.notes);
        c.edit(tape);
        std::vector<unsigned> expected = c.starts;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(starts(tape.notes()), expected);
        for (const TapeNote &n : tape.notes())
            EXPECT_LE(uint64_t(n.start) + n.length, uint64_t(maxTick));
        EXPECT_TRUE(ordered(tape));
    }
}

TEST(TapeEdit, SelectedNoteChanges) {
    TestModel tape;
    tape.load({tn(60, 0, 4, 0, 100, true), tn(127, 1, 4, 1, 100, true), tn(0, 2, 4, 2, 100, true),
               tn(62, 3, 4, 3, 100)});
    tape.setSelectedVelocity(128);
    tape.setSelectedChannel(16);
    tape.setSelectedLength(0);
    EXPECT_FALSE(tape.dataChanged());
    EXPECT_TRUE(tape.undoSnapshots().empty());

    tape.selectedNotesHigher();
    EXPECT_EQ(tape.notes()[0].note, 61u);
    EXPECT_EQ(tape.notes()[1].note, 127u); // already at the top
    EXPECT_EQ(tape.notes()[2].note, 1u);
    tape.selectedNotesLower();
    tape.selectedNotesLower();
    EXPECT_EQ(tape.notes()[2].note, 0u);
    tape.setSelectedLength(9);
    tape.setSelectedVelocity(127);
    tape.setSelectedChannel(5);
    for (unsigned i = 0; i < 3; ++i) {
        EXPECT_EQ(tape.notes()[i].length, 9u);
        EXPECT_EQ(tape.notes()[i].velocity, 127u);
        EXPECT_EQ(tape.notes()[i].channel, 5u);
    }
    EXPECT_EQ(tape.notes()[3].channel, 3u);
    const auto history = tape.undoSnapshots().size();
    tape.setSelectedChannel(5); // no change: not recorded
    EXPECT_EQ(tape.undoSnapshots().size(), history);
    tape.removeSelected();
    ASSERT_EQ(tape.notes().size(), 1u);
    EXPECT_EQ(tape.notes()[0].note, 62u);
}

TEST(TapeEdit, InsertAndRemoveAt) {
    TestModel tape;
    EXPECT_TRUE(tape.insertNote(tn(60, 10, 4, 0)));
    EXPECT_FALSE(tape.insertNote(tn(60, 10, 8, 0)));
    EXPECT_TRUE(tape.insertNote(tn(60, 10, 4, 1)));
    EXPECT_TRUE(tape.insertNote(tn(60, 10, 4, 2)));
    tape.setChannelMask(0x0003);
    EXPECT_FALSE(tape.removeNotesAt(11, 60));
    EXPECT_TRUE(tape.removeNotesAt(10, 60)); // both shown channels, whatever the channel
    ASSERT_EQ(tape.notes().size(), 1u);
    EXPECT_EQ(tape.notes()[0].channel, 2u); // hidden: left alone
    EXPECT_EQ(tape.notesAt(10, 60).size(), 1u);
    EXPECT_TRUE(tape.notesAt(10, 61).empty());
}

TEST(TapeEdit, ChangeNoteLength) {
    const struct {
        std::vector<TapeNote> notes;
        unsigned tick, channel, length;
        std::optional<std::size_t> index;
    } cases[] = {
        {{tn(60, 0), tn(60, 10)}, 15, 0, 5, 1},
        {{tn(60, 0)}, 15, 0, 15, 0},
        {{tn(60, 0), tn(60, 10, 4, 1)}, 15, 0, 15, 0}, // other channel skipped
        {{tn(60, 15)}, 15, 0, 0, std::nullopt},        // must start before the tick
    };
    for (const auto &c : cases) {
        TestModel tape;
        tape.load(c.notes);
        std::optional<std::size_t> index;
        EXPECT_EQ(tape.changeNoteLength(c.tick, 60, c.channel, &index), c.length);
        EXPECT_EQ(index, c.index);
        EXPECT_EQ(tape.dataChanged(), c.length != 0);
        if (c.index) {
            EXPECT_EQ(tape.notes()[*c.index].length, c.length);
        }
    }
}

TEST(TapeEdit, Paste) {
    TestModel tape;
    tape.load({tn(60, 50), tn(61, 100), tn(62, 120)});
    tape.pasteNotesWithTime(100, {tn(70, 10, 2, 0, 1, true), tn(71, 20, 4)});
    EXPECT_EQ(starts(tape.notes()), (std::vector<unsigned>{50, 100, 110, 114, 134}));
    EXPECT_FALSE(tape.notes()[1].selected); // pasted notes arrive unselected
    EXPECT_EQ(tape.undoSnapshots().size(), 1u);

    const auto before = tape.notes();
    tape.pasteNotes(50, {tn(60, 0), tn(70, 50, 2)}); // both duplicate existing notes
    EXPECT_EQ(tape.notes(), before);
    EXPECT_EQ(tape.undoSnapshots().size(), 1u);
    tape.pasteNotes(0, {tn(80, 7, 1)});
    EXPECT_EQ(tape.notes().front().note, 80u);
    EXPECT_EQ(tape.notes().front().start, 0u);
    tape.pasteNotes(0, {});
    tape.pasteNotesWithTime(0, {});
    EXPECT_EQ(tape.undoSnapshots().size(), 2u);
}

TEST(TapeEdit, ClearAndSetNotes) {
    TestModel tape;
    tape.setChannelMask(0x0001);
    tape.clear(); // empty: nothing recorded, the mask is reset anyway
    EXPECT_EQ(tape.channelMask(), 0xFFFF);
    EXPECT_TRUE(tape.undoSnapshots().empty());
    EXPECT_FALSE(tape.dataChanged());
    tape.insertNote(tn(60, 0));
    tape.clear();
    EXPECT_TRUE(tape.notes().empty());
    EXPECT_TRUE(tape.dataChanged());
    EXPECT_EQ(tape.undoSnapshots().size(), 2u); // the empty tape, then the one note
    tape.setNotes({tn(60, 30), tn(61, 10)});    // kept in order by start
    EXPECT_EQ(starts(tape.notes()), (std::vector<unsigned>{10, 30}));
    EXPECT_FALSE(tape.dataChanged());
}
