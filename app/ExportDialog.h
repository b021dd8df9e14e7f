// The window "Export tape": format, paper and bars or holes for PDF, and the file name; OK
// writes the file through the tape export and shows any error with its reason.
#pragma once

#include "render/TapeExport.h"

#include <FL/Fl_Double_Window.H>

#include <string>

class App;
class Fl_Box;
class Fl_Choice;
class Fl_Input;

namespace tw {

class ExportDialog : public Fl_Double_Window {
public:
    // melodyPath (may be empty) gives the default file name; instrument names the note
    // indicators' instrument (empty for none).
    ExportDialog(const ScoreModel &model, const std::string &melodyPath,
                 const ExportInstrument &instrument);

    ExportFormat format() const;
    void setFormat(ExportFormat format); // also gives the file name the format's extension
    std::string path() const;
    void setPath(const std::string &path);
    void setPaper(Paper paper);
    void setHoles(bool holes);
    ExportOptions options() const;

    // OK: asks before replacing a file, writes, and hides the window on success; an error is
    // shown with its reason and the window stays. Returns what the export returned (exportOk
    // without writing when the replacement was declined).
    ExportResult accept();

private:
    void updateForFormat();

    const ScoreModel &model_;
    ExportInstrument instrument_;
    std::string sourceName_;
    Fl_Choice *format_ = nullptr;
    Fl_Choice *paper_ = nullptr;
    Fl_Choice *marks_ = nullptr;
    Fl_Input *path_ = nullptr;
    Fl_Box *note_ = nullptr;
    std::string noteText_;
};

// The menu command: opens the window for the app's tape and waits until it closes.
void openExportDialog(App &app);

} // namespace tw
