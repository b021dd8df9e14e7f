#include "scoremodel/UndoDelta.h"

#include "scoremodel/DeltaPacking.h"
#include "scoremodel/NoteBuffers.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <stdexcept>

namespace tw {

namespace {

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
// The same as identical and as SameNote, on the bytes: a note has no padding, and its
// selection flag is its last byte.
static_assert(offsetof(TapeNote, selected) == sizeof(TapeNote) - 1, "the flag is the last byte");
inline bool sameBytes(const TapeNote &a, const TapeNote &b) {
    return std::memcmp(&a, &b, sizeof(TapeNote)) == 0;
}
inline bool sameButFlag(const TapeNote &a, const TapeNote &b) {
    return std::memcmp(&a, &b, sizeof(TapeNote) - 1) == 0;
}
struct SameNote {
    bool operator()(const TapeNote &a, const TapeNote &b) const { return a == b; }
};
constexpr SameNote sameNote{};

// The number of leading notes of a and b (n each) that `same` accepts. Whole blocks compare as
// bytes first (a note has no padding); a block whose bytes differ (selection flags may) is
// compared note by note.
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

} // namespace

bool makeDelta(NoteRope &before, const std::vector<TapeNote> &after, UndoDelta &d, DeltaWork &work,
               UnchangedNotes known, bool follow) {
    const std::size_t limit = std::min(before.size(), after.size());
    const std::size_t deferredBefore = work.deferred;
    ConstAccess all(before);
    std::size_t prefix = std::min(known.front, limit);
    prefix += matchRope(all, prefix, after.data() + prefix, limit - prefix, identical);
    if (before.size() == after.size() && prefix == limit)
        return false;
    std::size_t suffix = std::min(known.back, limit - prefix);
    suffix += matchRopeBackward(before, before.size() - suffix,
                                after.data() + after.size() - suffix, limit - prefix - suffix);
    const TapeNote *b = after.data() + prefix;
    const std::size_t na = before.size() - prefix - suffix;
    const std::size_t nb = after.size() - prefix - suffix;
    if (na == nb && matchRope(all, prefix, b, na, sameNote) == na)
        return false;
    // `before` follows by taking each changed note in place as it is passed, and the few
    // stretches of notes removed or added once the walk is done, from the back, so that the
    // places noted stay valid. Beyond `maxStretches` the middle is replaced whole instead.
    struct Stretch {
        bool add;
        std::size_t at, from, count; // at: index in the middle of `before`; from: of `after`
    };
    constexpr std::size_t maxStretches = 64;
    std::vector<Stretch> stretches;
    bool inPlace = follow;
    const auto stretch = [&](bool add, std::size_t at, std::size_t from, std::size_t count) {
        if (!inPlace || count == 0)
            return;
        if (!stretches.empty()) {
            Stretch &last = stretches.back();
            if (last.add == add && (add ? last.at == at && last.from + last.count == from
                                        : last.at + last.count == at)) {
                last.count += count;
                return;
            }
        }
        if (stretches.size() == maxStretches) {
            inPlace = false;
            return;
        }
        stretches.push_back({add, at, from, count});
    };

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
    // The run being counted goes to `runs` when a run of another kind begins.
    RunKind runKind = runKeep;
    std::size_t runLength = 0;
    const auto run = [&](RunKind kind, std::size_t count) {
        if (kind != runKind) {
            // Mostly a run of another kind than the last: appended here, without a call.
            if (runLength > 0 && runLength <= maxRunCount &&
                (runs.empty() || (runs.back() & 3u) != runKind))
                runs.push_back(uint32_t(runLength << 2) | runKind);
            else
                addRun(runs, runKind, runLength);
            runKind = kind;
            runLength = 0;
        }
        runLength += count;
    };
    // The walk goes block by block through the middle of `before`, with plain pointers into
    // the block at hand and into `after`; `surplus` counts the notes that `before` has left
    // over `after`.
    std::size_t i = 0, j = 0;
    bool rest = false; // both sides have as many notes left, and they differ
    while (i < na && j < nb && !rest) {
        const auto span = before.span(prefix + i);
        TapeNote *const first = span.notes + (prefix + i - span.first);
        TapeNote *x = first;
        TapeNote *const xEnd = first + std::min(span.end - (prefix + i), na - i);
        const TapeNote *y = b + j;
        const TapeNote *const yEnd = b + nb;
        std::ptrdiff_t surplus = std::ptrdiff_t(na - i) - std::ptrdiff_t(nb - j);
        while (x != xEnd && y != yEnd) {
            if (sameBytes(*x, *y)) {
                // Short runs note by note, long ones block by block.
                constexpr std::size_t shortRun = 16;
                const std::size_t most = std::min(std::size_t(xEnd - x), std::size_t(yEnd - y));
                std::size_t same = 1;
                while (same < most && same < shortRun && sameBytes(x[same], y[same]))
                    ++same;
                if (same == shortRun)
                    same += matchForward(x + same, y + same, most - same, identical);
                run(runKeep, same);
                x += same;
                y += same;
            } else if (sameButFlag(*x, *y)) {
                // Only the selection flag differs: the notes stay aligned.
                changes.change(*x, *y);
                if (inPlace)
                    *x = *y;
                ++x;
                ++y;
                run(runChange, 1);
            } else if (surplus > 0) {
                removed.note(*x);
                stretch(false, i + std::size_t(x - first), std::size_t(y - b), 1);
                ++x;
                --surplus;
                run(runRemove, 1);
            } else if (surplus < 0) {
                added.note(*y);
                stretch(true, i + std::size_t(x - first), std::size_t(y - b), 1);
                ++y;
                ++surplus;
                run(runAdd, 1);
            } else {
                rest = true;
                break;
            }
        }
        i += std::size_t(x - first);
        j = std::size_t(y - b);
    }
    if (rest) {
        // Once both sides have as many notes left, the rest is changed in place.
        run(runChange, na - i);
        while (i < na) {
            const auto span = before.span(prefix + i);
            TapeNote *x = span.notes + (prefix + i - span.first);
            const std::size_t m = std::min(span.end - (prefix + i), na - i);
            const TapeNote *y = b + j;
            changes.changes(x, y, m);
            if (inPlace)
                std::copy(y, y + m, x);
            i += m;
            j += m;
        }
    }
    addRun(runs, runKind, runLength);
    addRun(runs, runRemove, na - i);
    stretch(false, i, j, na - i);
    for (; i < na; ++i)
        removed.note(all[prefix + i]);
    addRun(runs, runAdd, nb - j);
    stretch(true, i, j, nb - j);
    for (; j < nb; ++j)
        added.note(b[j]);
    removed.finish();
    added.finish();
    changes.finish();
    d.runCount = runs.size();
    work.packAll(runs, d.runs);
    d.pending = work.deferred - deferredBefore;
    if (inPlace) {
        for (auto s = stretches.rbegin(); s != stretches.rend(); ++s) {
            if (s->add)
                before.replace(prefix + s->at, 0, b + s->from, s->count);
            else
                before.replace(prefix + s->at, s->count, nullptr, 0);
        }
    } else if (follow) {
        before.replace(prefix, na, b, nb);
    }
    return true;
}

void applyDelta(const UndoDelta &d, NoteRope &notes, bool forward, DeltaWork &work,
                std::vector<TapeNote> *whole) {
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
    // Copies `count` notes of `notes` from index `first` on to `to`; returns the end.
    const auto copyOut = [&](std::size_t first, std::size_t count, TapeNote *to) {
        for (std::size_t k = 0; k < count;) {
            const std::size_t m = std::min(all.together(first + k), count - k);
            const TapeNote *from = all.at(first + k);
            to = m == 1 ? (*to = *from, to + 1) : std::copy(from, from + m, to);
            k += m;
        }
        return to;
    };
    if (whole) {
        if (whole->capacity() < targetSize)
            reserveNotes(*whole, targetSize + targetSize / 8 + 64);
        whole->resize(targetSize);
        copyOut(0, d.prefix, whole->data());
        copyOut(sourceSize - d.suffix, d.suffix, whole->data() + targetSize - d.suffix);
    }
    const bool inPlace = std::all_of(runs.begin(), runs.end(), [](uint32_t run) {
        return (run & 3u) == runKeep || (run & 3u) == runChange;
    });
    if (inPlace) {
        // Only kept and changed notes: in place, each written out as it is passed.
        if (sourceCount != targetCount)
            throw std::runtime_error("undo history: difference does not fit");
        TapeNote *to = whole ? whole->data() + d.prefix : nullptr;
        std::size_t s = 0;
        for (uint32_t run : runs) {
            const std::size_t count = run >> 2;
            if (s + count > sourceCount)
                throw std::runtime_error("undo history: difference does not fit");
            if ((run & 3u) == runChange) {
                for (std::size_t k = d.prefix + s; k < d.prefix + s + count;) {
                    const std::size_t m = std::min(all.together(k), d.prefix + s + count - k);
                    TapeNote *n = all.at(k);
                    for (std::size_t j = 0; j < m; ++j)
                        changes.change(n[j], forward);
                    if (to)
                        to = std::copy(n, n + m, to);
                    k += m;
                }
            } else if (to) {
                to = copyOut(d.prefix + s, count, to);
            }
            s += count;
        }
        if (s != sourceCount)
            throw std::runtime_error("undo history: difference does not fit");
        return;
    }
    NotesReader removed(d.removed, work, work.buffers[3]);
    NotesReader added(d.added, work, work.buffers[4]);
    // The new middle goes straight to its place in `whole`, or else to a buffer of its own.
    std::vector<TapeNote> own;
    if (!whole)
        own.resize(targetCount);
    TapeNote *const middle = whole ? whole->data() + d.prefix : own.data();
    TapeNote *to = middle;
    std::size_t s = 0;
    for (uint32_t run : runs) {
        const std::size_t count = run >> 2;
        const RunKind kind = RunKind(run & 3u);
        // Removed notes come back when going backwards, added ones when going forwards; the
        // others are skipped.
        const bool skip = kind == (forward ? runRemove : runAdd);
        const bool fromReader = !skip && (kind == runRemove || kind == runAdd);
        const std::size_t taken = fromReader ? 0 : count; // notes of the source passed
        const std::size_t given = skip ? 0 : count;       // notes of the target made
        if (s + taken > sourceCount || std::size_t(to - middle) + given > targetCount)
            throw std::runtime_error("undo history: difference does not fit");
        switch (kind) {
        case runKeep:
            to = copyOut(d.prefix + s, count, to);
            break;
        case runRemove:
        case runAdd:
            if (!skip) {
                NotesReader &reader = kind == runRemove ? removed : added;
                for (std::size_t k = 0; k < count; ++k)
                    *to++ = reader.note();
            }
            break;
        case runChange:
            for (std::size_t k = 0; k < count; ++k) {
                TapeNote n = all[d.prefix + s + k];
                changes.change(n, forward);
                *to++ = n;
            }
            break;
        }
        s += taken;
    }
    if (s != sourceCount || std::size_t(to - middle) != targetCount)
        throw std::runtime_error("undo history: difference does not fit");
    notes.replace(d.prefix, sourceCount, middle, targetCount);
}

std::size_t deltaBytes(const UndoDelta &d) {
    return columnBytes(d.runs) + notesBytes(d.removed) + notesBytes(d.added) +
           notesBytes(d.changes);
}

std::size_t compressHeldRaw(UndoDelta &d, DeltaWork &work, std::size_t room) {
    std::size_t taken = 0;
    const auto column = [&](PackedColumn &c) {
        for (auto &chunk : c.chunks) {
            if (d.pending == 0)
                return;
            if (!chunk.pending || chunk.bytes.size() > room - taken)
                continue;
            const std::size_t size = chunk.bytes.size();
            d.bytes = std::size_t(std::ptrdiff_t(d.bytes) + work.compressLater(chunk));
            d.pending -= size;
            taken += size;
        }
    };
    column(d.runs);
    for (PackedNotes *notes : {&d.removed, &d.added, &d.changes})
        for (auto &field : notes->fields)
            column(field);
    return taken;
}

bool sameNotes(const NoteRope &rope, const std::vector<TapeNote> &notes) {
    ConstAccess all(rope);
    return notes.size() == rope.size() &&
           matchRope(all, 0, notes.data(), notes.size(), sameNote) == notes.size();
}

} // namespace tw
