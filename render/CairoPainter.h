// The board's painter on a Cairo context: image surfaces (PNG), SVG and PDF. Coordinates are the
// context's user units; on an image surface without a transformation a unit is a pixel, and the
// rectangles and lines cover whole pixels as FLTK's do.
#pragma once

#include "render/Painter.h"
#include "render/RectLayers.h"

#include <cairo.h>

namespace tw {

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
    // clip or transformation. Without a cull rectangle, rectangles of one colour in a row are
    // gathered into one path and filled together when the colour changes or text or a slanted
    // line follows. With one, every rectangle up to the next text or slanted line is gathered
    // and they are drawn a colour at a time in an order that gives the same picture: a PDF
    // page then takes a few fills instead of one for every note.
    void flush();
    // Draws nothing outside this rectangle (a tile or a page of a large picture): what lies
    // wholly outside is skipped, rectangles are cut to it.
    void setCull(int x, int y, int w, int h);

    void setColour(TapeColour colour) override;
    void fillRect(int x, int y, int w, int h) override;
    void line(int x0, int y0, int x1, int y1) override;
    void setFont(int font, int size) override;
    void text(const char *text, int x, int y) override;
    std::optional<PaintBounds> bounds() const override;

private:
    bool culled(long long x, long long y, long long w, long long h) const;
    // Sets the painter's colour on the context, after filling what was gathered in another.
    void useColour();
    void setContextColour(TapeColour colour);
    void drawGathered();

    cairo_t *cr_;
    bool gathered_ = false;        // rectangles wait in the context's path (no cull rectangle)
    TapeColour colour_ = 0;        // the painter's colour
    bool colourSet_ = false;       // one was set on the context
    TapeColour contextColour_ = 0; // that one
    bool cull_ = false;
    long long cullX_ = 0, cullY_ = 0, cullRight_ = 0, cullBottom_ = 0;
    RectLayers layers_; // with a cull rectangle: the rectangles waiting
};

} // namespace tw
