// The difference between two neighbouring undo snapshots and the operations on it: making it
// from two melodies (the notes both share at the front and at the back are not stored, the notes
// in between as removed, added or changed, packed column by column) and applying it either way.
#pragma once

#include "notes/TapeNote.h"
#include "scoremodel/NoteRope.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tw {

// A list of 32-bit values, packed in chunks.
struct PackedColumn {
    struct Chunk {
        uint32_t count = 0;
        // The value of every entry when `bytes` is empty; otherwise what each stored value
        // adds to (modulo 2^32): the smallest entry read as a signed number.
        uint32_t base = 0;
        uint8_t bits = 32;       // bits per stored value: 1, 8 or 32
        bool raw = false;        // `bytes` holds the stored values uncompressed
        bool pending = false;    // raw only for now: to be compressed later (compressHeldRaw)
        std::vector<char> bytes; // a zstd frame of the stored values (or the values themselves)
    };
    std::vector<Chunk> chunks;
};

// A list of notes stored field by field: the notes themselves, or per-field differences.
struct PackedNotes {
    static constexpr int fieldCount = 6; // note, start, length, channel, velocity, selected
    std::size_t count = 0;
    PackedColumn fields[fieldCount];
};

// What turns one snapshot (before) into its neighbour (after), and back.
struct UndoDelta {
    std::size_t sizeBefore = 0, sizeAfter = 0;
    std::size_t prefix = 0, suffix = 0; // notes both hold unchanged at the front and at the back
    // The notes in between as a list of runs: (count << 2) | kind, kind one of keep, remove,
    // add, change.
    PackedColumn runs;
    std::size_t runCount = 0;
    PackedNotes removed;     // notes of `before` that `after` lacks, start times as differences
    PackedNotes added;       // notes of `after` that `before` lacks, likewise
    PackedNotes changes;     // per-field differences after - before of the changed notes
    std::size_t bytes = 0;   // memory held
    std::size_t pending = 0; // bytes of chunks stored raw until there is time to compress them
};

// What the caller knows of the notes it hands to the history: the first `front` and the last
// `back` notes are exactly (selection flags included) those of the melody it last exchanged
// with the history, pushed or received from undo or redo. Only the notes in between are then
// compared. The default claims nothing.
struct UnchangedNotes {
    std::size_t front = 0, back = 0;
};

// zstd contexts and working buffers of the packing code, kept between calls (DeltaPacking.h).
class DeltaWork;

// The difference from `before` to `after` in `d`; false (and nothing stored) when both hold the
// same notes, selection flags aside. `known` counts notes at the front and the back that are
// identical without looking. With `follow`, `before` becomes `after` when true is returned
// (changed notes are taken over as they are compared); it is left alone otherwise.
bool makeDelta(NoteRope &before, const std::vector<TapeNote> &after, UndoDelta &d, DeltaWork &work,
               UnchangedNotes known, bool follow = false);
// Turns `notes` (the snapshot on one side of `d`) into the snapshot on the other side; with
// `whole`, writes that snapshot there as well, in the same pass.
void applyDelta(const UndoDelta &d, NoteRope &notes, bool forward, DeltaWork &work,
                std::vector<TapeNote> *whole = nullptr);
// The memory `d` holds.
std::size_t deltaBytes(const UndoDelta &d);
// Compresses chunks of `d` that were stored raw for later, as long as each fits into `room`
// bytes of raw values; returns the raw bytes it took. Keeps d.bytes and d.pending up to date.
std::size_t compressHeldRaw(UndoDelta &d, DeltaWork &work, std::size_t room);
// `rope` and `notes` hold the same notes by TapeNote equality (selection flags ignored).
bool sameNotes(const NoteRope &rope, const std::vector<TapeNote> &notes);

} // namespace tw
