#pragma once

#include <string>

// The program's icon as the bytes of a PNG file, each pixel drawn as scale x scale pixels
// (scale 1 to 16), for the desktop entry that the installation puts in place.
std::string appIconPng(int scale);
