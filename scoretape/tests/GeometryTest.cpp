// Board geometry and pointer positions, computed without a display.
#include "TapeTestSupport.h"

#include <FL/Fl.H>
#include <gtest/gtest.h>

#include <functional>
#include <random>

using namespace tw;

TEST(TapeGeometry, FirstFrameLabel) {
    const struct {
        unsigned firstTick;
        int x;
        unsigned number;
    } cases[] = {{0, 258, 1}, {30, 18, 1}, {31, 266, 2}, {32, 258, 2}, {64, 258, 3}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.firstTick);
        TestWidget tape;
        tape.setFirstTick(c.firstTick);
        const auto labels = tape.layout().frameLabels();
        ASSERT_FALSE(labels.empty());
        EXPECT_EQ(labels[0].x, c.x);
        EXPECT_EQ(labels[0].y, 9);
        EXPECT_EQ(labels[0].number, c.number);
        // One label per frame while it fits: 256 pixels apart, up to w - 10.
        for (std::size_t i = 1; i < labels.size(); ++i) {
            EXPECT_EQ(labels[i].x - labels[i - 1].x, 256);
            EXPECT_EQ(labels[i].number, labels[i - 1].number + 1);
            EXPECT_LE(labels[i].x - 2, 801 - 10);
        }
    }
}

TEST(TapeGeometry, FrameLabelsTurnRedAfterTheFirstNote) {
    TestWidget tape;
    tape.model().setNotes({tn(60, 40)});
    const auto labels = tape.layout().frameLabels(); // ticks 32, 64, 96
    ASSERT_GE(labels.size(), 3u);
    EXPECT_EQ(labels[0].colour, FL_BLACK);
    EXPECT_EQ(labels[1].colour, FL_RED);
    tape.model().setNotes({tn(60, 64)});
    EXPECT_EQ(tape.layout().frameLabels()[1].colour, FL_BLACK); // 64 is not after 64
    // A narrow widget still shows its first label.
    Flt_ScoreTape narrow(0, 0, 5, 100);
    EXPECT_EQ(narrow.layout().frameLabels().size(), 1u);
}

