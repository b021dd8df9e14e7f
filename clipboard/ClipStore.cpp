#include "clipboard/ClipStore.h"

#include <X11/Xatom.h>

namespace tw {

Blob convertStored(const ClipStore &store, const X11Atoms &atoms, Atom target, Atom &type) {
    for (const std::map<Atom, Blob> *blocks : {&store.formats, &store.inherited}) {
        auto found = blocks->find(target);
        if (found != blocks->end()) {
            type = target;
            return found->second;
        }
    }
    if (!store.text)
        return nullptr;
    if (target == atoms.utf8String || target == atoms.text) {
        type = atoms.utf8String;
        return store.text;
    }
    if (target == atoms.textPlainUtf8) {
        type = atoms.textPlainUtf8;
        return store.text;
    }
    if (target == XA_STRING) {
        type = XA_STRING;
        return std::make_shared<const Bytes>(utf8ToLatin1(*store.text));
    }
    return nullptr;
}

std::vector<long> storedTargets(const ClipStore &store, const X11Atoms &atoms, bool protocol) {
    std::vector<long> targets;
    if (protocol)
        targets = {long(atoms.targets), long(atoms.timestamp), long(atoms.multiple)};
    for (const std::map<Atom, Blob> *blocks : {&store.formats, &store.inherited})
        for (const auto &format : *blocks)
            targets.push_back(long(format.first));
    if (store.text) {
        for (Atom a : {atoms.utf8String, Atom(XA_STRING), atoms.text, atoms.textPlainUtf8})
            targets.push_back(long(a));
    }
    return targets;
}

} // namespace tw
