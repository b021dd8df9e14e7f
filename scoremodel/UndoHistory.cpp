#include "scoremodel/UndoHistory.h"

#include <zstd.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>
#include <stdexcept>

namespace tw {

namespace {

constexpr std::size_t chunkValues = 16384; // values per packed chunk
// The fastest level that still entropy-codes: the differences are mostly runs and small values.
constexpr int zstdLevel = 1;

enum RunKind : uint32_t { runKeep = 0, runRemove = 1, runAdd = 2, runChange = 3 };
constexpr std::size_t maxRunCount = (std::size_t(1) << 30) - 1;

// Equal in every field, the selection flag included: a snapshot keeps the flags.
// (Function objects, so that the matching templates inline them.)
struct Identical {
    bool operator()(const TapeNote &a, const TapeNote &b) const {
        return a == b && a.selected == b.selected;
    }
};
constexpr Identical identical{};
struct SameNote {
    bool operator()(const TapeNote &a, const TapeNote &b) const { return a == b; }
};
constexpr SameNote sameNote{};

// The number of leading notes of a and b (n each) that `same` accepts. Whole blocks compare as
// bytes first; a block whose bytes differ (padding bytes may) is compared note by note.
template <class Same>
std::size_t matchForward(const TapeNote *a, const TapeNote *b, std::size_t n, Same same) {
    constexpr std::size_t block = 512;
    std::size_t i = 0;
    while (i < n) {
        const std::size_t m = std::min(block, n - i);
        if (std::memcmp(a + i, b + i, m * sizeof(TapeNote)) != 0) {
            for (const std::size_t end = i + m; i < end; ++i) {
                if (!same(a[i], b[i]))
                    return i;
            }
        } else {
            i += m;
        }
    }
    return n;
}

// The number of trailing notes of a and b (each ending at the pointer) that are identical,
// at most n.
std::size_t matchBackward(const TapeNote *aEnd, const TapeNote *bEnd, std::size_t n) {
    constexpr std::size_t block = 512;
    std::size_t i = 0;
    while (i < n) {
        const std::size_t m = std::min(block, n - i);
        if (std::memcmp(aEnd - i - m, bEnd - i - m, m * sizeof(TapeNote)) != 0) {
            for (const std::size_t end = i + m; i < end; ++i) {
                if (!identical(*(aEnd - i - 1), *(bEnd - i - 1)))
                    return i;
            }
        } else {
            i += m;
        }
    }
    return n;
}

using ConstAccess = RopeAccess<const NoteRope, const TapeNote>;

// The number of leading notes of a (from `from` on) and b that `same` accepts, at most n.
template <class Same>
std::size_t matchRope(ConstAccess &a, std::size_t from, const TapeNote *b, std::size_t n,
                      Same same) {
    std::size_t i = 0;
    while (i < n) {
        const std::size_t m = std::min(a.together(from + i), n - i);
        const std::size_t k = matchForward(a.at(from + i), b + i, m, same);
        i += k;
        if (k < m)
            break;
    }
    return i;
}

// The number of trailing notes of a (ending before index `end`) and b (ending at the pointer)
// that are identical, at most n.
std::size_t matchRopeBackward(const NoteRope &a, std::size_t end, const TapeNote *bEnd,
                              std::size_t n) {
    std::size_t i = 0;
    while (i < n) {
        const auto span = a.span(end - i - 1);
        const std::size_t m = std::min(end - i - span.first, n - i);
        const std::size_t k = matchBackward(span.notes + (end - i - span.first), bEnd - i, m);
        i += k;
        if (k < m)
            break;
    }
    return i;
}

std::size_t columnBytes(const PackedColumn &column) {
    std::size_t bytes = column.chunks.capacity() * sizeof(PackedColumn::Chunk);
    for (const auto &chunk : column.chunks)
        bytes += chunk.bytes.capacity();
    return bytes;
}

std::size_t notesBytes(const PackedNotes &notes) {
    std::size_t bytes = 0;
    for (const auto &field : notes.fields)
        bytes += columnBytes(field);
    return bytes;
}

} // namespace

// zstd contexts and the buffers in which chunks are packed and unpacked, kept between calls.
struct UndoHistory::Work {
    std::unique_ptr<ZSTD_CCtx, size_t (*)(ZSTD_CCtx *)> compress{ZSTD_createCCtx(), ZSTD_freeCCtx};
    std::unique_ptr<ZSTD_DCtx, size_t (*)(ZSTD_DCtx *)> decompress{ZSTD_createDCtx(),
                                                                   ZSTD_freeDCtx};
    std::vector<char> frame;
    // Column-major chunk buffers: three writers (removed, added, changes), three readers;
    // each grows to the chunks it has handled.
    std::vector<uint32_t> buffers[6];
    std::vector<uint32_t> runs;

