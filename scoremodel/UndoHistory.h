// The undo history of a melody: a list of snapshots, oldest first, with a position that counts
// the snapshots before the melody shown; those after it are the redo states.
//
// Logically every snapshot is a full copy of the notes with their selection flags. In storage
// the history keeps one snapshot decoded (the cursor) and, between each pair of neighbours, the
// difference that turns one into the other and back: the notes both share at the front and at
// the back are not stored at all, notes in between are stored as removed, added or changed
// (changed as per-field differences), packed column by column in chunks, a chunk of equal values
// as one value and any other chunk compressed with zstd. Moving the cursor by one snapshot
// applies one difference, so undo and redo cost what the edit changed plus one copy of the
// melody. Beyond a byte budget the oldest snapshots are dropped.
//
// A step compresses at most compressStep bytes of values: the chunks of a larger difference (a
// melody replaced by an unrelated one) are held raw, counted in the budget, and compressed by the
// steps that follow or by compressPending, so that no step stalls the editor.
#pragma once

#include "notes/TapeNote.h"
#include "scoremodel/NoteRope.h"
#include "scoremodel/UndoDelta.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace tw {

class UndoHistory {
public:
    static constexpr std::size_t defaultByteBudget = std::size_t(256) << 20;
    // Bytes of packed values a step (push, undo, redo) compresses at most: the rest of a large
    // difference is held raw and compressed by later steps, each taking on about as much as it
    // handled itself (at least smallCompressStep), or by compressPending.
    static constexpr std::size_t compressStep = std::size_t(1) << 20;
    static constexpr std::size_t smallCompressStep = std::size_t(32) << 10;

    using Unchanged = UnchangedNotes;
    static constexpr std::size_t allNotes = ~std::size_t(0);

    UndoHistory();
    ~UndoHistory();
    UndoHistory(UndoHistory &&) noexcept;
    UndoHistory &operator=(UndoHistory &&) noexcept;
    UndoHistory(const UndoHistory &) = delete;
    UndoHistory &operator=(const UndoHistory &) = delete;

    // Beyond this many bytes held, the oldest snapshots are dropped (the two snapshots before
    // the position are always kept).
    void setByteBudget(std::size_t bytes);
    std::size_t byteBudget() const { return budget_; }

    // The newest snapshot equals `notes` by TapeNote equality (selection flags ignored).
    bool sameAsLast(const std::vector<TapeNote> &notes) const;

    // Stores `notes` (the empty melody included) as the snapshot at the position and moves
    // the position behind it. Refused (false) when the snapshot just before the position
    // holds the same notes: undo would show that state twice. The redo states go, but are
    // kept until forgetDroppedRedo, so that pop can give them back.
    bool push(const std::vector<TapeNote> &notes, Unchanged unchanged = {});
    // Withdraws the newest snapshot (a push whose edit changed nothing) and gives back the redo
    // states that push dropped.
    void pop();
    // The redo states that the last push dropped are no longer needed: the edit happened.
    void forgetDroppedRedo();

    // Moves the position one back and writes that snapshot to `out` (which may be `current`).
    // At the end of the history, the melody shown (`current`) is stored first so that redo
    // comes back to it, unless it equals the newest snapshot or `storeCurrent` is false.
    bool undo(const std::vector<TapeNote> &current, std::vector<TapeNote> &out,
              bool storeCurrent = true, Unchanged unchanged = {});
    // Moves the position one forward and writes that snapshot to `out`; false when there is no
    // snapshot after the one shown.
    bool redo(std::vector<TapeNote> &out);

    // Compresses differences held raw, up to `bytes` of raw values (the application may call
    // it while it is idle).
    void compressPending(std::size_t bytes);
    // Some difference may still hold raw chunks (cheap to ask).
    bool mayHoldRaw() const { return !pendingAt_.empty(); }
    // The raw bytes waiting to be compressed (goes through every difference).
    std::size_t pendingBytes() const;

    // Drops the redo states (snapshots from the position on).
    void truncateRedo();
    void clear();

    std::size_t position() const { return position_; }
    std::size_t size() const { return size_; }
    // The memory the history holds: the cursor, the differences, the dropped redo states and
    // the working buffers.
    std::size_t heldBytes() const;

    // Every snapshot decoded, oldest first (for tests and checks; costs a copy each).
    std::vector<std::vector<TapeNote>> snapshots() const;

private:
    // Brings the cursor to snapshot `index`.
    void moveCursorTo(std::size_t index) const;
    // The same, and writes that snapshot to `out`.
    void moveCursorTo(std::size_t index, std::vector<TapeNote> &out) const;
    void dropOldest();
    void keepBudget();
    // Stores a difference made at `index` of deltas_ (the back).
    void addDelta(UndoDelta &&d);
    // Notes deltas_[index] for later compression when it holds raw chunks.
    void notePending(std::size_t index) noexcept;
    // After a step that handled `notes` notes: compresses what earlier steps left raw, within
    // the room the step has left.
    void catchUp(std::size_t notes);
    // Compresses raw chunks, the newest differences first, up to `bytes` of raw values.
    void compressRaw(std::size_t bytes);
    // What the melody last exchanged shares with the snapshot before the position, after
    // an undo or a redo that brought the position to `position_`.
    void exchangedAtPosition();

    std::vector<UndoDelta> deltas_; // deltas_[i] turns snapshot i into snapshot i + 1
    mutable NoteRope cursor_;
    mutable std::size_t cursorIndex_ = 0;
    std::size_t size_ = 0;
    std::size_t position_ = 0;
    std::size_t deltaBytes_ = 0;
    // The notes that the melody last exchanged shares with the snapshot before the position.
    Unchanged exchanged_;

    // What the last push dropped: the differences after the snapshot it kept, or (a push at
    // position 0) the whole history with its cursor.
    struct Dropped {
        std::vector<UndoDelta> deltas;
        bool whole = false;
        NoteRope cursor;
        std::size_t cursorIndex = 0;
    };
    Dropped dropped_;

    std::size_t budget_ = defaultByteBudget;
    std::unique_ptr<DeltaWork> work_;
    // Differences that hold raw chunks, as firstIndex_ + their index in deltas_ (stale entries
    // are skipped): firstIndex_ grows as the oldest snapshots are dropped.
    std::vector<std::size_t> pendingAt_;
    std::size_t firstIndex_ = 0;
};

} // namespace tw
