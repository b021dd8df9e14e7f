#include "render/IndexedPainter.h"

#include "render/CairoPainter.h"
#include "render/Palette.h"

#include <algorithm>
#include <cmath>

namespace tw {

namespace {
// Pixels around the ink that antialiasing and the rounding of glyph positions may reach.
constexpr long long inkRoom = 3;

uint32_t rgbOf(TapeColour colour) {
    const Rgb c = colourRgb(colour);
    return uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b;
}
} // namespace

IndexedPainter::IndexedPainter(int width, int height) : width_(width), height_(height) {}

IndexedPainter::~IndexedPainter() {
    if (cr_)
        cairo_destroy(cr_);
    if (patch_)
        cairo_surface_destroy(patch_);
}

void IndexedPainter::survey() {
    surveying_ = true;
    pixels_ = nullptr;
}

void IndexedPainter::setStrip(int y0, int rows, uint16_t *pixels) {
    surveying_ = false;
    y0_ = y0;
    rows_ = rows;
    pixels_ = pixels;
}

std::optional<PaintBounds> IndexedPainter::bounds() const {
    if (surveying_)
        return std::nullopt;
    return PaintBounds{0, y0_, width_, (long long)y0_ + rows_};
}

uint16_t IndexedPainter::indexOf(uint32_t rgb) {
    RecentRgb &recent = recentRgb_[(rgb * 2654435761u) >> 22];
    if (recent.known && recent.rgb == rgb)
        return recent.index;
    const auto found = indexes_.find(rgb);
    if (found != indexes_.end()) {
        recent = {rgb, found->second, true};
        return found->second;
    }
    if (frozen_) {
        changed_ = true;
        return 0;
    }
    if (palette_.size() == maxColours) {
        overflowed_ = true;
        return 0;
    }
    const auto index = static_cast<uint16_t>(palette_.size());
    palette_.push_back(rgb);
    indexes_.emplace(rgb, index);
    return index;
}

uint16_t IndexedPainter::colourIndex() {
    if (!resolved_) {
        Recent &r = recent_[(colour_ * 2654435761u) >> 26];
        if (!r.known || r.colour != colour_) {
            const uint16_t index = indexOf(rgbOf(colour_));
            if (overflowed_ || changed_)
                return index; // not kept: that index is no colour's
            r = {colour_, index, true};
        }
        index_ = r.index;
        resolved_ = true;
    }
    return index_;
}

void IndexedPainter::setColour(TapeColour colour) {
    if (colour != colour_)
        resolved_ = false;
    colour_ = colour;
}

void IndexedPainter::fillRect(int x, int y, int w, int h) {
    if (w <= 0 || h <= 0)
        return;
    if (surveying_) {
        colourIndex();
        return;
    }
    const long long left = std::max<long long>(x, 0);
    const long long right = std::min<long long>((long long)x + w, width_);
    const long long top = std::max<long long>(y, y0_);
    const long long bottom = std::min<long long>((long long)y + h, (long long)y0_ + rows_);
    if (left >= right || top >= bottom)
        return;
    const uint16_t index = colourIndex();
    uint16_t *p = pixels_ + std::size_t(top - y0_) * std::size_t(width_) + std::size_t(left);
    const auto n = std::size_t(right - left);
    for (long long row = top; row < bottom; ++row, p += width_) {
        if (n == 1)
            *p = index;
        else
            std::fill_n(p, n, index);
    }
}

template <typename Draw> void IndexedPainter::throughCairo(Box box, const Draw &draw) {
    box.x0 = std::max<long long>(box.x0, 0);
    box.x1 = std::min<long long>(box.x1, width_);
    box.y0 = std::max<long long>(box.y0, 0);
    box.y1 = std::min<long long>(box.y1, height_);
    if (surveying_) {
        if (box.x0 >= box.x1 || box.y0 >= box.y1)
            return;
        // The board's labels all lie on the same rows: the ranges are few.
        if (!cairoRows_.empty() && box.y0 <= cairoRows_.back().second &&
            box.y1 >= cairoRows_.back().first) {
            cairoRows_.back().first = std::min<int>(cairoRows_.back().first, int(box.y0));
            cairoRows_.back().second = std::max<int>(cairoRows_.back().second, int(box.y1));
        } else {
            cairoRows_.emplace_back(int(box.y0), int(box.y1));
        }
        return;
    }
    box.y0 = std::max<long long>(box.y0, y0_);
    box.y1 = std::min<long long>(box.y1, (long long)y0_ + rows_);
    if (box.x0 >= box.x1 || box.y0 >= box.y1)
        return;
    const int w = int(box.x1 - box.x0), h = int(box.y1 - box.y0);
    if (!patch_ || cairo_image_surface_get_width(patch_) < w ||
        cairo_image_surface_get_height(patch_) < h) {
        const int pw = patch_ ? std::max(w, cairo_image_surface_get_width(patch_)) : w;
        const int ph = patch_ ? std::max(h, cairo_image_surface_get_height(patch_)) : h;
        if (cr_)
            cairo_destroy(cr_);
        if (patch_)
            cairo_surface_destroy(patch_);
        patch_ = cairo_image_surface_create(CAIRO_FORMAT_RGB24, pw, ph);
        cr_ = cairo_create(patch_);
        fontSet_ = false;
    }
    if (cairo_status(cr_) != CAIRO_STATUS_SUCCESS) {
        changed_ = true; // nothing drawn: the pixels are not Cairo's
        return;
    }
    if (!fontSet_) {
        selectCairoFont(cr_, font_, fontSize_);
        fontSet_ = true;
    }
    // The colours beneath, drawn, and back as indexes.
    cairo_surface_flush(patch_);
    unsigned char *data = cairo_image_surface_get_data(patch_);
    const int stride = cairo_image_surface_get_stride(patch_);
    const std::size_t W = std::size_t(width_);
    uint16_t *from = pixels_ + std::size_t(box.y0 - y0_) * W + std::size_t(box.x0);
    for (int y = 0; y < h; ++y) {
        auto *to = reinterpret_cast<uint32_t *>(data + std::ptrdiff_t(y) * stride);
        for (int x = 0; x < w; ++x)
            to[x] = palette_[from[std::size_t(y) * W + std::size_t(x)]];
    }
    cairo_surface_mark_dirty(patch_);
    cairo_identity_matrix(cr_);
    cairo_translate(cr_, double(-box.x0), double(-box.y0));
    setCairoColour(cr_, colour_);
    draw(cr_);
    cairo_surface_flush(patch_);
    // Only the pixels the drawing changed are looked up.
    for (int y = 0; y < h; ++y) {
        const auto *back = reinterpret_cast<const uint32_t *>(data + std::ptrdiff_t(y) * stride);
        uint16_t *row = from + std::size_t(y) * W;
        for (int x = 0; x < w; ++x) {
            const uint32_t rgb = back[x] & 0xFFFFFFu;
            if (rgb != palette_[row[x]])
                row[x] = indexOf(rgb);
        }
    }
}

void IndexedPainter::line(int x0, int y0, int x1, int y1) {
    // Lines along the axes as the pixels they cover, end points included.
    if (x0 == x1 || y0 == y1) {
        fillRect(std::min(x0, x1), std::min(y0, y1), std::abs(x1 - x0) + 1, std::abs(y1 - y0) + 1);
        return;
    }
    const Box box{std::min<long long>(x0, x1) - inkRoom, std::min<long long>(y0, y1) - inkRoom,
                  std::max<long long>(x0, x1) + inkRoom, std::max<long long>(y0, y1) + inkRoom};
    throughCairo(box, [&](cairo_t *cr) { strokeCairoLine(cr, x0, y0, x1, y1); });
}

void IndexedPainter::setFont(int font, int size) {
    if (font == font_ && size == fontSize_)
        return;
    font_ = font;
    fontSize_ = size;
    fontSet_ = false;
    measured_.clear();
}

const cairo_text_extents_t &IndexedPainter::extents(const char *text) {
    auto found = measured_.find(text);
    if (found != measured_.end())
        return found->second;
    cairo_surface_t *surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
    cairo_t *cr = cairo_create(surface);
    selectCairoFont(cr, font_, fontSize_);
    cairo_text_extents_t e{};
    cairo_text_extents(cr, text, &e);
    if (cairo_status(cr) != CAIRO_STATUS_SUCCESS)
        e = cairo_text_extents_t{};
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return measured_.emplace(text, e).first->second;
}

void IndexedPainter::text(const char *text, int x, int y) {
    const cairo_text_extents_t &e = extents(text);
    if (e.width <= 0 || e.height <= 0)
        return; // no ink
    const Box box{(long long)std::floor(x + e.x_bearing) - inkRoom,
                  (long long)std::floor(y + e.y_bearing) - inkRoom,
                  (long long)std::ceil(x + e.x_bearing + e.width) + inkRoom,
                  (long long)std::ceil(y + e.y_bearing + e.height) + inkRoom};
    throughCairo(box, [&](cairo_t *cr) {
        cairo_move_to(cr, x, y);
        cairo_show_text(cr, text);
        cairo_new_path(cr);
    });
}

} // namespace tw
