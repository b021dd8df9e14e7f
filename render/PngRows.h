// The program's one PNG writer: 8-bit RGB or RGBA rows, handed over a run at a time, go out
// through a byte sink. libpng's errors end in a false return, never in a jump past the
// caller. Plain libpng, no FLTK or Cairo: the icon tool links it at build time as well.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

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

} // namespace tw
