// Tapeworks2: a MIDI melody editor on a piano-roll score tape.
#include "app/App.h"
#include "app/NoteClipboard.h"

int main(int argc, char **argv) {
    initClipboard(); // before anything talks to the X server
    Flt_AppConfig config(200, 200);
    config.title = "Tapeworks2 V1.10";
    config.name = "Tapeworks2";
    config.vendor = "brn";
    config.application = "Tapeworker2";
    config.console = false; // no console on this platform: the option is never used
    {
        App app(config);
        app.run(argc, argv);
    }
    shutdownClipboard();
    return 0;
}
