// Undo and redo: the tape's melody goes to and comes from its UndoHistory, which stores each
// snapshot as the difference from its neighbour. The position counts the snapshots that lie
// before the melody shown; those after it are the redo states.
#include "scoretape/ScoreTape.h"

bool Flt_ScoreTape::sameAsLastSnapshot() const {
    return history_.sameAsLast(notes_);
}

bool Flt_ScoreTape::pushUndo() {
    // The melody equals the snapshot just before it: storing it again would add a step that
    // undo shows twice (the history refuses it). Comparing with the newest redo state instead
    // would skip the edit that follows a redo, and undo would jump over it.
    if (notes_.empty())
        return false;
    return history_.push(notes_);
}

void Flt_ScoreTape::popUndo() {
    // An edit that changed nothing leaves the history exactly as it was.
    history_.pop();
}

bool Flt_ScoreTape::undo() {
    // The restored snapshot replaces every note with its flag, so nothing is unselected first.
    if (!history_.undo(notes_, notes_, !notes_.empty()))
        return false;
    longestNote_ = 0;
    redraw();
    dataChanged_ = true;
    return true;
}

bool Flt_ScoreTape::redo() {
    if (!history_.redo(notes_))
        return false;
    longestNote_ = 0;
    redraw();
    dataChanged_ = true;
    return true;
}
