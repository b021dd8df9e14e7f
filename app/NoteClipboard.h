// The editor's access to the system clipboard for notes.
#pragma once

#include "notes/TapeNote.h"

#include <vector>

namespace tw {

// Prepares Xlib for the clipboard's own thread; first thing in main.
void initClipboard();
// Hands our clipboard data to a clipboard manager and closes the clipboard; end of main.
void shutdownClipboard();
// Lets our own window keep answering selection requests while a copy or paste waits, so that
// a paste of something this editor itself offers does not stall.
void installClipboardPump();
// Notes go to the clipboard with copyNotesToClipboard (clipboard/ScoreClipboard.h).
std::vector<TapeNote> notesForPaste();

} // namespace tw