TEST(TapeGeometry, NoteBars) {
    // 100 columns from firstTick 20, rows 50..79: row index of note 60 is 19.
    const struct {
        const char *what;
        TapeNote note;
        bool drawn;
        Flt_ScoreTape::Rect rect;
    } cases[] = {
        {"inside", tn(60, 30, 4), true, {80, 221, 32, 10}},
        {"began before the view", tn(60, 10, 15), true, {0, 221, 40, 10}},
        {"cut at the right edge", tn(79, 110, 50), true, {720, 12, 80, 10}},
        {"ends at firstTick", tn(60, 10, 10), false, {}},
        {"starts after the view", tn(60, 120, 4), false, {}},
        {"row below the view", tn(49, 30, 4), false, {}},
        {"row above the view", tn(80, 30, 4), false, {}},
        {"hidden channel", tn(60, 30, 4, 5), false, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TestWidget tape;
        tape.setFirstTick(20);
        tape.model().setChannelMask(0x001F);
        Flt_ScoreTape::Rect r;
        ASSERT_EQ(tape.layout().noteRect(c.note, r), c.drawn);
        if (c.drawn) {
            EXPECT_EQ(r, c.rect);
        }
    }
}

// The outline of a note being recorded goes round the cells of its bar, whatever channel it is on.
TEST(TapeGeometry, CellBoxesHoldTheNoteBars) {
    const struct {
        const char *what;
        TapeNote note;
        bool shown;
    } cases[] = {
        {"inside", tn(60, 30, 4), true},
        {"began before the view", tn(60, 10, 15), true},
        {"cut at the right edge", tn(79, 110, 50), true},
        {"ends at firstTick", tn(60, 10, 10), false},
        {"starts after the view", tn(60, 120, 4), false},
        {"row below the view", tn(49, 30, 4), false},
        {"row above the view", tn(80, 30, 4), false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TestWidget tape;
        tape.setFirstTick(20);
        Flt_ScoreTape::Rect box, bar;
        const long long end = (long long)c.note.start + c.note.length - 1;
        ASSERT_EQ(tape.cellBox(c.note.start, end, c.note.note, c.note.note, box), c.shown);
        ASSERT_EQ(tape.layout().noteRect(c.note, bar), c.shown);
        if (c.shown) {
            EXPECT_LE(box.x, bar.x);
            EXPECT_LE(box.y, bar.y);
            EXPECT_GE(box.x + box.w, bar.x + bar.w);
            EXPECT_GE(box.y + box.h, bar.y + bar.h);
            EXPECT_LE(box.h - bar.h, 2) << "one row";
        }
    }
}

TEST(TapeGeometry, RowLinesAndMarkers) {
    TestWidget tape; // rows 50..79
    EXPECT_EQ(tape.layout().rowLineY(79), 11 + 5);
    EXPECT_EQ(tape.layout().rowLineY(50), 11 + 5 + 29 * 11);
    tape.setFirstTick(10);
    const Flt_ScoreTape::Rect m = tape.layout().markerRect(13);
    EXPECT_EQ(m, (Flt_ScoreTape::Rect{24, 11, 2, 330}));
    EXPECT_LT(tape.layout().markerRect(0).x, 0); // left of the widget: not seen
}

// The notes that drawing walks are exactly those that overlap the view.
TEST(TapeGeometry, CandidateNotesCoverEveryDrawnNote) {
    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round) {
        TestWidget tape;
        std::vector<TapeNote> list;
        for (int i = 0; i < 300; ++i)
            list.push_back(
                tn(50 + random() % 30, random() % 2000, 1 + random() % (round * 20 + 1)));
        tape.model().setNotes(list);
        tape.setFirstTick(random() % 2000);
        const auto range = tape.model().candidateNotes(tape.view());
        Flt_ScoreTape::Rect r;
        for (std::size_t i = 0; i < tape.model().notes().size(); ++i) {
            if (tape.layout().noteRect(tape.model().notes()[i], r)) {
                EXPECT_GE(i, range.first);
                EXPECT_LT(i, range.second);
            }
        }
    }
}

// Where a press lands, and whether it reaches the click callback: only presses on the grid do.
TEST(TapeInput, ClickPositions) {
    const struct {
        const char *what;
        int x, y, state;
        unsigned tick, note;
        int expectState;
        bool onGrid;
    } cases[] = {
        {"top row", 17, 12, FL_BUTTON1, 22, 79, FL_BUTTON1, true},
        {"top edge of the top row", 0, 11, FL_BUTTON1, 20, 79, FL_BUTTON1, true},
        {"label strip: one above the top row", 0, 5, FL_BUTTON1, 20, 80, FL_BUTTON1, false},
        {"bottom row", 799, 11 * 30 + 3, FL_BUTTON3, 119, 50, FL_BUTTON3, true},
        {"last pixel of the bottom row", 0, 11 * 31 - 1, FL_BUTTON1, 20, 50, FL_BUTTON1, true},
        {"locks are cleared", 8, 40, FL_BUTTON1 | FL_SHIFT | FL_CAPS_LOCK | FL_NUM_LOCK, 21, 77,
         FL_BUTTON1 | FL_SHIFT, true},
        {"margin below the grid: one below the bottom row", 0, 11 * 31, FL_BUTTON1, 20, 49,
         FL_BUTTON1, false},
        {"below row 0 wraps", 0, 11 * 31 + 1, FL_BUTTON1, 20, 0xFFFFFFFFu, FL_BUTTON1, false},
        {"margin right of the last tick", 800, 40, FL_BUTTON1, 120, 77, FL_BUTTON1, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TestWidget tape;
        tape.setFirstTick(20);
        if (c.note == 0xFFFFFFFFu)
            tape.setBottomNote(0);
        const auto pos = tape.clickPosition(c.x, c.y, c.state);
        EXPECT_EQ(pos.tick, c.tick);
        EXPECT_EQ(pos.note, c.note);
        EXPECT_EQ(pos.state, c.expectState);
        EXPECT_EQ(pos.onGrid, c.onGrid);

        int calls = 0;
        tape.setClickCallback([&](unsigned, unsigned, int, bool) { ++calls; });
        Fl::e_x = c.x;
        Fl::e_y = c.y;
        Fl::e_state = c.state;
        EXPECT_EQ(tape.handle(FL_PUSH), 1);
        EXPECT_EQ(tape.handle(FL_RELEASE), 1);
        EXPECT_EQ(calls, c.onGrid ? 2 : 0);
    }
    Fl::e_state = 0;
}

TEST(TapeInput, PushAndReleaseReachTheCallback) {
    TestWidget tape;
    struct Call {
        unsigned tick, note;
        int state;
        bool push;
    };
    std::vector<Call> calls;
    // Without a callback presses are still taken.
    Fl::e_x = 16;
    Fl::e_y = 12;
    Fl::e_state = FL_BUTTON1 | FL_SCROLL_LOCK;
    EXPECT_EQ(tape.handle(FL_PUSH), 1);
    tape.setClickCallback([&](unsigned t, unsigned n, int s, bool p) {
        calls.push_back({t, n, s, p});
    });
    EXPECT_EQ(tape.handle(FL_PUSH), 1);
    EXPECT_EQ(tape.handle(FL_RELEASE), 1);
    EXPECT_EQ(tape.handle(FL_KEYDOWN), 0); // keys belong to the main window
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].tick, 2u);
    EXPECT_EQ(calls[0].note, 79u);
    EXPECT_EQ(calls[0].state, FL_BUTTON1);
    EXPECT_TRUE(calls[0].push);
    EXPECT_FALSE(calls[1].push);
}

// The notes that drawing walks follow edits that make a note longer.
TEST(TapeGeometry, CandidateNotesFollowLongerNotes) {
    const struct {
        const char *what;
        std::function<void(Flt_ScoreTape &)> lengthen;
    } cases[] = {{"setSelectedLength",
                  [](Flt_ScoreTape &t) {
                      t.model().setSelected(0, true);
                      t.model().setSelectedLength(400);
                  }},
                 {"changeNoteLength",
                  [](Flt_ScoreTape &t) { t.model().changeNoteLength(400, 60, 0, nullptr); }},
                 {"undo", [](Flt_ScoreTape &t) {
                      t.model().changeNoteLength(400, 60, 0, nullptr);
                      t.model().changeNoteLength(2, 60, 0, nullptr);
                      t.model().candidateNotes(t.view());
                      t.model().undo();
                  }}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TestWidget tape;
        tape.model().setNotes({tn(60, 0, 1), tn(61, 500, 1)});
        tape.setFirstTick(300);
        EXPECT_EQ(tape.model().candidateNotes(tape.view()).first, 1u);
        c.lengthen(tape);
        Flt_ScoreTape::Rect r;
        ASSERT_TRUE(tape.layout().noteRect(tape.model().notes()[0], r));
        EXPECT_EQ(tape.model().candidateNotes(tape.view()).first, 0u);
    }
}
