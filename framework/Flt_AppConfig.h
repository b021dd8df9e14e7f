#pragma once

namespace tw {

// What an application passes to its main window: initial size and position, minimum size,
// title and the names under which its per-user preferences are kept.
struct Flt_AppConfig {
    int w = 500; // initial client width
    int h = 400; // initial client height
    int x = 200; // position used when none is stored
    int y = 100;
    int minW = 0; // minimum client size; both above 0: resizable, size kept between runs
    int minH = 0;
    const char *title = "DemoWin";       // base title; null or empty: the application name
    const char *name = nullptr;          // title of message boxes; null or empty: the title
    const char *vendor = "Varnholt";     // preferences vendor name
    const char *application = "DemoApp"; // preferences application name
    bool console = false;                // text console for stdin/stdout (no-op on Linux)
    bool border = true;                  // false: window without border

    Flt_AppConfig() = default;
    // The framework's initialiser: the minimum size, every other field at its default.
    Flt_AppConfig(int minWidth, int minHeight) : minW(minWidth), minH(minHeight) {}
};

} // namespace tw
