#include "scoremodel/UndoHistory.h"

#include "scoremodel/DeltaPacking.h"

#include <algorithm>
#include <iterator>
#include <new>

namespace tw {

namespace {

UndoHistory::Unchanged both(UndoHistory::Unchanged a, UndoHistory::Unchanged b) {
    return {std::min(a.front, b.front), std::min(a.back, b.back)};
}

// The notes a difference walked through: those between its common front and back, both sides.
std::size_t middleNotes(const UndoDelta &d) {
    return d.sizeBefore + d.sizeAfter - 2 * (d.prefix + d.suffix);
}

} // namespace

UndoHistory::UndoHistory() : work_(std::make_unique<DeltaWork>()) {}
UndoHistory::~UndoHistory() = default;
UndoHistory::UndoHistory(UndoHistory &&) noexcept = default;
UndoHistory &UndoHistory::operator=(UndoHistory &&) noexcept = default;

void UndoHistory::setByteBudget(std::size_t bytes) {
    budget_ = bytes;
    keepBudget();
}

void UndoHistory::moveCursorTo(std::size_t index) const {
    while (cursorIndex_ < index) {
        applyDelta(deltas_[cursorIndex_], cursor_, true, *work_);
        ++cursorIndex_;
    }
    while (cursorIndex_ > index) {
        applyDelta(deltas_[cursorIndex_ - 1], cursor_, false, *work_);
        --cursorIndex_;
    }
}

void UndoHistory::moveCursorTo(std::size_t index, std::vector<TapeNote> &out) const {
    // A single step writes the melody out while it applies the difference.
    if (index + 1 == cursorIndex_) {
        applyDelta(deltas_[index], cursor_, false, *work_, &out);
        cursorIndex_ = index;
    } else if (index == cursorIndex_ + 1) {
        applyDelta(deltas_[cursorIndex_], cursor_, true, *work_, &out);
        cursorIndex_ = index;
    } else {
        moveCursorTo(index);
        cursor_.copyTo(out);
    }
}

bool UndoHistory::sameAsLast(const std::vector<TapeNote> &notes) const {
    if (size_ == 0)
        return false;
    moveCursorTo(size_ - 1);
    return sameNotes(cursor_, notes);
}

bool UndoHistory::push(const std::vector<TapeNote> &notes, Unchanged unchanged) {
    if (position_ == 0) {
        // Everything is a redo state: the whole history goes aside.
        dropped_ = Dropped();
        firstIndex_ += deltas_.size(); // what pendingAt_ holds of them goes stale
        if (size_ > 0) {
            dropped_.whole = true;
            dropped_.deltas = std::move(deltas_);
            dropped_.cursor = std::move(cursor_);
            dropped_.cursorIndex = cursorIndex_;
        }
        deltas_.clear();
        deltaBytes_ = 0;
        cursor_.assign(notes.data(), notes.size());
        cursorIndex_ = 0;
        size_ = position_ = 1;
        exchanged_ = {allNotes, allNotes};
        return true;
    }
    moveCursorTo(position_ - 1);
    // The lists of differences get their room first, so that a failure there leaves the
    // history as it was.
    Dropped dropped;
    dropped.deltas.reserve(deltas_.size() - (position_ - 1));
    if (deltas_.capacity() < position_)
        deltas_.reserve(std::max(position_, 2 * deltas_.capacity()));
    UndoDelta d;
    work_->compressRoom = compressStep;
    // The cursor follows to the new snapshot.
    if (!makeDelta(cursor_, notes, d, *work_, both(exchanged_, unchanged), true)) {
        exchanged_ = {};
        return false;
    }
    d.bytes = deltaBytes(d);
    for (auto it = deltas_.begin() + std::ptrdiff_t(position_ - 1); it != deltas_.end(); ++it) {
        deltaBytes_ -= it->bytes;
        dropped.deltas.push_back(std::move(*it));
    }
    dropped_ = std::move(dropped);
    deltas_.resize(position_ - 1);
    const std::size_t walked = middleNotes(d);
    addDelta(std::move(d));
    cursorIndex_ = position_;
    size_ = position_ = position_ + 1;
    exchanged_ = {allNotes, allNotes};
    catchUp(walked);
    keepBudget();
    return true;
}

void UndoHistory::pop() {
    if (size_ == 0)
        return;
    exchanged_ = {};
    if (size_ == 1) {
        cursor_.clear();
        cursorIndex_ = 0;
    } else {
        moveCursorTo(std::min(cursorIndex_, size_ - 2));
        deltaBytes_ -= deltas_.back().bytes;
        deltas_.pop_back();
    }
    --size_;
    if (position_ > 0)
        --position_;
    // An edit that changed nothing leaves the history as it was.
    if (dropped_.whole && size_ == 0) {
        deltas_ = std::move(dropped_.deltas);
        cursor_ = std::move(dropped_.cursor);
        cursorIndex_ = dropped_.cursorIndex;
        size_ = deltas_.size() + 1;
        for (std::size_t k = 0; k < deltas_.size(); ++k) {
            deltaBytes_ += deltas_[k].bytes;
            notePending(k);
        }
    } else if (!dropped_.whole && size_ > 0) {
        for (auto &d : dropped_.deltas) {
            addDelta(std::move(d));
            ++size_;
        }
    }
    dropped_ = Dropped();
}

void UndoHistory::forgetDroppedRedo() {
    dropped_ = Dropped();
}

bool UndoHistory::undo(const std::vector<TapeNote> &current, std::vector<TapeNote> &out,
                       bool storeCurrent, Unchanged unchanged) {
    if (position_ == 0)
        return false;
    work_->compressRoom = compressStep;
    std::size_t walked = 0;
    if (position_ == size_ && storeCurrent) {
        // Redo comes back to the melody shown; the cursor stays on the snapshot before it.
        moveCursorTo(size_ - 1);
        UndoDelta d;
        if (makeDelta(cursor_, current, d, *work_, both(exchanged_, unchanged))) {
            d.bytes = deltaBytes(d);
            walked = middleNotes(d);
            addDelta(std::move(d));
            ++size_;
            keepBudget();
        }
    }
    --position_;
    moveCursorTo(position_, out);
    exchangedAtPosition();
    catchUp(walked + (position_ < deltas_.size() ? middleNotes(deltas_[position_]) : 0));
    return true;
}

bool UndoHistory::redo(std::vector<TapeNote> &out) {
    if (position_ + 1 >= size_)
        return false;
    work_->compressRoom = compressStep;
    ++position_;
    moveCursorTo(position_, out);
    exchangedAtPosition();
    catchUp(middleNotes(deltas_[position_ - 1]));
    return true;
}

void UndoHistory::truncateRedo() {
    if (position_ >= size_)
        return;
    if (position_ == 0) {
        exchanged_ = {};
        firstIndex_ += deltas_.size();
        deltas_.clear();
        deltaBytes_ = 0;
        cursor_.clear();
        cursorIndex_ = 0;
        size_ = 0;
        return;
    }
    moveCursorTo(std::min(cursorIndex_, position_ - 1));
    for (auto it = deltas_.begin() + std::ptrdiff_t(position_ - 1); it != deltas_.end(); ++it)
        deltaBytes_ -= it->bytes;
    deltas_.resize(position_ - 1);
    size_ = position_;
}

void UndoHistory::clear() {
    firstIndex_ += deltas_.size();
    pendingAt_.clear();
    deltas_.clear();
    deltaBytes_ = 0;
    cursor_.clear();
    cursorIndex_ = 0;
    size_ = position_ = 0;
    dropped_ = Dropped();
    exchanged_ = {};
}

void UndoHistory::exchangedAtPosition() {
    // The melody handed out is the snapshot at the position; the one before it differs from
    // it only between the difference's common front and back.
    if (position_ == 0)
        exchanged_ = {};
    else
        exchanged_ = {deltas_[position_ - 1].prefix, deltas_[position_ - 1].suffix};
}

void UndoHistory::dropOldest() {
    if (cursorIndex_ == 0)
        moveCursorTo(1);
    deltaBytes_ -= deltas_.front().bytes;
    deltas_.erase(deltas_.begin());
    ++firstIndex_;
    --cursorIndex_;
    --size_;
    --position_;
}

void UndoHistory::keepBudget() {
    // Two snapshots before the position stay: the one an undo shows and the one that a
    // withdrawn edit falls back to.
    while (position_ > 2 && size_ > 2 && heldBytes() > budget_)
        dropOldest();
}

void UndoHistory::addDelta(UndoDelta &&d) {
    deltaBytes_ += d.bytes;
    deltas_.push_back(std::move(d));
    notePending(deltas_.size() - 1);
}

void UndoHistory::notePending(std::size_t index) noexcept {
    if (deltas_[index].pending == 0)
        return;
    // Without the memory to note it, the difference just stays raw (its bytes are counted).
    try {
        pendingAt_.push_back(firstIndex_ + index);
    } catch (const std::bad_alloc &) {
    }
}

void UndoHistory::catchUp(std::size_t notes) {
    compressRaw(
        std::min(work_->compressRoom, std::max(smallCompressStep, notes * sizeof(TapeNote))));
    work_->compressRoom = ~std::size_t(0);
}

void UndoHistory::compressPending(std::size_t bytes) {
    compressRaw(bytes);
}

void UndoHistory::compressRaw(std::size_t bytes) {
    // The newest first: the oldest are the first to go beyond the budget.
    while (bytes > 0 && !pendingAt_.empty()) {
        const std::size_t at = pendingAt_.back();
        if (at < firstIndex_ || at - firstIndex_ >= deltas_.size() ||
            deltas_[at - firstIndex_].pending == 0) {
            pendingAt_.pop_back(); // dropped, or compressed already
            continue;
        }
        UndoDelta &d = deltas_[at - firstIndex_];
        const std::size_t held = d.bytes;
        const std::size_t taken = compressHeldRaw(d, *work_, bytes);
        deltaBytes_ = deltaBytes_ - held + d.bytes;
        if (d.pending == 0)
            pendingAt_.pop_back();
        if (taken == 0)
            break; // the next chunk needs more room
        bytes -= std::min(bytes, taken);
    }
}

std::size_t UndoHistory::pendingBytes() const {
    std::size_t bytes = 0;
    for (const auto &d : deltas_)
        bytes += d.pending;
    return bytes;
}

std::size_t UndoHistory::heldBytes() const {
    std::size_t bytes =
        cursor_.heldBytes() + deltaBytes_ + deltas_.capacity() * sizeof(UndoDelta) + work_->bytes();
    bytes += dropped_.cursor.heldBytes();
    for (const auto &d : dropped_.deltas)
        bytes += d.bytes;
    return bytes;
}

std::vector<std::vector<TapeNote>> UndoHistory::snapshots() const {
    std::vector<std::vector<TapeNote>> all(size_);
    if (size_ == 0)
        return all;
    NoteRope notes = cursor_;
    notes.copyTo(all[cursorIndex_]);
    for (std::size_t i = cursorIndex_; i-- > 0;) {
        applyDelta(deltas_[i], notes, false, *work_);
        notes.copyTo(all[i]);
    }
    notes = cursor_;
    for (std::size_t i = cursorIndex_; i + 1 < size_; ++i) {
        applyDelta(deltas_[i], notes, true, *work_);
        notes.copyTo(all[i + 1]);
    }
    return all;
}

} // namespace tw
