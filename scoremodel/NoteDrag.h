// Dragging on the board, without a display: a press on a note moves it (or every selected note,
// when it is selected) by whole ticks and rows, a press on its last tick changes its length, a
// press on empty board draws a new note as long as the drag, and a Shift drag spans a rectangle
// that selects the notes in it. Until the pointer has moved more than a threshold the press is
// only pending, and its release is a click. While a drag runs, the model shows its result
// unrecorded; the release records it as one edit, cancel() restores the melody.
//
// Threads: GUI thread only, like the model it changes.
#pragma once

#include "notes/TapeNote.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tw {

class ScoreModel;

class NoteDrag {
public:
    enum class Kind { none, move, resize, draw, rectangle };
    // What starts a drag: the left button with "Edit/Drag notes" on (plain: move, resize,
    // draw; shift: the rectangle), or Ctrl with the left button (move and resize only).
    enum class Mode { plain, shift, ctrl };

    // A pointer position: its pixel (for the threshold) and the cell under it; the note may
    // lie outside 0..127 and the tick before 0 while the pointer is off the board.
    struct Point {
        int x = 0, y = 0;
        long long tick = 0;
        int note = 0;
    };

    // What a press of this mode at the cell would drag: move or resize for a note (resize on
    // its last tick: for a note of one tick, only in the right half of it), draw or rectangle
    // on empty board, none when the mode does nothing there. The note found goes to *index.
    static Kind kindAt(const ScoreModel &model, Mode mode, long long tick, int note, bool rightHalf,
                       std::size_t *index = nullptr);

    // A press: pending until the pointer moves more than `threshold` pixels. newNote is the
    // note a draw adds (its start and length are set by the drag).
    void press(const ScoreModel &model, Mode mode, const Point &at, bool rightHalf, int threshold,
               const TapeNote &newNote);
    // Pointer motion with the button held: shows the drag's result in the model.
    void motion(ScoreModel &model, const Point &at);
    // The release: records the drag as one edit (or selects the rectangle's notes). True
    // when the pointer never went beyond the threshold: the press was a click.
    bool release(ScoreModel &model, const Point &at);
    // Escape: the melody as it was before the press; the rest of the drag is ignored.
    void cancel(ScoreModel &model);

    // A press is held (pending, dragging or cancelled).
    bool held() const { return held_; }
    // The drag under way, none while pending, cancelled or idle.
    Kind dragging() const { return started_ ? kind_ : Kind::none; }
    // The rectangle's ticks [tick0, tick1] and notes [note0, note1] while one is dragged.
    bool rectangle(long long &tick0, long long &tick1, int &note0, int &note1) const;

private:
    std::vector<TapeNote> result(const ScoreModel &model, const Point &at) const;
    void selectRectangle(ScoreModel &model) const;

    bool held_ = false, started_ = false, cancelled_ = false;
    Kind kind_ = Kind::none;
    Point pressed_, last_;
    int threshold_ = 4;
    std::size_t anchor_ = 0;          // index into original_ of the note pressed
    std::vector<TapeNote> original_;  // the melody at the start of the drag
    std::vector<std::size_t> chosen_; // indexes into original_ of the notes dragged
    TapeNote newNote_;
    std::vector<TapeNote> lastValid_; // the last result that the model took
};

} // namespace tw
