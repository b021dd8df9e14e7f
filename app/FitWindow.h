// The "Fit to instrument" window: the transpositions of the melody best first, one line each
// (shift, notes the instrument cannot play then, those of them whole octaves would mend), a
// check box for the octave moves, OK (Return) and Cancel (Escape). GUI thread only.
#pragma once

#include "app/AppDialogs.h"

namespace tw {

// The text of one line of the list, columns separated by tabs: "-1\t0\t0".
std::string fitLineText(const tw::FitLine &line);

// Shows the window modally and returns what was chosen; the first line is chosen at start.
FitChoice runFitWindow(const std::string &instrument, const std::vector<tw::FitLine> &lines);

} // namespace tw
