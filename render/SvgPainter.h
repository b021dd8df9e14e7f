// The board's painter that writes SVG to a file as it draws: every rectangle, line and text
// goes out at once (through a small buffer), so the memory it holds does not grow with the
// picture. Coordinates are pixels, as on the screen.
#pragma once

#include "render/ExportFile.h"
#include "render/ExportParts.h"
#include "render/Painter.h"

#include <string>

namespace tw {

class SvgPainter : public Painter {
public:
    // Writes the document's head for a picture of w x h pixels. With a ticker, every element
    // counts a step, and a cancel stops the writing.
    SvgPainter(ExportFile &file, int w, int h, ProgressTicker *ticker = nullptr);
    SvgPainter(const SvgPainter &) = delete;
    SvgPainter &operator=(const SvgPainter &) = delete;

    void setColour(TapeColour colour) override;
    void fillRect(int x, int y, int w, int h) override;
    void line(int x0, int y0, int x1, int y1) override;
    void setFont(int font, int size) override;
    void text(const char *text, int x, int y) override;

    // Writes the document's end and what is buffered; false when a write failed.
    bool finish();

private:
    // Opens a group of the current colour when the last one had another.
    void useColour();
    void put(const char *format, ...) __attribute__((format(printf, 2, 3)));
    void flush();

    ExportFile &file_;
    ProgressTicker *ticker_;
    std::string buffer_;
    unsigned colour_ = 0;        // 0xRRGGBB of the next element
    long long groupColour_ = -1; // of the open group; -1 for none
    std::string fontAttributes_;
    bool ok_ = true;
};

} // namespace tw
