// Messages, questions and file dialogs of the editor. Messages and questions go through the
// framework's dialog seam; the file dialog has a seam of its own here, so that tests can answer
// every dialog the editor opens. GUI thread only.
#pragma once

#include "framework/Dialogs.h"
#include "scoremodel/InstrumentFit.h"

#include <functional>
#include <string>
#include <vector>

// The answer to a file dialog: the chosen path, or `chosen` false when it was cancelled.
struct FileChoice {
    bool chosen = false;
    std::string path;
};
using FileChooser =
    std::function<FileChoice(const char *message, const char *pattern, const char *initial)>;

// An empty chooser restores FLTK's fl_file_chooser.
void setFileChooser(FileChooser chooser);
FileChoice chooseFile(const char *message, const char *pattern, const char *initial);

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
