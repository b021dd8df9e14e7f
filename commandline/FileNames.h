// Small rules about file names used by the file commands.
#pragma once

#include <string>

namespace tw {

// The role (safefile's setInputFile) of the file the melody was read from: an export never
// replaces it, a save of the melody may.
constexpr const char *melodyInputRole = "melody";

// The part of a path after its last '/' or '\' (the whole path when it holds neither).
std::string baseName(const std::string &path);

// A name chosen in the save dialog gets ".mid" appended unless its extension (the text from the
// last '.' on) is exactly ".mid".
std::string withMidExtension(const std::string &name);

// The title suffix for a file: " - " and its base name, or empty when the base name is empty.
std::string titleSuffixFor(const std::string &path);

} // namespace tw
