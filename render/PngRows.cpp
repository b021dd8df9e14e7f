#include "render/PngRows.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstring>
#include <functional>
#include <queue>
#include <utility>

namespace tw {

namespace {

struct SinkAndError {
    PngRowWriter::Sink *sink = nullptr;
    std::string *error = nullptr;
};

void writeData(png_structp png, png_bytep data, png_size_t length) {
    auto *io = static_cast<SinkAndError *>(png_get_io_ptr(png));
    if (!(*io->sink)(data, length))
        png_error(png, "write failed");
}

void flushNothing(png_structp) {}

// libpng's message for the failure, kept before it jumps back.
void onError(png_structp png, png_const_charp message) {
    auto *io = static_cast<SinkAndError *>(png_get_error_ptr(png));
    try { // nothing may be thrown through libpng's frames
        *io->error = message ? message : "libpng failed";
    } catch (...) {
    }
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

// libpng reports errors with longjmp: these functions hold nothing that needs a destructor.
bool header(png_structp png, png_infop info, png_uint_32 w, png_uint_32 h, int colourType,
            int level, bool upFilter) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_IHDR(png, info, w, h, 8, colourType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (level >= 0)
        png_set_compression_level(png, level);
    if (upFilter)
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_write_info(png, info);
    return true;
}

bool someRows(png_structp png, png_bytepp rows, png_uint_32 count) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_write_rows(png, rows, count);
    return true;
}

bool end(png_structp png, png_infop info) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_write_end(png, info);
    return true;
}

} // namespace

// The sink and the error text are reached through `io`, which libpng keeps a pointer to.
struct PngRowWriter::State {
    png_structp png = nullptr;
    png_infop info = nullptr;
    SinkAndError io;
};

PngRowWriter::PngRowWriter(Sink sink) : sink_(std::move(sink)) {}

PngRowWriter::~PngRowWriter() {
    if (state_)
        png_destroy_write_struct(&state_->png, &state_->info);
    delete state_;
}

bool PngRowWriter::start(unsigned width, unsigned height, Pixels pixels, const Options &options) {
    if (state_) {
        error_ = "the PNG was started twice";
        return false;
    }
    state_ = new State;
    state_->io = {&sink_, &error_};
    state_->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state_->io, onError, onWarning);
    if (state_->png)
        state_->info = png_create_info_struct(state_->png);
    if (!state_->info) {
        error_ = "out of memory";
        return false;
    }
    png_set_write_fn(state_->png, &state_->io, writeData, flushNothing);
    const int colourType = pixels == Pixels::rgba ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB;
    return header(state_->png, state_->info, png_uint_32(width), png_uint_32(height), colourType,
                  options.compressionLevel, options.upFilter);
}

bool PngRowWriter::rows(unsigned char *const *rowPointers, unsigned count) {
    if (!state_ || !state_->info) {
        error_ = "the PNG was not started";
        return false;
    }
    return someRows(state_->png, const_cast<png_bytepp>(rowPointers), png_uint_32(count));
}

bool PngRowWriter::finish() {
    if (!state_ || !state_->info) {
        error_ = "the PNG was not started";
        return false;
    }
    return end(state_->png, state_->info);
}

} // namespace tw

