#include "clipboard/X11Atoms.h"

namespace tw {

X11Atoms::X11Atoms(Display *display) {
    char *names[] = {const_cast<char *>("CLIPBOARD"),
                     const_cast<char *>("TARGETS"),
                     const_cast<char *>("TIMESTAMP"),
                     const_cast<char *>("MULTIPLE"),
                     const_cast<char *>("ATOM_PAIR"),
                     const_cast<char *>("INCR"),
                     const_cast<char *>("UTF8_STRING"),
                     const_cast<char *>("TEXT"),
                     const_cast<char *>("text/plain;charset=utf-8"),
                     const_cast<char *>("CLIPBOARD_MANAGER"),
                     const_cast<char *>("SAVE_TARGETS"),
                     const_cast<char *>("DELETE"),
                     const_cast<char *>("INSERT_SELECTION"),
                     const_cast<char *>("INSERT_PROPERTY"),
                     const_cast<char *>("TW_CLIPBOARD_TRANSFER"),
                     const_cast<char *>("TW_CLIPBOARD_TIMESTAMP")};
    Atom *fields[] = {&clipboard,        &targets,        &timestamp,
                      &multiple,         &atomPair,       &incr,
                      &utf8String,       &text,           &textPlainUtf8,
                      &clipboardManager, &saveTargets,    &deleteTarget,
                      &insertSelection,  &insertProperty, &transferProperty,
                      &timestampProperty};
    constexpr int count = sizeof(names) / sizeof(names[0]);
    Atom atoms[count] = {};
    XInternAtoms(display, names, count, False, atoms);
    for (int i = 0; i < count; ++i)
        *fields[i] = atoms[i];
}

} // namespace tw
