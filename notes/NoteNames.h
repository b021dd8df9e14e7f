// Names of MIDI note numbers: C4 is 60, sharps are written with '#'.
#pragma once

#include <string>

namespace tw {

// "C4" for 60, "F#3" for 54, "C-1" for 0.
std::string noteName(unsigned note);

} // namespace tw
