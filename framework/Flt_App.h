#pragma once

#include "framework/Flt_AppConfig.h"
#include "framework/PreferencesFile.h"

#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Preferences.H>

namespace tw {

// Base class of an application's main window. Keeps the window geometry in the per-user
// preferences file (group "posize"), builds the title from a fixed base and a changeable suffix,
// asks queryClose() before the window closes and runs the FLTK loop.
// Everything here runs on the GUI thread.
class Flt_App : public Fl_Double_Window {
public:
    // Restores the stored geometry and writes it back into config.
    explicit Flt_App(Flt_AppConfig &config);
    // Writes the window geometry and then the preferences file.
    ~Flt_App() override;

    // Escape: escapeMode 0 asks queryClose() and hides, 1 iconizes, other values do nothing.
    int handle(int event) override;

    // Called once by run() after the window is shown, before the event loop.
    virtual void start(int argc, char **argv);
    // Asked before the window closes; true allows it.
    virtual bool queryClose();

    // Shows the window, calls start() and runs the FLTK loop; returns Fl::run()'s result.
    int run(int argc, char **argv);

    void setTitle(const char *title);        // the base title (null counts as "")
    void setTitleSuffix(const char *suffix); // title = base title + suffix (null counts as "")

    // The window callback (close button): hides the window when queryClose() allows it. An
    // Escape that no widget took (FLTK's default closes the window) closes it only with
    // escapeMode 0.
    static void closeCallback(Fl_Widget *widget, void *app);

    // Gives the keyboard focus back to the main window after a dialog; nothing before run()
    // or while the window is hidden.
    static void returnFocusToMainWindow();

    // Writes the preferences file now (through the safe writer); the failure in words.
    SafeFileStatus savePreferences();

    // The user's preferences: FLTK works on a staged copy of the per-user file (vendor,
    // application) that savePreferences() and the destructor put in the real file's place.
    PreferencesFile prefsFile;
    Fl_Preferences prefs;
    int titleLength = 0;  // length of the base title; the suffix starts there
    int escapeMode = 0;   // 0 ask and close, 1 iconize, other: Escape does nothing here
    Flt_AppConfig config; // the configuration after the geometry was restored
};

// The running application, from run() until its destructor.
extern Flt_App *theApp;

} // namespace tw
