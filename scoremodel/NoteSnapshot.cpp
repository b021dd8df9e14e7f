#include "scoremodel/NoteSnapshot.h"

#include "scoremodel/NoteBuffers.h"

#include <algorithm>
#include <iterator>
#include <unordered_set>

namespace tw {

namespace {

using Block = std::shared_ptr<const std::vector<TapeNote>>;
using NoteIt = std::vector<TapeNote>::const_iterator;

// Equal in every field, the selection flag included: a snapshot keeps the flags.
bool sameFields(const TapeNote &a, const TapeNote &b) {
    return a == b && a.selected == b.selected;
}

// A new block holding the notes [first, last); large blocks go to huge pages.
Block makeBlock(NoteIt first, NoteIt last) {
    std::vector<TapeNote> block;
    reserveNotes(block, std::size_t(last - first));
    block.assign(first, last);
    return std::make_shared<const std::vector<TapeNote>>(std::move(block));
}

// The first note of a run; a plain pointer, so that runs of different blocks compare.
const TapeNote *runBegin(const NoteSnapshot::Run &run) {
    return run.block->data() + run.begin;
}

// The number of leading notes of `notes` that `previous` holds unchanged, at most `limit`.
std::size_t commonPrefix(const std::vector<TapeNote> &notes, const NoteSnapshot &previous,
                         std::size_t limit) {
    std::size_t done = 0;
    for (const auto &run : previous.runs()) {
        if (done == limit)
            break;
        const std::size_t count = std::min(run.count, limit - done);
        const auto from = notes.begin() + std::ptrdiff_t(done);
        const auto diff =
            std::mismatch(from, from + std::ptrdiff_t(count), runBegin(run), sameFields);
        done += std::size_t(diff.first - from);
        if (diff.first != from + std::ptrdiff_t(count))
            break;
    }
    return done;
}

// The number of trailing notes of `notes` that `previous` holds unchanged, at most `limit`.
std::size_t commonSuffix(const std::vector<TapeNote> &notes, const NoteSnapshot &previous,
                         std::size_t limit) {
    std::size_t done = 0;
    for (auto run = previous.runs().rbegin(); run != previous.runs().rend(); ++run) {
        if (done == limit)
            break;
        const std::size_t count = std::min(run->count, limit - done);
        const auto from = notes.rbegin() + std::ptrdiff_t(done);
        const auto stored = std::make_reverse_iterator(runBegin(*run) + run->count);
        const auto diff = std::mismatch(from, from + std::ptrdiff_t(count), stored, sameFields);
        done += std::size_t(diff.first - from);
        if (diff.first != from + std::ptrdiff_t(count))
            break;
    }
    return done;
}

} // namespace

NoteSnapshot NoteSnapshot::take(const std::vector<TapeNote> &notes, const NoteSnapshot *previous) {
    NoteSnapshot result;
    if (previous && !previous->empty() && !notes.empty()) {
        const std::size_t limit = std::min(notes.size(), previous->size());
        const std::size_t prefix = commonPrefix(notes, *previous, limit);
        const std::size_t suffix = commonSuffix(notes, *previous, limit - prefix);
        result.appendRange(*previous, 0, prefix);
        const std::size_t middle = notes.size() - prefix - suffix;
        if (middle != 0) {
            const auto first = notes.begin() + std::ptrdiff_t(prefix);
            result.append(makeBlock(first, first + std::ptrdiff_t(middle)), 0, middle);
        }
        result.appendRange(*previous, previous->size() - suffix, suffix);
        if (result.runs_.size() <= maxRuns)
            return result;
        result = NoteSnapshot();
    }
    if (!notes.empty())
        result.append(makeBlock(notes.begin(), notes.end()), 0, notes.size());
    return result;
}

void NoteSnapshot::append(const Block &block, std::size_t begin, std::size_t count) {
    if (count == 0)
        return;
    size_ += count;
    if (!runs_.empty()) {
        Run &last = runs_.back();
        if (last.block == block && last.begin + last.count == begin) {
            last.count += count;
            return;
        }
    }
    runs_.push_back(Run{block, begin, count});
}

void NoteSnapshot::appendRange(const NoteSnapshot &from, std::size_t first, std::size_t count) {
    std::size_t position = 0; // index of the run's first note in `from`
    const std::size_t end = first + count;
    for (const Run &run : from.runs_) {
        if (position >= end)
            break;
        const std::size_t runEnd = position + run.count;
        if (runEnd > first) {
            const std::size_t skip = first > position ? first - position : 0;
            const std::size_t take = std::min(runEnd, end) - position - skip;
            append(run.block, run.begin + skip, take);
        }
        position = runEnd;
    }
}

void NoteSnapshot::copyTo(std::vector<TapeNote> &out) const {
    out.clear();
    if (out.capacity() < size_)
        reserveNotes(out, size_ + size_ / 8);
    for (const Run &run : runs_)
        out.insert(out.end(), runBegin(run), runBegin(run) + run.count);
}

std::vector<TapeNote> NoteSnapshot::notes() const {
    std::vector<TapeNote> out;
    copyTo(out);
    return out;
}

bool NoteSnapshot::sameNotes(const std::vector<TapeNote> &notes) const {
    if (notes.size() != size_)
        return false;
    auto from = notes.begin();
    for (const Run &run : runs_) {
        if (!std::equal(runBegin(run), runBegin(run) + run.count, from))
            return false;
        from += std::ptrdiff_t(run.count);
    }
    return true;
}

bool operator==(const NoteSnapshot &a, const NoteSnapshot &b) {
    if (a.size_ != b.size_)
        return false;
    // Walks both run lists at once, a piece that lies within one run of each at a time.
    auto ra = a.runs_.begin(), rb = b.runs_.begin();
    std::size_t offsetA = 0, offsetB = 0;
    while (ra != a.runs_.end() && rb != b.runs_.end()) {
        const std::size_t count = std::min(ra->count - offsetA, rb->count - offsetB);
        const auto fromA = runBegin(*ra) + offsetA;
        const auto fromB = runBegin(*rb) + offsetB;
        if (fromA != fromB && !std::equal(fromA, fromA + count, fromB))
            return false;
        offsetA += count;
        offsetB += count;
        if (offsetA == ra->count) {
            ++ra;
            offsetA = 0;
        }
        if (offsetB == rb->count) {
            ++rb;
            offsetB = 0;
        }
    }
    return true;
}

std::size_t heldBytes(const std::vector<NoteSnapshot> &snapshots) {
    std::unordered_set<const std::vector<TapeNote> *> counted;
    std::size_t bytes = 0;
    for (const NoteSnapshot &snapshot : snapshots) {
        bytes += snapshot.runs().capacity() * sizeof(NoteSnapshot::Run);
        for (const auto &run : snapshot.runs()) {
            if (counted.insert(run.block.get()).second)
                bytes += run.block->capacity() * sizeof(TapeNote);
        }
    }
    return bytes;
}

} // namespace tw
