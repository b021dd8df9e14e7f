#include "app/ExportDialog.h"

#include "app/App.h"
#include "app/AppDialogs.h"
#include "commandline/ExportCommand.h"
#include "framework/Dialogs.h"
#include "framework/Flt_Menubar.h"
#include "framework/WindowScale.h"
#include "render/BackgroundExport.h"
#include "render/CutPlan.h"
#include "scoretape/ScoreTape.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Progress.H>
#include <FL/Fl_Return_Button.H>

#include <sys/stat.h>

namespace tw {

namespace {

// In the order of the format menu.
const ExportFormat formats[] = {ExportFormat::pdf, ExportFormat::svg, ExportFormat::png,
                                ExportFormat::cutSvg, ExportFormat::dxf};
const char *const extensions[] = {".pdf", ".svg", ".png", ".svg", ".dxf"};

ExportFormat formatAt(int index) {
    return index >= 0 && index < 5 ? formats[index] : ExportFormat::pdf;
}

int indexOf(ExportFormat format) {
    for (int i = 0; i < 5; ++i)
        if (formats[i] == format)
            return i;
    return 0;
}

// How long the menu bar tells of a finished export.
constexpr double noticeSeconds = 5;
// How often the window looks at the worker's progress.
constexpr double pollSeconds = 0.1;
// How long the window waits for the strip's summary before it shows the rest without it: a
// short melody's summary comes at once, without a flicker.
constexpr double summaryWaitSeconds = 0.05;

std::string baseNameOf(const std::string &path) {
    const std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

std::string exportedNotice(const std::string &path, unsigned pages) {
    return "Exported " + baseNameOf(path) + " (" + std::to_string(pages) + " pages)";
}

ExportDialog::ExportDialog(const ScoreModel &model, const std::string &melodyPath,
                           const ExportInstrument &instrument)
    : Fl_Double_Window(460, 200, "Export tape"), model_(model), instrument_(instrument) {
    const std::string::size_type slash = melodyPath.rfind('/');
    sourceName_ = slash == std::string::npos ? melodyPath : melodyPath.substr(slash + 1);
    format_ = new Fl_Choice(90, 10, 120, 25, "Format:");
    format_->add("PDF|SVG|PNG|Cutter SVG|DXF");
    format_->value(0);
    format_->callback(
        [](Fl_Widget *, void *d) { static_cast<ExportDialog *>(d)->updateForFormat(); }, this);
    paper_ = new Fl_Choice(90, 40, 120, 25, "Paper:");
    paper_->add("A4|Letter");
    paper_->value(0);
    const auto update = [](Fl_Widget *, void *d) {
        static_cast<ExportDialog *>(d)->updateForFormat();
    };
    paper_->callback(update, this);
    marks_ = new Fl_Choice(310, 40, 140, 25, "Notes as:");
    marks_->add("Bars|Round holes");
    marks_->value(0);
    marks_->callback(update, this);
    path_ = new Fl_Input(90, 75, 280, 25, "File:");
    path_->value(withExtension(melodyPath.empty() ? "tape" : melodyPath, ".pdf").c_str());
    auto *browse = new Fl_Button(375, 75, 75, 25, "Browse...");
    browse->callback(
        [](Fl_Widget *, void *d) {
            auto *dialog = static_cast<ExportDialog *>(d);
            const FileChoice choice =
                chooseFile("Export tape to", "*.{pdf,svg,png,dxf}", dialog->path().c_str());
            if (choice.chosen)
                dialog->setPath(choice.path);
        },
        this);
    note_ = new Fl_Box(10, 105, 440, 58);
    note_->align(FL_ALIGN_INSIDE | FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_WRAP);
    note_->labelsize(12);
    // Shown only while the worker exports.
    progress_ = new Fl_Progress(10, 165, 240, 25);
    progress_->minimum(0);
    progress_->maximum(1);
    progress_->selection_color(FL_BLUE);
    progress_->labelsize(12);
    progress_->hide();
    ok_ = new Fl_Return_Button(260, 165, 90, 25, "OK");
    ok_->callback([](Fl_Widget *, void *d) { static_cast<ExportDialog *>(d)->accept(); }, this);
    auto *cancel = new Fl_Button(360, 165, 90, 25, "Cancel");
    cancel->callback([](Fl_Widget *, void *d) { static_cast<ExportDialog *>(d)->cancel(); }, this);
    callback([](Fl_Widget *, void *d) { static_cast<ExportDialog *>(d)->cancel(); }, this);
    end();
    set_modal();
    updateForFormat();
}

ExportDialog::~ExportDialog() {
    Fl::remove_timeout(poll, this);
    Fl::remove_timeout(pollSummary, this);
    // job_ cancels a running export and waits for its worker.
}

ExportFormat ExportDialog::format() const {
    return formatAt(format_->value());
}

void ExportDialog::setFormat(ExportFormat format) {
    format_->value(indexOf(format));
    updateForFormat();
}

std::string ExportDialog::path() const {
    return path_->value();
}

void ExportDialog::setPath(const std::string &path) {
    path_->value(path.c_str());
}

void ExportDialog::setPaper(Paper paper) {
    paper_->value(paper == Paper::letter ? 1 : 0);
    updateForFormat();
}

void ExportDialog::setHoles(bool holes) {
    marks_->value(holes ? 1 : 0);
    updateForFormat();
}

ExportOptions ExportDialog::options() const {
    ExportOptions o;
    o.format = format();
    o.paper = paper_->value() == 1 ? Paper::letter : Paper::a4;
    o.holes = marks_->value() == 1;
    o.instrument = instrument_;
    o.sourceName = sourceName_;
    return o;
}

void ExportDialog::updateForFormat() {
    const bool pdf = format() == ExportFormat::pdf;
    const std::string current = path();
    if (!current.empty())
        setPath(withExtension(current, extensions[format_->value()]));
    const bool trueScale = pdf && instrument_.geometry.has_value();
    if (pdf && trueScale) {
        paper_->activate();
        marks_->activate();
        noteText_ = "The tape of " + instrument_.name +
                    " at true scale, in pieces to glue together. Print at 100 %.";
    } else if (format() == ExportFormat::cutSvg || format() == ExportFormat::dxf) {
        paper_->deactivate();
        marks_->deactivate();
        noteText_ = "The strip for a cutter at true scale: cut paths red (layer CUT), marks blue "
                    "(layer MARK).";
    } else {
        pdf ? paper_->activate() : paper_->deactivate();
        marks_->deactivate();
        noteText_ =
            pdf ? "The board picture scaled to the page height (" +
                      (instrument_.name.empty() ? std::string("no instrument") : instrument_.name) +
                      " has no tape geometry)."
                : "The whole melody as the board draws it.";
    }
    // The strip the options make: its length, pieces, holes and pairs still too close. A
    // worker plans it from a copy; a summary of earlier options is dropped.
    Fl::remove_timeout(pollSummary, this);
    summary_.reset();
    formatText_ = noteText_;
    if (makesStrip(options())) {
        summary_ = std::make_unique<BackgroundSummary>(model_, options());
        if (summary_->waitFor(summaryWaitSeconds)) {
            showSummary();
            return;
        }
        noteText_ += "\nWorking out the strip...";
        Fl::add_timeout(pollSeconds, pollSummary, this);
    }
    note_->label(noteText_.c_str());
    redraw();
}

void ExportDialog::showSummary() {
    const std::string summary = summary_ ? summary_->text() : std::string();
    summary_.reset();
    noteText_ = summary.empty() ? formatText_ : formatText_ + "\n" + summary;
    note_->label(noteText_.c_str());
    redraw();
}

void ExportDialog::pollSummary(void *data) {
    auto *dialog = static_cast<ExportDialog *>(data);
    if (!dialog->summary_)
        return;
    if (dialog->summary_->finished())
        dialog->showSummary();
    else
        Fl::repeat_timeout(pollSeconds, pollSummary, data);
}

void ExportDialog::finishSummary() {
    if (!summary_)
        return;
    Fl::remove_timeout(pollSummary, this);
    while (!summary_->waitFor(1)) {
    }
    showSummary();
}

ExportResult ExportDialog::accept() {
    if (job_)
        return {};
    const std::string target = path();
    if (target.empty()) {
        const ExportResult result{errExportCreate, "no file name given"};
        showMessagef("Cannot export %s: %s", target.c_str(), result.reason.c_str());
        return result;
    }
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        const std::string question = target + " exists. Replace it?";
        if (askChoice(question.c_str(), "Cancel", "Replace", nullptr) != 1)
            return {};
    }
    // The worker takes a copy: the melody may be edited while it draws.
    job_ = std::make_unique<BackgroundExport>(model_, options(), target);
    setExporting(true);
    Fl::add_timeout(pollSeconds, poll, this);
    return {};
}

void ExportDialog::setExporting(bool on) {
    for (Fl_Widget *w : {static_cast<Fl_Widget *>(format_), static_cast<Fl_Widget *>(paper_),
                         static_cast<Fl_Widget *>(marks_), static_cast<Fl_Widget *>(path_),
                         static_cast<Fl_Widget *>(ok_)})
        on ? w->deactivate() : w->activate();
    if (!on)
        updateForFormat(); // paper and marks as the format allows
    if (on) {
        progress_->value(0);
        progressLabel_ = "Starting...";
        progress_->label(progressLabel_.c_str());
        progress_->show();
    } else {
        progress_->hide();
    }
    // A modal window would hold the editor until the export ends: while it runs, the window
    // stays on top without holding the others. Its modality changes only while hidden.
    if (shown() && on && modal()) {
        hide();
        clear_modal_states();
        set_non_modal();
        show();
    }
}

std::string ExportDialog::progressText() const {
    if (!job_)
        return "";
    const uint64_t total = job_->total(), done = std::min(job_->done(), total);
    if (total == 0)
        return "Starting...";
    const bool pdf = format() == ExportFormat::pdf;
    // The picture's SVG counts drawn parts, a cut file its pieces' holes and marks.
    if (format() == ExportFormat::svg || format() == ExportFormat::cutSvg ||
        format() == ExportFormat::dxf)
        return std::to_string(done * 100 / total) + " %";
    return std::to_string(done) + " of " + std::to_string(total) + (pdf ? " pages" : " tiles");
}

void ExportDialog::poll(void *data) {
    auto *dialog = static_cast<ExportDialog *>(data);
    if (!dialog->job_)
        return;
    if (dialog->job_->finished()) {
        dialog->finishExport();
        return;
    }
    const uint64_t total = dialog->job_->total();
    dialog->progress_->value(total ? float(std::min(dialog->job_->done(), total)) / float(total)
                                   : 0.0f);
    dialog->progressLabel_ = dialog->progressText();
    dialog->progress_->label(dialog->progressLabel_.c_str());
    Fl::repeat_timeout(pollSeconds, poll, data);
}

ExportResult ExportDialog::finishExport() {
    if (!job_)
        return {};
    Fl::remove_timeout(poll, this);
    const ExportResult result = job_->result();
    const std::string target = job_->path();
    job_.reset();
    setExporting(false);
    if (result.code == errExportCancelled)
        return result;
    if (!result) {
        showMessagef("Cannot export %s: %s", target.c_str(), result.reason.c_str());
        return result;
    }
    hide();
    if (onExported)
        onExported(exportedNotice(target, result.pages));
    return result;
}

void ExportDialog::cancel() {
    if (!job_) {
        hide();
        return;
    }
    job_->cancel();
    finishExport();
}

void openExportDialog(App &app) {
    // The instrument whose note indicators are chosen, built-in or read from a file.
    const std::optional<Instrument> chosen = app.chosenInstrument();
    const ExportInstrument instrument = chosen ? exportInstrumentOf(*chosen) : ExportInstrument();
    // One export window at a time: the editor stays usable while it exports, and its menu
    // could ask for another.
    static bool open = false;
    if (open)
        return;
    open = true;
    ExportDialog dialog(app.scoreTape()->model(), app.melodySource(), instrument);
    dialog.onExported = [&app](const std::string &notice) {
        app.menuBar()->showNotice(notice, noticeSeconds);
    };
    scaleWindow(dialog);
    dialog.show();
    // Quitting the editor (its window hidden, after any question about unsaved changes) ends
    // the window too: a running export is cancelled and its worker joined as the window goes,
    // leaving neither the file nor a temporary.
    while (dialog.shown() && app.shown())
        Fl::wait();
    if (dialog.exporting())
        dialog.cancel();
    dialog.hide();
    open = false;
}

} // namespace tw
