// Process-wide set-up of the clipboard: thread support of Xlib, the pump for the application's
// own X display while a transfer waits, and the hand-over to a clipboard manager at exit.
#pragma once

#include <functional>

namespace tw {

// Call first thing in main, before FLTK or anything else talks to X: the clipboard serves
// requests on a thread of its own with its own display connection.
void clipboardInitThreads();

// While a copy or paste waits for another X client (at most about a second), the waiting thread
// polls `fd` as well (when it is not -1) and calls `pump` whenever `fd` is readable and at least
// every 10 ms. The application sets this to answer requests for its own selections, or a paste
// right after the user copied text from one of its widgets stalls until the deadline:
//
//   setClipboardWaitHook({ConnectionNumber(fl_display), [] {
//       XEvent e;
//       while (XCheckTypedEvent(fl_display, SelectionRequest, &e))
//           fl_handle(e);
//   }});
//
// `pump` runs on the thread that uses the clipboard and must not use the clipboard itself.
struct ClipboardWaitHook {
    int fd = -1;
    std::function<void()> pump;
};
void setClipboardWaitHook(ClipboardWaitHook hook);
ClipboardWaitHook clipboardWaitHook();

// Call at the end of main (it also runs when the program exits): when this program owns the
// clipboard and a clipboard manager runs, the data is handed over to it (at most 2 s); then the
// clipboard's thread and display connections are closed. Later opens fail.
void clipboardShutdown();

} // namespace tw
