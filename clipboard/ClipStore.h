// What this program offers on the clipboard while it owns it: private formats, and the text and
// other formats of the previous owner.
#pragma once

#include "clipboard/TextEncoding.h"
#include "clipboard/X11Atoms.h"

#include <map>
#include <memory>

namespace tw {

// Data is shared so that a transfer in progress keeps its block when the clipboard changes.
using Blob = std::shared_ptr<const Bytes>;

struct ClipStore {
    std::map<Atom, Blob> formats;   // private formats by their atom
    std::map<Atom, Blob> inherited; // other formats of the previous owner by target (= type)
    Blob text;                      // UTF-8 text of the previous owner, or null
    Time time = CurrentTime;        // server time at which the clipboard was taken
};

// The data for a conversion target and the type to announce, or null when nothing fits.
Blob convertStored(const ClipStore &store, const X11Atoms &atoms, Atom target, Atom &type);

// The targets the store can be converted to; with `protocol`, TARGETS, TIMESTAMP and MULTIPLE
// come first.
std::vector<long> storedTargets(const ClipStore &store, const X11Atoms &atoms, bool protocol);

} // namespace tw
