// One stored melody of the undo history. Logically a full copy of the notes with their
// selection flags; in storage it is a list of runs into immutable blocks, so that a snapshot
// taken after a small edit shares everything but the changed notes with the one before it.
#pragma once

#include "notes/TapeNote.h"

#include <cstddef>
#include <memory>
#include <vector>

namespace tw {

class NoteSnapshot {
public:
    // A piece of a shared block: notes [begin, begin + count) of *block.
    struct Run {
        std::shared_ptr<const std::vector<TapeNote>> block;
        std::size_t begin = 0;
        std::size_t count = 0;
    };

    // More runs than this and a snapshot stores the whole melody in one block instead.
    static constexpr std::size_t maxRuns = 256;

    NoteSnapshot() = default;

    // A snapshot of `notes`. Notes that `previous` holds unchanged (all fields, the selection
    // flag included) at the front and at the back are shared with it; only the middle that
    // differs is copied.
    static NoteSnapshot take(const std::vector<TapeNote> &notes, const NoteSnapshot *previous);

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const std::vector<Run> &runs() const { return runs_; }

    // Replaces the contents of `out` by the stored notes, in out's own memory when it fits.
    void copyTo(std::vector<TapeNote> &out) const;
    std::vector<TapeNote> notes() const;

    // The stored notes equal `notes` by TapeNote equality (selection flags ignored).
    bool sameNotes(const std::vector<TapeNote> &notes) const;

    // TapeNote equality of the stored notes (selection flags ignored).
    friend bool operator==(const NoteSnapshot &a, const NoteSnapshot &b);
    friend bool operator!=(const NoteSnapshot &a, const NoteSnapshot &b) { return !(a == b); }

private:
    // Appends a piece, joining it to the last run when it continues it in the same block.
    void append(const std::shared_ptr<const std::vector<TapeNote>> &block, std::size_t begin,
                std::size_t count);
    // Appends the pieces of this snapshot's notes [first, first + count).
    void appendRange(const NoteSnapshot &from, std::size_t first, std::size_t count);

    std::vector<Run> runs_;
    std::size_t size_ = 0;
};

// The memory a history holds: every distinct block counted once, with the run lists.
std::size_t heldBytes(const std::vector<NoteSnapshot> &snapshots);

} // namespace tw
