// Packing of note lists for the undo history: a column of 32-bit values in chunks (a chunk of
// equal values as one value, any other chunk as its distances from its smallest value in as
// few bits as they need, compressed with zstd), and the writer and reader that store notes, or
// per-field differences of notes, column by column.
#pragma once

#include "scoremodel/UndoDelta.h"

#include <zstd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <vector>

namespace tw {

constexpr std::size_t chunkValues = 16384; // values per packed chunk

// The distance between the columns of a chunk buffer for chunks of `chunk` values: a little
// more than a chunk, so that the columns of one note do not share a cache set.
inline std::size_t columnStride(std::size_t chunk) {
    return chunk + 16;
}

// zstd contexts and the buffers in which chunks are packed and unpacked, kept between calls.
class DeltaWork {
public:
    std::unique_ptr<ZSTD_CCtx, size_t (*)(ZSTD_CCtx *)> compress{ZSTD_createCCtx(), ZSTD_freeCCtx};
    std::unique_ptr<ZSTD_DCtx, size_t (*)(ZSTD_DCtx *)> decompress{ZSTD_createDCtx(),
                                                                   ZSTD_freeDCtx};
    std::vector<char> frame;
    std::vector<uint8_t> narrow; // a chunk's values in their fewest bits
    // Column-major chunk buffers: three writers (removed, added, changes), three readers;
    // each grows to the chunks it has handled.
    std::vector<uint32_t> buffers[6];
    std::vector<uint32_t> runs;
    // Bytes of values that pack may still compress at once; a chunk beyond them is stored raw
    // and marked pending, and `deferred` counts its bytes. Unlimited unless set.
    std::size_t compressRoom = ~std::size_t(0);
    std::size_t deferred = 0;

    DeltaWork();
    DeltaWork(const DeltaWork &) = delete;
    DeltaWork &operator=(const DeltaWork &) = delete;

    std::size_t bytes() const;
    // Appends `count` values (at most chunkValues) to `column` as one chunk.
    void pack(const uint32_t *values, std::size_t count, PackedColumn &column);
    // Writes the values of `chunk` to `values` (room for chunk.count).
    void unpack(const PackedColumn::Chunk &chunk, uint32_t *values);
    void packAll(const std::vector<uint32_t> &values, PackedColumn &column);
    void unpackAll(const PackedColumn &column, std::vector<uint32_t> &values);
    // Compresses a pending chunk (it stays raw when that saves nothing or memory runs out);
    // returns the change of the memory it holds (<= 0).
    std::ptrdiff_t compressLater(PackedColumn::Chunk &chunk) noexcept;
};

// Writes notes, or differences of notes, into a PackedNotes chunk by chunk.
class NotesWriter {
public:
    // At most `bound` notes will be written.
    NotesWriter(PackedNotes &out, DeltaWork &work, std::vector<uint32_t> &buffer, std::size_t bound)
        : out_(out), work_(work), chunk_(std::clamp<std::size_t>(bound, 1, chunkValues)),
          stride_(columnStride(chunk_)) {
        if (buffer.size() < PackedNotes::fieldCount * stride_)
            buffer.resize(PackedNotes::fieldCount * stride_);
        buffer_ = buffer.data();
    }

