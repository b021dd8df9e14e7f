// The board drawn whole on a Cairo context, the picture every other way of drawing it is tested
// against; and the Cairo drawing the file painters share: the faces of FLTK's font numbers, the
// colours, the slanted lines. Coordinates are the context's user units; on an image surface
// without a transformation a unit is a pixel, and the rectangles and lines cover whole pixels as
// FLTK's do.
#pragma once

#include "render/Painter.h"

#include <cairo.h>

namespace tw {

// The fontconfig family, slant and weight Cairo is given for an FLTK font number.
struct CairoFontFace {
    const char *family;
    cairo_font_slant_t slant;
    cairo_font_weight_t weight;
};
CairoFontFace cairoFontFace(int font);
// Selects the Cairo face and size of an FLTK font number and a height in pixels.
void selectCairoFont(cairo_t *cr, int font, int size);
// Makes an FLTK colour number the context's source.
void setCairoColour(cairo_t *cr, TapeColour colour);
// A one-pixel line through the centres of the end points' pixels.
void strokeCairoLine(cairo_t *cr, int x0, int y0, int x1, int y1);

class CairoPainter : public Painter {
public:
    explicit CairoPainter(cairo_t *cr) : cr_(cr) {}
    // Fills what is still gathered (see flush).
    ~CairoPainter() override { flush(); }
    CairoPainter(const CairoPainter &) = delete;
    CairoPainter &operator=(const CairoPainter &) = delete;
    // Draws what is gathered: call it before reading the context's status or changing its
    // clip or transformation. Rectangles of one colour in a row are gathered into one path and
    // filled together when the colour changes or text or a slanted line follows.
    void flush();

    void setColour(TapeColour colour) override;
    void fillRect(int x, int y, int w, int h) override;
    void line(int x0, int y0, int x1, int y1) override;
    void setFont(int font, int size) override;
    void text(const char *text, int x, int y) override;

private:
    // Sets the painter's colour on the context, after filling what was gathered in another.
    void useColour();
    void setContextColour(TapeColour colour);

    cairo_t *cr_;
    bool gathered_ = false;        // rectangles wait in the context's path
    TapeColour colour_ = 0;        // the painter's colour
    bool colourSet_ = false;       // one was set on the context
    TapeColour contextColour_ = 0; // that one
};

} // namespace tw
