// Settings kept between runs: read once when the window is shown, written when it goes.
// "noteIndic" and "midiPort" are written when they change; the programs also then.
#include "app/App.h"

#include "app/CommandIds.h"
#include "app/RecentFiles.h"
#include "app/SettingsKeys.h"
#include "framework/Flt_Menubar.h"
#include "framework/Preferences.h"
#include "scoretape/ScoreTape.h"

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

namespace tw {

namespace {

// Ticks are unsigned; the file holds ints, and a tick past the largest int is kept at it.
int storedTick(unsigned tick) {
    return int(std::min<unsigned>(tick, INT_MAX));
}

} // namespace

void App::start(int argc, char **argv) {
    // The X server confirms the new window's size only later; the settings below (markers
    // scroll the view) need the tape's real size now.
    layoutChildren();
    readViewSettings(); // the zoom decides how many rows the stored bottom note shows
    int value = 0;
    prefs.get(settings::bottomNote, value, 43);
    tape->setBottomNote(unsigned(value));
    // A negative marker (only a hand-edited file holds one) counts as missing.
    tape->setLeftMarker(unsigned(prefGetInt(prefs, settings::leftMarker, 0)));
    tape->setRightMarker(unsigned(prefGetInt(prefs, settings::rightMarker, 0)));

    prefs.get(settings::channel, value, 0);
    currentChannel = value >= 0 && value <= 15 ? unsigned(value) : 0; // hand-edited: channel 0
    menubar->setValue(cmdNewNoteChannel + int(currentChannel), true);

    prefs.get(settings::noteIndicators, value, 1);
    selectNoteIndicators(value);

    prefs.get(settings::playInsertedNote, value, 0);
    playInsertedNote = value != 0;
    menubar->setValue(cmdPlayInsertedNote, playInsertedNote);

    const std::vector<int> programs = prefGetIntArray(prefs, settings::programs);
    if (programs.size() == 16) {
        tape->setPrograms(programs);
        // The tape refuses programs outside 0..127, so mark what it holds.
        menubar->setValue(cmdProgram + int(tape->program(currentChannel)), true);
    }

    tape->setTicksPerFrame(unsigned(prefGetInt(prefs, settings::ticksPerFrame, 8)));
    menubar->setValue(cmdTicksPerFrame + int(tape->ticksPerFrame()), true);

    std::string port;
    if (prefGetString(prefs, settings::midiPort, port))
        selectOutputPort(port);
    readInputSettings();

    recentFiles = tw::readRecentFiles(prefs);
    showRecentFiles();

    // Unsaved work is offered first: restored, it takes the place of the file to open.
    const bool given = argc == 2;
    if (startRecovery(given ? std::string(argv[1]) : std::string()))
        return;
    if (given) {
        loadFile(argv[1]);
    } else {
        std::string name;
        prefGetString(prefs, settings::fileName, name, "");
        loadFile(name.c_str());
    }
}

void App::writeSettings() {
    prefs.set(settings::bottomNote, int(tape->bottomNote()));
    prefs.set(settings::leftMarker, storedTick(tape->leftMarker()));
    prefs.set(settings::rightMarker, storedTick(tape->rightMarker()));
    prefs.set(settings::channel, int(currentChannel));
    prefs.set(settings::playInsertedNote, playInsertedNote ? 1 : 0);
    prefs.set(settings::fileName, fileName.c_str());
    prefSetIntArray(prefs, settings::programs, tape->programs());
    prefs.set(settings::ticksPerFrame, int(tape->ticksPerFrame()));
    writeViewSettings();
}

} // namespace tw
