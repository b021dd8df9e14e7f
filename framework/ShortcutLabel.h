// How a menu shows its keyboard shortcuts: "Ctrl+S", "Page Up", "Space", "s". Plain functions of
// FLTK's shortcut codes, usable without a display.
#pragma once

#include <string>

namespace tw {

// The shortcut as FLTK's shortcut test sees it: a control character (1 to 26, as typed with Ctrl)
// becomes Ctrl plus its letter, a capital letter becomes Shift plus the small letter; anything
// else is returned as it is.
int normalisedShortcut(int shortcut);

// The text a menu shows for the shortcut: modifiers in the order Ctrl, Alt, Shift, Meta, each
// followed by '+', then the key's name. Letters are capitals after a modifier and small alone
// (so "s" is the key s, and "Shift+S" the capital). Empty for 0.
std::string shortcutLabel(int shortcut);

} // namespace tw
