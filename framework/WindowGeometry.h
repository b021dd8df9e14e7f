#pragma once

#include "framework/Flt_AppConfig.h"

#include <FL/Fl_Preferences.H>

namespace tw {

// Where the main window goes at start, from the "posize" group of the preferences.
struct WindowPlacement {
    bool move = false; // a usable position is stored (both x and y above 0)
    int x = 0, y = 0;  // window position when move is true (stored position - 4)
    int w = 0, h = 0;  // window size (client size + 8)
};

// Largest stored coordinate or size taken from the preferences file; anything beyond (or a size
// below the minimum) counts as missing, so a hand-edited file cannot ask for an absurd window.
constexpr int maxStoredGeometry = 16384;

// Reads "x", "y" and, when config has a minimum size, "w" and "h" from posize; stores the values
// that were used into config (position only when it is used) and returns the window geometry.
WindowPlacement restoreWindowPlacement(Fl_Preferences &posize, Flt_AppConfig &config);

// Writes "x", "y", "w", "h" of a window at (x, y) of w x h into posize, in the form that
// restoreWindowPlacement turns back into the same window.
void saveWindowPlacement(Fl_Preferences &posize, int x, int y, int w, int h);

} // namespace tw
