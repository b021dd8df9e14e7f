#include "render/CairoPainter.h"

#include "render/Palette.h"

#include <algorithm>
#include <cstdlib>

namespace tw {

namespace {
// Room kept around the tile for text, whose extent is not measured.
constexpr long long textRoom = 100;
} // namespace

void CairoPainter::setCull(int x, int y, int w, int h) {
    flush();
    cull_ = true;
    cullX_ = x;
    cullY_ = y;
    cullRight_ = (long long)x + std::max(w, 0);
    cullBottom_ = (long long)y + std::max(h, 0);
    layers_.setArea(cullX_, cullY_, cullRight_, cullBottom_);
}

std::optional<PaintBounds> CairoPainter::bounds() const {
    if (!cull_)
        return std::nullopt;
    return PaintBounds{cullX_, cullY_, cullRight_, cullBottom_};
}

bool CairoPainter::culled(long long x, long long y, long long w, long long h) const {
    return cull_ && (x + w <= cullX_ || y + h <= cullY_ || x >= cullRight_ || y >= cullBottom_);
}

void CairoPainter::flush() {
    if (gathered_)
        cairo_fill(cr_);
    gathered_ = false;
    if (!layers_.empty())
        drawGathered();
}

void CairoPainter::drawGathered() {
    layers_.drain([this](TapeColour colour, int thickness, bool stroke,
                         const std::vector<const RectLayers::Rect *> &rects) {
        setContextColour(colour);
        if (stroke) {
            cairo_set_line_width(cr_, std::abs(thickness));
            cairo_set_line_cap(cr_, CAIRO_LINE_CAP_BUTT);
            for (const RectLayers::Rect *r : rects)
                if (thickness > 0) {
                    cairo_move_to(cr_, r->x, r->y + r->h / 2.0);
                    cairo_line_to(cr_, r->x + r->w, r->y + r->h / 2.0);
                } else {
                    cairo_move_to(cr_, r->x + r->w / 2.0, r->y);
                    cairo_line_to(cr_, r->x + r->w / 2.0, r->y + r->h);
                }
            cairo_stroke(cr_);
        } else {
            // One at a time: a PDF writes a path of one rectangle in its short form.
            for (const RectLayers::Rect *r : rects) {
                cairo_rectangle(cr_, r->x, r->y, r->w, r->h);
                cairo_fill(cr_);
            }
        }
    });
}

void CairoPainter::setColour(TapeColour colour) {
    // Set on the context only when something is drawn in it: a tile skips most of what the
    // board would draw.
    colour_ = colour;
}

void CairoPainter::useColour() {
    // Opaque rectangles of one colour give the same pixels filled one by one or together.
    if (colourSet_ && colour_ == contextColour_ && layers_.empty())
        return;
    flush();
    setContextColour(colour_);
}

void CairoPainter::setContextColour(TapeColour colour) {
    if (colourSet_ && colour == contextColour_)
        return;
    colourSet_ = true;
    contextColour_ = colour;
    setCairoColour(cr_, colour);
}

void setCairoColour(cairo_t *cr, TapeColour colour) {
    const Rgb c = colourRgb(colour);
    cairo_set_source_rgb(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0);
}

void CairoPainter::fillRect(int x, int y, int w, int h) {
    if (w <= 0 || h <= 0 || culled(x, y, w, h))
        return;
    if (cull_) {
        layers_.add(x, y, w, h, colour_);
        return;
    }
    useColour();
    cairo_rectangle(cr_, x, y, w, h);
    gathered_ = true;
}

void CairoPainter::line(int x0, int y0, int x1, int y1) {
    // Lines along the axes as the pixels they cover, end points included.
    if (x0 == x1 || y0 == y1) {
        fillRect(std::min(x0, x1), std::min(y0, y1), std::abs(x1 - x0) + 1, std::abs(y1 - y0) + 1);
        return;
    }
    useColour();
    flush();
    strokeCairoLine(cr_, x0, y0, x1, y1);
}

void strokeCairoLine(cairo_t *cr, int x0, int y0, int x1, int y1) {
    cairo_set_line_width(cr, 1.0);
    cairo_move_to(cr, x0 + 0.5, y0 + 0.5);
    cairo_line_to(cr, x1 + 0.5, y1 + 0.5);
    cairo_stroke(cr);
}

void CairoPainter::setFont(int font, int size) {
    selectCairoFont(cr_, font, size);
}

void selectCairoFont(cairo_t *cr, int font, int size) {
    // FLTK's fonts come in fours: plain, bold, italic, bold italic; 4..7 are the fixed ones.
    const bool bold = font & 1, italic = font & 2;
    const char *family = (font & ~3) == 4 ? "monospace" : (font & ~3) == 8 ? "serif" : "sans-serif";
    cairo_select_font_face(cr, family, italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
}

void CairoPainter::text(const char *text, int x, int y) {
    if (culled(x - textRoom, y - textRoom, 2 * textRoom, 2 * textRoom))
        return;
    useColour();
    flush();
    cairo_move_to(cr_, x, y);
    cairo_show_text(cr_, text);
    cairo_new_path(cr_);
}

} // namespace tw
