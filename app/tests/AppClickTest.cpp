// What presses on the score board do.
#include <gtest/gtest.h>

#include "AppHarness.h"

#include "app/CommandIds.h"

using namespace tw;

namespace {

class AppClicks : public testing::Test {
protected:
    AppHarness h;
    void SetUp() override { h.start(); }
    std::vector<TapeNote> notes() { return h.tape().model().notes(); }
};

} // namespace

TEST_F(AppClicks, ClickInsertsAndASecondClickRemoves) {
    h.click(10, 60);
    ASSERT_EQ(notes().size(), 1u);
    EXPECT_EQ(notes()[0], tn(60, 10, 4, 0, 127));
    EXPECT_TRUE(h.tape().model().dataChanged());
    h.click(10, 60);
    EXPECT_TRUE(notes().empty());
    // A release alone does nothing.
    h.app->onScoreClick(10, 60, FL_BUTTON1, false);
    EXPECT_TRUE(notes().empty());
}

TEST_F(AppClicks, ClickOnTheStartOfNotesOfTwoChannelsRemovesBoth) {
    h.tape().model().addNote(tn(60, 10, 4, 0));
    h.tape().model().addNote(tn(60, 10, 4, 1));
    h.app->onCommand(cmdNewNoteChannel + 1);
    h.click(10, 60);
    EXPECT_TRUE(notes().empty());
}

TEST_F(AppClicks, ClickOnALaterTickOfANoteInsertsAnOverlappingOne) {
    h.tape().model().addNote(tn(60, 10, 8, 0));
    h.click(12, 60);
    EXPECT_EQ(notes().size(), 2u);
}

TEST_F(AppClicks, RightClickSetsTheLengthOfNewNotes) {
    h.tape().model().addNote(tn(60, 10, 8, 0));
    h.click(13, 60, FL_BUTTON3);
    EXPECT_EQ(notes()[0].length, 3u);
    EXPECT_EQ(h.app->lengthOfNewNotes(), 3u);
    EXPECT_TRUE(h.dialogs.empty()) << "an unselected note asks nothing";
    h.click(20, 62);
    EXPECT_EQ(notes().back().length, 3u);
    // A right click with no earlier note of the current channel on that row does nothing.
    h.click(5, 70, FL_BUTTON3);
    EXPECT_EQ(notes().size(), 2u);
    EXPECT_EQ(h.app->lengthOfNewNotes(), 3u);
}

TEST_F(AppClicks, LengthChangeOfASelectedNoteAsksAboutTheOthers) {
    struct Case {
        int answer;
        unsigned otherLength;
    };
    for (const Case c : {Case{1, 4}, Case{0, 5}}) {
        SCOPED_TRACE(c.answer);
        h.app->onCommand(cmdNew);
        h.tape().model().addNote(tn(60, 10, 4, 0));
        h.tape().model().addNote(tn(64, 10, 4, 0));
        h.tape().model().selectAll();
        h.dialogs.clear();
        h.answers = {c.answer};
        h.click(15, 60, FL_BUTTON3);
        ASSERT_EQ(h.dialogs.size(), 1u);
        EXPECT_EQ(h.dialogs[0].text, "Should the length be changed for all selected notes?");
        EXPECT_EQ(h.dialogs[0].buttons[0], "Yes");
        EXPECT_EQ(h.dialogs[0].buttons[1], "NO");
        EXPECT_EQ(notes()[0].length, 5u);
        EXPECT_EQ(notes()[1].length, c.otherLength);
    }
}

TEST_F(AppClicks, ShiftClicksSpanRectangles) {
    Flt_ScoreTape &t = h.tape();
    t.model().addNote(tn(60, 10));
    t.model().addNote(tn(63, 19));
    t.model().addNote(tn(64, 15)); // on the upper edge row: outside
    t.model().addNote(tn(61, 20)); // at the right edge tick: outside
    const int shift = FL_BUTTON1 | FL_SHIFT;
    h.click(10, 62, shift); // empty: sets the corner (not on a note start)
    EXPECT_TRUE(h.app->hasRectangleCorner());
    h.click(20, 64, shift);
    EXPECT_FALSE(t.model().notes()[0].selected) << "row 60 lies below the rectangle from row 62";
    h.app->onCommand(cmdUnselectAll);
    EXPECT_FALSE(h.app->hasRectangleCorner());

    h.click(10, 60, FL_BUTTON1 | FL_SHIFT); // a note starts here: toggles it
    EXPECT_TRUE(t.model().notes()[0].selected);
    EXPECT_FALSE(h.app->hasRectangleCorner());
    h.app->onCommand(cmdUnselectAll);

    h.click(9, 60, shift);
    h.click(20, 64, shift);
    std::vector<bool> selected;
    for (const TapeNote &n : t.model().notes())
        selected.push_back(n.selected);
    // Storage order by start: 60@10, 64@15, 63@19, 61@20.
    EXPECT_EQ(selected, (std::vector<bool>{true, false, true, false}));
    // The corner stays: a third click spans from (9, 60) again.
    h.click(30, 70, shift);
    EXPECT_TRUE(t.model().notes()[1].selected);
    EXPECT_TRUE(t.model().notes()[3].selected);
}

