// A real main window on the test X server, with its own temporary HOME (so the preferences file
// is private) and every message box, question and file dialog answered by the test.
#pragma once

#include "app/App.h"
#include "app/AppDialogs.h"
#include "framework/Dialogs.h"
#include "framework/Flt_Menubar.h"
#include "scoretape/PlaybackController.h"
#include "scoretape/ScoreTape.h"
#include "testsupport/NoteMakers.h"
#include "testsupport/TempFiles.h"
#include "tw/Identity.h"

#include <FL/Fl.H>
#include <FL/Fl_Menu_Item.H>
#include <FL/Fl_Preferences.H>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace tw {

// The preferences of the editor as a separate reader or writer sees them (the file on disk).
inline Fl_Preferences editorPrefs() {
    return Fl_Preferences(Fl_Preferences::USER, tw::identity::vendor, tw::identity::application);
}

inline int storedInt(const char *key, int def = -12345) {
    Fl_Preferences p = editorPrefs();
    int v = 0;
    p.get(key, v, def);
    return v;
}

inline std::string storedString(const char *key, const char *def = "<missing>") {
    Fl_Preferences p = editorPrefs();
    char buffer[4096];
    p.get(key, buffer, def, sizeof buffer);
    return buffer;
}

inline Flt_AppConfig editorConfig() {
    Flt_AppConfig config(200, 200);
    config.title = tw::identity::title;
    config.vendor = tw::identity::vendor;
    config.application = tw::identity::application;
    return config;
}

// The main window's title: the program's name and version, then suffix (" - " and the file name).
inline std::string titleWith(const std::string &suffix) {
    return tw::identity::title + suffix;
}

class AppHarness {
public:
    // Every dialog the editor opened, in order.
    std::vector<DialogCall> dialogs;
    // Answers for the questions, front first; an empty queue answers 0.
    std::deque<int> answers;
    // Answers for the file dialogs; an empty queue cancels. Each call's message is recorded.
    std::deque<FileChoice> files;
    std::vector<std::string> fileDialogs;
    // Answers for the import window, front first; an empty queue cancels. Each call's file
    // and tracks are recorded.
    std::deque<ImportChoice> imports;
    std::vector<std::pair<std::string, std::vector<tw::TrackSummary>>> importWindows;

    TempHome home;
    Flt_AppConfig config = editorConfig();
    std::unique_ptr<App> app;

    AppHarness()
        : responder([this](const DialogCall &call) {
              dialogs.push_back(call);
              if (!call.question || answers.empty())
                  return 0;
              const int a = answers.front();
              answers.pop_front();
              return a;
          }) {
        setFileChooser([this](const char *message, const char *, const char *) {
            fileDialogs.push_back(message);
            if (files.empty())
                return FileChoice{};
            FileChoice c = files.front();
            files.pop_front();
            return c;
        });
        setImportChooser(
            [this](const std::string &path, const std::vector<tw::TrackSummary> &tracks) {
                importWindows.emplace_back(path, tracks);
                if (imports.empty())
                    return ImportChoice{};
                ImportChoice c = imports.front();
                imports.pop_front();
                return c;
            });
    }
    ~AppHarness() {
        app.reset();
        setFileChooser(nullptr);
        setImportChooser(nullptr);
    }

    // Constructs the window, shows it and runs the start hook with the given arguments.
    App &start(std::vector<std::string> args = {}) {
        app = std::make_unique<App>(config);
        app->show();
        std::vector<char *> argv{const_cast<char *>("tapeworks2")};
        for (std::string &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        app->start(int(argv.size() - 1), argv.data());
        Fl::check();
        return *app;
    }
    // Ends the run as the program does: the destructor writes the settings and the file.
    void finish() { app.reset(); }

    Flt_ScoreTape &tape() { return *app->scoreTape(); }
    Flt_Menubar &menu() { return *app->menuBar(); }
    // The mark of any item (toggle or radio).
    bool marked(int id) {
        const Fl_Menu_Item *item = menu().findItem(id);
        return item && item->value();
    }
    std::string lastMessage() const { return dialogs.empty() ? "" : dialogs.back().text; }
    std::string title() const { return app->label() ? app->label() : ""; }
    // A left click without modifiers at (tick, note), as the tape reports it.
    void click(unsigned tick, unsigned note, int state = FL_BUTTON1) {
        app->onScoreClick(tick, note, state, true);
        app->onScoreClick(tick, note, state, false);
    }

private:
    ScopedDialogResponder responder;
};

} // namespace tw
