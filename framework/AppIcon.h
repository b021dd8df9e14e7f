#pragma once

#include <FL/Fl_RGB_Image.H>

#include <vector>

// The program's window icon: a small piano-roll picture drawn in code.
constexpr int appIconSize = 32;

// appIconSize x appIconSize pixels, 4 bytes each (red, green, blue, alpha), row by row.
std::vector<unsigned char> appIconPixels();

// The icon as an FLTK image (built once, lives to the end of the program).
const Fl_RGB_Image *appIcon();
