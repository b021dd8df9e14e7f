// Small rules about file names used by the file commands.
#pragma once

#include <string>

namespace tw {

// The part of a path after its last '/' or '\' (the whole path when it holds neither).
std::string baseName(const std::string &path);

// A name chosen in the save dialog gets ".mid" appended unless its extension (the text from the
// last '.' on) is exactly ".mid".
std::string withMidExtension(const std::string &name);

// The title suffix for a file: " - " and its base name, or empty when the base name is empty.
std::string titleSuffixFor(const std::string &path);

} // namespace tw
