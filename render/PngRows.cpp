#include "render/PngRows.h"

#include <png.h>

#include <csetjmp>
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
