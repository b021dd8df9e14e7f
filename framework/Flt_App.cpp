#include "framework/Flt_App.h"

#include "framework/AppIcon.h"
#include "framework/WindowGeometry.h"

#include <FL/Fl.H>
#include <FL/fl_ask.H>

#include <cstdio>
#include <string>

namespace tw {

Flt_App *theApp = nullptr;

namespace {

// FLTK's lock support is switched on once per process; the GUI thread holds the lock.
void enableThreadSupport() {
    static const bool locked = (Fl::lock(), true);
    (void)locked;
}

} // namespace

Flt_App::Flt_App(Flt_AppConfig &c)
    : Fl_Double_Window(c.w > 0 ? c.w : 1, c.h > 0 ? c.h : 1),
      prefsFile(userPreferencesPath(c.vendor, c.application), c.application),
      prefs(prefsFile.folder().c_str(), c.vendor, c.application) {
    if (!prefsFile.stagingProblem().empty())
        std::fprintf(stderr, "Settings are written straight to %s: %s\n",
                     prefsFile.realPath().c_str(), prefsFile.stagingProblem().c_str());
    if (!c.border)
        border(0);
    // c.console: standard input and output already reach the terminal on this platform.
    callback(closeCallback, this);

    {
        Fl_Preferences posize(prefs, "posize");
        const WindowPlacement placement = restoreWindowPlacement(posize, c);
        if (placement.move)
            position(placement.x, placement.y);
        resize(x(), y(), placement.w, placement.h);
    }
    if (c.minW > 0 && c.minH > 0)
        size_range(c.minW, c.minH);

    setTitle((c.title && *c.title) ? c.title : c.application);
    // Message boxes carry the program's name.
    fl_message_title_default((c.name && *c.name) ? c.name : label());

    enableThreadSupport();
    Fl::scheme("gtk+");
    icon(appIcon());
    Fl::visual(FL_RGB);

    escapeMode = 0;
    config = c;
}

Flt_App::~Flt_App() {
    {
        Fl_Preferences posize(prefs, "posize");
        saveWindowPlacement(posize, x(), y(), w(), h());
    }
    if (theApp == this)
        theApp = nullptr;
    const SafeFileStatus saved = savePreferences();
    if (!saved)
        std::fprintf(stderr, "Settings not saved: %s\n", saved.message.c_str());
    // prefs and its staged copy go next; the window and its children after them.
}

SafeFileStatus Flt_App::savePreferences() {
    prefs.flush();
    return prefsFile.publish();
}

void Flt_App::start(int, char **) {}

bool Flt_App::queryClose() {
    return true;
}

int Flt_App::run(int argc, char **argv) {
    show();
    theApp = this;
    start(argc, argv);
    return Fl::run();
}

int Flt_App::handle(int event) {
    if (event == FL_KEYDOWN && Fl::event_key() == FL_Escape) {
        if (escapeMode == 0) {
            if (queryClose())
                hide();
        } else if (escapeMode == 1) {
            iconize();
        }
        return 1;
    }
    return Fl_Double_Window::handle(event);
}

void Flt_App::setTitle(const char *title) {
    const std::string base = title ? title : "";
    copy_label(base.c_str());
    titleLength = static_cast<int>(base.size());
}

void Flt_App::setTitleSuffix(const char *suffix) {
    std::string title = label() ? label() : "";
    if (title.size() > static_cast<size_t>(titleLength))
        title.resize(static_cast<size_t>(titleLength));
    title += suffix ? suffix : "";
    copy_label(title.c_str());
}

void Flt_App::closeCallback(Fl_Widget *, void *app) {
    auto *window = static_cast<Flt_App *>(app);
    if (!window)
        return;
    const bool escape =
        (Fl::event() == FL_SHORTCUT || Fl::event() == FL_KEYDOWN) && Fl::event_key() == FL_Escape;
    if (escape && window->escapeMode != 0)
        return;
    if (window->queryClose())
        window->hide();
}

void Flt_App::returnFocusToMainWindow() {
    if (theApp && theApp->shown() && theApp->visible())
        Fl::focus(theApp);
}

} // namespace tw
