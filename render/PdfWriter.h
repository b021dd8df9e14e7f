// The program's own PDF writer for the board's pages, as PngRows.cpp is its own PNG writer:
// Cairo's PDF surface formats every number with "%f" and deflates every stream at zlib's
// default level, which costs more than the drawing itself at a million notes. Pages of one
// size, each one deflated content stream of the caller's operators; text in Type 3 fonts made
// from the outlines Cairo's font machinery gives for the board's faces, so that the text looks
// as Cairo draws it and still reads back as text. The bytes go out through a sink in order.
#pragma once

#include <cairo.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tw {

// Numbers as PDF operators want them, appended to `out`: whole numbers, halves (given doubled)
// and decimals with up to `digits` places and no trailing zeros.
void appendPdfInt(std::string &out, long long value);
void appendPdfHalves(std::string &out, long long twice);
void appendPdfNumber(std::string &out, double value, int digits = 4);
// A text string: a literal for printable ASCII, otherwise UTF-16BE with its byte order mark.
// Bytes that are not UTF-8 count as U+FFFD.
std::string pdfTextString(const std::string &utf8);

// Text shown in Type 3 fonts of glyphs taken from Cairo's faces (fontconfig's "sans-serif",
// "monospace" and "serif", plain, bold, italic), unhinted. Every glyph used is kept once and
// written with the fonts at the end.
class PdfGlyphFonts {
public:
    PdfGlyphFonts();
    ~PdfGlyphFonts();
    PdfGlyphFonts(const PdfGlyphFonts &) = delete;
    PdfGlyphFonts &operator=(const PdfGlyphFonts &) = delete;

    // Appends the operators that show `utf8` in the face of the FLTK font number `font` at
    // `size` units with its base line starting at (x, y) of the current coordinates; `yDown`
    // when those run downwards (the picture's pixels). Nothing when the glyphs' ink lies wholly
    // left of `left` or right of `right`. Invalid UTF-8 shows U+FFFD. False when Cairo fails
    // (see status()).
    bool show(std::string &out, int font, double size, const std::string &utf8, double x, double y,
              bool yDown, double left = -1e300, double right = 1e300);
    cairo_status_t status() const { return status_; }
    // The fonts made so far, as the names used by show() ("/T0", "/T1", ...).
    std::size_t fontCount() const { return fonts_.size(); }

    struct Glyph {
        unsigned long id;
        double width;        // the advance in thousandths of the size, whole
        std::string unicode; // UTF-16BE in hex, empty when unknown
        bool blank;          // no glyph of the face: code 0, which text never uses
    };
    struct Font {
        int face;
        std::vector<Glyph> glyphs; // by code
    };
    const std::vector<Font> &fonts() const { return fonts_; }
    // A glyph's outline as a Type 3 glyph procedure (d0, the path, f), in thousandths of the
    // size, and the font's box over its glyphs.
    std::string glyphProcedure(int face, unsigned long id, double width, double box[4]);
    // The face's ascent and descent (below the base line, positive) in thousandths of the size.
    void faceExtents(int face, double &ascent, double &descent) const;

private:
    struct Face;
    // The index of the face of an FLTK font number, made when first used; -1 when Cairo fails.
    int face(int font);

    std::vector<std::unique_ptr<Face>> faces_; // in the order first used
    std::vector<Font> fonts_;
    cairo_surface_t *scratch_ = nullptr; // for the glyphs' outlines
    cairo_t *cr_ = nullptr;
    cairo_status_t status_ = CAIRO_STATUS_SUCCESS;
};

class PdfWriter {
public:
    // Receives the file's bytes in order; false stops the writing.
    using Sink = std::function<bool(const void *, std::size_t)>;

    // `level` is zlib's compression level for the content streams.
    explicit PdfWriter(Sink sink, int level = 1);
    ~PdfWriter();
    PdfWriter(const PdfWriter &) = delete;
    PdfWriter &operator=(const PdfWriter &) = delete;

    // The header; the pages are width x height points. An empty title leaves it out.
    bool start(double width, double height, const std::string &title);
    // A page of these operators, which may use the fonts' names.
    bool page(const std::string &content);
    // The fonts, the page tree, the cross-reference table and the trailer.
    bool finish();
    PdfGlyphFonts &fonts() { return fonts_; }
    // Whether a call failed because the sink refused the bytes (else Cairo or zlib failed).
    bool sinkFailed() const { return sinkFailed_; }

private:
    int newObject();
    bool beginObject(int number);
    bool put(const std::string &text);
    bool put(const void *data, std::size_t length);
    bool stream(int number, const std::string &dictionary, const std::string &data, bool deflated);
    bool deflated(const std::string &data, std::string &out);

    Sink sink_;
    int level_;
    uint64_t offset_ = 0;
    bool sinkFailed_ = false;
    std::vector<uint64_t> offsets_{0}; // by object number; 0 is not an object
    std::vector<int> pages_;
    std::string mediaBox_, title_;
    PdfGlyphFonts fonts_;
    struct Deflater;
    std::unique_ptr<Deflater> deflater_;
    std::string packed_;
};

} // namespace tw
