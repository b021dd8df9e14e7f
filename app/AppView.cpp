// The View menu: following the playhead, the note name column and the zoom, kept in the
// preferences; the status line of the pointer; the crosshair while a click is armed; and the
// display scale of the screen.
#include "app/App.h"

#include "app/CommandIds.h"
#include "app/SettingsKeys.h"
#include "app/ViewOptions.h"
#include "framework/Flt_Menubar.h"
#include "framework/WindowScale.h"
#include "scoretape/BoardZoom.h"
#include "scoretape/PlaybackController.h"
#include "scoretape/ScoreTape.h"

#include <FL/Enumerations.H>
#include <FL/Fl.H>
#include <FL/fl_ask.H>

#include <cmath>
#include <cstdlib>

namespace tw {

namespace {

double takenScale = 1;
constexpr int dialogFontSize = 14; // fl_message's at a display scale of 1

} // namespace

double applyDisplayScale() {
    float h = 0, v = 0;
    Fl::screen_dpi(h, v);
    takenScale = tw::displayScale((h + v) / 2, std::getenv("TAPEWORKS2_SCALE"));
    setWindowScale(takenScale);
    if (takenScale != 1) {
        FL_NORMAL_SIZE = scaledSize(FL_NORMAL_SIZE);
        fl_message_font(FL_HELVETICA, scaledSize(dialogFontSize));
    }
    return takenScale;
}

double displayScaleFactor() {
    return takenScale;
}

int scaledSize(int size) {
    return int(std::lround(size * takenScale));
}

int viewKeyCommand(int key, int state) {
    if ((state & ~FL_SHIFT) != FL_CTRL)
        return 0;
    switch (key) {
    case '=':
    case '+':
    case FL_KP + '+':
        return cmdZoomIn;
    case '-':
    case FL_KP + '-':
        return cmdZoomOut;
    case '0':
    case FL_KP + '0':
        return cmdActualSize;
    default:
        return 0;
    }
}

bool App::viewCommand(int id) {
    switch (id) {
    case cmdFollowPlayback:
        tape->setFollowPlayback(menubar->value(cmdFollowPlayback));
        break;
    case cmdShowNoteNames:
        tape->setNoteNamesShown(menubar->value(cmdShowNoteNames));
        break;
    case cmdZoomIn:
        tape->zoomTo(tw::zoomStepBy(tape->zoomStep(), +1));
        break;
    case cmdZoomOut:
        tape->zoomTo(tw::zoomStepBy(tape->zoomStep(), -1));
        break;
    case cmdActualSize:
        tape->zoomTo(tw::actualSizeStep);
        break;
    default:
        return false;
    }
    showPointerStatus();
    return true;
}

void App::readViewSettings() {
    int value = 0;
    prefs.get(settings::followPlayback, value, 1);
    tape->setFollowPlayback(value != 0);
    menubar->setValue(cmdFollowPlayback, value != 0);
    prefs.get(settings::noteNames, value, 0);
    tape->setNoteNamesShown(value != 0);
    menubar->setValue(cmdShowNoteNames, value != 0);
    prefs.get(settings::zoom, value, 100);
    for (int step = 0; step < tw::zoomStepCount; ++step)
        if (tw::zoomPercents[step] == value)
            tape->zoomTo(step); // another value (a hand-edited file) keeps the actual size
    readEditingSettings();
}

void App::writeViewSettings() {
    prefs.set(settings::followPlayback, tape->followsPlayback() ? 1 : 0);
    prefs.set(settings::noteNames, tape->noteNamesShown() ? 1 : 0);
    prefs.set(settings::zoom, tw::zoomPercents[tape->zoomStep()]);
    writeEditingSettings();
}

void App::showPointerStatus() {
    unsigned tick = 0, note = 0;
    if (tape->pointerCell(tick, note))
        menubar->setStatus(tw::pointerStatus(note, tick, playback->secondsAt(tick)));
    else
        menubar->setStatus("");
}

void App::showPointerState() {
    tape->setCrosshair(clickAction.has_value());
    showPointerStatus(); // the command may have moved the board under the pointer
}

} // namespace tw
