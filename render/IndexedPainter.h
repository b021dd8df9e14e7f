// The board's painter on rows of colour indexes, for the PNG export: rectangles and lines
// along the axes fill their pixels directly; text and slanted lines are drawn by Cairo on a
// patch of the colours beneath them and come back as indexes, so that every pixel is the one
// Cairo draws on a whole picture. The palette gathers the colours met, in that order.
#pragma once

#include "render/Painter.h"

#include <cairo.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tw {

class IndexedPainter : public Painter {
public:
    static constexpr std::size_t maxColours = 65536;

    // For a picture of width x height pixels; it starts out surveying.
    IndexedPainter(int width, int height);
    ~IndexedPainter() override;
    IndexedPainter(const IndexedPainter &) = delete;
    IndexedPainter &operator=(const IndexedPainter &) = delete;

    // Surveying draws nothing: it gathers the colours of everything filled and the rows that
    // text and slanted lines reach into (rowsDrawnByCairo), for the whole picture.
    void survey();
    // Draws rows y0 .. y0 + rows - 1 of the picture into `pixels`, `rows` rows of width
    // indexes.
    void setStrip(int y0, int rows, uint16_t *pixels);
    // No colour may join the palette any more: one that would is noted (paletteChanged).
    void freezePalette() { frozen_ = true; }

    const std::vector<uint32_t> &palette() const { return palette_; } // 0xRRGGBB
    // More colours were met than a palette holds: the pixels are not to be used.
    bool overflowed() const { return overflowed_; }
    bool paletteChanged() const { return changed_; }
    // The row ranges [first, end) that Cairo draws into, as the survey found them.
    const std::vector<std::pair<int, int>> &rowsDrawnByCairo() const { return cairoRows_; }

    void setColour(TapeColour colour) override;
    void fillRect(int x, int y, int w, int h) override;
    void line(int x0, int y0, int x1, int y1) override;
    void setFont(int font, int size) override;
    void text(const char *text, int x, int y) override;
    std::optional<PaintBounds> bounds() const override;

private:
    struct Box {
        long long x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    };
    uint16_t indexOf(uint32_t rgb);
    uint16_t colourIndex();
    // The ink of `text` at (0, 0) in the painter's font.
    const cairo_text_extents_t &extents(const char *text);
    // Draws through Cairo into `box` of the strip (or notes its rows when surveying).
    template <typename Draw> void throughCairo(Box box, const Draw &draw);

    int width_, height_;
    bool surveying_ = true;
    int y0_ = 0, rows_ = 0;
    uint16_t *pixels_ = nullptr;
    TapeColour colour_ = 0;
    bool resolved_ = false; // index_ is colour_'s
    uint16_t index_ = 0;
    int font_ = 0, fontSize_ = 14;
    std::vector<uint32_t> palette_;
    std::unordered_map<uint32_t, uint16_t> indexes_;
    // The indexes of colour numbers met lately (the board's notes change colour often).
    struct Recent {
        TapeColour colour = 0;
        uint16_t index = 0;
        bool known = false;
    };
    Recent recent_[64];
    // The indexes of colours met lately (the edges of text).
    struct RecentRgb {
        uint32_t rgb = 0;
        uint16_t index = 0;
        bool known = false;
    };
    RecentRgb recentRgb_[1024];
    bool frozen_ = false, overflowed_ = false, changed_ = false;
    std::vector<std::pair<int, int>> cairoRows_;
    // Texts measured in the painter's font (the board draws the same numbers strip by strip).
    std::unordered_map<std::string, cairo_text_extents_t> measured_;
    // Cairo's patch: grows to the largest box drawn; its context's font is the painter's.
    cairo_surface_t *patch_ = nullptr;
    cairo_t *cr_ = nullptr;
    bool fontSet_ = false;
};

} // namespace tw