    Work() {
        if (!compress || !decompress)
            throw std::bad_alloc();
    }
    Work(const Work &) = delete;
    Work &operator=(const Work &) = delete;

    std::size_t bytes() const {
        std::size_t total = ZSTD_sizeof_CCtx(compress.get()) + ZSTD_sizeof_DCtx(decompress.get()) +
                            frame.capacity() + runs.capacity() * 4;
        for (const auto &b : buffers)
            total += b.capacity() * 4;
        return total;
    }

    void pack(const uint32_t *values, std::size_t count, PackedColumn &column) {
        PackedColumn::Chunk chunk;
        chunk.count = uint32_t(count);
        chunk.constant = values[0];
        const bool same =
            std::all_of(values + 1, values + count, [&](uint32_t v) { return v == values[0]; });
        if (!same) {
            frame.resize(std::max(frame.size(), ZSTD_compressBound(count * 4)));
            const std::size_t size = ZSTD_compressCCtx(compress.get(), frame.data(), frame.size(),
                                                       values, count * 4, zstdLevel);
            if (ZSTD_isError(size) || size >= count * 4) {
                chunk.raw = true; // incompressible
                const char *bytes = reinterpret_cast<const char *>(values);
                chunk.bytes.assign(bytes, bytes + count * 4);
            } else {
                chunk.bytes.assign(frame.data(), frame.data() + size);
            }
        }
        column.chunks.push_back(std::move(chunk));
    }

    void unpack(const PackedColumn::Chunk &chunk, uint32_t *values) {
        if (chunk.bytes.empty()) {
            std::fill(values, values + chunk.count, chunk.constant);
        } else if (chunk.raw) {
            std::memcpy(values, chunk.bytes.data(), chunk.bytes.size());
        } else {
            const std::size_t size = ZSTD_decompressDCtx(decompress.get(), values, chunk.count * 4,
                                                         chunk.bytes.data(), chunk.bytes.size());
            if (ZSTD_isError(size) || size != chunk.count * 4u)
                throw std::runtime_error("undo history: damaged chunk");
        }
    }

    void packAll(const std::vector<uint32_t> &values, PackedColumn &column) {
        for (std::size_t i = 0; i < values.size(); i += chunkValues)
            pack(values.data() + i, std::min(chunkValues, values.size() - i), column);
    }

    void unpackAll(const PackedColumn &column, std::vector<uint32_t> &values) {
        std::size_t count = 0;
        for (const auto &chunk : column.chunks)
            count += chunk.count;
        values.resize(count);
        std::size_t at = 0;
        for (const auto &chunk : column.chunks) {
            unpack(chunk, values.data() + at);
            at += chunk.count;
        }
    }
};

namespace {

using Work = UndoHistory::Work;

// Writes notes, or differences of notes, into a PackedNotes chunk by chunk.
class NotesWriter {
public:
    // At most `bound` notes will be written.
    NotesWriter(PackedNotes &out, Work &work, std::vector<uint32_t> &buffer, std::size_t bound)
        : out_(out), work_(work), chunk_(std::clamp<std::size_t>(bound, 1, chunkValues)) {
        if (buffer.size() < PackedNotes::fieldCount * chunk_)
            buffer.resize(PackedNotes::fieldCount * chunk_);
        buffer_ = buffer.data();
    }

    // A note as it is; its start as the difference from the note written before.
    void note(const TapeNote &n) {
        put({n.note, n.start - lastStart_, n.length, n.channel, n.velocity, n.selected});
        lastStart_ = n.start;
    }
    // The difference that turns `a` into `b`.
    void change(const TapeNote &a, const TapeNote &b) {
        put({b.note - a.note, b.start - a.start, b.length - a.length, b.channel - a.channel,
             b.velocity - a.velocity, uint32_t(a.selected != b.selected)});
    }
    void finish() { flush(); }

private:
    void put(std::initializer_list<uint32_t> fields) {
        std::size_t f = 0;
        for (uint32_t v : fields)
            buffer_[f++ * chunk_ + filled_] = v;
        if (++filled_ == chunk_)
            flush();
    }
    void flush() {
        if (filled_ == 0)
            return;
        for (int f = 0; f < PackedNotes::fieldCount; ++f)
            work_.pack(buffer_ + std::size_t(f) * chunk_, filled_, out_.fields[f]);
        out_.count += filled_;
        filled_ = 0;
    }

