#include "render/PdfPainter.h"

#include "render/Palette.h"

#include <algorithm>
#include <cstdlib>

namespace tw {

namespace {
// Room kept around the slice for text, whose extent is not measured.
constexpr long long textRoom = 100;
} // namespace

std::string pdfColour(TapeColour colour) {
    const Rgb c = colourRgb(colour);
    std::string out;
    for (const int v : {c.r, c.g, c.b}) {
        appendPdfNumber(out, v / 255.0, 4);
        out += ' ';
    }
    return out;
}

PdfPainter::PdfPainter(std::string &out, PdfGlyphFonts &fonts, int x0, int y0, int x1, int y1)
    : out_(out), fonts_(fonts), x0_(x0), y0_(y0), x1_(std::max(x0, x1)), y1_(std::max(y0, y1)) {
    layers_.setArea(x0_, y0_, x1_, y1_);
}

std::optional<PaintBounds> PdfPainter::bounds() const {
    return PaintBounds{x0_, y0_, x1_, y1_};
}

bool PdfPainter::culled(long long x, long long y, long long w, long long h) const {
    return x + w <= x0_ || y + h <= y0_ || x >= x1_ || y >= y1_;
}

void PdfPainter::fillColour(TapeColour colour) {
    if (fillSet_ && fill_ == colour)
        return;
    fillSet_ = true;
    fill_ = colour;
    out_ += pdfColour(colour);
    out_ += "rg\n";
}

void PdfPainter::strokeColour(TapeColour colour) {
    if (strokeSet_ && stroke_ == colour)
        return;
    strokeSet_ = true;
    stroke_ = colour;
    out_ += pdfColour(colour);
    out_ += "RG\n";
}

void PdfPainter::lineWidth(int width) {
    if (width == lineWidth_)
        return;
    lineWidth_ = width;
    appendPdfInt(out_, width);
    out_ += " w\n";
}

void PdfPainter::point(long long twiceX, long long twiceY) {
    appendPdfHalves(out_, twiceX - 2 * x0_);
    out_ += ' ';
    appendPdfHalves(out_, twiceY);
    out_ += ' ';
}

void PdfPainter::flush() {
    if (layers_.empty())
        return;
    layers_.drain([this](TapeColour colour, int thickness, bool stroke,
                         const std::vector<const RectLayers::Rect *> &rects) {
        if (stroke) {
            // Thick bars as one stroke along their middles.
            strokeColour(colour);
            lineWidth(std::abs(thickness));
            for (const RectLayers::Rect *r : rects) {
                if (thickness > 0) {
                    point(2LL * r->x, 2LL * r->y + r->h);
                    out_ += "m ";
                    point(2LL * (r->x + r->w), 2LL * r->y + r->h);
                } else {
                    point(2LL * r->x + r->w, 2LL * r->y);
                    out_ += "m ";
                    point(2LL * r->x + r->w, 2LL * (r->y + r->h));
                }
                out_ += "l\n";
            }
            out_ += "S\n";
        } else {
            // One at a time: viewers fit a path of one rectangle to whole device pixels (as
            // they do strokes), so that thin ones keep their width.
            fillColour(colour);
            for (const RectLayers::Rect *r : rects) {
                appendPdfInt(out_, r->x - x0_);
                out_ += ' ';
                appendPdfInt(out_, r->y);
                out_ += ' ';
                appendPdfInt(out_, r->w);
                out_ += ' ';
                appendPdfInt(out_, r->h);
                out_ += " re f\n";
            }
        }
    });
}

void PdfPainter::fillRect(int x, int y, int w, int h) {
    if (w <= 0 || h <= 0 || culled(x, y, w, h))
        return;
    layers_.add(x, y, w, h, colour_);
}

void PdfPainter::line(int x0, int y0, int x1, int y1) {
    // Lines along the axes as the pixels they cover, end points included; others through the
    // centres of the end points' pixels.
    if (x0 == x1 || y0 == y1) {
        fillRect(std::min(x0, x1), std::min(y0, y1), std::abs(x1 - x0) + 1, std::abs(y1 - y0) + 1);
        return;
    }
    flush();
    strokeColour(colour_);
    lineWidth(1);
    point(2LL * x0 + 1, 2LL * y0 + 1);
    out_ += "m ";
    point(2LL * x1 + 1, 2LL * y1 + 1);
    out_ += "l\nS\n";
}

void PdfPainter::setFont(int font, int size) {
    font_ = font;
    size_ = size;
}

void PdfPainter::text(const char *text, int x, int y) {
    if (culled((long long)x - textRoom, (long long)y - textRoom, 2 * textRoom, 2 * textRoom))
        return;
    flush();
    fillColour(colour_);
    if (!fonts_.show(out_, font_, size_, text, double((long long)x - x0_), y, true,
                     left_ - double(x0_), right_ - double(x0_)))
        ok_ = false;
}

} // namespace tw
