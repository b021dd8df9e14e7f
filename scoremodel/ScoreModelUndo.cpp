// Undo and redo: the model's melody goes to and comes from its UndoHistory, which stores each
// snapshot as the difference from its neighbour. The position counts the snapshots that lie
// before the melody shown; those after it are the redo states.
#include "scoremodel/ScoreModel.h"

#include <algorithm>

namespace tw {

bool ScoreModel::sameAsLastSnapshot() const {
    return history_.sameAsLast(notes_);
}

bool ScoreModel::pushUndo() {
    // The melody equals the snapshot just before it: storing it again would add a step that
    // undo shows twice (the history refuses it). Comparing with the newest redo state instead
    // would skip the edit that follows a redo, and undo would jump over it.
    // The empty melody is a state like any other: the first note on an empty tape can be undone.
    const bool pushed = history_.push(notes_, untouched_);
    notesExchanged();
    return pushed;
}

void ScoreModel::popUndo() {
    // An edit that changed nothing leaves the history exactly as it was.
    history_.pop();
}

bool ScoreModel::undo() {
    // The restored snapshot replaces every note with its flag, so nothing is unselected first.
    if (!history_.undo(notes_, notes_, true, untouched_))
        return false;
    notesExchanged();
    longestNote_ = 0;
    modelChanged();
    dataChanged_ = true;
    return true;
}

void ScoreModel::touchNotes(std::size_t first, std::size_t last) {
    untouched_.front = std::min(untouched_.front, first);
    untouched_.back = std::min(untouched_.back, notes_.size() - std::min(last, notes_.size()));
}

bool ScoreModel::redo() {
    if (!history_.redo(notes_))
        return false;
    notesExchanged();
    longestNote_ = 0;
    modelChanged();
    dataChanged_ = true;
    return true;
}

} // namespace tw