    PackedNotes &out_;
    Work &work_;
    std::size_t chunk_;
    uint32_t *buffer_;
    std::size_t filled_ = 0;
    uint32_t lastStart_ = 0;
};

// Reads what a NotesWriter wrote, in the same order.
class NotesReader {
public:
    NotesReader(const PackedNotes &in, Work &work, std::vector<uint32_t> &buffer)
        : in_(in), work_(work) {
        for (const auto &chunk : in.fields[0].chunks)
            chunk_ = std::max<std::size_t>(chunk_, chunk.count);
        if (buffer.size() < PackedNotes::fieldCount * chunk_)
            buffer.resize(PackedNotes::fieldCount * chunk_);
        buffer_ = buffer.data();
    }

    TapeNote note() {
        const std::size_t i = next();
        TapeNote n;
        n.note = value(0, i);
        lastStart_ += value(1, i);
        n.start = lastStart_;
        n.length = value(2, i);
        n.channel = value(3, i);
        n.velocity = value(4, i);
        n.selected = value(5, i) != 0;
        return n;
    }
    // Applies the next difference to `n`, forwards (a into b) or backwards.
    void change(TapeNote &n, bool forward) {
        const std::size_t i = next();
        if (forward) {
            n.note += value(0, i);
            n.start += value(1, i);
            n.length += value(2, i);
            n.channel += value(3, i);
            n.velocity += value(4, i);
        } else {
            n.note -= value(0, i);
            n.start -= value(1, i);
            n.length -= value(2, i);
            n.channel -= value(3, i);
            n.velocity -= value(4, i);
        }
        n.selected = n.selected != (value(5, i) != 0);
    }

private:
    uint32_t value(int field, std::size_t i) const {
        return buffer_[std::size_t(field) * chunk_ + i];
    }
    std::size_t next() {
        if (at_ == count_) {
            if (next_ >= in_.fields[0].chunks.size())
                throw std::runtime_error("undo history: notes missing");
            for (int f = 0; f < PackedNotes::fieldCount; ++f)
                work_.unpack(in_.fields[f].chunks[next_], buffer_ + std::size_t(f) * chunk_);
            count_ = in_.fields[0].chunks[next_].count;
            ++next_;
            at_ = 0;
        }
        return at_++;
    }

