// MIDI input: the input port and thru settings, recording while the tape plays, and step
// entry. The input port stamps what is played on its own thread; a timer here takes it into
// the melody on the GUI thread.
#include "app/App.h"

#include "app/CommandIds.h"
#include "app/SettingsKeys.h"
#include "framework/Dialogs.h"
#include "framework/Flt_Menubar.h"
#include "framework/Preferences.h"
#include "scoretape/PlaybackController.h"
#include "scoretape/ScoreTape.h"

#include <FL/Fl.H>

#include <algorithm>
#include <cmath>

namespace tw {

namespace {

// Seconds between two looks at the input queue while a port is open. Recorded notes keep the
// time stamps of their arrival, so this only delays step entry (and the queue holds far more
// than arrives meanwhile).
constexpr double inputPeriod = 0.01;

int64_t nowMicros() {
    return NoxmidiSnd::Timing::system().nowMicros();
}

} // namespace

bool App::inputCommand(int id) {
    if (recording) {
        switch (id) {
        case cmdPlayAll:
        case cmdPlayFromMarker:
        case cmdPlayShownChannels:
        case cmdPlaySelected:
        case cmdLoop:
            stopRecording(); // a play command stops the playback that records
            return true;
        case cmdNew:
        case cmdOpen:
        case cmdImport:
        case cmdExit:
            stopRecording(); // the take belongs to the melody that is left
            return false;
        default:
            if (id >= cmdRecentFile && id < cmdRecentFile + 8)
                stopRecording();
            break;
        }
    }
    if (id == cmdNoInput) {
        selectInputPort("");
        return true;
    }
    if (id >= cmdInputPort && id < cmdInputPort + maxPortItems) {
        const std::size_t index = std::size_t(id - cmdInputPort);
        if (index < inputPortNames.size())
            selectInputPort(inputPortNames[index]);
        return true;
    }
    switch (id) {
    case cmdMidiThru: {
        const bool on = menubar->value(cmdMidiThru);
        midiIn.setThru(on);
        prefs.set(settings::midiThru, on ? 1 : 0);
        return true;
    }
    case cmdRecord:
        toggleRecording();
        return true;
    case cmdStepEntry:
        takeInput(); // what was played before the switch is no step
        stepEntryOn = menubar->value(cmdStepEntry);
        steps.clear();
        return true;
    case cmdStepBack:
        stepBack();
        return true;
    default:
        return false;
    }
}

void App::readInputSettings() {
    const bool thru = prefGetInt(prefs, settings::midiThru, 1) != 0;
    midiIn.setThru(thru);
    menubar->setValue(cmdMidiThru, thru);
    std::string port;
    if (prefGetString(prefs, settings::midiInputPort, port))
        selectInputPort(port, true);
}

bool App::selectInputPort(const std::string &name, bool quiet) {
    if (recording)
        stopRecording();
    takeInput();
    Fl::remove_timeout(inputTimer, this);
    midiIn.close();
    if (name.empty()) {
        menubar->setValue(cmdNoInput, true);
        prefs.deleteEntry(settings::midiInputPort);
        return false;
    }
    // A keyboard that is not plugged in at the start stays chosen for the next start.
    const auto listed = std::find(inputPortNames.begin(), inputPortNames.end(), name);
    if (quiet && listed == inputPortNames.end()) {
        menubar->setValue(cmdNoInput, true);
        return false;
    }
    midiIn.setThruChannel(currentChannel);
    if (midiIn.open(name) == NoxmidiRcv::resultOk) {
        prefs.set(settings::midiInputPort, name.c_str());
        const int index = int(listed - inputPortNames.begin());
        if (listed != inputPortNames.end() && index < maxPortItems)
            menubar->setValue(cmdInputPort + index, true);
        else
            menubar->setValue(cmdNoInput, false);
        Fl::add_timeout(inputPeriod, inputTimer, this);
        return true;
    }
    menubar->setValue(cmdNoInput, true);
    if (!quiet) {
        showMessagef("Cannot open MIDI input '%s'", name.c_str());
        prefs.deleteEntry(settings::midiInputPort);
    }
    return false;
}

void App::inputTimer(void *app) {
    Fl::repeat_timeout(inputPeriod, inputTimer, app);
    static_cast<App *>(app)->takeInput();
}

void App::takeInput() {
    midiIn.setThruChannel(currentChannel);
    InputEvent event;
    bool fed = false;
    while (midiIn.take(event)) {
        if (recording) {
            recorder.feed(event.micros, event.bytes, event.size);
            fed = true;
        } else if (stepEntryOn && event.isNoteOn()) {
            stepNote(event);
        }
    }
    if (recording)
        showTake(fed);
}

// The take as it stands is shown on the tape as outlines: at once when something was played,
// and while notes are held a few times a second, so that they grow with the playhead.
void App::showTake(bool fed) {
    const int64_t now = nowMicros();
    if (!fed && !(recorder.holding() && now - takeShownAt >= takeShowMicros))
        return;
    const TickClock clock = takeClock();
    if (clock.secondsPerTick <= 0)
        return;
    takeShownAt = now;
    tape->setTakeNotes(recorder.notes(clock, currentChannel, inputRounding(), now));
}

// The clock of the playhead: the tick that sounded when each note was played.
TickClock App::takeClock() const {
    const PlayheadClock &playhead = playback->playheadClock();
    TickClock clock;
    clock.startTick = playhead.startTick;
    clock.secondsPerTick = playhead.secondsPerTick;
    const int64_t began = playhead.startMicros.load();
    clock.startMicros = began == PlayheadClock::notStarted ? recordStartMicros : began;
    return clock;
}

void App::toggleRecording() {
    if (recording) {
        stopRecording();
        return;
    }
    if (!midiIn.isOpen()) {
        menubar->setValue(cmdRecord, false);
        showMessagef("No MIDI input port opened yet, see 'Settings/Select MIDI input'");
        return;
    }
    takeInput(); // what was played before belongs to no take
    recorder.clear();
    stopPlayback();
    playback->holdPlayhead(false, 0);
    // Playback from the green marker as Space starts it; without an output port, or with
    // nothing to play, the playhead alone runs from the green marker.
    if (midiOut.isOpen())
        playback->play(ScoreModel::playFromPlayMarker);
    recordStartMicros = nowMicros();
    playback->holdPlayhead(true, recordStartMicros);
    recording = true;
    menubar->setValue(cmdRecord, true);
}

void App::stopRecording() {
    if (!recording)
        return;
    const int64_t stoppedAt = nowMicros();
    takeInput(); // everything played until now
    recording = false;
    menubar->setValue(cmdRecord, false);
    stopPlayback();
    const TickClock clock = takeClock();
    playback->holdPlayhead(false, stoppedAt);
    tape->setTakeNotes({});
    recorder.stop(stoppedAt);
    const std::vector<TapeNote> notes = recorder.notes(clock, currentChannel, inputRounding());
    if (!notes.empty())
        tape->model().pasteNotes(notes.front().start, notes); // one edit
    if (recorder.lost() > 0)
        showMessagef("Only the first %zu notes of the take were recorded", NoteRecorder::maxNotes);
    recorder.clear();
}

void App::stepNote(const InputEvent &event) {
    const StepEntry::Step step =
        steps.noteOn(event.micros, event.bytes[1], event.bytes[2], tape->model().playMarker(),
                     stepLength(), currentChannel);
    if (!tape->model().insertNote(step.note)) {
        steps.refused();
        return;
    }
    tape->model().setPlayMarker(step.marker);
    // The marker stays in view as the steps go on.
    const unsigned first = tape->view().firstTick, visible = tape->view().visibleTicks;
    if (visible > 0 && (step.marker < first || step.marker >= first + visible))
        tape->setFirstTick(step.marker > visible / 10 ? step.marker - visible / 10 : 0);
}

void App::stepBack() {
    if (!stepEntryOn)
        return;
    takeInput(); // steps played before the key come first
    // A step that was undone meanwhile is gone already: the one before it goes then.
    while (const std::optional<StepEntry::Back> back = steps.back()) {
        if (!tape->model().removeNotesAt(back->note.start, back->note.note))
            continue;
        if (back->moveMarker)
            tape->model().setPlayMarker(back->note.start);
        return;
    }
}

TickRounding App::inputRounding() const {
    // With "Edit/Snap to beat" on, starts and ends go to the beat grid's nearest line and the
    // shortest note is one step of it.
    TickRounding rounding;
    const BeatGrid &grid = tape->model().beatGrid();
    if (!grid.snap)
        return rounding;
    const unsigned perFrame = tape->model().ticksPerFrame();
    rounding.snap = [grid, perFrame](uint32_t tick) { return grid.snapNearest(tick, perFrame); };
    rounding.minLength = stepLength();
    return rounding;
}

unsigned App::stepLength() const {
    // With snapping on, a step is one division of the beat (the beat grid's step).
    const BeatGrid &grid = tape->model().beatGrid();
    if (grid.snap) {
        const double step = std::round(grid.stepTicks(tape->model().ticksPerFrame()));
        if (step >= 1)
            return step < double(lastTick) ? unsigned(step) : lastTick;
    }
    return std::max(newNoteLength, 1u);
}

} // namespace tw
