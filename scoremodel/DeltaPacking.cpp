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
                        frame.capacity() + runs.capacity() * 4;
    for (const auto &b : buffers)
        total += b.capacity() * 4;
    return total;
}

void DeltaWork::pack(const uint32_t *values, std::size_t count, PackedColumn &column) {
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

void DeltaWork::unpack(const PackedColumn::Chunk &chunk, uint32_t *values) {
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
