// The atoms that the clipboard protocol uses, interned on one display in one round trip.
#pragma once

#include <X11/Xlib.h>

namespace tw {

struct X11Atoms {
    Atom clipboard = None;
    Atom targets = None;
    Atom timestamp = None;
    Atom multiple = None;
    Atom atomPair = None;
    Atom incr = None;
    Atom utf8String = None;
    Atom text = None;
    Atom textPlainUtf8 = None;
    Atom clipboardManager = None;
    Atom saveTargets = None;
    Atom deleteTarget = None; // DELETE: converting it clears the owner's data
    Atom insertSelection = None;
    Atom insertProperty = None;
    Atom transferProperty = None;  // where conversions for us are put
    Atom timestampProperty = None; // appended to with no data to learn the server time

    explicit X11Atoms(Display *display);
};

} // namespace tw