// The run writer's own deflate coder: literals and matches at the distances given, gathered
// into blocks with Huffman codes made for each.
namespace tw {

namespace {

// Bits as they go out, the first in the lowest bit, and their number.
struct Code {
    uint32_t bits = 0;
    unsigned count = 0;
};

uint32_t reversed(uint32_t code, unsigned count) {
    uint32_t r = 0;
    for (unsigned i = 0; i < count; ++i, code >>= 1)
        r = (r << 1) | (code & 1);
    return r;
}

// A length or a distance as deflate's symbol and its extra bits.
struct Symbol {
    uint16_t symbol = 0;
    uint16_t extra = 0;
    unsigned extraBits = 0;
};

constexpr unsigned lengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                     15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                     67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr unsigned lengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr unsigned distanceBase[30] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};

// Lengths 3..258 as symbols 257..285.
const std::array<Symbol, 259> &lengthSymbols() {
    static const std::array<Symbol, 259> table = [] {
        std::array<Symbol, 259> t{};
        for (unsigned length = 3; length <= 258; ++length) {
            unsigned i = 28;
            if (length < 258)
                for (i = 27; lengthBase[i] > length; --i) {
                }
            t[length] = {uint16_t(257 + i), uint16_t(length - lengthBase[i]), lengthExtra[i]};
        }
        return t;
    }();
    return table;
}

// A distance of 1..32768 as a symbol 0..29.
Symbol distanceSymbol(unsigned distance) {
    unsigned i = 29;
    while (distanceBase[i] > distance)
        --i;
    return {uint16_t(i), uint16_t(distance - distanceBase[i]), i < 4 ? 0 : i / 2 - 1};
}

// The lengths of a Huffman code for symbols of these frequencies, none longer than `limit`:
// 0 for a symbol never used; two symbols at least are coded, as inflaters expect.
std::vector<uint8_t> codeLengths(std::vector<uint32_t> freq, unsigned limit) {
    unsigned used = 0;
    for (uint32_t f : freq)
        used += f > 0;
    for (std::size_t i = 0; used < 2 && i < freq.size(); ++i)
        if (freq[i] == 0) {
            freq[i] = 1;
            ++used;
        }
    std::vector<uint8_t> lengths(freq.size(), 0);
    for (;;) {
        // Huffman's tree: the two rarest merged until one is left; a symbol's length is the
        // depth of its leaf.
        std::vector<int> parent;
        std::vector<int> leaf(freq.size(), -1);
        using Entry = std::pair<uint64_t, int>;
        std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> queue;
        for (std::size_t i = 0; i < freq.size(); ++i)
            if (freq[i] > 0) {
                leaf[i] = int(parent.size());
                queue.push({freq[i], int(parent.size())});
                parent.push_back(-1);
            }
        while (queue.size() > 1) {
            const Entry a = queue.top();
            queue.pop();
            const Entry b = queue.top();
            queue.pop();
            const int node = int(parent.size());
            parent.push_back(-1);
            parent[std::size_t(a.second)] = node;
            parent[std::size_t(b.second)] = node;
            queue.push({a.first + b.first, node});
        }
        unsigned longest = 0;
        for (std::size_t i = 0; i < freq.size(); ++i) {
            unsigned depth = 0;
            for (int n = leaf[i]; n >= 0 && parent[std::size_t(n)] >= 0; n = parent[std::size_t(n)])
                ++depth;
            lengths[i] = uint8_t(leaf[i] >= 0 ? depth : 0);
            longest = std::max(longest, depth);
        }
        if (longest <= limit)
            return lengths;
        // Too deep: flatter frequencies until it fits (all alike give a balanced tree).
        for (uint32_t &f : freq)
            if (f > 0)
                f = (f + 1) / 2;
    }
}

// The canonical codes of these lengths, bits in the order written.
std::vector<Code> canonicalCodes(const std::vector<uint8_t> &lengths) {
    unsigned count[16] = {}, next[16] = {};
    for (uint8_t l : lengths)
        ++count[l];
    count[0] = 0;
    unsigned code = 0;
    for (unsigned bits = 1; bits < 16; ++bits) {
        code = (code + count[bits - 1]) << 1;
        next[bits] = code;
    }
    std::vector<Code> codes(lengths.size());
    for (std::size_t i = 0; i < lengths.size(); ++i)
        if (lengths[i] > 0)
            codes[i] = {reversed(next[lengths[i]]++, lengths[i]), lengths[i]};
    return codes;
}

constexpr uint32_t adlerBase = 65521;
constexpr std::size_t idatSize = std::size_t(1) << 16;

// How many of the bytes p[i..i+most) equal the ones `distance` before them.
unsigned repeated(const unsigned char *p, std::size_t i, unsigned most, unsigned distance) {
    unsigned k = 0;
    while (k + 8 <= most) {
        uint64_t a, b;
        std::memcpy(&a, p + i + k, 8);
        std::memcpy(&b, p + i + k - distance, 8);
        if (a != b)
            return k + unsigned(__builtin_ctzll(a ^ b)) / 8;
        k += 8;
    }
    while (k < most && p[i + k] == p[i + k - distance])
        ++k;
    return k;
}

void putBigEndian(unsigned char *to, uint32_t value) {
    to[0] = uint8_t(value >> 24);
    to[1] = uint8_t(value >> 16);
    to[2] = uint8_t(value >> 8);
    to[3] = uint8_t(value);
}

} // namespace

