#include "render/CairoPainter.h"

#include "render/Palette.h"

#include <algorithm>
#include <cstdlib>
#include <numeric>

namespace tw {

namespace {
// Room kept around the tile for text, whose extent is not measured.
constexpr long long textRoom = 100;
// The cells over the cull rectangle: at most this many, however large it is.
constexpr long long maxCells = 4096;
// Bars at least this many units thick are drawn as strokes along their middle (one number
// pair fewer than a rectangle); thinner ones are filled, as viewers widen thin strokes.
constexpr int minStrokeWidth = 3;
} // namespace

void CairoPainter::setCull(int x, int y, int w, int h) {
    flush();
    cull_ = true;
    cullX_ = x;
    cullY_ = y;
    cullRight_ = (long long)x + std::max(w, 0);
    cullBottom_ = (long long)y + std::max(h, 0);
    const long long width = cullRight_ - cullX_, height = cullBottom_ - cullY_;
    const auto cells = [&](long long size) {
        return ((width + size - 1) / size) * ((height + size - 1) / size);
    };
    cellSize_ = 32;
    while (cells(cellSize_) > maxCells)
        cellSize_ *= 2;
    cellColumns_ = int((width + cellSize_ - 1) / cellSize_);
    cellHeads_.assign(std::size_t(cells(cellSize_)), -1);
    cellLinks_.clear();
    rects_.clear();
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
    if (!rects_.empty())
        drawGathered();
}

void CairoPainter::gather(int x, int y, int w, int h) {
    const int x1 = int(std::min((long long)x + w, cullRight_));
    const int y1 = int(std::min((long long)y + h, cullBottom_));
    x = int(std::max<long long>(x, cullX_));
    y = int(std::max<long long>(y, cullY_));
    Gathered g{x, y, x1 - x, y1 - y, colour_, 0};
    const int c0 = int((x - cullX_) / cellSize_), c1 = int((x1 - 1 - cullX_) / cellSize_);
    const int r0 = int((y - cullY_) / cellSize_), r1 = int((y1 - 1 - cullY_) / cellSize_);
    const auto cell = [&](int row, int column) {
        return std::size_t(row) * std::size_t(cellColumns_) + std::size_t(column);
    };
    for (int row = r0; row <= r1; ++row)
        for (int column = c0; column <= c1; ++column)
            for (int32_t l = cellHeads_[cell(row, column)]; l >= 0; l = cellLinks_[l].next) {
                const Gathered &o = rects_[cellLinks_[l].rect];
                if (o.x < x1 && x < o.x + o.w && o.y < y1 && y < o.y + o.h)
                    g.layer = std::max(g.layer, o.layer + (o.colour != g.colour ? 1u : 0u));
            }
    const auto index = uint32_t(rects_.size());
    rects_.push_back(g);
    for (int row = r0; row <= r1; ++row)
        for (int column = c0; column <= c1; ++column) {
            const long long left = cullX_ + (long long)column * cellSize_;
            const long long top = cullY_ + (long long)row * cellSize_;
            const bool covers = x <= left && y <= top &&
                                x1 >= std::min(left + cellSize_, cullRight_) &&
                                y1 >= std::min(top + cellSize_, cullBottom_);
            int32_t &head = cellHeads_[cell(row, column)];
            cellLinks_.push_back(CellLink{index, covers ? -1 : head});
            head = int32_t(cellLinks_.size() - 1);
        }
}

void CairoPainter::drawGathered() {
    // Layer by layer, a colour at a time. Within a layer rectangles of different colours never
    // overlap, and of two that overlap in different colours the later lies in a higher layer:
    // every pixel ends in the colour of the last rectangle drawn over it, as when they are
    // drawn one by one in their order. Within a colour, bars of one thickness and direction
    // are stroked together.
    const auto thickness = [](const Gathered &r) { return r.w >= r.h ? r.h : -r.w; };
    std::vector<uint32_t> order(rects_.size());
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        const Gathered &p = rects_[a], &q = rects_[b];
        if (p.layer != q.layer)
            return p.layer < q.layer;
        if (p.colour != q.colour)
            return p.colour < q.colour;
        return thickness(p) < thickness(q);
    });
    for (std::size_t i = 0; i < order.size();) {
        const Gathered &first = rects_[order[i]];
        const int t = thickness(first);
        std::size_t end = i + 1;
        while (end < order.size() && rects_[order[end]].layer == first.layer &&
               rects_[order[end]].colour == first.colour && thickness(rects_[order[end]]) == t)
            ++end;
        setContextColour(first.colour);
        if (end - i > 1 && std::abs(t) >= minStrokeWidth) {
            cairo_set_line_width(cr_, std::abs(t));
            cairo_set_line_cap(cr_, CAIRO_LINE_CAP_BUTT);
            for (; i < end; ++i) {
                const Gathered &r = rects_[order[i]];
                if (t > 0) {
                    cairo_move_to(cr_, r.x, r.y + r.h / 2.0);
                    cairo_line_to(cr_, r.x + r.w, r.y + r.h / 2.0);
                } else {
                    cairo_move_to(cr_, r.x + r.w / 2.0, r.y);
                    cairo_line_to(cr_, r.x + r.w / 2.0, r.y + r.h);
                }
            }
            cairo_stroke(cr_);
        } else {
            // One at a time: a PDF writes a path of one rectangle in its short form.
            for (; i < end; ++i) {
                const Gathered &r = rects_[order[i]];
                cairo_rectangle(cr_, r.x, r.y, r.w, r.h);
                cairo_fill(cr_);
            }
        }
    }
    rects_.clear();
    cellLinks_.clear();
    std::fill(cellHeads_.begin(), cellHeads_.end(), -1);
}

void CairoPainter::setColour(TapeColour colour) {
    // Set on the context only when something is drawn in it: a tile skips most of what the
    // board would draw.
    colour_ = colour;
}

void CairoPainter::useColour() {
    // Opaque rectangles of one colour give the same pixels filled one by one or together.
    if (colourSet_ && colour_ == contextColour_ && rects_.empty())
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
        gather(x, y, w, h);
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