TEST_F(AppClicks, EmptyRectangleMovesTheCornerAndADegenerateOneKeepsIt) {
    Flt_ScoreTape &t = h.tape();
    t.model().addNote(tn(62, 15));
    t.model().addNote(tn(65, 25));
    const int shift = FL_BUTTON1 | FL_SHIFT;
    h.click(10, 60, shift);
    h.click(10, 70, shift); // same tick as the corner: nothing, the corner stays
    h.click(20, 61, shift); // nothing inside: (20, 61) becomes the corner
    EXPECT_TRUE(t.model().selectedNotes().empty());
    h.click(30, 70, shift); // from (20, 61): holds only the note at 25 on row 65
    EXPECT_FALSE(t.model().notes()[0].selected);
    EXPECT_TRUE(t.model().notes()[1].selected);
}

TEST_F(AppClicks, ModifiedClicks) {
    Flt_ScoreTape &t = h.tape();
    h.app->onCommand(cmdTicksPerFrame + 8);
    t.model().addNote(tn(60, 10));
    t.model().addNote(tn(62, 30));
    h.click(20, 50, FL_BUTTON3 | FL_SHIFT);
    EXPECT_FALSE(t.model().notes()[0].selected);
    EXPECT_TRUE(t.model().notes()[1].selected);
    h.click(5, 50, FL_BUTTON1 | FL_SHIFT | FL_CTRL);
    EXPECT_EQ(t.model().notes()[0].start, 18u);
    h.click(5, 50, FL_BUTTON3 | FL_SHIFT | FL_CTRL);
    EXPECT_EQ(t.model().notes()[0].start, 19u);
    const std::vector<TapeNote> before = t.model().notes();
    for (int state : {FL_BUTTON1 | FL_CTRL, FL_BUTTON1 | FL_ALT, FL_BUTTON2,
                      FL_BUTTON1 | FL_BUTTON3, FL_BUTTON1 | FL_META}) {
        SCOPED_TRACE(state);
        h.click(40, 70, state);
        EXPECT_EQ(t.model().notes(), before);
    }
}

TEST_F(AppClicks, ClickActionsAreConsumedByTheNextPlainClick) {
    Flt_ScoreTape &t = h.tape();
    struct Case {
        int command;
        unsigned tick;
        std::function<bool()> done;
    };
    const Case cases[] = {
        {cmdClickPlayMarker, 7, [&] { return t.model().playMarker() == 7; }},
        {cmdClickRightMarker, 30, [&] { return t.model().rightMarker() == 30; }},
        {cmdClickLeftMarker, 12, [&] { return t.model().leftMarker() == 12; }},
        {cmdClickBlueMarker, 9, [&] { return t.model().sectionMarkers().count(9) == 1; }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.command);
        h.app->onCommand(c.command);
        h.click(c.tick, 60);
        EXPECT_TRUE(c.done());
        EXPECT_FALSE(h.app->pendingClickAction());
        EXPECT_TRUE(t.model().notes().empty()) << "the click does not insert a note";
    }
    h.click(9, 60);
    EXPECT_EQ(t.model().notes().size(), 1u) << "the click after that inserts again";
}

TEST_F(AppClicks, NewNotesGoToTheCurrentChannel) {
    h.app->onCommand(cmdNewNoteChannel + 5);
    h.click(3, 61);
    ASSERT_EQ(h.tape().model().notes().size(), 1u);
    EXPECT_EQ(h.tape().model().notes()[0].channel, 5u);
}

TEST_F(AppClicks, ClicksOutsideTheNoteRangeChangeNothing) {
    h.click(3, 128);
    h.click(3, 0xFFFFFFFFu);
    h.click(3, 300); // not wrapped into a note's byte (44)
    h.click(3, 256 + 60);
    EXPECT_TRUE(h.tape().model().notes().empty());
}

TEST_F(AppClicks, WithSnapANewNoteStartsOnTheGridAndAClickOnANoteStillRemovesIt) {
    h.tape().model().setTicksPerFrame(32); // 16 ticks a beat at 120 bpm
    h.menu().setValue(cmdSnapToBeat, true);
    h.app->onCommand(cmdSnapToBeat);
    h.click(21, 60);
    ASSERT_EQ(notes().size(), 1u);
    EXPECT_EQ(notes()[0].start, 16u);
    h.tape().model().addNote(tn(62, 21, 4));
    h.click(21, 62);
    ASSERT_EQ(notes().size(), 1u) << "the note that starts under the click went";
    h.click(17, 60);
    EXPECT_TRUE(notes().empty()) << "a click in the first beat again removes the snapped note";
}
