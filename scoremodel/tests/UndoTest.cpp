// Undo and redo over whole-melody snapshots.
#include "ModelTestSupport.h"

#include <gtest/gtest.h>

using namespace tw;

namespace {

std::vector<TapeNote> A() {
    return {tn(60, 0)};
}

} // namespace

TEST(TapeUndo, UndoAndRedoWalkTheHistory) {
    TestModel tape;
    tape.load(A());
    tape.insertNote(tn(62, 5)); // B
    tape.insertNote(tn(64, 9)); // C
    const auto C = tape.notes();
    EXPECT_TRUE(tape.undo());
    EXPECT_EQ(tape.notes().size(), 2u);
    EXPECT_TRUE(tape.dataChanged());
    EXPECT_TRUE(tape.undo());
    EXPECT_EQ(tape.notes(), A());
    EXPECT_FALSE(tape.undo());
    EXPECT_TRUE(tape.redo());
    EXPECT_EQ(tape.notes().size(), 2u);
    EXPECT_TRUE(tape.redo());
    EXPECT_EQ(tape.notes(), C);
    EXPECT_FALSE(tape.redo());
}

TEST(TapeUndo, AnEditAfterUndoDropsTheRedoStates) {
    TestModel tape;
    tape.load(A());
    tape.insertNote(tn(62, 5)); // B
    tape.undo();
    tape.insertNote(tn(65, 7)); // D
    EXPECT_FALSE(tape.redo());
    EXPECT_TRUE(tape.undo());
    EXPECT_EQ(tape.notes(), A());
}

// An edit made right after a redo is undone back to the redone state, not past it.
TEST(TapeUndo, EditAfterRedoIsKept) {
    TestModel tape;
    tape.load(A());
    tape.insertNote(tn(62, 5)); // B
    const auto B = tape.notes();
    tape.undo();
    tape.redo();
    tape.insertNote(tn(67, 8)); // E
    const auto E = tape.notes();
    EXPECT_TRUE(tape.undo());
    EXPECT_EQ(tape.notes(), B);
    EXPECT_TRUE(tape.redo());
    EXPECT_EQ(tape.notes(), E);
}

TEST(TapeUndo, AnEditThatChangesNothingLeavesTheHistory) {
    const struct {
        const char *what;
        bool undoFirst;
    } cases[] = {{"at the end of the history", false}, {"with redo states", true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TestModel tape;
        tape.load(A());
        tape.insertNote(tn(62, 5));
        tape.insertNote(tn(64, 9));
        if (c.undoFirst)
            tape.undo();
        const auto snapshots = tape.undoSnapshots();
        const unsigned position = tape.undoPosition();
        const bool changed = tape.dataChanged();
        tape.removeSelected(); // nothing is selected
        tape.insertTime(1000, 4);
        tape.setSelectedVelocity(3);
        EXPECT_EQ(tape.undoSnapshots(), snapshots);
        EXPECT_EQ(tape.undoPosition(), position);
        EXPECT_EQ(tape.dataChanged(), changed);
        if (c.undoFirst) {
            EXPECT_TRUE(tape.redo());
            EXPECT_EQ(tape.notes().size(), 3u);
        }
    }
}

TEST(TapeUndo, FirstNoteOfAnEmptyTapeIsUndoneAndRedone) {
    TestModel tape;
    tape.insertNote(tn(60, 0));
    ASSERT_TRUE(tape.undo());
    EXPECT_TRUE(tape.notes().empty());
    EXPECT_FALSE(tape.undo());
    ASSERT_TRUE(tape.redo());
    EXPECT_EQ(tape.notes(), std::vector<TapeNote>{tn(60, 0)});
}

TEST(TapeUndo, ClearIsUndoneAndRedoneToTheEmptyTape) {
    TestModel tape;
    tape.load(A());
    tape.clear();
    EXPECT_TRUE(tape.undo());
    EXPECT_EQ(tape.notes(), A());
    EXPECT_TRUE(tape.redo());
    EXPECT_TRUE(tape.notes().empty());
    EXPECT_FALSE(tape.redo());
}

TEST(TapeUndo, RestoredNotesKeepTheirFlags) {
    TestModel tape;
    tape.load({tn(60, 0), tn(61, 4), tn(62, 8)});
    tape.setSelected(1, true);
    tape.removeSelected();
    ASSERT_TRUE(tape.undo());
    ASSERT_EQ(tape.notes().size(), 3u);
    EXPECT_TRUE(tape.notes()[1].selected);
    EXPECT_FALSE(tape.notes()[0].selected);
    // Redo leaves the restored melody without flags.
    ASSERT_TRUE(tape.redo());
    for (const TapeNote &n : tape.notes())
        EXPECT_FALSE(n.selected);
    EXPECT_EQ(tape.undoSnapshots().back(), tape.notes());
}