    const PackedNotes &in_;
    Work &work_;
    std::size_t chunk_ = 1; // the largest chunk
    uint32_t *buffer_;
    std::size_t next_ = 0, at_ = 0, count_ = 0;
    uint32_t lastStart_ = 0;
};

// Appends a run, joining it to the last one of the same kind.
void addRun(std::vector<uint32_t> &runs, RunKind kind, std::size_t count) {
    while (count > 0) {
        if (!runs.empty() && (runs.back() & 3u) == kind &&
            (runs.back() >> 2) + count <= maxRunCount) {
            runs.back() += uint32_t(count << 2);
            return;
        }
        const std::size_t take = std::min(count, maxRunCount);
        runs.push_back(uint32_t(take << 2) | kind);
        count -= take;
    }
}

// The difference from `before` to `after`; false (and nothing stored) when both hold the same
// notes, selection flags aside.
// `known` counts notes at the front and the back that are identical without looking.
bool makeDelta(const NoteRope &before, const std::vector<TapeNote> &after, UndoDelta &d, Work &work,
               UndoHistory::Unchanged known) {
    const std::size_t limit = std::min(before.size(), after.size());
    ConstAccess all(before);
    std::size_t prefix = std::min(known.front, limit);
    prefix += matchRope(all, prefix, after.data() + prefix, limit - prefix, identical);
    if (before.size() == after.size() && prefix == limit)
        return false;
    std::size_t suffix = std::min(known.back, limit - prefix);
    suffix += matchRopeBackward(before, before.size() - suffix,
                                after.data() + after.size() - suffix, limit - prefix - suffix);
    // a(i) is note prefix + i of `before`; the block at hand stays in local variables.
    const TapeNote *block = nullptr;
    std::size_t blockFirst = 0, blockEnd = 0;
    const auto a = [&](std::size_t i) -> const TapeNote & {
        const std::size_t k = prefix + i;
        if (k < blockFirst || k >= blockEnd) {
            const auto span = before.span(k);
            block = span.notes;
            blockFirst = span.first;
            blockEnd = span.end;
        }
        return block[k - blockFirst];
    };
    const TapeNote *b = after.data() + prefix;
    const std::size_t na = before.size() - prefix - suffix;
    const std::size_t nb = after.size() - prefix - suffix;
    if (na == nb && matchRope(all, prefix, b, na, sameNote) == na)
        return false;

    d.sizeBefore = before.size();
    d.sizeAfter = after.size();
    d.prefix = prefix;
    d.suffix = suffix;
    // Walks both middles: equal notes are kept (a note whose flag alone differs is changed),
    // a surplus on one side is removed or added note by note, and once both sides have as
    // many notes left, the rest is changed in place.
    std::vector<uint32_t> &runs = work.runs;
    runs.clear();
    NotesWriter removed(d.removed, work, work.buffers[0], na);
    NotesWriter added(d.added, work, work.buffers[1], nb);
    NotesWriter changes(d.changes, work, work.buffers[2], std::min(na, nb));
    std::size_t i = 0, j = 0;
    while (i < na && j < nb) {
        if (identical(a(i), b[j])) {
            // Short runs note by note, long ones block by block.
            constexpr std::size_t shortRun = 16;
            const std::size_t most = std::min(na - i, nb - j);
            std::size_t same = 1;
            while (same < most && same < shortRun && identical(a(i + same), b[j + same]))
                ++same;
            if (same == shortRun)
                same += matchRope(all, prefix + i + same, b + j + same, most - same, identical);
            addRun(runs, runKeep, same);
            i += same;
            j += same;
        } else if (a(i) == b[j]) {
            // Only the selection flag differs: the notes stay aligned.
            changes.change(a(i), b[j]);
            ++i;
            ++j;
            addRun(runs, runChange, 1);
        } else if (na - i > nb - j) {
            removed.note(a(i));
            ++i;
            addRun(runs, runRemove, 1);
        } else if (na - i < nb - j) {
            added.note(b[j++]);
            addRun(runs, runAdd, 1);
        } else {
            for (std::size_t k = 0; k < na - i; ++k)
                changes.change(a(i + k), b[j + k]);
            addRun(runs, runChange, na - i);
            i = na;
            j = nb;
        }
    }
    addRun(runs, runRemove, na - i);
    for (; i < na; ++i)
        removed.note(a(i));
    addRun(runs, runAdd, nb - j);
    for (; j < nb; ++j)
        added.note(b[j]);
    removed.finish();
    added.finish();
    changes.finish();
    d.runCount = runs.size();
    work.packAll(runs, d.runs);
    return true;
}

// Turns `notes` (the snapshot on one side of `d`) into the snapshot on the other side.
void applyDelta(const UndoDelta &d, NoteRope &notes, bool forward, Work &work) {
    const std::size_t sourceSize = forward ? d.sizeBefore : d.sizeAfter;
    const std::size_t targetSize = forward ? d.sizeAfter : d.sizeBefore;
    if (notes.size() != sourceSize)
        throw std::runtime_error("undo history: snapshot does not fit its difference");
    const std::size_t sourceCount = sourceSize - d.prefix - d.suffix;
    const std::size_t targetCount = targetSize - d.prefix - d.suffix;
    std::vector<uint32_t> &runs = work.runs;
    work.unpackAll(d.runs, runs);

    NotesReader changes(d.changes, work, work.buffers[5]);
    RopeAccess<NoteRope, TapeNote> all(notes);
    // source[i] is note prefix + i of `notes`.
    struct Source {
        RopeAccess<NoteRope, TapeNote> &all;
        std::size_t prefix;
        TapeNote &operator[](std::size_t i) { return all[prefix + i]; }
    } source{all, d.prefix};
    const bool inPlace = std::all_of(runs.begin(), runs.end(), [](uint32_t run) {
        return (run & 3u) == runKeep || (run & 3u) == runChange;
    });
    if (inPlace) {
        // Only kept and changed notes: in place.
        std::size_t s = 0;
        for (uint32_t run : runs) {
            const std::size_t count = run >> 2;
            if ((run & 3u) == runChange) {
                for (std::size_t k = s; k < s + count; ++k)
                    changes.change(source[k], forward);
            }
            s += count;
        }
        if (s != sourceCount || sourceCount != targetCount)
            throw std::runtime_error("undo history: difference does not fit");
        return;
    }
    NotesReader removed(d.removed, work, work.buffers[3]);
    NotesReader added(d.added, work, work.buffers[4]);
    std::vector<TapeNote> middle;
    middle.reserve(targetCount);
    std::size_t s = 0;
    for (uint32_t run : runs) {
        const std::size_t count = run >> 2;
        switch (RunKind(run & 3u)) {
        case runKeep:
            for (std::size_t k = 0; k < count;) {
                const std::size_t m = std::min(all.together(d.prefix + s + k), count - k);
                const TapeNote *from = all.at(d.prefix + s + k);
                middle.insert(middle.end(), from, from + m);
                k += m;
            }
            s += count;
            break;
        case runRemove:
        case runAdd: {
            // Removed notes come back when going backwards, added ones when going forwards.
            const bool skip = forward == ((run & 3u) == runRemove);
            NotesReader &reader = (run & 3u) == runRemove ? removed : added;
            if (skip) {
                s += count;
            } else {
                for (std::size_t k = 0; k < count; ++k)
                    middle.push_back(reader.note());
            }
            break;
        }
        case runChange:
            for (std::size_t k = 0; k < count; ++k) {
                TapeNote n = source[s++];
                changes.change(n, forward);
                middle.push_back(n);
            }
            break;
        }
    }
    if (s != sourceCount || middle.size() != targetCount)
        throw std::runtime_error("undo history: difference does not fit");
    notes.replace(d.prefix, sourceCount, middle.data(), targetCount);
}

UndoHistory::Unchanged both(UndoHistory::Unchanged a, UndoHistory::Unchanged b) {
    return {std::min(a.front, b.front), std::min(a.back, b.back)};
}

std::size_t deltaBytes(const UndoDelta &d) {
    return columnBytes(d.runs) + notesBytes(d.removed) + notesBytes(d.added) +
           notesBytes(d.changes);
}

} // namespace

UndoHistory::UndoHistory() : work_(std::make_unique<Work>()) {}
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

bool UndoHistory::sameAsLast(const std::vector<TapeNote> &notes) const {
    if (size_ == 0)
        return false;
    moveCursorTo(size_ - 1);
    ConstAccess all(cursor_);
    return notes.size() == cursor_.size() &&
           matchRope(all, 0, notes.data(), notes.size(), sameNote) == notes.size();
}

bool UndoHistory::push(const std::vector<TapeNote> &notes, Unchanged unchanged) {
    if (position_ == 0) {
        // Everything is a redo state: the whole history goes aside.
        dropped_ = Dropped();
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
    UndoDelta d;
    if (!makeDelta(cursor_, notes, d, *work_, both(exchanged_, unchanged))) {
        exchanged_ = {};
        return false;
    }
    d.bytes = deltaBytes(d);
    // Everything that may fail to allocate comes first, so that a failure leaves the history
    // as it was.
    Dropped dropped;
    dropped.deltas.reserve(deltas_.size() - (position_ - 1));
    deltas_.reserve(position_);
    // The cursor follows to the new snapshot: only the middle changes.
    cursor_.replace(d.prefix, d.sizeBefore - d.prefix - d.suffix, notes.data() + d.prefix,
                    d.sizeAfter - d.prefix - d.suffix);
    for (auto it = deltas_.begin() + std::ptrdiff_t(position_ - 1); it != deltas_.end(); ++it) {
        deltaBytes_ -= it->bytes;
        dropped.deltas.push_back(std::move(*it));
    }
    dropped_ = std::move(dropped);
    deltas_.resize(position_ - 1);
    deltaBytes_ += d.bytes;
    deltas_.push_back(std::move(d));
    cursorIndex_ = position_;
    size_ = position_ = position_ + 1;
    exchanged_ = {allNotes, allNotes};
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
        for (const auto &d : deltas_)
            deltaBytes_ += d.bytes;
    } else if (!dropped_.whole && size_ > 0) {
        for (auto &d : dropped_.deltas) {
            deltaBytes_ += d.bytes;
            deltas_.push_back(std::move(d));
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
    if (position_ == size_ && storeCurrent) {
        // Redo comes back to the melody shown; the cursor stays on the snapshot before it.
        moveCursorTo(size_ - 1);
        UndoDelta d;
        if (makeDelta(cursor_, current, d, *work_, both(exchanged_, unchanged))) {
            d.bytes = deltaBytes(d);
            deltaBytes_ += d.bytes;
            deltas_.push_back(std::move(d));
            ++size_;
            keepBudget();
        }
    }
    --position_;
    moveCursorTo(position_);
    cursor_.copyTo(out);
    exchangedAtPosition();
    return true;
}

bool UndoHistory::redo(std::vector<TapeNote> &out) {
    if (position_ + 1 >= size_)
        return false;
    ++position_;
    moveCursorTo(position_);
    cursor_.copyTo(out);
    exchangedAtPosition();
    return true;
}

void UndoHistory::truncateRedo() {
    if (position_ >= size_)
        return;
    if (position_ == 0) {
        exchanged_ = {};
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
