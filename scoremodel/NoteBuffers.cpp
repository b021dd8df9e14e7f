#include "scoremodel/NoteBuffers.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <memory>

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

using NoteIt = TapeNote *;

// Merges the ordered runs [first, middle) and [middle, last) in place, notes of the first run
// ahead of equal ones of the second. A run that fits into the scratch block is merged through
// it; otherwise both runs are cut where they meet and the pieces between swapped over.
void mergeRuns(NoteIt first, NoteIt middle, NoteIt last, TapeNote *scratch, std::size_t room) {
    const ByStart less;
    while (first != middle && middle != last && less(*middle, *(middle - 1))) {
        const std::size_t len1 = std::size_t(middle - first), len2 = std::size_t(last - middle);
        if (len1 <= len2 && len1 <= room) {
            TapeNote *a = scratch, *aEnd = std::copy(first, middle, scratch);
            NoteIt b = middle, out = first;
            while (a != aEnd && b != last)
                *out++ = less(*b, *a) ? *b++ : *a++;
            std::copy(a, aEnd, out);
            return;
        }
        if (len2 <= room) {
            TapeNote *b = std::copy(middle, last, scratch);
            NoteIt a = middle, out = last;
            while (a != first && b != scratch)
                *--out = less(*(b - 1), *(a - 1)) ? *--a : *--b;
            std::copy_backward(scratch, b, out);
            return;
        }
        NoteIt cut1, cut2;
        if (len1 > len2) {
            cut1 = first + len1 / 2;
            cut2 = std::lower_bound(middle, last, *cut1, less);
        } else {
            cut2 = middle + len2 / 2;
            cut1 = std::upper_bound(first, middle, *cut2, less);
        }
        const NoteIt newMiddle = std::rotate(cut1, middle, cut2);
        mergeRuns(first, cut1, newMiddle, scratch, room);
        first = newMiddle;
        middle = cut2;
    }
}

void sortRun(NoteIt first, NoteIt last, TapeNote *scratch, std::size_t room) {
    const ByStart less;
    const std::size_t count = std::size_t(last - first);
    if (count <= 16) {
        for (NoteIt i = first + (count > 0 ? 1 : 0); i < last; ++i) {
            const TapeNote moving = *i;
            NoteIt j = i;
            for (; j != first && less(moving, *(j - 1)); --j)
                *j = *(j - 1);
            *j = moving;
        }
        return;
    }
    const NoteIt middle = first + count / 2;
    sortRun(first, middle, scratch, room);
    sortRun(middle, last, scratch, room);
    mergeRuns(first, middle, last, scratch, room);
}

} // namespace

void sortByStart(std::vector<TapeNote> &notes) {
    if (std::is_sorted(notes.begin(), notes.end(), ByStart()))
        return;
    const std::size_t room = std::max<std::size_t>(notes.size() / 16, 256);
    const std::unique_ptr<TapeNote[]> scratch(new TapeNote[room]);
    sortRun(notes.data(), notes.data() + notes.size(), scratch.get(), room);
}

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
