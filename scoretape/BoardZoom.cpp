#include "scoretape/BoardZoom.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tw {

namespace {

int scaled(double factor, int size, int minimum) {
    return std::max(minimum, int(std::lround(size * factor)));
}

} // namespace

int zoomStepBy(int step, int delta) {
    return std::clamp(step + delta, 0, zoomStepCount - 1);
}

void zoomSizes(BoardView &view, double factor) {
    if (!(factor > 0))
        factor = 1;
    view.tickWidth = unsigned(scaled(factor, 8, 2));
    view.rowHeight = unsigned(scaled(factor, 11, 4));
}

BoardMetrics boardMetrics(double factor) {
    if (!(factor > 0))
        factor = 1;
    BoardMetrics m;
    m.labelStrip = scaled(factor, 11, 4); // one row high
    m.bottomMargin = scaled(factor, 4, 1);
    m.labelFontSize = scaled(factor, 10, 5);
    m.labelBaseline = scaled(factor, 9, 3);
    m.labelGap = scaled(factor, 10, 3);
    m.labelInset = scaled(factor, 2, 1);
    m.cornerInset = scaled(factor, 3, 1);
    m.noteColumnWidth = scaled(factor, 48, 24);
    return m;
}

unsigned anchoredFirstTick(unsigned tick, int px, unsigned tickWidth) {
    const unsigned before = px > 0 && tickWidth > 0 ? unsigned(px) / tickWidth : 0;
    return tick > before ? tick - before : 0;
}

unsigned anchoredBottomNote(unsigned note, int py, unsigned rowHeight, unsigned visibleRows) {
    // The pointer's note is visibleRows + bottom - py / rowHeight (the label strip is one row).
    const long long rows = py > 0 && rowHeight > 0 ? py / int(rowHeight) : 0;
    const long long bottom = (long long)note - visibleRows + rows;
    return unsigned(std::clamp(bottom, 0LL, 127LL));
}

bool isBlackKey(unsigned note) {
    constexpr unsigned blackKeys = (1u << 1) | (1u << 3) | (1u << 6) | (1u << 8) | (1u << 10);
    return (blackKeys >> (note % 12)) & 1u;
}

std::string pointerStatus(unsigned note, unsigned tick, double seconds) {
    std::string digits = std::to_string(tick), grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            grouped += ',';
        grouped += digits[i];
    }
    char time[32];
    std::snprintf(time, sizeof time, "%.1f s", seconds);
    return noteName(note) + " (" + std::to_string(note) + ") \u00b7 tick " + grouped + " \u00b7 " +
           time;
}

double scaleForDpi(double dpi) {
    // The X server derives the DPI from whole millimetres: a 192 dpi screen reads as 191.8.
    dpi = std::round(dpi);
    if (dpi >= 288)
        return 3;
    if (dpi >= 192)
        return 2;
    if (dpi >= 144)
        return 1.5;
    return 1;
}

double displayScale(double dpi, const char *overrideValue) {
    if (overrideValue && *overrideValue) {
        char *end = nullptr;
        const double value = std::strtod(overrideValue, &end);
        if (end && *end == '\0' && value >= 0.5 && value <= 4)
            return value;
    }
    return scaleForDpi(dpi);
}

} // namespace tw
