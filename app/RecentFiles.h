// The list of recently opened or saved files under "File/Recent files": absolute paths, the most
// recent first, kept in the preferences as "recentFile0" to "recentFile7". Plain functions, so
// that the rules can be checked without a display.
#pragma once
#include "app/SettingsKeys.h"

#include <FL/Fl_Preferences.H>

#include <cstddef>
#include <string>
#include <vector>

namespace tw {

constexpr std::size_t recentFileLimit = 8;
constexpr const char *recentFileKey = settings::recentFile;

// The list after path was opened or saved: path first, an older entry of it dropped, at most
// recentFileLimit entries. An empty path changes nothing.
std::vector<std::string> withRecentFile(std::vector<std::string> list, const std::string &path);

// The list without path.
std::vector<std::string> withoutRecentFile(std::vector<std::string> list, const std::string &path);

// path made absolute against the current folder and without "." and ".." steps; "" for "".
std::string absoluteFilePath(const std::string &path);

// The stored list: entries that are not absolute paths, repeats and entries beyond the limit
// (only a hand-edited file holds them) are left out.
std::vector<std::string> readRecentFiles(Fl_Preferences &prefs);

// Stores the list and deletes the keys of entries it no longer has.
void storeRecentFiles(Fl_Preferences &prefs, const std::vector<std::string> &list);

// The menu text of a path: FLTK's menus take '&' as a mark, so it is doubled.
std::string recentFileLabel(const std::string &path);

} // namespace tw
