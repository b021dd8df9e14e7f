#include "framework/WindowGeometry.h"

#include <algorithm>

namespace tw {

namespace {

// The window frame that the stored values leave out: the position is stored 4 pixels right of
// and below the window, the size 8 pixels smaller.
constexpr int frameOffset = 4;
constexpr int frameExtra = 8;

// A stored coordinate beyond the limit counts as missing.
int readCoordinate(Fl_Preferences &posize, const char *key, int def) {
    int value = def;
    posize.get(key, value, def);
    return value > maxStoredGeometry ? def : value;
}

// A stored size whose window would be smaller than the minimum window size, or beyond the
// limit, counts as missing (the stored size leaves out the frame that the window has).
int readSize(Fl_Preferences &posize, const char *key, int def, int minimumWindow) {
    int value = def;
    posize.get(key, value, def);
    if (value < minimumWindow - frameExtra || value > maxStoredGeometry)
        value = def;
    return value;
}

int saneSize(int size) {
    return std::clamp(size, 1, maxStoredGeometry);
}

} // namespace

WindowPlacement restoreWindowPlacement(Fl_Preferences &posize, Flt_AppConfig &config) {
    WindowPlacement placement;
    const int x = readCoordinate(posize, "x", config.x);
    const int y = readCoordinate(posize, "y", config.y);
    if (x > 0 && y > 0 && x <= maxStoredGeometry && y <= maxStoredGeometry) {
        placement.move = true;
        placement.x = x - frameOffset;
        placement.y = y - frameOffset;
        config.x = x;
        config.y = y;
    }
    if (config.minW > 0 && config.minH > 0) {
        const int w = saneSize(readSize(posize, "w", config.w, config.minW));
        const int h = saneSize(readSize(posize, "h", config.h, config.minH));
        placement.w = w + frameExtra;
        placement.h = h + frameExtra;
        config.w = w;
        config.h = h;
    } else {
        placement.w = saneSize(config.w) + frameExtra;
        placement.h = saneSize(config.h) + frameExtra;
    }
    return placement;
}

void saveWindowPlacement(Fl_Preferences &posize, int x, int y, int w, int h) {
    // Stored the way restoreWindowPlacement reads them (frame left out), so that the next start
    // puts the window exactly where it was instead of 4 pixels further up and left and 8 pixels
    // larger on every run.
    posize.set("x", x + frameOffset);
    posize.set("y", y + frameOffset);
    posize.set("w", std::max(1, w - frameExtra));
    posize.set("h", std::max(1, h - frameExtra));
}

} // namespace tw
