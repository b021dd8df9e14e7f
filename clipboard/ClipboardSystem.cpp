#include "clipboard/ClipboardSystem.h"

#include "clipboard/X11Platform.h"

#include <X11/Xlib.h>

#include <mutex>

namespace tw {

namespace {
std::mutex hookMutex;
ClipboardWaitHook waitHook;
} // namespace

void clipboardInitThreads() {
    XInitThreads();
}

void setClipboardWaitHook(ClipboardWaitHook hook) {
    std::lock_guard<std::mutex> lock(hookMutex);
    waitHook = std::move(hook);
}

ClipboardWaitHook clipboardWaitHook() {
    std::lock_guard<std::mutex> lock(hookMutex);
    return waitHook;
}

void clipboardShutdown() {
    X11Platform::instance().shutdown();
}

} // namespace tw
