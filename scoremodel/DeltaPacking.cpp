#include "scoremodel/DeltaPacking.h"

#include <cstring>
#include <new>

namespace tw {

namespace {
// The fastest level that still entropy-codes: the differences are mostly runs and small values.
constexpr int zstdLevel = 1;
} // namespace

DeltaWork::DeltaWork() {
    if (!compress || !decompress)
        throw std::bad_alloc();
}

std::size_t DeltaWork::bytes() const {
    std::size_t total = ZSTD_sizeof_CCtx(compress.get()) + ZSTD_sizeof_DCtx(decompress.get()) +
                        frame.capacity() + narrow.capacity() + runs.capacity() * 4;
    for (const auto &b : buffers)
        total += b.capacity() * 4;
    return total;
}

namespace {

// The bytes that `count` values of `bits` bits take.
std::size_t narrowBytes(std::size_t count, unsigned bits) {
    return bits == 1 ? (count + 7) / 8 : count * (bits / 8);
}

} // namespace

void DeltaWork::pack(const uint32_t *values, std::size_t count, PackedColumn &column) {
    PackedColumn::Chunk chunk;
    chunk.count = uint32_t(count);
    // Most chunks of a whole-melody edit hold one value: that test comes first.
    uint32_t differs = 0;
    for (std::size_t i = 1; i < count; ++i)
        differs |= values[i] ^ values[0];
    chunk.base = values[0];
    if (differs == 0) {
        column.chunks.push_back(std::move(chunk));
        return;
    }
    // Differences are often small and negative: the range is taken over the values read as
    // signed numbers, and every value is stored as its distance from the smallest.
    int32_t low = int32_t(values[0]), high = low;
    for (std::size_t i = 1; i < count; ++i) {
        low = std::min(low, int32_t(values[i]));
        high = std::max(high, int32_t(values[i]));
    }
    chunk.base = uint32_t(low);
    const uint64_t range = uint64_t(int64_t(high) - int64_t(low));
    // No 16-bit width: zstd finds less in slowly climbing 16-bit values (start times of
    // unrelated notes) than in the same values at 32 bits.
    chunk.bits = range <= 1 ? 1 : range <= 0xFF ? 8 : 32;
    const std::size_t size = narrowBytes(count, chunk.bits);
    narrow.resize(std::max(narrow.size(), size));
    uint8_t *to = narrow.data();
    const uint32_t base = chunk.base;
    switch (chunk.bits) {
    case 1:
        // Eight values to a byte, the first in the lowest bit.
        for (std::size_t byte = 0; byte < size; ++byte) {
            const std::size_t first = byte * 8, end = std::min(count, first + 8);
            unsigned bits = 0;
            for (std::size_t i = first; i < end; ++i)
                bits |= (values[i] - base) << (i - first);
            to[byte] = uint8_t(bits);
        }
        break;
    case 8:
        for (std::size_t i = 0; i < count; ++i)
            to[i] = uint8_t(values[i] - base);
        break;
    default:
        for (std::size_t i = 0; i < count; ++i) {
            const uint32_t v = values[i] - base;
            std::memcpy(to + 4 * i, &v, 4);
        }
        break;
    }
    const char *from = reinterpret_cast<const char *>(to);
    if (size > compressRoom) {
        // No time to compress it now: kept raw until compressLater.
        chunk.raw = true;
        chunk.pending = true;
        chunk.bytes.assign(from, from + size);
        deferred += size;
        column.chunks.push_back(std::move(chunk));
        return;
    }
    compressRoom -= size;
    frame.resize(std::max(frame.size(), ZSTD_compressBound(size)));
    const std::size_t packed =
        ZSTD_compressCCtx(compress.get(), frame.data(), frame.size(), to, size, zstdLevel);
    if (ZSTD_isError(packed) || packed >= size) {
        chunk.raw = true; // incompressible
        chunk.bytes.assign(from, from + size);
    } else {
        chunk.bytes.assign(frame.data(), frame.data() + packed);
    }
    column.chunks.push_back(std::move(chunk));
}

std::ptrdiff_t DeltaWork::compressLater(PackedColumn::Chunk &chunk) noexcept {
    chunk.pending = false;
    // Compressing is a saving only: without the memory for it the chunk stays raw.
    try {
        const std::size_t size = chunk.bytes.size();
        frame.resize(std::max(frame.size(), ZSTD_compressBound(size)));
        const std::size_t packed = ZSTD_compressCCtx(compress.get(), frame.data(), frame.size(),
                                                     chunk.bytes.data(), size, zstdLevel);
        if (ZSTD_isError(packed) || packed >= size)
            return 0; // stays raw
        const std::size_t held = chunk.bytes.capacity();
        std::vector<char> bytes(frame.data(), frame.data() + packed);
        chunk.bytes.swap(bytes);
        chunk.raw = false;
        return std::ptrdiff_t(chunk.bytes.capacity()) - std::ptrdiff_t(held);
    } catch (const std::bad_alloc &) {
        return 0;
    }
}

void DeltaWork::unpack(const PackedColumn::Chunk &chunk, uint32_t *values) {
    const uint32_t base = chunk.base;
    if (chunk.bytes.empty()) {
        std::fill(values, values + chunk.count, base);
        return;
    }
    const unsigned bits = chunk.bits;
    if (bits != 1 && bits != 8 && bits != 32)
        throw std::runtime_error("undo history: damaged chunk");
    const std::size_t size = narrowBytes(chunk.count, bits);
    const uint8_t *from = reinterpret_cast<const uint8_t *>(chunk.bytes.data());
    if (chunk.raw) {
        if (chunk.bytes.size() != size)
            throw std::runtime_error("undo history: damaged chunk");
    } else {
        narrow.resize(std::max(narrow.size(), size));
        const std::size_t got = ZSTD_decompressDCtx(decompress.get(), narrow.data(), size,
                                                    chunk.bytes.data(), chunk.bytes.size());
        if (ZSTD_isError(got) || got != size)
            throw std::runtime_error("undo history: damaged chunk");
        from = narrow.data();
    }
    switch (bits) {
    case 1:
        for (std::size_t byte = 0; byte < size; ++byte) {
            const std::size_t first = byte * 8, end = std::min<std::size_t>(chunk.count, first + 8);
            const unsigned bits = from[byte];
            for (std::size_t i = first; i < end; ++i)
                values[i] = base + ((bits >> (i - first)) & 1u);
        }
        break;
    case 8:
        for (std::size_t i = 0; i < chunk.count; ++i)
            values[i] = base + from[i];
        break;
    default:
        for (std::size_t i = 0; i < chunk.count; ++i) {
            uint32_t v;
            std::memcpy(&v, from + 4 * i, 4);
            values[i] = base + v;
        }
        break;
    }
}

void DeltaWork::packAll(const std::vector<uint32_t> &values, PackedColumn &column) {
    for (std::size_t i = 0; i < values.size(); i += chunkValues)
        pack(values.data() + i, std::min(chunkValues, values.size() - i), column);
}

void DeltaWork::unpackAll(const PackedColumn &column, std::vector<uint32_t> &values) {
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

} // namespace tw
