// Reads a selection from its owner: XConvertSelection, then the answer from a property of our own
// window, in INCR chunks when the owner sends it so. Every wait is bounded; while waiting, the
// application's wait hook runs so that it can answer requests for its own selections.
#pragma once

#include "clipboard/TextEncoding.h"
#include "clipboard/X11Atoms.h"

#include <chrono>

enum class FetchResult { ok, refused, timedOut, unreadable };

// Thread: whoever holds the clipboard; the display is used by that thread only.
class X11SelectionReader {
public:
    X11SelectionReader(Display *display, Window window, const X11Atoms &atoms)
        : display_(display), window_(window), atoms_(atoms) {}

    // Asks the owner of `selection` for `target`; on ok, out holds the answer. `patience`
    // bounds the wait for the answer and for each INCR chunk.
    FetchResult fetch(Atom selection, Atom target, Bytes &out, std::chrono::milliseconds patience);

private:
    using Clock = std::chrono::steady_clock;
    template <class Match> bool waitFor(XEvent &event, Clock::time_point deadline, Match match);
    // Reads and deletes the property; type None means there was no such property.
    bool takeProperty(Atom property, Atom &type, Bytes &out);
    FetchResult readIncrementally(Atom property, Bytes &out, std::chrono::milliseconds patience);

    Display *display_;
    Window window_;
    const X11Atoms &atoms_;
};
