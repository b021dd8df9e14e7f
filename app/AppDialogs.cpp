#include "app/AppDialogs.h"

#include "app/FitWindow.h"
#include "framework/Flt_App.h"
#include "framework/WindowScale.h"

#include <FL/Fl.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_File_Input.H>
#include <FL/Fl_Native_File_Chooser.H>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>

namespace tw {

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

// FLTK's own dialog completes a name while it is typed and changes its folder at each '/',
// which garbles a path typed in one go. Typed text goes into its name field as typed: the
// field's callback then sees a key that completes nothing, as after Delete, and only updates
// the dialog's buttons. Return then opens or saves exactly the typed path.
int typeWithoutCompletion(int event, Fl_Window *window) {
    auto *input = dynamic_cast<Fl_File_Input *>(Fl::focus());
    const bool printable = Fl::event_length() > 0 && (unsigned char)Fl::event_text()[0] >= 0x20 &&
                           Fl::event_text()[0] != 0x7F;
    if (event != FL_KEYBOARD || !input || !printable || Fl::event_state(FL_CTRL | FL_ALT | FL_META))
        return Fl::handle_(event, window);
    const int key = Fl::e_keysym;
    Fl::e_keysym = FL_Delete;
    input->insert(Fl::event_text(), Fl::event_length());
    Fl::e_keysym = key;
    return 1;
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
        // FLTK's own dialog takes a relative name from the working folder; GTK's wants a name.
        chooser.preset_file(gtk ? fs::path(start).filename().c_str() : start.c_str());
    } else {
        chooser.directory(fs::current_path(ignored).c_str());
    }
    if (save && gtk)
        chooser.options(Fl_Native_File_Chooser::SAVEAS_CONFIRM);
    const Fl_Event_Dispatch previous = Fl::event_dispatch();
    Fl::event_dispatch(typeWithoutCompletion);
    if (!gtk) // FLTK's own chooser is laid out at the actual size; GTK's follows the desktop
        scaleWindowWhenShown(message ? message : "");
    const int shown = chooser.show();
    Fl::event_dispatch(previous);
    FileChoice choice;
    if (shown == 0 && chooser.filename() && *chooser.filename()) {
        choice.chosen = true;
        choice.path = chooser.filename();
        choice.replaceConfirmed = save && gtk;
    }
    Flt_App::returnFocusToMainWindow();
    return choice;
}

FitChooser &installedFitChooser() {
    static FitChooser chooser;
    return chooser;
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
    ImportChoice choice = runImportWindow(path, tracks);
    Flt_App::returnFocusToMainWindow();
    return choice;
}

void setFitChooser(FitChooser chooser) {
    installedFitChooser() = std::move(chooser);
}

FitChoice chooseFit(const std::string &instrument, const std::vector<tw::FitLine> &lines) {
    if (installedFitChooser())
        return installedFitChooser()(instrument, lines);
    FitChoice choice = runFitWindow(instrument, lines);
    Flt_App::returnFocusToMainWindow();
    return choice;
}

} // namespace tw
