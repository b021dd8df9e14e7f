#include "app/App.h"

#include "app/CommandIds.h"
#include "app/KeyTable.h"
#include "app/NoteClipboard.h"
#include "app/RecoveryKeeper.h"
#include "app/WheelSteps.h"
#include "framework/Flt_Infowin.h"
#include "framework/Flt_Menubar.h"
#include "scoretape/ScoreTape.h"

#include <FL/Fl.H>

namespace {
constexpr int menuHeight = 25;
}

App::App(Flt_AppConfig &config) : Flt_App(config) {
    escapeMode = 2; // Escape is a command of the editor, it never closes the window
    portNames = NoxmidiSnd::listOutputPorts();

    menubar = new Flt_Menubar();
    menubar->commandCallback = [this](int id) { onCommand(id); };
    buildMenu();

    tape = new Flt_ScoreTape(0, 0, 0, 0);
    infoWindow = nullptr;
    end();
    tape->setClickCallback([this](unsigned tick, unsigned note, int state, bool push) {
        onScoreClick(tick, note, state, push);
    });

    newNoteLength = 4;
    currentChannel = 0;
    playInsertedNote = false;
    rectTick = 0;
    rectNote = 200;
    clickAction = clickNone;
    lastWheelTime = 0;
    installClipboardPump();
    recoveryKeeper = std::make_unique<tw::RecoveryKeeper>(*tape, fileName);
}

App::~App() {
    stopPlayback();
    writeSettings();
    // The port goes away with this object, the tape only later with the window's children.
    tape->setOutput(nullptr);
    delete infoWindow;
    infoWindow = nullptr;
}

void App::stopPlayback() {
    tape->player().stop();
}

void App::resize(int x, int y, int w, int h) {
    Flt_App::resize(x, y, w, h);
    if (shown())
        layoutChildren();
}

void App::layoutChildren() {
    menubar->resize(0, 0, w(), menuHeight);
    tape->resize(0, menuHeight, w(), h() - menuHeight);
}

int App::handle(int event) {
    if (event == FL_KEYDOWN) {
        const int command =
            keyCommand(Fl::event_key(), withoutLockBits(Fl::event_state()), Fl::event_text());
        if (command != 0) {
            onCommand(command);
            if (command == cmdUnselectAll)
                clickAction = clickNone; // Escape also drops a pending click action
            return 1;
        }
    } else if (event == FL_MOUSEWHEEL) {
        if (handleWheel())
            return 1;
    }
    return Flt_App::handle(event);
}

int App::handleWheel() {
    if (!acceptWheelEvent(lastWheelTime, wheelClockMicros()))
        return 0;
    const bool forward = Fl::event_dy() > 0;
    const int state = withoutLockBits(Fl::event_state());
    if (state == 0) {
        const int step = int(tape->ticksPerFrame() / 2);
        tape->setFirstTick(clampedStep(tape->firstTick(), forward ? step : -step));
        return 1;
    }
    if (state == FL_CTRL) {
        tape->setLeftMarker(clampedStep(tape->leftMarker(), forward ? 1 : -1));
        return 1;
    }
    if (state == (FL_CTRL | FL_SHIFT)) {
        const int frame = int(tape->ticksPerFrame());
        tape->setLeftMarker(clampedStep(tape->leftMarker(), forward ? frame : -frame));
        return 1;
    }
    return 0;
}
