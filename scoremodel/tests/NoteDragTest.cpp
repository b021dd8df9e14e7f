// Dragging notes without a display: move, resize, draw, rectangle, the threshold that keeps a
// click, Escape, the edges, snap, and one undo step per drag.
#include "scoremodel/NoteDrag.h"
#include "ModelTestSupport.h"

#include <gtest/gtest.h>

using namespace tw;

namespace {

// A pointer at a cell, on a board of 8-pixel ticks and 11-pixel rows.
NoteDrag::Point at(long long tick, int note) {
    return NoteDrag::Point{int(tick * 8), int((127 - note) * 11), tick, note};
}

// Presses at `from`, moves to `to` through a point in between, releases there.
bool drag(ScoreModel &model, NoteDrag::Mode mode, NoteDrag::Point from, NoteDrag::Point to,
          NoteDrag &d) {
    d.press(model, mode, from, false, 4, tn(0, 0, 1, 2, 127));
    d.motion(model, NoteDrag::Point{(from.x + to.x) / 2, (from.y + to.y) / 2,
                                    (from.tick + to.tick) / 2, (from.note + to.note) / 2});
    d.motion(model, to);
    return d.release(model, to);
}

} // namespace

TEST(NoteDrag, EachDragIsOneEdit) {
    using M = NoteDrag::Mode;
    const struct {
        const char *what;
        std::vector<TapeNote> notes;
        M mode;
        NoteDrag::Point from, to;
        std::vector<TapeNote> after;
    } cases[] = {
        {"move a note",
         {tn(60, 10, 4), tn(62, 20)},
         M::plain,
         at(11, 60),
         at(15, 63),
         {tn(63, 14, 4), tn(62, 20)}},
        {"move the selection with the note pressed",
         {tn(60, 10, 4, 0, 100, true), tn(62, 20, 4, 0, 100, true), tn(64, 30)},
         M::plain,
         at(10, 60),
         at(7, 59),
         {tn(59, 7, 4), tn(61, 17, 4), tn(64, 30)}},
        {"an unselected note moves alone",
         {tn(60, 10, 4), tn(62, 20, 4, 0, 100, true)},
         M::ctrl,
         at(12, 60),
         at(16, 60),
         {tn(60, 14, 4), tn(62, 20, 4)}},
        {"tick 0 and row 127 stop a move",
         {tn(60, 2, 4, 0, 100, true), tn(126, 6, 4, 0, 100, true)},
         M::plain,
         at(3, 60),
         at(-20, 70),
         {tn(61, 0, 4), tn(127, 4, 4)}},
        {"resize at the last tick",
         {tn(60, 10, 4)},
         M::plain,
         at(13, 60),
         at(19, 61),
         {tn(60, 10, 10)}},
        {"resize the selection",
         {tn(60, 10, 4, 0, 100, true), tn(62, 20, 2, 0, 100, true)},
         M::ctrl,
         at(13, 60),
         at(11, 60),
         {tn(60, 10, 2), tn(62, 20, 1)}},
        {"draw a note on empty board",
         {tn(60, 10, 4)},
         M::plain,
         at(20, 65),
         at(25, 67),
         {tn(60, 10, 4), tn(65, 20, 6, 2, 127)}},
        {"drawn to the left: nothing",
         {tn(60, 10, 4)},
         M::plain,
         at(20, 65),
         at(15, 65),
         {tn(60, 10, 4)}},
        {"Ctrl on empty board: nothing",
         {tn(60, 10, 4)},
         M::ctrl,
         at(20, 65),
         at(28, 65),
         {tn(60, 10, 4)}},
        {"a move onto a note of the same key and channel keeps the last place it could take",
         {tn(60, 10, 2), tn(60, 20, 2)},
         M::plain,
         at(10, 60),
         at(20, 60),
         {tn(60, 15, 2), tn(60, 20, 2)}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TestModel tape;
        tape.load(c.notes);
        const unsigned position = tape.undoPosition();
        NoteDrag d;
        EXPECT_FALSE(drag(tape, c.mode, c.from, c.to, d)) << "not a click";
        EXPECT_EQ(tape.notes(), c.after);
        EXPECT_FALSE(d.held());
        if (c.after != c.notes) {
            EXPECT_EQ(tape.undoPosition(), position + 1);
            EXPECT_TRUE(tape.dataChanged());
            ASSERT_TRUE(tape.undo());
            EXPECT_EQ(tape.notes(), c.notes) << "one undo step";
        } else {
            EXPECT_EQ(tape.undoPosition(), position);
            EXPECT_FALSE(tape.dataChanged());
        }
    }
}

TEST(NoteDrag, ThresholdCancelRectangleAndSnap) {
    TestModel tape;
    const std::vector<TapeNote> melody{tn(60, 10, 4), tn(62, 20, 4), tn(70, 30, 4)};
    tape.load(melody);
    NoteDrag d;

    // Four pixels keep a click; the model is untouched.
    d.press(tape, NoteDrag::Mode::plain, at(11, 60), false, 4, tn(0, 0));
    NoteDrag::Point near = at(11, 60);
    near.x += 4;
    near.y -= 4;
    d.motion(tape, near);
    EXPECT_EQ(d.dragging(), NoteDrag::Kind::none);
    EXPECT_TRUE(d.release(tape, near));
    EXPECT_EQ(tape.notes(), melody);

    // Escape while moving: the melody as before, nothing recorded, the release is no click.
    const unsigned position = tape.undoPosition();
    d.press(tape, NoteDrag::Mode::plain, at(11, 60), false, 4, tn(0, 0));
    d.motion(tape, at(16, 64));
    EXPECT_EQ(d.dragging(), NoteDrag::Kind::move);
    EXPECT_EQ(tape.notes()[0], tn(64, 15, 4)) << "the preview shows the note moved";
    d.cancel(tape);
    EXPECT_EQ(tape.notes(), melody);
    d.motion(tape, at(30, 64));
    EXPECT_FALSE(d.release(tape, at(30, 64)));
    EXPECT_EQ(tape.notes(), melody);
    EXPECT_EQ(tape.undoPosition(), position);
    EXPECT_FALSE(tape.dataChanged());

    // Shift: the rectangle selects what starts inside it, on both corners' cells.
    d.press(tape, NoteDrag::Mode::shift, at(25, 59), false, 4, tn(0, 0));
    d.motion(tape, at(5, 63));
    long long t0 = 0, t1 = 0;
    int n0 = 0, n1 = 0;
    ASSERT_TRUE(d.rectangle(t0, t1, n0, n1));
    EXPECT_EQ(t0, 5);
    EXPECT_EQ(n1, 63);
    EXPECT_FALSE(d.release(tape, at(5, 63)));
    EXPECT_TRUE(tape.notes()[0].selected);
    EXPECT_TRUE(tape.notes()[1].selected);
    EXPECT_FALSE(tape.notes()[2].selected);
    EXPECT_EQ(tape.undoPosition(), position) << "selecting is no edit";

    // Snap to half beats (8 ticks at 32 ticks per frame and 120 bpm): a drawn note starts on
    // the line at or before the press and ends on the line nearest the pointer.
    tape.unselectAll();
    BeatGrid grid;
    grid.snap = true;
    grid.division = 2;
    ASSERT_TRUE(tape.setBeatGrid(grid));
    EXPECT_FALSE(drag(tape, NoteDrag::Mode::plain, at(42, 50), at(52, 50), d));
    EXPECT_EQ(tape.notes().back(), tn(50, 40, 16, 2, 127));
    // A move puts the pressed note's start on the nearest line.
    EXPECT_FALSE(drag(tape, NoteDrag::Mode::plain, at(11, 60), at(14, 60), d));
    EXPECT_EQ(tape.notes()[0], tn(60, 16, 4));
}
