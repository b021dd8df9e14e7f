#include "render/CairoPainter.h"

#include "render/Palette.h"

#include <algorithm>
#include <cstdlib>

namespace tw {

void CairoPainter::flush() {
    if (gathered_)
        cairo_fill(cr_);
    gathered_ = false;
}

void CairoPainter::setColour(TapeColour colour) {
    // Set on the context only when something is drawn in it.
    colour_ = colour;
}

void CairoPainter::useColour() {
    // Opaque rectangles of one colour give the same pixels filled one by one or together.
    if (colourSet_ && colour_ == contextColour_)
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
    if (w <= 0 || h <= 0)
        return;
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

CairoFontFace cairoFontFace(int font) {
    // FLTK's fonts come in fours: plain, bold, italic, bold italic; 4..7 are the fixed ones,
    // 8..11 the ones with serifs.
    const bool bold = font & 1, italic = font & 2;
    return {(font & ~3) == 4   ? "monospace"
            : (font & ~3) == 8 ? "serif"
                               : "sans-serif",
            italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
            bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL};
}

void selectCairoFont(cairo_t *cr, int font, int size) {
    const CairoFontFace face = cairoFontFace(font);
    cairo_select_font_face(cr, face.family, face.slant, face.weight);
    cairo_set_font_size(cr, size);
}

void CairoPainter::text(const char *text, int x, int y) {
    useColour();
    flush();
    cairo_move_to(cr_, x, y);
    cairo_show_text(cr_, text);
    cairo_new_path(cr_);
}

} // namespace tw
