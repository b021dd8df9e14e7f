#include "app/NoteClipboard.h"

#include "clipboard/ClipboardSystem.h"
#include "clipboard/ScoreClipboard.h"

#include <FL/Fl.H>
#include <FL/x.H>

namespace tw {

void initClipboard() {
    clipboardInitThreads();
}

void shutdownClipboard() {
    clipboardShutdown();
}

void installClipboardPump() {
    fl_open_display();
    setClipboardWaitHook({ConnectionNumber(fl_display), [] {
                              XEvent e;
                              while (XCheckTypedEvent(fl_display, SelectionRequest, &e))
                                  fl_handle(e);
                          }});
}

std::vector<TapeNote> notesForPaste() {
    return notesFromClipboard();
}

} // namespace tw
