// The main window's keys: which command a key press stands for, for the keys that the menu's
// shortcuts leave: Escape, and keys of menu commands pressed with modifiers that the menu's
// exact shortcuts do not take (Shift+F1, Ctrl+End). The main window offers every key to the menu
// first; the Ctrl+letter keys are the menu's alone.
// A plain function of the key code, the modifier state and the key's text, so that the table can be
// checked without a display.
#pragma once

namespace tw {

// Command id for a key press, or 0 when the key is not one of the main window's keys.
//   key   : FLTK key code (Fl::event_key())
//   state : FLTK modifier state with the lock bits already cleared
//   text  : the key's text (Fl::event_text()), may be null or empty
int keyCommand(int key, int state, const char *text);

// FLTK's event state without Caps Lock, Num Lock and Scroll Lock.
int withoutLockBits(int state);

} // namespace tw
