// The editor's end when it is not asked through its window: SIGTERM and SIGHUP (logout,
// shutdown, a closed terminal) end it like a close of the window, so that the newest unsaved
// state and the settings are written on the way out; a lost X connection writes the newest
// state before the process ends. GUI thread only.
#pragma once

#include <functional>

namespace tw {

// Installs the handlers. writeState writes what must survive (on the GUI thread, after the
// X connection is gone: it must not draw).
void installEndHandlers(std::function<void()> writeState);

} // namespace tw
