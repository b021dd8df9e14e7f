#pragma once

#include <string>

namespace tw {

// Writes the program's icon, drawn at size x size pixels, as a PNG file (8-bit RGBA), for the
// icon theme that the installation fills. On failure no file is left behind and the reason is
// in error.
bool writeAppIconPng(const std::string &path, int size, std::string &error);

} // namespace tw
