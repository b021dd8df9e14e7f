// The board's painter on FLTK's current drawing surface (inside a widget's draw()).
#pragma once

#include "render/Painter.h"

namespace tw {

class FltkPainter : public Painter {
public:
    void setColour(TapeColour colour) override;
    void fillRect(int x, int y, int w, int h) override;
    void line(int x0, int y0, int x1, int y1) override;
    void setFont(int font, int size) override;
    void text(const char *text, int x, int y) override;
};

} // namespace tw
