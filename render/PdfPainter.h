// The board's painter for a page of the program's own PDF writer (PdfWriter.h): the operators of
// one page's slice of the picture, in picture pixels from the slice's left edge with y running
// downwards (the page's transformation places them). Every rectangle up to the next text or
// slanted line is gathered and drawn a colour at a time (RectLayers.h); text goes through the
// writer's glyph fonts.
#pragma once

#include "render/Painter.h"
#include "render/PdfWriter.h"
#include "render/RectLayers.h"

#include <string>

namespace tw {

class PdfPainter : public Painter {
public:
    // Appends to `out`; draws nothing outside x0 <= x < x1, y0 <= y < y1 of the picture, and
    // writes x - x0 for x.
    PdfPainter(std::string &out, PdfGlyphFonts &fonts, int x0, int y0, int x1, int y1);
    // Writes what is still gathered (see flush).
    ~PdfPainter() override { flush(); }
    PdfPainter(const PdfPainter &) = delete;
    PdfPainter &operator=(const PdfPainter &) = delete;
    // Writes the gathered rectangles.
    void flush();
    // Text whose ink lies wholly left of `left` or right of `right` (picture pixels) is left
    // out: it would fall in the page's margins.
    void setVisible(double left, double right) {
        left_ = left;
        right_ = right;
    }
    // False when the fonts failed (PdfGlyphFonts::status()).
    bool ok() const { return ok_; }

    void setColour(TapeColour colour) override { colour_ = colour; }
    void fillRect(int x, int y, int w, int h) override;
    void line(int x0, int y0, int x1, int y1) override;
    void setFont(int font, int size) override;
    void text(const char *text, int x, int y) override;
    std::optional<PaintBounds> bounds() const override;

private:
    bool culled(long long x, long long y, long long w, long long h) const;
    void fillColour(TapeColour colour);
    void strokeColour(TapeColour colour);
    void lineWidth(int width);
    void point(long long twiceX, long long twiceY);

    std::string &out_;
    PdfGlyphFonts &fonts_;
    long long x0_, y0_, x1_, y1_;
    RectLayers layers_;
    TapeColour colour_ = 0;
    bool fillSet_ = false, strokeSet_ = false;
    TapeColour fill_ = 0, stroke_ = 0;
    int lineWidth_ = 1; // PDF's initial width
    int font_ = 0, size_ = 12;
    bool ok_ = true;
    double left_ = -1e300, right_ = 1e300;
};

// A colour's components for "rg" and "RG", with a space after each.
std::string pdfColour(TapeColour colour);

} // namespace tw
