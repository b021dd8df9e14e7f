#include "framework/FontLookup.h"

#include <FL/Enumerations.H>
#include <FL/Fl.H>

#include <cstring>

namespace tw {

int findFont(const char *name, bool bold, bool italic) {
    // The system's faces are enumerated once per process.
    static const int fontCount = Fl::set_fonts(nullptr);
    if (!name || !*name)
        return -1;
    const int wanted = (bold ? FL_BOLD : 0) | (italic ? FL_ITALIC : 0);
    const size_t length = std::strlen(name);
    for (int i = 0; i < fontCount; ++i) {
        int attributes = 0;
        const char *fontName = Fl::get_font_name(static_cast<Fl_Font>(i), &attributes);
        if (fontName && attributes == wanted && std::strncmp(fontName, name, length) == 0)
            return i;
    }
    return -1;
}

} // namespace tw
