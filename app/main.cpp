// Tapeworks2: a MIDI melody editor on a piano-roll score tape.
#include "app/App.h"
#include "app/ExportCommand.h"
#include "app/NoteClipboard.h"
#include "app/ViewOptions.h"
#include "tw/Identity.h"

#include <iostream>

using namespace tw;

int main(int argc, char **argv) {
    // The export runs without a display: it comes before anything of FLTK or X.
    if (tw::isExportCommand(argc, argv))
        return tw::runExportCommand(argc, argv, std::cout, std::cerr);
    initClipboard(); // before anything talks to the X server
    Flt_AppConfig config(200, 200);
    // The size of a first start grows with the screen's scale; a stored size is kept.
    const double scale = applyDisplayScale();
    config.w = int(config.w * scale);
    config.h = int(config.h * scale);
    config.title = tw::identity::title;
    config.name = tw::identity::name;
    config.vendor = tw::identity::vendor;
    config.application = tw::identity::application;
    config.console = false; // no console on this platform: the option is never used
    {
        App app(config);
        app.run(argc, argv);
    }
    shutdownClipboard();
    return 0;
}
