#pragma once

#include <FL/Fl_RGB_Image.H>

#include <vector>

namespace tw {

// The program's icon: a small piano-roll picture drawn in code. The design is laid out on a
// grid of appIconSize pixels and drawn afresh for each size, so that larger icons stay sharp.
constexpr int appIconSize = 32;
// The sizes the drawing supports (the desktop's icon sizes lie well inside).
constexpr int appIconMinSize = 16;
constexpr int appIconMaxSize = 1024;

// size x size pixels, 4 bytes each (red, green, blue, alpha), row by row; empty for a size
// outside appIconMinSize..appIconMaxSize.
std::vector<unsigned char> appIconPixels(int size = appIconSize);

// The window icon at appIconSize as an FLTK image (built once, lives to the end of the program).
const Fl_RGB_Image *appIcon();

} // namespace tw
