// The display scale of the screen and the keys of the View menu.
#pragma once

namespace tw {

// Takes the display scale from the screen's DPI (or TAPEWORKS2_SCALE) and applies it to the
// normal font size and the dialogs' font. Called once at start, before any window exists;
// needs the X connection. Returns the scale.
double applyDisplayScale();
// The scale that applyDisplayScale took; 1 before it ran.
double displayScaleFactor();
// A size in pixels at the display scale.
int scaledSize(int size);

// The zoom keys: Ctrl with plus or equal, minus, 0 (main or keypad; Shift does not matter).
// 0 for every other key.
int viewKeyCommand(int key, int state);

} // namespace tw
