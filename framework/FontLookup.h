#pragma once

namespace tw {

// FLTK font index of the first face whose name begins with name and whose attributes are
// exactly the requested ones (plain, bold, italic, bold italic); -1 for an empty name or when
// no face matches. Needs the display (the first call enumerates the fonts once).
int findFont(const char *name, bool bold, bool italic);

} // namespace tw
