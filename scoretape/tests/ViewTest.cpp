// The view options without a display: the playhead's tick and the follow rule, zoom steps with
// and without the note name column, note names, the pointer status line and the display scale.
#include "TapeTestSupport.h"
#include "scoretape/PlaybackController.h"
#include "scoretape/Playhead.h"

#include <gtest/gtest.h>

#include <string>

using namespace tw;

TEST(Playhead, TickFromTheClockTheSpeedAndTheStart) {
    const struct {
        unsigned start;
        double secondsPerTick, elapsed, tick;
    } cases[] = {
        {0, 0.05, 1.0, 20},     // 20 ticks a second
        {100, 0.1, 2.5, 125},   // 10 ticks per frame at 100 %
        {100, 0.05, 2.5, 150},  // the same at 200 %
        {100, 0.2, 2.5, 112.5}, // and at 50 %
        {7, 0.1, 0, 7},
        {7, 0.1, -0.5, 7}, // the worker's clock began a moment after the reading
        {7, 0, 3, 7},
        {4000000000u, 0.001, 1, 4000001000.0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.start) + " at " + std::to_string(c.elapsed));
        EXPECT_DOUBLE_EQ(playheadTick(c.start, c.secondsPerTick, c.elapsed), c.tick);
    }

    PlayheadClock clock;
    double tick = -1;
    EXPECT_FALSE(clock.tickAt(1000000, tick)) << "nothing plays";
    clock.arm(100, 0.05);
    EXPECT_FALSE(clock.tickAt(1000000, tick)) << "the worker has not begun";
    clock.startMicros.store(1000000);
    ASSERT_TRUE(clock.tickAt(1500000, tick));
    EXPECT_DOUBLE_EQ(tick, 110);
    clock.arm(0, 0.05); // a new playout forgets the old start
    EXPECT_FALSE(clock.tickAt(1500000, tick));
}

TEST(Playhead, FollowPagesAtNinetyPercentToTen) {
    const struct {
        unsigned first, visible;
        double tick;
        unsigned expected;
    } cases[] = {
        {0, 100, 0, 0},
        {0, 100, 89.9, 0},
        {0, 100, 90, 0}, // at 90 % it has not passed yet
        {0, 100, 90.01, 80},
        {200, 100, 290.5, 280},
        {200, 100, 650, 640}, // far beyond the view (the user scrolled back)
        {500, 100, 100, 90},  // left of the view
        {10, 100, 5, 0},
        {0, 0, 50, 0}, // nothing visible: nothing to follow
        {4294967200u, 100, 4294967295.0, 4294967285u},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.first) + " / " + std::to_string(c.tick));
        EXPECT_EQ(followFirstTick(c.first, c.visible, c.tick), c.expected);
    }
}

namespace {

// Every pixel of the bar that a note at (tick, note) would get leads back to that tick and note.
void expectRoundTrip(const Flt_ScoreTape &tape, unsigned tick, unsigned note) {
    SCOPED_TRACE("tick " + std::to_string(tick) + ", note " + std::to_string(note));
    Flt_ScoreTape::Rect bar;
    ASSERT_TRUE(tape.layout().noteRect(tn(note, tick, 1), bar));
    EXPECT_EQ(bar.w, int(tape.view().tickWidth));
    EXPECT_EQ(bar.h, int(tape.view().rowHeight) - 1);
    for (int y = bar.y - 1; y < bar.y + bar.h; ++y) // the row line above the bar is the row's
        for (int x = bar.x; x < bar.x + bar.w; ++x) {
            const auto at = tape.clickPosition(x, y, 0);
            ASSERT_EQ(at.tick, tick) << x << ", " << y;
            ASSERT_EQ(at.note, note) << x << ", " << y;
        }
    EXPECT_EQ(tape.clickPosition(tape.layout().markerRect(tick).x, bar.y, 0).tick, tick);
    EXPECT_EQ(tape.clickPosition(tape.playheadX(tick + 0.5), bar.y, 0).tick, tick);
}

} // namespace

