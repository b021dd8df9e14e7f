// "File/Recent files": the last files opened or saved.
#include "app/App.h"

#include "app/CommandIds.h"
#include "app/RecentFiles.h"
#include "framework/Dialogs.h"
#include "framework/Flt_Menubar.h"
#include "scoretape/ScoreTape.h"

#include <filesystem>
#include <system_error>

namespace tw {

namespace {
constexpr const char *recentFilesMenu = "File/Recent files";
}

void App::rememberRecentFile(const std::string &path) {
    settingsTouched();
    recentFiles = tw::withRecentFile(recentFiles, tw::absoluteFilePath(path));
    showRecentFiles();
}

void App::openRecentFile(std::size_t index) {
    if (index >= recentFiles.size())
        return;
    const std::string path = recentFiles[index];
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        recentFiles = tw::withoutRecentFile(recentFiles, path);
        showRecentFiles();
        showMessagef("%s is gone; it is removed from the recent files", path.c_str());
        return;
    }
    if (tape->model().dataChanged() && !queryClose())
        return;
    loadFile(path.c_str());
}

void App::showRecentFiles() {
    tw::storeRecentFiles(prefs, recentFiles);
    menubar->clearSubmenu(recentFilesMenu);
    const std::string prefix = std::string(recentFilesMenu) + "/";
    if (recentFiles.empty())
        menubar->add((prefix + "(None)").c_str(), cmdNoRecentFile, 0, FL_MENU_INACTIVE);
    // An absolute path after the last slash of the menu path is taken whole as the item's text.
    for (std::size_t i = 0; i < recentFiles.size(); ++i)
        menubar->add((prefix + tw::recentFileLabel(recentFiles[i])).c_str(), cmdRecentFile + int(i),
                     0, 0);
}

} // namespace tw
