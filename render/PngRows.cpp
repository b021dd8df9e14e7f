#include "render/PngRows.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstring>
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

// The run writer's own deflate coder: one block of the fixed codes, literals and matches at
// the distances given.
namespace tw {

namespace {

// A code of the fixed set as it goes out: bits in the order written, and their number.
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

// The fixed literal and length codes (symbols 0..287), Huffman bits first in the stream.
Code literalCode(unsigned symbol) {
    if (symbol < 144)
        return {reversed(0x30 + symbol, 8), 8};
    if (symbol < 256)
        return {reversed(0x190 + symbol - 144, 9), 9};
    if (symbol < 280)
        return {reversed(symbol - 256, 7), 7};
    return {reversed(0xC0 + symbol - 280, 8), 8};
}

struct FixedCodes {
    std::array<Code, 256> literal;
    std::array<Code, 259> length; // for lengths 3..258, their extra bits included
    Code endOfBlock;
};

const FixedCodes &fixedCodes() {
    static const FixedCodes codes = [] {
        static const unsigned base[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                          15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                          67, 83, 99, 115, 131, 163, 195, 227, 258};
        static const unsigned extra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
        FixedCodes c;
        for (unsigned s = 0; s < 256; ++s)
            c.literal[s] = literalCode(s);
        c.endOfBlock = literalCode(256);
        for (unsigned length = 3; length <= 258; ++length) {
            unsigned i = 28;
            if (length < 258)
                for (i = 27; base[i] > length; --i) {
                }
            const Code symbol = literalCode(257 + i);
            c.length[length] = {symbol.bits | ((length - base[i]) << symbol.count),
                                symbol.count + extra[i]};
        }
        return c;
    }();
    return codes;
}

// The fixed code of a distance of 1..32768, its extra bits included.
Code distanceCode(unsigned distance) {
    static const unsigned base[30] = {
        1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
        193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    unsigned i = 29;
    while (base[i] > distance)
        --i;
    const unsigned extra = i < 4 ? 0 : i / 2 - 1;
    return {reversed(i, 5) | ((distance - base[i]) << 5), 5 + extra};
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
    unsigned width = 0, height = 0, rowsDone = 0;
    unsigned palette = 0;  // colours; 0 for RGB pixels
    std::size_t bytes = 0; // of a row
    Code pixel;            // of the distance of one pixel
    unsigned pixelBytes = 1;
    Code period;                         // of the period's distance
    unsigned periodBytes = 0;            // 0 for none
    std::vector<unsigned char> previous; // the row above
    std::vector<unsigned char> out;      // deflated bytes waiting for their IDAT chunk: used
    std::size_t used = 0;
    const FixedCodes &codes = fixedCodes();
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
    void literal(unsigned char byte) { put(codes.literal[byte]); }
    void match(unsigned length, Code distance) {
        put(codes.length[length]);
        put(distance);
    }
    // n more bytes equal to the last one.
    void run(std::size_t n, unsigned char byte) {
        static const Code one = distanceCode(1);
        for (; n >= 258; n -= 258)
            match(258, one);
        if (n >= 3)
            match(unsigned(n), one);
        else
            for (; n > 0; --n)
                literal(byte);
    }
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
    c.pixel = distanceCode(c.pixelBytes);
    c.bytes = std::size_t(width) * c.pixelBytes;
    if (period > 1 && std::size_t(period) * c.pixelBytes <= 32768) {
        c.periodBytes = period * c.pixelBytes;
        c.period = distanceCode(c.periodBytes);
    }
    c.previous.resize(c.bytes);
    c.out.resize(idatSize * 2);

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
    // The zlib header (deflate, a 32 KiB window, the fastest level) and the one block's header:
    // the last block, fixed codes.
    static const unsigned char zlibHeader[2] = {0x78, 0x01};
    c.append(zlibHeader, 2);
    c.put({1 | (1 << 1), 3});
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
            c.match(same, c.pixel);
            i += same;
        } else if (again >= 3) {
            c.match(again, c.period);
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
    c.put(c.codes.endOfBlock);
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