struct PngRunWriter::Coder {
    // What a block holds until it is written: a byte, or a match (top bit set) of a length
    // (bits 16..24) and a distance (bits 0..15).
    static constexpr uint32_t matchToken = 0x80000000u;
    static constexpr std::size_t blockTokens = std::size_t(1) << 16;

    unsigned width = 0, height = 0, rowsDone = 0;
    unsigned palette = 0;  // colours; 0 for RGB pixels
    std::size_t bytes = 0; // of a row
    unsigned pixelBytes = 1;
    unsigned periodBytes = 0;            // 0 for none
    std::vector<unsigned char> previous; // the row above
    std::vector<uint32_t> tokens;
    std::vector<unsigned char> out; // deflated bytes waiting for their IDAT chunk: used
    std::size_t used = 0;
    uint64_t bits = 0;
    unsigned count = 0;
    uint32_t adlerA = 1, adlerB = 0;
    bool done = false;

    void put(Code c) {
        bits |= uint64_t(c.bits) << count;
        count += c.count;
        if (count >= 32) {
            if (used + 4 > out.size())
                out.resize(std::max<std::size_t>(out.size() * 2, idatSize * 2));
            for (int i = 0; i < 4; ++i, bits >>= 8)
                out[used++] = uint8_t(bits);
            count -= 32;
        }
    }
    void append(const unsigned char *p, std::size_t n) {
        if (used + n > out.size())
            out.resize(std::max<std::size_t>(out.size() * 2, used + n));
        std::memcpy(out.data() + used, p, n);
        used += n;
    }
    void token(uint32_t t) {
        tokens.push_back(t);
        if (tokens.size() == blockTokens)
            block(false);
    }
    void literal(unsigned char byte) { token(byte); }
    void match(unsigned length, unsigned distance) {
        token(matchToken | uint32_t(length) << 16 | distance);
    }
    // n more bytes equal to the last one.
    void run(std::size_t n, unsigned char byte) {
        for (; n >= 258; n -= 258)
            match(258, 1);
        if (n >= 3)
            match(unsigned(n), 1);
        else
            for (; n > 0; --n)
                literal(byte);
    }
    // The tokens gathered as one block with codes made for them.
    void block(bool last);
    void adlerZeros(std::size_t n) {
        adlerB = uint32_t((adlerB + uint64_t(n % adlerBase) * adlerA) % adlerBase);
    }
    void adlerBytes(const unsigned char *p, std::size_t n) {
        const uLong a = adler32_z((uLong(adlerB) << 16) | adlerA, p, n);
        adlerA = uint32_t(a & 0xFFFF);
        adlerB = uint32_t(a >> 16);
    }
    void byteAligned() {
        while (count > 0) {
            const unsigned char byte = uint8_t(bits);
            append(&byte, 1);
            bits >>= 8;
            count = count > 8 ? count - 8 : 0;
        }
        bits = 0;
    }
};

