// The program's PNG writers: 8-bit RGB or RGBA rows, handed over a run at a time, go out
// through a byte sink. libpng's errors end in a false return, never in a jump past the
// caller. Plain libpng and zlib, no FLTK or Cairo: the icon tool links it at build time as well.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tw {

class PngRowWriter {
public:
    enum class Pixels { rgb, rgba };
    struct Options {
        int compressionLevel = -1; // zlib's level, or -1 for libpng's default
        bool upFilter = false;     // the "up" filter only, instead of libpng's choice
    };
    // Receives the encoded bytes in order; false stops the writing.
    using Sink = std::function<bool(const unsigned char *, std::size_t)>;

    explicit PngRowWriter(Sink sink);
    ~PngRowWriter();
    PngRowWriter(const PngRowWriter &) = delete;
    PngRowWriter &operator=(const PngRowWriter &) = delete;

    // The header; then rows() until every row is written, then finish().
    bool start(unsigned width, unsigned height, Pixels pixels, const Options &options);
    bool rows(unsigned char *const *rowPointers, unsigned count);
    bool finish();
    // Why the last call failed, in words.
    const std::string &error() const { return error_; }

private:
    struct State;
    Sink sink_;
    State *state_ = nullptr;
    std::string error_;
};

// Rows of palette indexes (8 bits a pixel) or of RGB pixels, one at a time, deflated by a coder
// of its own made for pictures of long runs whose rows mostly repeat the row above (the
// board): a repeated row costs a few kilobytes of output and almost no time, any other row is
// coded as runs of one pixel and repeats at `period` pixels back (the board's tick columns).
// Valid for any pixels; it packs other pictures worse than libpng would.
class PngRunWriter {
public:
    using Sink = PngRowWriter::Sink;
    explicit PngRunWriter(Sink sink);
    ~PngRunWriter();
    PngRunWriter(const PngRunWriter &) = delete;
    PngRunWriter &operator=(const PngRunWriter &) = delete;

    // The header and, with a palette of 1 to 256 colours (0xRRGGBB), that palette: the rows
    // are then width indexes below its size; without one they are width RGB pixels. Then row()
    // or repeatRow() for every row from the top, then finish(). `period`: a distance in pixels
    // at which the rows tend to repeat themselves (0 for none).
    bool start(unsigned width, unsigned height, const std::vector<uint32_t> &palette,
               unsigned period = 0);
    bool row(const unsigned char *pixels);
    // The row above once more (not for the first row).
    bool repeatRow();
    bool finish();
    const std::string &error() const { return error_; }

private:
    struct Coder;
    bool chunk(const char *type, const unsigned char *data, std::size_t length);
    bool flushData(bool all);
    bool fail(const char *why);

    Sink sink_;
    Coder *coder_ = nullptr;
    std::string error_;
};

} // namespace tw
