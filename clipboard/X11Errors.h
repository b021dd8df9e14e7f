// X protocol errors on the serving connection that requestors cause (a window that has gone, a
// bogus property name) are ignored; every other error goes to the handler installed before.
#pragma once

#include <X11/Xlib.h>

namespace tw {

// Thread: any; call before the display is used.
void ignoreRequestorErrorsOn(Display *display);
void stopIgnoringErrorsOn(Display *display);

} // namespace tw