TEST(BoardZoom, HitTestingRoundTripsAtEveryStep) {
    for (const bool names : {false, true})
        for (int step = 0; step < zoomStepCount; ++step) {
            SCOPED_TRACE(std::to_string(zoomPercents[step]) + (names ? " % with names" : " %"));
            TestWidget tape;
            tape.setNoteNamesShown(names);
            tape.zoomAt(step, -1, -1);
            tape.setFirstTick(1000);
            tape.setBottomNote(40);
            const BoardMetrics m = boardMetrics(zoomPercents[step] / 100.0);
            BoardView sizes;
            zoomSizes(sizes, zoomPercents[step] / 100.0);
            EXPECT_EQ(tape.view().tickWidth, sizes.tickWidth);
            EXPECT_EQ(tape.view().rowHeight, sizes.rowHeight);
            EXPECT_EQ(m.labelStrip, int(sizes.rowHeight));
            EXPECT_EQ(tape.boardX(), names ? m.noteColumnWidth : 0);
            ASSERT_GT(tape.view().visibleTicks, 1u);
            ASSERT_GT(tape.view().visibleRows, 1u);
            // The grid and its margins fit the widget.
            EXPECT_LE(tape.boardX() + tape.layout().gridWidth(), tape.w() - 1);
            EXPECT_LE(tape.labelStripHeight() + tape.layout().gridHeight() + m.bottomMargin,
                      tape.h());
            const unsigned lastTick = 1000 + tape.view().visibleTicks - 1;
            const unsigned topNote = 40 + tape.view().visibleRows - 1;
            for (unsigned t : {1000u, 1001u, (1000u + lastTick) / 2, lastTick})
                for (unsigned n : {40u, 41u, (40u + topNote) / 2, topNote})
                    expectRoundTrip(tape, t, n);
        }
}

TEST(BoardZoom, ActualSizeIsTheBoardAsItWas) {
    TestWidget tape;
    EXPECT_EQ(tape.zoomStep(), actualSizeStep);
    EXPECT_EQ(tape.view().tickWidth, 8u);
    EXPECT_EQ(tape.view().rowHeight, 11u);
    EXPECT_EQ(tape.labelStripHeight(), Flt_ScoreTape::labelStrip);
    EXPECT_EQ(tape.metrics().labelFontSize, Flt_ScoreTape::labelFontSize);
    EXPECT_EQ(tape.view().visibleTicks, 100u);
    EXPECT_EQ(tape.view().visibleRows, 30u);
    EXPECT_EQ(tape.boardX(), 0);
    // The note name column takes its width from the ticks, not from the rows.
    tape.setNoteNamesShown(true);
    EXPECT_EQ(tape.view().visibleTicks, unsigned(800 - 48) / 8);
    EXPECT_EQ(tape.view().visibleRows, 30u);
    EXPECT_EQ(tape.clickPosition(48, 100, 0).tick, 0u);
    EXPECT_EQ(tape.clickPosition(56, 100, 0).tick, 1u);
}

TEST(BoardZoom, TheTickAndNoteUnderThePointerStay) {
    for (const bool names : {false, true})
        for (int from = 0; from < zoomStepCount; ++from)
            for (int to = 0; to < zoomStepCount; ++to) {
                SCOPED_TRACE(std::to_string(zoomPercents[from]) + " -> " +
                             std::to_string(zoomPercents[to]) + (names ? " with names" : ""));
                TestWidget tape;
                tape.setNoteNamesShown(names);
                tape.zoomAt(from, -1, -1);
                tape.setFirstTick(5000);
                tape.setBottomNote(50);
                for (const auto &[px, py] : {std::pair{500, 170}, std::pair{700, 60}}) {
                    const auto before = tape.clickPosition(px, py, 0);
                    tape.zoomAt(to, px, py);
                    const auto after = tape.clickPosition(px, py, 0);
                    EXPECT_EQ(after.tick, before.tick) << px << ", " << py;
                    EXPECT_EQ(after.note, before.note) << px << ", " << py;
                    tape.zoomAt(from, px, py);
                }
            }
    // Off the grid the view's centre stays; near the start the view cannot move further left.
    TestWidget tape;
    tape.setFirstTick(3);
    const unsigned centre = tape.view().firstTick + tape.view().visibleTicks / 2;
    tape.zoomAt(zoomStepCount - 1, 2000, 2000);
    EXPECT_EQ(tape.view().firstTick + tape.view().visibleTicks / 2, centre);
    tape.zoomAt(0, 2000, 2000);
    EXPECT_EQ(tape.view().firstTick, 0u);
    EXPECT_EQ(zoomStepBy(0, -1), 0);
    EXPECT_EQ(zoomStepBy(zoomStepCount - 1, +1), zoomStepCount - 1);
    EXPECT_EQ(zoomStepBy(actualSizeStep, +1), actualSizeStep + 1);
}

