// Reads a selection from its owner: XConvertSelection, then the answer from a property of our own
// window, in INCR chunks when the owner sends it so. Every wait is bounded; while waiting, the
// application's wait hook runs so that it can answer requests for its own selections.
#pragma once

#include "clipboard/TextEncoding.h"
#include "clipboard/X11Atoms.h"

#include <chrono>

namespace tw {

enum class FetchResult { ok, refused, timedOut, unreadable, tooLarge };

// An answer of a selection owner: the bytes, the type the owner gave them, and their item size
// (8, 16 or 32 bits; 16- and 32-bit items are packed little-endian, 2 and 4 bytes each).
struct Fetched {
    Bytes bytes;
    Atom type = None;
    int format = 0;
};

// Thread: whoever holds the clipboard; the display is used by that thread only.
class X11SelectionReader {
public:
    X11SelectionReader(Display *display, Window window, const X11Atoms &atoms)
        : display_(display), window_(window), atoms_(atoms) {}

    // Asks the owner of `selection` for `target`; on ok, out holds the answer. `patience`
    // bounds the wait for the answer and for each INCR chunk. An answer of more than `limit`
    // bytes is not read to its end (tooLarge). The answer is put into `property` of our window
    // (None: the usual transfer property); a transfer given up there cannot disturb later ones
    // into other properties.
    FetchResult fetch(Atom selection, Atom target, Fetched &out, std::chrono::milliseconds patience,
                      size_t limit = maxTransfer, Atom property = None);

    static constexpr size_t maxTransfer = size_t(1) << 30; // a sender that never ends stops here

private:
    using Clock = std::chrono::steady_clock;
    template <class Match> bool waitFor(XEvent &event, Clock::time_point deadline, Match match);
    // Reads and deletes the property; type None means there was no such property. False when
    // it cannot be read or holds more than limit bytes.
    bool takeProperty(Atom property, Fetched &out, size_t limit);
    FetchResult readIncrementally(Atom property, Fetched &out, std::chrono::milliseconds patience,
                                  size_t limit);

    Display *display_;
    Window window_;
    const X11Atoms &atoms_;
};

} // namespace tw
