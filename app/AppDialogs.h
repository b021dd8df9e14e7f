// Messages, questions and file dialogs of the editor. Messages and questions go through the
// framework's dialog seam; the file dialogs and the import window have seams of their own here,
// so that tests can answer every dialog the editor opens. GUI thread only.
#pragma once

#include "framework/Dialogs.h"
#include "scoremodel/InstrumentFit.h"
#include "scoremodel/MidiImport.h"

#include <functional>
#include <string>
#include <vector>

namespace tw {

// The filter of the file dialogs: MIDI files by their usual extensions (FLTK matches file
// names against it without regard to case, in its own dialog and in GTK's).
constexpr const char *midiFilePattern = "MIDI files\t*.{mid,midi,kar}";

// The answer to a file dialog: the chosen path, or `chosen` false when it was cancelled.
// `replaceConfirmed`: the dialog itself asked before choosing an existing file to write.
struct FileChoice {
    bool chosen = false;
    std::string path;
    bool replaceConfirmed = false;
};
using FileChooser =
    std::function<FileChoice(const char *message, const char *pattern, const char *initial)>;

// An empty chooser restores the native file dialog.
void setFileChooser(FileChooser chooser);
// A file to read; `initial` is the path the dialog starts at (empty: the working folder).
FileChoice chooseFile(const char *message, const char *pattern, const char *initial);
// A file to write.
FileChoice chooseSaveFile(const char *message, const char *pattern, const char *initial);

// The answer of the "Import MIDI tracks" window: the tracks checked (indexes into the file's
// tracks) and whether times follow the file's tempo; `accepted` false for Cancel.
struct ImportChoice {
    bool accepted = false;
    std::vector<unsigned> tracks;
    bool followTempo = true;
};
using ImportChooser = std::function<ImportChoice(const std::string &path,
                                                 const std::vector<tw::TrackSummary> &tracks)>;

// An empty chooser restores the import window.
void setImportChooser(ImportChooser chooser);
ImportChoice chooseImport(const std::string &path, const std::vector<tw::TrackSummary> &tracks);
// The import window itself (ImportWindow.cpp).
ImportChoice runImportWindow(const std::string &path, const std::vector<tw::TrackSummary> &tracks);

// The answer to the "Fit to instrument" window: the shift of the chosen line and the octave
// check box, or `chosen` false when it was cancelled.
struct FitChoice {
    bool chosen = false;
    int shift = 0;
    bool octaves = false;
};
using FitChooser =
    std::function<FitChoice(const std::string &instrument, const std::vector<tw::FitLine> &lines)>;

// An empty chooser restores the window of FitWindow.h.
void setFitChooser(FitChooser chooser);
FitChoice chooseFit(const std::string &instrument, const std::vector<tw::FitLine> &lines);

} // namespace tw
