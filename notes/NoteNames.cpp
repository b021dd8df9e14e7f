#include "notes/NoteNames.h"

namespace tw {

std::string noteName(unsigned note) {
    static const char *const names[12] = {"C",  "C#", "D",  "D#", "E",  "F",
                                          "F#", "G",  "G#", "A",  "A#", "B"};
    return names[note % 12] + std::to_string(int(note / 12) - 1);
}

} // namespace tw
