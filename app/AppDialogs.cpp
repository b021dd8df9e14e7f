#include "app/AppDialogs.h"

#include <FL/Fl.H>
#include <FL/Fl_File_Input.H>
#include <FL/Fl_Native_File_Chooser.H>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>

namespace {

FileChooser &installedChooser() {
    static FileChooser chooser;
    return chooser;
}

ImportChooser &installedImportChooser() {
    static ImportChooser chooser;
    return chooser;
}

// GTK's file dialog where the desktop is a GTK one; FLTK's own elsewhere.
bool onGtkDesktop() {
    const char *desktop = std::getenv("XDG_CURRENT_DESKTOP");
    if (!desktop)
        desktop = std::getenv("DESKTOP_SESSION");
    if (!desktop)
        return false;
    std::string name = desktop;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    for (const char *gtk :
         {"gnome", "xfce", "mate", "cinnamon", "unity", "budgie", "pantheon", "lxde"})
        if (name.find(gtk) != std::string::npos)
            return true;
    return false;
}

// FLTK's own dialog completes a name while it is typed and leaves the completion selected, so
// Return would take the completed name. Return in its name field drops that selection first:
// a whole typed path opens or saves exactly that path.
int dropCompletionOnReturn(int event, Fl_Window *window) {
    if (event == FL_KEYBOARD && (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter)) {
        if (auto *input = dynamic_cast<Fl_File_Input *>(Fl::focus())) {
            const int from = std::min(input->mark(), input->position());
            const int to = std::max(input->mark(), input->position());
            if (from != to) {
                const std::string text = input->value();
                const std::string typed =
                    text.substr(0, std::size_t(from)) +
                    text.substr(std::size_t(std::min<int>(to, int(text.size()))));
                input->value(typed.c_str());
                input->position(from);
            }
        }
    }
    return Fl::handle_(event, window);
}

FileChoice nativeChoice(const char *message, const char *pattern, const char *initial, bool save) {
    const bool gtk = onGtkDesktop();
    Fl::option(Fl::OPTION_FNFC_USES_GTK, gtk);
    Fl_Native_File_Chooser chooser(save ? Fl_Native_File_Chooser::BROWSE_SAVE_FILE
                                        : Fl_Native_File_Chooser::BROWSE_FILE);
    chooser.title(message);
    chooser.filter(pattern);
    namespace fs = std::filesystem;
    std::error_code ignored;
    const std::string start = initial ? initial : "";
    if (!start.empty()) {
        chooser.directory(fs::path(start).parent_path().c_str());
        chooser.preset_file(start.c_str());
    } else {
        chooser.directory(fs::current_path(ignored).c_str());
    }
    if (save && gtk)
        chooser.options(Fl_Native_File_Chooser::SAVEAS_CONFIRM);
    const Fl_Event_Dispatch previous = Fl::event_dispatch();
    Fl::event_dispatch(dropCompletionOnReturn);
    const int shown = chooser.show();
    Fl::event_dispatch(previous);
    FileChoice choice;
    if (shown == 0 && chooser.filename() && *chooser.filename()) {
        choice.chosen = true;
        choice.path = chooser.filename();
        choice.replaceConfirmed = save && gtk;
    }
    return choice;
}

} // namespace

void setFileChooser(FileChooser chooser) {
    installedChooser() = std::move(chooser);
}

FileChoice chooseFile(const char *message, const char *pattern, const char *initial) {
    if (installedChooser())
        return installedChooser()(message, pattern, initial);
    return nativeChoice(message, pattern, initial, false);
}

FileChoice chooseSaveFile(const char *message, const char *pattern, const char *initial) {
    if (installedChooser())
        return installedChooser()(message, pattern, initial);
    return nativeChoice(message, pattern, initial, true);
}

void setImportChooser(ImportChooser chooser) {
    installedImportChooser() = std::move(chooser);
}

ImportChoice chooseImport(const std::string &path, const std::vector<tw::TrackSummary> &tracks) {
    if (installedImportChooser())
        return installedImportChooser()(path, tracks);
    return runImportWindow(path, tracks);
}
