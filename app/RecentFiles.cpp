#include "app/RecentFiles.h"

#include "framework/Preferences.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace tw {

std::vector<std::string> withRecentFile(std::vector<std::string> list, const std::string &path) {
    if (path.empty())
        return list;
    list = withoutRecentFile(std::move(list), path);
    list.insert(list.begin(), path);
    if (list.size() > recentFileLimit)
        list.resize(recentFileLimit);
    return list;
}

std::vector<std::string> withoutRecentFile(std::vector<std::string> list, const std::string &path) {
    list.erase(std::remove(list.begin(), list.end(), path), list.end());
    return list;
}

std::string absoluteFilePath(const std::string &path) {
    if (path.empty())
        return "";
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error)
        return path;
    return absolute.lexically_normal().string();
}

std::vector<std::string> readRecentFiles(Fl_Preferences &prefs) {
    std::vector<std::string> list;
    for (std::size_t i = 0; i < recentFileLimit; ++i) {
        std::string path;
        if (!prefGetString(prefs, prefArrayKey(recentFileKey, int(i)).c_str(), path))
            continue;
        if (path.empty() || path[0] != '/' ||
            std::find(list.begin(), list.end(), path) != list.end())
            continue;
        list.push_back(path);
    }
    return list;
}

void storeRecentFiles(Fl_Preferences &prefs, const std::vector<std::string> &list) {
    for (std::size_t i = 0; i < recentFileLimit; ++i) {
        const std::string key = prefArrayKey(recentFileKey, int(i));
        if (i < list.size())
            prefs.set(key.c_str(), list[i].c_str());
        else
            prefs.deleteEntry(key.c_str());
    }
}

std::string recentFileLabel(const std::string &path) {
    std::string label;
    for (char c : path) {
        label += c;
        if (c == '&')
            label += '&';
    }
    return label;
}

} // namespace tw
