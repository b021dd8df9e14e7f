// A melody kept in blocks of a few thousand notes: replacing a few notes anywhere moves only
// the notes of one block, where a single vector would move half the melody.
#pragma once

#include "notes/TapeNote.h"

#include <cstddef>
#include <utility>
#include <vector>

namespace tw {

class NoteRope {
public:
    static constexpr std::size_t blockNotes = 8192;

    // The notes from `first` to `end` lie together at `notes`.
    template <class Note> struct Span {
        std::size_t first = 0, end = 0;
        Note *notes = nullptr;
    };

    NoteRope() = default;
    NoteRope(const NoteRope &) = default;
    NoteRope &operator=(const NoteRope &) = default;
    // A rope moved from is empty.
    NoteRope(NoteRope &&other) noexcept { *this = std::move(other); }
    NoteRope &operator=(NoteRope &&other) noexcept {
        blocks_ = std::move(other.blocks_);
        firsts_ = std::move(other.firsts_);
        spare_ = std::move(other.spare_);
        size_ = other.size_;
        other.blocks_.clear();
        other.firsts_.clear();
        other.spare_.clear();
        other.size_ = 0;
        return *this;
    }

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    // Empties the rope; its memory is kept for the notes that come next.
    void clear();
    void assign(const TapeNote *notes, std::size_t count);
    void copyTo(std::vector<TapeNote> &out) const;
    // Replaces notes [at, at + oldCount) by src[0, newCount); src lies elsewhere.
    void replace(std::size_t at, std::size_t oldCount, const TapeNote *src, std::size_t newCount);
    // The block that holds note `index` (< size()).
    Span<TapeNote> span(std::size_t index);
    Span<const TapeNote> span(std::size_t index) const;
    std::size_t heldBytes() const;

private:
    std::size_t blockOf(std::size_t index) const;
    void renumberFrom(std::size_t block);

    std::vector<std::vector<TapeNote>> blocks_; // none empty
    std::vector<std::size_t> firsts_;           // the index of each block's first note
    std::size_t size_ = 0;
    std::vector<std::vector<TapeNote>> spare_; // emptied blocks, for the next ones
};

// Reads and writes a rope note by note, fast when the indexes go along a block.
template <class Rope, class Note> class RopeAccess {
public:
    explicit RopeAccess(Rope &rope) : rope_(rope) {}
    Note &operator[](std::size_t i) { return at(i)[0]; }
    // The notes from i on that lie together (at least one).
    Note *at(std::size_t i) {
        if (i < span_.first || i >= span_.end)
            span_ = rope_.span(i);
        return span_.notes + (i - span_.first);
    }
    std::size_t together(std::size_t i) {
        at(i);
        return span_.end - i;
    }

private:
    Rope &rope_;
    NoteRope::Span<Note> span_;
};

} // namespace tw
