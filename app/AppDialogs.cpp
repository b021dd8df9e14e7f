#include "app/AppDialogs.h"

#include "framework/Flt_App.h"

#include <FL/Fl_File_Chooser.H>

namespace {
FileChooser &installedChooser() {
    static FileChooser chooser;
    return chooser;
}
} // namespace

void setFileChooser(FileChooser chooser) {
    installedChooser() = std::move(chooser);
}

FileChoice chooseFile(const char *message, const char *pattern, const char *initial) {
    if (installedChooser())
        return installedChooser()(message, pattern, initial);
    FileChoice choice;
    if (const char *path = fl_file_chooser(message, pattern, initial, 0)) {
        choice.chosen = true;
        choice.path = path;
    }
    Flt_App::returnFocusToMainWindow();
    return choice;
}
