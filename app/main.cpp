// Tapeworks2: a MIDI melody editor on a piano-roll score tape.
#include "app/App.h"
#include "app/CommandLine.h"
#include "app/ExportCommand.h"
#include "app/NoteClipboard.h"
#include "app/ViewOptions.h"
#include "tw/Identity.h"

#include <iostream>

using namespace tw;

int main(int argc, char **argv) {
    // The command line is answered before anything of FLTK or X: --help, --version and the
    // export run without a display.
    CommandLine line = parseCommandLine(argc, argv);
    switch (line.action) {
    case CommandAction::help:
        std::cout << commandLineHelp();
        return commandLineExitOk;
    case CommandAction::version:
        std::cout << commandLineVersion() << "\n";
        return commandLineExitOk;
    case CommandAction::usageError:
        std::cerr << "tapeworks2: " << line.error << "\n" << commandLineHelpHint() << "\n";
        return commandLineExitUsage;
    case CommandAction::exportTape:
        return tw::runExportCommand(argc, argv, std::cout, std::cerr);
    case CommandAction::edit:
        break;
    }
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
        // The editor takes the file to open as its one argument.
        char *editArgs[] = {argv[0], line.file.data(), nullptr};
        App app(config);
        app.run(line.file.empty() ? 1 : 2, editArgs);
    }
    shutdownClipboard();
    return 0;
}
