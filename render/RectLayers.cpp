#include "render/RectLayers.h"

#include <algorithm>
#include <cstdlib>
#include <numeric>

namespace tw {

namespace {
// The cells over the area: at most this many, however large it is.
constexpr long long maxCells = 4096;
} // namespace

void RectLayers::setArea(long long x0, long long y0, long long x1, long long y1) {
    x0_ = x0;
    y0_ = y0;
    x1_ = std::max(x1, x0);
    y1_ = std::max(y1, y0);
    const long long width = x1_ - x0_, height = y1_ - y0_;
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

void RectLayers::add(int x, int y, int w, int h, TapeColour colour) {
    const int x1 = int(std::min((long long)x + w, x1_));
    const int y1 = int(std::min((long long)y + h, y1_));
    x = int(std::max<long long>(x, x0_));
    y = int(std::max<long long>(y, y0_));
    if (x1 <= x || y1 <= y)
        return;
    Rect g{x, y, x1 - x, y1 - y, colour, 0};
    const int c0 = int((x - x0_) / cellSize_), c1 = int((x1 - 1 - x0_) / cellSize_);
    const int r0 = int((y - y0_) / cellSize_), r1 = int((y1 - 1 - y0_) / cellSize_);
    const auto cell = [&](int row, int column) {
        return std::size_t(row) * std::size_t(cellColumns_) + std::size_t(column);
    };
    for (int row = r0; row <= r1; ++row)
        for (int column = c0; column <= c1; ++column)
            for (int32_t l = cellHeads_[cell(row, column)]; l >= 0; l = cellLinks_[l].next) {
                const Rect &o = rects_[cellLinks_[l].rect];
                if (o.x < x1 && x < o.x + o.w && o.y < y1 && y < o.y + o.h)
                    g.layer = std::max(g.layer, o.layer + (o.colour != g.colour ? 1u : 0u));
            }
    const auto index = uint32_t(rects_.size());
    rects_.push_back(g);
    for (int row = r0; row <= r1; ++row)
        for (int column = c0; column <= c1; ++column) {
            const long long left = x0_ + (long long)column * cellSize_;
            const long long top = y0_ + (long long)row * cellSize_;
            const bool covers = x <= left && y <= top && x1 >= std::min(left + cellSize_, x1_) &&
                                y1 >= std::min(top + cellSize_, y1_);
            int32_t &head = cellHeads_[cell(row, column)];
            cellLinks_.push_back(CellLink{index, covers ? -1 : head});
            head = int32_t(cellLinks_.size() - 1);
        }
}

void RectLayers::drain(const Run &run) {
    // Layer by layer, a colour at a time. Within a layer rectangles of different colours never
    // overlap, and of two that overlap in different colours the later lies in a higher layer:
    // every pixel ends in the colour of the last rectangle drawn over it, as when they are
    // drawn one by one in their order. Within a colour, bars of one thickness and direction
    // go together.
    const auto thickness = [](const Rect &r) { return r.w >= r.h ? r.h : -r.w; };
    order_.resize(rects_.size());
    std::iota(order_.begin(), order_.end(), 0u);
    std::stable_sort(order_.begin(), order_.end(), [&](uint32_t a, uint32_t b) {
        const Rect &p = rects_[a], &q = rects_[b];
        if (p.layer != q.layer)
            return p.layer < q.layer;
        if (p.colour != q.colour)
            return p.colour < q.colour;
        return thickness(p) < thickness(q);
    });
    for (std::size_t i = 0; i < order_.size();) {
        const Rect &first = rects_[order_[i]];
        const int t = thickness(first);
        run_.clear();
        for (; i < order_.size(); ++i) {
            const Rect &r = rects_[order_[i]];
            if (r.layer != first.layer || r.colour != first.colour || thickness(r) != t)
                break;
            run_.push_back(&r);
        }
        run(first.colour, t, run_.size() > 1 && std::abs(t) >= minStrokeWidth, run_);
    }
    rects_.clear();
    cellLinks_.clear();
    std::fill(cellHeads_.begin(), cellHeads_.end(), -1);
}

} // namespace tw
