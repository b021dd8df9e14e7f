#include "app/NoteClipboard.h"

#include "clipboard/ClipboardSystem.h"

#include <FL/Fl.H>
#include <FL/x.H>

#if __has_include("clipboard/ScoreClipboard.h")
#include "clipboard/ScoreClipboard.h"
#define TW_HAVE_CLIPBOARD 1
#endif

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

bool copyNotes(const std::vector<TapeNote> &notes) {
#ifdef TW_HAVE_CLIPBOARD
    return copyNotesToClipboard(notes);
#else
    (void)notes;
    return false;
#endif
}

std::vector<TapeNote> notesForPaste() {
#ifdef TW_HAVE_CLIPBOARD
    return notesFromClipboard();
#else
    return {};
#endif
}
