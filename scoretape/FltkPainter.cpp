#include "scoretape/FltkPainter.h"

#include <FL/fl_draw.H>

namespace tw {

void FltkPainter::setColour(TapeColour colour) {
    fl_color(Fl_Color(colour));
}

void FltkPainter::fillRect(int x, int y, int w, int h) {
    fl_rectf(x, y, w, h);
}

void FltkPainter::line(int x0, int y0, int x1, int y1) {
    fl_line(x0, y0, x1, y1);
}

void FltkPainter::setFont(int font, int size) {
    fl_font(Fl_Font(font), Fl_Fontsize(size));
}

void FltkPainter::text(const char *text, int x, int y) {
    fl_draw(text, x, y);
}

} // namespace tw
