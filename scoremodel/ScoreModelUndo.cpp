// Undo and redo: a list of complete copies of the melody, oldest first. undoPosition_ counts
// the snapshots that lie before the melody shown; those after it are the redo states. Each
// snapshot shares the notes that an edit left alone with the snapshot taken before it, so a
// small edit of a large melody stores little.
#include "scoremodel/ScoreModel.h"

#include <iterator>

namespace tw {

bool ScoreModel::sameAsLastSnapshot() const {
    return !undoSnapshots_.empty() && undoSnapshots_.back().sameNotes(notes_);
}

bool ScoreModel::pushUndo() {
    // The melody equals the snapshot just before it: storing it again would add a step that
    // undo shows twice. (Comparing with the newest redo state instead would skip the edit that
    // follows a redo, and undo would jump over it.)
    if (undoPosition_ > 0 && undoSnapshots_[undoPosition_ - 1].sameNotes(notes_))
        return false;
    if (notes_.empty())
        return false;
    // The snapshot just before the melody is the one it differs least from.
    NoteSnapshot snapshot = NoteSnapshot::take(
        notes_, undoPosition_ > 0 ? &undoSnapshots_[undoPosition_ - 1] : nullptr);
    // The redo states go, but are kept until the edit turns out to change something.
    droppedRedo_.assign(std::make_move_iterator(undoSnapshots_.begin() + undoPosition_),
                        std::make_move_iterator(undoSnapshots_.end()));
    undoSnapshots_.resize(undoPosition_);
    undoSnapshots_.push_back(std::move(snapshot));
    undoPosition_ = unsigned(undoSnapshots_.size());
    return true;
}

void ScoreModel::popUndo() {
    if (undoSnapshots_.empty())
        return;
    undoSnapshots_.pop_back();
    --undoPosition_;
    // An edit that changed nothing leaves the history exactly as it was.
    for (auto &snapshot : droppedRedo_)
        undoSnapshots_.push_back(std::move(snapshot));
    droppedRedo_.clear();
}

bool ScoreModel::undo() {
    if (undoPosition_ == 0)
        return false;
    if (undoPosition_ == undoSnapshots_.size() && !notes_.empty() && !sameAsLastSnapshot())
        undoSnapshots_.push_back(NoteSnapshot::take(notes_, &undoSnapshots_.back()));
    unselectAll();
    --undoPosition_;
    replaceNotes(undoSnapshots_[undoPosition_]);
    modelChanged();
    dataChanged_ = true;
    return true;
}

bool ScoreModel::redo() {
    if (undoPosition_ + 1 >= undoSnapshots_.size())
        return false;
    ++undoPosition_;
    unselectAll();
    replaceNotes(undoSnapshots_[undoPosition_]);
    modelChanged();
    dataChanged_ = true;
    return true;
}

} // namespace tw