    // A note as it is; its start as the difference from the note written before.
    void note(const TapeNote &n) {
        put(n.note, n.start - lastStart_, n.length, n.channel, n.velocity, n.selected);
        lastStart_ = n.start;
    }
    // The difference that turns `a` into `b`.
    void change(const TapeNote &a, const TapeNote &b) {
        // Differences modulo 2^32; the reader adds them back modulo the width of each field.
        put(uint32_t(b.note) - a.note, b.start - a.start, b.length - a.length,
            uint32_t(b.channel) - a.channel, uint32_t(b.velocity) - a.velocity,
            uint32_t(a.selected != b.selected));
    }
    // change() for a[k] and b[k] of every k < count, in one tight loop: the columns do not
    // overlap the notes.
    void changes(const TapeNote *a, const TapeNote *b, std::size_t count) {
        while (count > 0) {
            const std::size_t n = std::min(count, chunk_ - filled_);
            uint32_t *__restrict c0 = buffer_ + filled_;
            uint32_t *__restrict c1 = c0 + stride_;
            uint32_t *__restrict c2 = c1 + stride_;
            uint32_t *__restrict c3 = c2 + stride_;
            uint32_t *__restrict c4 = c3 + stride_;
            uint32_t *__restrict c5 = c4 + stride_;
            for (std::size_t k = 0; k < n; ++k) {
                const TapeNote x = a[k], y = b[k];
                c0[k] = uint32_t(y.note) - x.note;
                c1[k] = y.start - x.start;
                c2[k] = y.length - x.length;
                c3[k] = uint32_t(y.channel) - x.channel;
                c4[k] = uint32_t(y.velocity) - x.velocity;
                c5[k] = uint32_t(x.selected != y.selected);
            }
            filled_ += n;
            a += n;
            b += n;
            count -= n;
            if (filled_ == chunk_)
                flush();
        }
    }
    void finish() { flush(); }

private:
    void put(uint32_t v0, uint32_t v1, uint32_t v2, uint32_t v3, uint32_t v4, uint32_t v5) {
        uint32_t *at = buffer_ + filled_;
        at[0] = v0;
        at[stride_] = v1;
        at[2 * stride_] = v2;
        at[3 * stride_] = v3;
        at[4 * stride_] = v4;
        at[5 * stride_] = v5;
        if (++filled_ == chunk_)
            flush();
    }
    void flush() {
        if (filled_ == 0)
            return;
        for (int f = 0; f < PackedNotes::fieldCount; ++f)
            work_.pack(buffer_ + std::size_t(f) * stride_, filled_, out_.fields[f]);
        out_.count += filled_;
        filled_ = 0;
    }

    PackedNotes &out_;
    DeltaWork &work_;
    std::size_t chunk_, stride_;
    uint32_t *buffer_;
    std::size_t filled_ = 0;
    uint32_t lastStart_ = 0;
};

// Reads what a NotesWriter wrote, in the same order.
class NotesReader {
public:
    NotesReader(const PackedNotes &in, DeltaWork &work, std::vector<uint32_t> &buffer)
        : in_(in), work_(work) {
        for (const auto &chunk : in.fields[0].chunks)
            chunk_ = std::max<std::size_t>(chunk_, chunk.count);
        stride_ = columnStride(chunk_);
        if (buffer.size() < PackedNotes::fieldCount * stride_)
            buffer.resize(PackedNotes::fieldCount * stride_);
        buffer_ = buffer.data();
    }

    TapeNote note() {
        const std::size_t i = next();
        TapeNote n;
        n.note = uint8_t(value(0, i)); // written from the 8-bit fields
        lastStart_ += value(1, i);
        n.start = lastStart_;
        n.length = value(2, i);
        n.channel = uint8_t(value(3, i));
        n.velocity = uint8_t(value(4, i));
        n.selected = value(5, i) != 0;
        return n;
    }
    // Applies the next difference to `n`, forwards (a into b) or backwards.
    void change(TapeNote &n, bool forward) {
        const std::size_t i = next();
        if (forward) {
            n.note = uint8_t(n.note + value(0, i));
            n.start += value(1, i);
            n.length += value(2, i);
            n.channel = uint8_t(n.channel + value(3, i));
            n.velocity = uint8_t(n.velocity + value(4, i));
        } else {
            n.note = uint8_t(n.note - value(0, i));
            n.start -= value(1, i);
            n.length -= value(2, i);
            n.channel = uint8_t(n.channel - value(3, i));
            n.velocity = uint8_t(n.velocity - value(4, i));
        }
        n.selected = n.selected != (value(5, i) != 0);
    }

private:
    uint32_t value(int field, std::size_t i) const {
        return buffer_[std::size_t(field) * stride_ + i];
    }
    std::size_t next() {
        if (at_ == count_) {
            if (next_ >= in_.fields[0].chunks.size())
                throw std::runtime_error("undo history: notes missing");
            for (int f = 0; f < PackedNotes::fieldCount; ++f)
                work_.unpack(in_.fields[f].chunks[next_], buffer_ + std::size_t(f) * stride_);
            count_ = in_.fields[0].chunks[next_].count;
            ++next_;
            at_ = 0;
        }
        return at_++;
    }

    const PackedNotes &in_;
    DeltaWork &work_;
    std::size_t chunk_ = 1; // the largest chunk
    std::size_t stride_ = 0;
    uint32_t *buffer_;
    std::size_t next_ = 0, at_ = 0, count_ = 0;
    uint32_t lastStart_ = 0;
};

} // namespace tw
