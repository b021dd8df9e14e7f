#include "scoremodel/NoteBuffers.h"

#include <sys/mman.h>

#include <cstdint>

namespace tw {

namespace {

constexpr std::size_t hugePage = std::size_t(2) << 20;

// Advises huge pages for the whole 2 MB pages inside the block; a hint only.
void adviseHugePages(const void *data, std::size_t bytes) {
    if (bytes < 2 * hugePage)
        return;
    const auto begin = (reinterpret_cast<uintptr_t>(data) + hugePage - 1) & ~(hugePage - 1);
    const auto end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(hugePage - 1);
    if (end > begin)
        madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
}

} // namespace

void reserveNotes(std::vector<TapeNote> &notes, std::size_t count) {
    if (count <= notes.capacity())
        return;
    std::vector<TapeNote> bigger;
    bigger.reserve(count);
    adviseHugePages(bigger.data(), count * sizeof(TapeNote));
    bigger.assign(notes.begin(), notes.end());
    notes.swap(bigger);
}

std::vector<TapeNote> copyNotes(const std::vector<TapeNote> &notes, std::size_t extra) {
    std::vector<TapeNote> copy;
    reserveNotes(copy, notes.size() + extra);
    copy.assign(notes.begin(), notes.end());
    return copy;
}

} // namespace tw
