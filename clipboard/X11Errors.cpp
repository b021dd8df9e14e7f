#include "clipboard/X11Errors.h"

#include <atomic>
#include <mutex>

namespace tw {

namespace {
std::atomic<Display *> servingDisplay{nullptr};
XErrorHandler previousHandler = nullptr; // written once, before any serving display is set
std::once_flag installed;

int onError(Display *display, XErrorEvent *error) {
    if (display == servingDisplay.load() &&
        (error->error_code == BadWindow || error->error_code == BadAtom))
        return 0;
    return previousHandler ? previousHandler(display, error) : 0;
}
} // namespace

void ignoreRequestorErrorsOn(Display *display) {
    std::call_once(installed, [] { previousHandler = XSetErrorHandler(onError); });
    servingDisplay.store(display);
}

void stopIgnoringErrorsOn(Display *display) {
    Display *expected = display;
    servingDisplay.compare_exchange_strong(expected, nullptr);
}

} // namespace tw
