// The per-user preferences file, written through the safe writer.
//
// FLTK reads its preferences file when a root Fl_Preferences is made and writes it back with a
// plain truncating write. So that a crash, a kill or a full disk during that write cannot cost
// the user's settings, FLTK here works on a private copy in a staging folder, and publish()
// puts that copy in the real file's place atomically, through the one safe writer.
// GUI thread only.
#pragma once

#include "safefile/SafeFile.h"

#include <string>

namespace tw {

// The file in which FLTK keeps the user preferences of vendor and application:
// $HOME/.fltk/<vendor>/<application>.prefs (/etc/fltk/... without a HOME, as FLTK does).
std::string userPreferencesPath(const char *vendor, const char *application);

class PreferencesFile {
public:
    // Copies the real file (when there is one) into a new staging folder. When no staging
    // folder can be made, FLTK works on the real file itself and publish() has nothing to do;
    // stagingProblem() says why.
    PreferencesFile(const std::string &realPath, const char *application);
    // Removes the staging folder and its copy (publish first).
    ~PreferencesFile();
    PreferencesFile(const PreferencesFile &) = delete;
    PreferencesFile &operator=(const PreferencesFile &) = delete;

    // The folder to hand to Fl_Preferences(folder, vendor, application).
    const std::string &folder() const { return folder_; }
    const std::string &realPath() const { return realPath_; }
    const std::string &stagingProblem() const { return stagingProblem_; }

    // Writes the staged copy (call Fl_Preferences::flush() first) to the real file when it
    // differs from what the real file last got. Makes the real file's folder when missing.
    SafeFileStatus publish();

private:
    std::string realPath_;
    std::string folder_;
    std::string stagedFile_;
    std::string stagingProblem_;
    std::string published_; // the bytes the real file holds as far as we know
    bool staged_ = false;
};

} // namespace tw