void PngRunWriter::Coder::block(bool last) {
    const std::array<Symbol, 259> &lengths = lengthSymbols();
    // The few distances of a picture, looked up once each.
    unsigned lastDistance = 0;
    Symbol distance;
    const auto distanceOf = [&](uint32_t t) {
        const unsigned d = t & 0xFFFF;
        if (d != lastDistance) {
            lastDistance = d;
            distance = distanceSymbol(d);
        }
        return distance;
    };
    std::vector<uint32_t> literalFreq(286, 0), distanceFreq(30, 0);
    for (uint32_t t : tokens)
        if (t & matchToken) {
            ++literalFreq[lengths[(t >> 16) & 0x1FF].symbol];
            ++distanceFreq[distanceOf(t).symbol];
        } else {
            ++literalFreq[t];
        }
    literalFreq[256] = 1;
    const std::vector<uint8_t> literalLengths = codeLengths(literalFreq, 15);
    const std::vector<uint8_t> distanceLengths = codeLengths(distanceFreq, 15);
    std::size_t literals = 286, distances = 30;
    while (literals > 257 && literalLengths[literals - 1] == 0)
        --literals;
    while (distances > 1 && distanceLengths[distances - 1] == 0)
        --distances;

    // The code lengths, one after the other, as runs: 16 repeats the last 3..6 times, 17 and
    // 18 are 3..10 and 11..138 zeros.
    std::vector<uint8_t> all(literalLengths.begin(), literalLengths.begin() + long(literals));
    all.insert(all.end(), distanceLengths.begin(), distanceLengths.begin() + long(distances));
    std::vector<std::pair<uint8_t, uint8_t>> runs; // symbol, extra
    for (std::size_t i = 0; i < all.size();) {
        const uint8_t l = all[i];
        std::size_t n = 1;
        while (i + n < all.size() && all[i + n] == l)
            ++n;
        i += n;
        if (l == 0) {
            for (; n >= 11; n -= std::min<std::size_t>(n, 138))
                runs.emplace_back(18, uint8_t(std::min<std::size_t>(n, 138) - 11));
            if (n >= 3) {
                runs.emplace_back(17, uint8_t(n - 3));
                n = 0;
            }
        } else {
            runs.emplace_back(l, 0);
            --n;
            for (; n >= 3; n -= std::min<std::size_t>(n, 6))
                runs.emplace_back(16, uint8_t(std::min<std::size_t>(n, 6) - 3));
        }
        for (; n > 0; --n)
            runs.emplace_back(l, 0);
    }
    std::vector<uint32_t> runFreq(19, 0);
    for (const auto &r : runs)
        ++runFreq[r.first];
    const std::vector<uint8_t> runLengths = codeLengths(runFreq, 7);
    const std::vector<Code> runCodes = canonicalCodes(runLengths);
    static const unsigned order[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                       11, 4,  12, 3, 13, 2, 14, 1, 15};
    unsigned runCount = 19;
    while (runCount > 4 && runLengths[order[runCount - 1]] == 0)
        --runCount;

    put({last ? 1u : 0u, 1});
    put({2, 2}); // Huffman codes of the block's own
    put({uint32_t(literals - 257), 5});
    put({uint32_t(distances - 1), 5});
    put({runCount - 4, 4});
    for (unsigned i = 0; i < runCount; ++i)
        put({runLengths[order[i]], 3});
    static const unsigned runExtra[19] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};
    for (const auto &r : runs) {
        put(runCodes[r.first]);
        if (runExtra[r.first] > 0)
            put({r.second, runExtra[r.first]});
    }

    const std::vector<Code> literalCodes = canonicalCodes(literalLengths);
    const std::vector<Code> distanceCodes = canonicalCodes(distanceLengths);
    for (uint32_t t : tokens)
        if (t & matchToken) {
            const Symbol &l = lengths[(t >> 16) & 0x1FF];
            put(literalCodes[l.symbol]);
            if (l.extraBits > 0)
                put({l.extra, l.extraBits});
            const Symbol d = distanceOf(t);
            put(distanceCodes[d.symbol]);
            if (d.extraBits > 0)
                put({d.extra, d.extraBits});
        } else {
            put(literalCodes[t]);
        }
    put(literalCodes[256]);
    tokens.clear();
}

PngRunWriter::PngRunWriter(Sink sink) : sink_(std::move(sink)) {}

PngRunWriter::~PngRunWriter() {
    delete coder_;
}

bool PngRunWriter::fail(const char *why) {
    error_ = why;
    if (coder_)
        coder_->done = true;
    return false;
}

bool PngRunWriter::chunk(const char *type, const unsigned char *data, std::size_t length) {
    unsigned char head[8], tail[4];
    putBigEndian(head, uint32_t(length));
    std::memcpy(head + 4, type, 4);
    uLong crc = crc32_z(0, head + 4, 4);
    if (length > 0) // zlib gives 0 for no data
        crc = crc32_z(crc, data, length);
    putBigEndian(tail, uint32_t(crc));
    if (!sink_(head, 8) || (length > 0 && !sink_(data, length)) || !sink_(tail, 4))
        return fail("write failed");
    return true;
}

bool PngRunWriter::flushData(bool all) {
    Coder &c = *coder_;
    if (c.used == 0 || (!all && c.used < idatSize))
        return true;
    const bool written = chunk("IDAT", c.out.data(), c.used);
    c.used = 0;
    return written;
}

