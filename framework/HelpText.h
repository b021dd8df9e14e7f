#pragma once

namespace tw {

// The text of the editor's Help window: 68 lines, each ending in a line break.
extern const char *const helpText;

// The face for the Help text: "Lucida Console" when the system has it, otherwise FLTK's
// fixed-width face (the text is laid out in columns). Never -1. Needs the display.
int helpTextFont();

} // namespace tw
