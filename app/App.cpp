#include "app/App.h"

#include "app/CommandIds.h"
#include "app/EndSignals.h"
#include "app/KeyTable.h"
#include "app/NoteClipboard.h"
#include "app/RecoveryKeeper.h"
#include "app/ViewOptions.h"
#include "app/WheelSteps.h"
#include "framework/Dialogs.h"
#include "framework/Flt_Infowin.h"
#include "framework/Flt_Menubar.h"
#include "scoretape/PlaybackController.h"
#include "scoretape/ScoreTape.h"

#include <FL/Fl.H>

#include <iostream>

namespace tw {

namespace {
constexpr int menuHeight = 25; // at a display scale of 1

// The window whose menu takes the shortcuts that other windows leave (the Help window).
App *shortcutOwner = nullptr;

// FLTK asks this after the windows have refused a shortcut. While a modal dialog runs or a menu
// is open (it holds the grab), the menu's shortcuts wait. Plain keys typed in another window
// (Delete, Space, q) never act on the melody: only Ctrl, Alt and Meta shortcuts come through.
int menuShortcutFromAnyWindow(int event) {
    if (event != FL_SHORTCUT || !shortcutOwner || Fl::modal() || Fl::grab() ||
        !shortcutOwner->shown() || !Flt_Infowin::isShortcutState(Fl::event_state()))
        return 0;
    return shortcutOwner->menuBar()->handle(FL_SHORTCUT);
}
} // namespace

App::App(Flt_AppConfig &config) : Flt_App(config) {
    escapeMode = 2; // Escape is a command of the editor, it never closes the window
    portNames = NoxmidiSnd::listOutputPorts();
    inputPortNames = NoxmidiRcv::listInputPorts();
    midiIn.setThruPort(&midiOut);
    instruments = tw::loadInstruments(tw::instrumentFolders(), std::cerr);
    if (instruments.size() > std::size_t(maxInstrumentItems)) {
        std::cerr << "tapeworks2: only the first " << maxInstrumentItems << " of "
                  << instruments.size() << " instruments are offered\n";
        instruments.resize(std::size_t(maxInstrumentItems));
    }

    menubar = new Flt_Menubar();
    menubar->commandCallback = [this](int id) {
        onCommand(id);
        showPointerState();
    };
    buildMenu();

    tape = new Flt_ScoreTape(0, 0, 0, 0);
    playback = std::make_unique<PlaybackController>(*tape);
    infoWindow = nullptr;
    end();
    tape->setClickCallback([this](unsigned tick, unsigned note, int state, bool push) {
        onScoreClick(tick, note, state, push);
        showPointerState();
    });
    tape->setDisplayScale(displayScaleFactor());
    tape->setPointerCallback([this] {
        showPointerStatus();
        showDragPointer();
    });
    tape->setDragCallback([this](const Flt_ScoreTape::DragEvent &e) {
        const bool taken = onScoreDrag(e.event, e.point, e.rightHalf, e.state, e.onGrid);
        if (taken && e.event == FL_RELEASE)
            showPointerState();
        return taken;
    });

    newNoteLength = 4;
    currentChannel = 0;
    playInsertedNote = false;
    rectCorner.reset();
    clickAction.reset();
    lastWheelTime = 0;
    installClipboardPump();
    shortcutOwner = this;
    Fl::add_handler(menuShortcutFromAnyWindow);
    recoveryKeeper =
        std::make_unique<tw::RecoveryKeeper>(tape->model(), playback->player(), fileName);
    recoveryKeeper->onCannotKeep([](const std::string &reason) {
        showAlertf("Unsaved work cannot be kept: %s", reason.c_str());
    });
    installEndHandlers([this] { recoveryKeeper->finish(); });
}

App::~App() {
    Fl::remove_handler(menuShortcutFromAnyWindow);
    if (shortcutOwner == this)
        shortcutOwner = nullptr;
    Fl::remove_timeout(inputTimer, this);
    Fl::remove_timeout(settingsTimer, this);
    stopPlayback();
    writeSettings();
    // The port goes away with this object, the tape only later with the window's children.
    playback->setOutput(nullptr);
    delete infoWindow;
    infoWindow = nullptr;
}

void App::stopPlayback() {
    playback->player().stop();
}

void App::resize(int x, int y, int w, int h) {
    Flt_App::resize(x, y, w, h);
    if (shown())
        layoutChildren();
}

void App::layoutChildren() {
    const int bar = scaledSize(menuHeight);
    menubar->resize(0, 0, w(), bar);
    tape->resize(0, bar, w(), h() - bar);
}

int App::handle(int event) {
    // Keys reach the window as FL_KEYDOWN while it has the keyboard focus, and as FL_SHORTCUT
    // when no widget has it (after a dialog, or with the pointer over the window): both go to
    // the menu's shortcuts first and then to the window's own keys. Escape always ends here, so
    // it never falls through to FLTK's default of closing the window.
    if (event == FL_KEYDOWN || event == FL_SHORTCUT) {
        // Escape during a drag cancels it, and only that.
        if (Fl::event_key() == FL_Escape && cancelDrag())
            return 1;
        if (menubar->handle(FL_SHORTCUT))
            return 1;
        const int state = withoutLockBits(Fl::event_state());
        int command = viewKeyCommand(Fl::event_key(), state);
        if (command == 0)
            command = keyCommand(Fl::event_key(), state, Fl::event_text());
        if (command != 0) {
            onCommand(command);
            if (command == cmdUnselectAll)
                clickAction.reset(); // Escape also drops a pending click action
            showPointerState();
            return 1;
        }
    } else if (event == FL_MOUSEWHEEL) {
        if (handleWheel())
            return 1;
    }
    return Flt_App::handle(event);
}

int App::handleWheel() {
    const int direction = wheelDirection(Fl::event_dx(), Fl::event_dy());
    if (direction == 0 || !acceptWheelEvent(lastWheelTime, wheelClockMicros()))
        return 0;
    const bool forward = direction > 0;
    const int state = withoutLockBits(Fl::event_state());
    if (state == 0) {
        const int step = int(tape->model().ticksPerFrame() / 2);
        tape->setFirstTick(clampedStep(tape->view().firstTick, forward ? step : -step));
        return 1;
    }
    if (state == FL_CTRL) {
        tape->model().setLeftMarker(clampedStep(tape->model().leftMarker(), forward ? 1 : -1),
                                    tape->view());
        return 1;
    }
    if (state == (FL_CTRL | FL_SHIFT)) {
        const int frame = int(tape->model().ticksPerFrame());
        tape->model().setLeftMarker(
            clampedStep(tape->model().leftMarker(), forward ? frame : -frame), tape->view());
        return 1;
    }
    return 0;
}

} // namespace tw