bool PngRunWriter::start(unsigned width, unsigned height, const std::vector<uint32_t> &palette,
                         unsigned period) {
    if (coder_)
        return fail("the PNG was started twice");
    coder_ = new Coder;
    if (width == 0 || height == 0 || width > 0x7FFFFFFFu || height > 0x7FFFFFFFu)
        return fail("the picture has no pixels or too many");
    if (palette.size() > 256)
        return fail("a palette holds at most 256 colours");
    Coder &c = *coder_;
    c.width = width;
    c.height = height;
    c.palette = unsigned(palette.size());
    c.pixelBytes = palette.empty() ? 3 : 1;
    c.bytes = std::size_t(width) * c.pixelBytes;
    if (period > 1 && std::size_t(period) * c.pixelBytes <= 32768)
        c.periodBytes = period * c.pixelBytes;
    c.previous.resize(c.bytes);
    c.out.resize(idatSize * 2);
    c.tokens.reserve(Coder::blockTokens);

    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (!sink_(signature, sizeof signature))
        return fail("write failed");
    unsigned char ihdr[13];
    putBigEndian(ihdr, width);
    putBigEndian(ihdr + 4, height);
    ihdr[8] = 8;                       // bits per index
    ihdr[9] = palette.empty() ? 2 : 3; // RGB or palette colours
    ihdr[10] = 0;                      // deflate
    ihdr[11] = 0;                      // the five row filters
    ihdr[12] = 0;                      // not interlaced
    std::vector<unsigned char> plte;
    for (uint32_t rgb : palette)
        plte.insert(plte.end(), {uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb)});
    if (!chunk("IHDR", ihdr, sizeof ihdr) ||
        (!palette.empty() && !chunk("PLTE", plte.data(), plte.size())))
        return false;
    // The zlib header: deflate, a 32 KiB window, the fastest level.
    static const unsigned char zlibHeader[2] = {0x78, 0x01};
    c.append(zlibHeader, 2);
    return true;
}

bool PngRunWriter::repeatRow() {
    if (!coder_ || coder_->done)
        return fail("the PNG was not started");
    Coder &c = *coder_;
    if (c.rowsDone == 0)
        return fail("the first row has no row above");
    if (c.rowsDone == c.height)
        return fail("more rows than the picture's height");
    // The "up" filter: every byte the same as the one above, a row of zeros.
    static const unsigned char up[2] = {2, 0};
    c.literal(2);
    c.literal(0);
    c.run(c.bytes - 1, 0);
    c.adlerBytes(up, 2);
    c.adlerZeros(c.bytes - 1);
    ++c.rowsDone;
    return flushData(false);
}

bool PngRunWriter::row(const unsigned char *pixels) {
    if (!coder_ || coder_->done)
        return fail("the PNG was not started");
    Coder &c = *coder_;
    if (c.rowsDone == c.height)
        return fail("more rows than the picture's height");
    const std::size_t n = c.bytes;
    if (c.rowsDone > 0 && std::memcmp(pixels, c.previous.data(), n) == 0)
        return repeatRow();
    if (c.palette > 0)
        for (std::size_t i = 0; i < n; ++i)
            if (pixels[i] >= c.palette)
                return fail("a pixel's index lies outside the palette");
    // No filter: runs of one pixel and repeats at the period.
    const unsigned char none = 0;
    c.literal(none);
    c.adlerBytes(&none, 1);
    c.adlerBytes(pixels, n);
    std::size_t i = 0;
    while (i < n) {
        const unsigned most = unsigned(std::min<std::size_t>(258, n - i));
        const unsigned same = i >= c.pixelBytes ? repeated(pixels, i, most, c.pixelBytes) : 0;
        const unsigned again = c.periodBytes > 0 && i >= c.periodBytes && same < most
                                   ? repeated(pixels, i, most, c.periodBytes)
                                   : 0;
        if (same >= 3 && same >= again) {
            c.match(same, c.pixelBytes);
            i += same;
        } else if (again >= 3) {
            c.match(again, c.periodBytes);
            i += again;
        } else {
            c.literal(pixels[i++]);
        }
    }
    std::memcpy(c.previous.data(), pixels, n);
    ++c.rowsDone;
    return flushData(false);
}

bool PngRunWriter::finish() {
    if (!coder_ || coder_->done)
        return fail("the PNG was not started");
    Coder &c = *coder_;
    if (c.rowsDone != c.height)
        return fail("the picture's rows were not all written");
    c.block(true);
    c.byteAligned();
    unsigned char adler[4];
    putBigEndian(adler, (c.adlerB << 16) | c.adlerA);
    c.append(adler, 4);
    c.done = true;
    if (!flushData(true) || !chunk("IEND", nullptr, 0))
        return false;
    return true;
}

} // namespace tw