TEST(BoardZoom, NoteNamesAndThePointerStatus) {
    const struct {
        unsigned note;
        const char *name;
        bool black;
    } names[] = {{60, "C4", false},  {61, "C#4", true}, {67, "G4", false},  {0, "C-1", false},
                 {11, "B-1", false}, {70, "A#4", true}, {127, "G9", false}, {21, "A0", false}};
    for (const auto &c : names) {
        EXPECT_EQ(noteName(c.note), c.name);
        EXPECT_EQ(isBlackKey(c.note), c.black) << c.name;
    }
    const struct {
        unsigned note, tick;
        double seconds;
        const char *text;
    } lines[] = {
        {67, 1234, 12.34, "G4 (67) \u00b7 tick 1,234 \u00b7 12.3 s"},
        {60, 0, 0, "C4 (60) \u00b7 tick 0 \u00b7 0.0 s"},
        {60, 999, 1, "C4 (60) \u00b7 tick 999 \u00b7 1.0 s"},
        {60, 4294967295u, 1e8, "C4 (60) \u00b7 tick 4,294,967,295 \u00b7 100000000.0 s"},
    };
    for (const auto &c : lines)
        EXPECT_EQ(pointerStatus(c.note, c.tick, c.seconds), c.text);

    TestWidget tape;
    tape.model().setTicksPerFrame(10);
    PlaybackController playback(tape);
    playback.setSpeed(2);
    EXPECT_DOUBLE_EQ(playback.secondsAt(40), 2.0);
}

TEST(DisplayScale, FromTheScreenAndFromTheVariable) {
    const struct {
        double dpi;
        const char *variable;
        double scale;
    } cases[] = {
        {96, nullptr, 1},    {143.4, nullptr, 1}, {144, nullptr, 1.5}, {191.4, nullptr, 1.5},
        {191.8, nullptr, 2}, // a 192 dpi screen as the X server reports it
        {192, nullptr, 2},   {287, nullptr, 2},   {288, nullptr, 3},   {600, nullptr, 3},
        {0, nullptr, 1},     {96, "2", 2},        {192, "1", 1},       {96, "1.25", 1.25},
        {96, "", 1},         {192, "abc", 2},     {96, "2x", 1},       {96, "0", 1},
        {96, "-2", 1},       {96, "9", 1},        {96, "0.5", 0.5},    {96, "4", 4},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.dpi) + " / " + (c.variable ? c.variable : "(unset)"));
        EXPECT_DOUBLE_EQ(displayScale(c.dpi, c.variable), c.scale);
    }
    // The zoom's 100 % follows the scale.
    TestWidget tape;
    tape.setDisplayScale(2);
    EXPECT_EQ(tape.view().tickWidth, 16u);
    EXPECT_EQ(tape.view().rowHeight, 22u);
    EXPECT_EQ(tape.metrics().labelFontSize, 20);
}

TEST(BoardZoom, ClicksReachTheGridAtEveryStep) {
    // Every zoom step, first without and then with the note name column.
    for (int i = 0; i < 2 * zoomStepCount; ++i) {
        const int step = i % zoomStepCount;
        SCOPED_TRACE(std::to_string(zoomPercents[step]) + (i / zoomStepCount ? " % names" : " %"));
        TestWidget tape;
        tape.setNoteNamesShown(i >= zoomStepCount);
        tape.zoomAt(step, -1, -1);
        tape.setBottomNote(40);
        const int left = tape.boardX(), top = tape.y() + tape.labelStripHeight();
        const int right = left + tape.layout().gridWidth() - 1,
                  bottom = top + tape.layout().gridHeight() - 1;
        const struct {
            int x, y;
            bool onGrid;
        } points[] = {
            {left, top, true},          {right, bottom, true}, // the corners of the grid
            {right, top, true},         {left, bottom, true},
            {left, top - 1, false},     {right, bottom + 1, false}, // the strip, the margin
            {left - 1, top + 5, false}, {right + 1, top + 5, false},
        };
        for (const auto &p : points) {
            SCOPED_TRACE(std::to_string(p.x) + ", " + std::to_string(p.y));
            const auto at = tape.clickPosition(p.x, p.y, 0);
            EXPECT_EQ(at.onGrid, p.onGrid);
            if (p.onGrid) {
                EXPECT_GE(at.note, 40u);
                EXPECT_LT(at.note, 40u + tape.view().visibleRows);
            }
        }
    }
}
