// The window "Export tape": format, paper and bars or holes for PDF, and the file name; OK
// hands the export to a worker thread with a copy of the melody and shows its progress, with
// Cancel to stop it. Meanwhile the editor stays usable. An error shows with its reason.
//
// Threads: the window lives on the GUI thread; it polls the worker's atomics from a timeout.
#pragma once

#include "render/TapeExport.h"

#include <FL/Fl_Double_Window.H>

#include <functional>
#include <memory>
#include <string>

class App;
class Fl_Box;
class Fl_Button;
class Fl_Choice;
class Fl_Input;
class Fl_Progress;
class Fl_Return_Button;

namespace tw {

class BackgroundExport;
class BackgroundSummary;

// "Exported NAME (N pages)": NAME is the file's name without its folder.
std::string exportedNotice(const std::string &path, unsigned pages);

class ExportDialog : public Fl_Double_Window {
public:
    // melodyPath (may be empty) gives the default file name: its name in its folder with the
    // format's extension; instrument names the note indicators' instrument (empty for none).
    ExportDialog(const ScoreModel &model, const std::string &melodyPath,
                 const ExportInstrument &instrument);
    ~ExportDialog() override;

    ExportFormat format() const;
    void setFormat(ExportFormat format); // also gives the file name the format's extension
    std::string path() const;
    void setPath(const std::string &path);
    void setPaper(Paper paper);
    void setHoles(bool holes);
    ExportOptions options() const;

    // OK: asks before replacing a file and starts the export on its worker (exportOk without
    // starting when the replacement was declined; an error when no name is given).
    ExportResult accept();
    bool exporting() const { return job_ != nullptr; }
    // Waits for the running export to end: on success hides the window and reports through
    // onExported; a failure is shown with its reason and the window stays; a cancelled export
    // leaves the window as it was. Returns what the export returned.
    ExportResult finishExport();
    // Cancel: stops a running export (the window stays), or else closes the window.
    void cancel();
    // The bar's text while exporting ("12 of 40 pages").
    std::string progressText() const;
    // The text under the fields: what the format makes, and the strip's summary once it is
    // worked out (on a worker: a long melody takes a while).
    const std::string &noteText() const { return noteText_; }
    bool summarizing() const { return summary_ != nullptr; }
    // Waits for the strip's summary and shows it.
    void finishSummary();

    // Told "Exported NAME (N pages)" after a successful export.
    std::function<void(const std::string &)> onExported;

private:
    void updateForFormat();
    // Shows the worker's progress; finishes when the worker has (GUI thread timeout).
    static void poll(void *data);
    // Shows the strip's summary once its worker has it (GUI thread timeout).
    static void pollSummary(void *data);
    void showSummary();
    void setExporting(bool on);

    const ScoreModel &model_;
    ExportInstrument instrument_;
    std::string sourceName_;
    Fl_Choice *format_ = nullptr;
    Fl_Choice *paper_ = nullptr;
    Fl_Choice *marks_ = nullptr;
    Fl_Input *path_ = nullptr;
    Fl_Box *note_ = nullptr;
    std::string noteText_;
    std::string formatText_; // noteText_ without the summary
    std::unique_ptr<BackgroundSummary> summary_;
    Fl_Progress *progress_ = nullptr;
    std::string progressLabel_;
    Fl_Return_Button *ok_ = nullptr;
    std::unique_ptr<BackgroundExport> job_;
};

// The menu command: opens the window for the app's tape and waits until it closes.
void openExportDialog(App &app);

} // namespace tw
