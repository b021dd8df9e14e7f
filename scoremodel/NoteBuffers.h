// Buffers for large melodies. A melody of a million notes takes 24 MB, and every undo
// snapshot is a copy of it; faulting such a block in page by page costs far more than copying
// it, so these buffers ask the kernel for huge pages.
#pragma once

#include "notes/TapeNote.h"

#include <cstddef>
#include <vector>

namespace tw {

// Reserves room for `count` notes in `notes` (keeping its contents) in huge pages where the
// block is large enough.
void reserveNotes(std::vector<TapeNote> &notes, std::size_t count);

// A copy of `notes` with room for `extra` more notes.
std::vector<TapeNote> copyNotes(const std::vector<TapeNote> &notes, std::size_t extra = 0);

// Orders the notes by start as std::stable_sort with ByStart does (notes of equal start keep
// their order), with a scratch block of at most a sixteenth of them rather than half.
void sortByStart(std::vector<TapeNote> &notes);

} // namespace tw
