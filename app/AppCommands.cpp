// The command table and the commands that choose the port and the note indicators.
#include "app/App.h"

#include <FL/Fl.H>

#include "app/AppDialogs.h"
#include "app/CommandIds.h"
#include "app/ExportDialog.h"
#include "app/NoteClipboard.h"
#include "app/RecoveryKeeper.h"
#include "app/SettingsKeys.h"
#include "clipboard/ScoreClipboard.h"
#include "framework/Dialogs.h"
#include "framework/Flt_Infowin.h"
#include "framework/Flt_Menubar.h"
#include "framework/Preferences.h"
#include "notes/NoteSets.h"
#include "scoremodel/InstrumentFit.h"
#include "scoretape/PlaybackController.h"
#include "scoretape/ScoreTape.h"

#include <cmath>

namespace tw {

namespace {

// Speed factor of the speed menu's step k (0..8): 0.5 * 2^(k/4).
double speedFactor(int k) {
    const double b = std::pow(2.0, 0.25);
    if (k == 0)
        return 0.5;
    if (k == 1)
        return 0.5 * b;
    return 0.5 * std::pow(b, k);
}

// The indicator choice of the first instrument read from a file; "noteIndic" stores it.
constexpr int firstFileIndicator = 3;

bool inRange(int id, int first, int last) {
    return id >= first && id <= last;
}

} // namespace

// What each command id does: a command of one id, or a range of ids (a channel, a port, a
// program...) whose handler gets the offset into its range. The lambdas belong to App's scope.
struct App::CommandTable {
    struct Entry {
        int id;
        void (*run)(App &app);
    };
    struct Range {
        int first, last;
        void (*run)(App &app, int offset);
    };
    static const Entry entries[];
    static const Range ranges[];
};

const App::CommandTable::Entry App::CommandTable::entries[] = {
    {cmdExit,
     [](App &a) {
         if (a.queryClose())
             a.hide();
     }},
    {cmdPlayAll, [](App &a) { a.startPlay(0); }},
    {cmdPlayFromMarker, [](App &a) { a.startPlay(ScoreModel::playFromPlayMarker); }},
    {cmdSave, [](App &a) { a.saveFile(a.fileName.c_str()); }},
    {cmdExportTape, [](App &a) { tw::openExportDialog(a); }},
    {cmdHelp, [](App &a) { a.showHelp(); }},
    {cmdEraseRegion, [](App &a) { a.tape->model().eraseRegion(); }},
    {cmdInsertRegionLength, [](App &a) { a.tape->model().insertRegionLength(); }},
    {cmdOpen, [](App &a) { a.openFile(); }},
    {cmdSaveAs, [](App &a) { a.saveFile(nullptr); }},
    {cmdImport, [](App &a) { a.importFile(); }},
    {cmdFrameRight,
     [](App &a) { a.tape->setFirstTick(a.tape->view().firstTick + a.tape->model().ticksPerFrame()); }},
    {cmdFrameLeft,
     [](App &a) {
         const unsigned first = a.tape->view().firstTick;
         a.tape->setFirstTick(first - std::min(a.tape->model().ticksPerFrame(), first));
     }},
    {cmdNew,
     [](App &a) {
         a.tape->model().clear();
         a.markShownChannels();
         a.setFileName("");
     }},
    {cmdScrollUp, [](App &a) { a.tape->scrollNotes(+1); }},
    {cmdScrollDown, [](App &a) { a.tape->scrollNotes(-1); }},
    {cmdNotesHigher, [](App &a) { a.tape->model().selectedNotesHigher(); }},
    {cmdNotesLower, [](App &a) { a.tape->model().selectedNotesLower(); }},
    {cmdInvertSelection, [](App &a) { a.tape->model().invertSelection(); }},
    {cmdSelectRegion, [](App &a) { a.tape->model().selectBetweenMarkers(); }},
    {cmdUnselectAll,
     [](App &a) {
         a.tape->model().unselectAll();
         a.rectCorner.reset(); // forget a pending rectangle corner
     }},
    {cmdRemoveSelected, [](App &a) { a.tape->model().removeSelected(); }},
    {cmdSelectAll, [](App &a) { a.tape->model().selectAll(); }},
    {cmdPlayInsertedNote,
     [](App &a) { a.playInsertedNote = a.menubar->value(cmdPlayInsertedNote); }},
    {cmdToEnd, [](App &a) { a.tape->scrollToEnd(); }},
    {cmdToStart, [](App &a) { a.tape->setFirstTick(0); }},
    {cmdCopy, [](App &a) { a.copySelection(); }},
    {cmdCut, [](App &a) { a.cutSelection(); }},
    {cmdPasteWithTime, [](App &a) { a.clickAction = clickPasteWithTime; }},
    {cmdChannel0Only,
     [](App &a) {
         for (unsigned c = 0; c < 16; ++c)
             a.menubar->setValue(cmdShowChannel + int(c), c == 0 || c == a.currentChannel);
         a.applyChannelMarks();
     }},
    {cmdUndo, [](App &a) { a.tape->model().undo(); }},
    {cmdRedo, [](App &a) { a.tape->model().redo(); }},
    {cmdExitNow, [](App &a) { a.exitWithoutAsking(); }},
    {cmdSelectSpecial,
     [](App &a) {
         const unsigned n = a.tape->model().selectSpecialNotes(a.tape->view());
         if (n > 0)
             showMessagef("%u special notes found", n);
         else
             showMessagef("No special notes found");
     }},
    {cmdPlayShownChannels, [](App &a) { a.startPlay(ScoreModel::playShownChannels); }},
    {cmdPlaySelected, [](App &a) { a.startPlay(ScoreModel::playSelected); }},
    {cmdMaxVelocity, [](App &a) { a.tape->model().setSelectedVelocity(127); }},
    {cmdPaste, [](App &a) { a.clickAction = clickPaste; }},
    {cmdClearBlueMarkers, [](App &a) { a.tape->model().clearSectionMarkers(); }},
    {cmdMoveLeft, [](App &a) { a.tape->model().moveSelected(-1); }},
    {cmdMoveRight, [](App &a) { a.tape->model().moveSelected(+1); }},
    {cmdClickLeftMarker, [](App &a) { a.clickAction = clickLeftMarker; }},
    {cmdClickRightMarker, [](App &a) { a.clickAction = clickRightMarker; }},
    {cmdClickPlayMarker, [](App &a) { a.clickAction = clickPlayMarker; }},
    {cmdClickBlueMarker, [](App &a) { a.clickAction = clickBlueMarker; }},
    {cmdSetChannel, [](App &a) { a.tape->model().setSelectedChannel(a.currentChannel); }},
    {cmdFitToInstrument, [](App &a) { a.fitToInstrument(); }},
    {cmdSelectTooClose, [](App &a) { a.selectNotesTooClose(); }},
    {cmdFixTooClose, [](App &a) { a.fixNotesTooClose(); }},
    {cmdShortenRests, [](App &a) { a.shortenRests(); }},
};

const App::CommandTable::Range App::CommandTable::ranges[] = {
    {cmdNewNoteChannel, cmdNewNoteChannel + 15,
     [](App &a, int channel) {
         a.currentChannel = unsigned(channel);
         a.menubar->setValue(cmdNewNoteChannel + channel, true);
         a.menubar->setValue(cmdShowChannel + channel, true); // always shown
         a.applyChannelMarks();
         a.menubar->setValue(cmdProgram + int(a.tape->model().program(a.currentChannel)), true);
     }},
    {cmdShowChannel, cmdShowChannel + 15,
     [](App &a, int channel) {
         // FLTK has flipped the mark already; the channel for new notes cannot be hidden.
         if (!a.menubar->value(cmdShowChannel + channel) && unsigned(channel) == a.currentChannel)
             a.menubar->setValue(cmdShowChannel + channel, true);
         a.applyChannelMarks();
     }},
    {cmdNoOutput, cmdNoOutput, [](App &a, int) { a.selectOutputPort(""); }},
    {cmdOutputPort, cmdOutputPort + maxPortItems - 1,
     [](App &a, int index) {
         if (std::size_t(index) < a.portNames.size())
             a.selectOutputPort(a.portNames[std::size_t(index)]);
     }},
    {cmdNoteIndicators, cmdNoteIndicators + 2,
     [](App &a, int choice) { a.selectNoteIndicators(choice); }},
    {cmdInstrumentFile, cmdInstrumentFile + maxInstrumentItems - 1,
     [](App &a, int file) { a.selectNoteIndicators(firstFileIndicator + file); }},
    {cmdProgram, cmdProgram + 127,
     [](App &a, int program) {
         a.playback->setProgram(a.currentChannel, unsigned(program));
         prefSetIntArray(a.prefs, settings::programs, a.tape->model().programs());
     }},
    {cmdLoudest, cmdLoudest + 100,
     [](App &a, int percent) {
         showMessagef("%u notes selected", a.tape->model().selectLoudest(unsigned(percent)));
     }},
    {cmdSpeed, cmdSpeed + 8, [](App &a, int step) { a.playback->setSpeed(speedFactor(step)); }},
    {cmdTicksPerFrame, cmdTicksPerFrame + int(maxTicksPerFrame),
     [](App &a, int ticks) { a.tape->model().setTicksPerFrame(unsigned(ticks)); }},
    {cmdRecentFile, cmdNoRecentFile - 1,
     [](App &a, int index) { a.openRecentFile(std::size_t(index)); }},
};

void App::onCommand(int id) {
    recoveryKeeper->touched();
    settingsTouched();
    if (inputCommand(id))
        return;
    for (const CommandTable::Entry &entry : CommandTable::entries)
        if (entry.id == id) {
            entry.run(*this);
            return;
        }
    if (viewCommand(id) || editingCommand(id))
        return;
    for (const CommandTable::Range &range : CommandTable::ranges)
        if (inRange(id, range.first, range.last)) {
            range.run(*this, id - range.first);
            return;
        }
}

void App::copySelection() {
    std::vector<TapeNote> notes = tape->model().selectedNotes();
    if (notes.empty()) {
        tape->model().selectBetweenMarkers();
        notes = tape->model().selectedNotes();
    }
    copyNotesToClipboard(notes);
}

void App::cutSelection() {
    // Only what reached the clipboard is removed; the time the notes took stays.
    const std::vector<TapeNote> notes = tape->model().selectedNotes();
    if (notes.empty())
        return;
    if (!copyNotesToClipboard(notes)) {
        showMessagef("Cannot put the %zu selected notes on the clipboard; nothing was cut",
                     notes.size());
        return;
    }
    tape->model().removeSelected();
}

void App::applyChannelMarks() {
    // Channels without an item (6 to 15) stay shown.
    unsigned short mask = 0xFFFF;
    for (unsigned c = 0; c < 16; ++c)
        if (menubar->findItem(cmdShowChannel + int(c)) && !menubar->value(cmdShowChannel + int(c)))
            mask = static_cast<unsigned short>(mask & ~(1u << c));
    tape->model().setChannelMask(mask);
}

void App::markShownChannels() {
    const unsigned short mask = tape->model().channelMask();
    for (unsigned c = 0; c < 16; ++c)
        menubar->setValue(cmdShowChannel + int(c), (mask >> c) & 1u);
}

// Settings are written a few seconds after the last command, so that a kill keeps the
// instrument, the port, the view and the recent files of this run.
void App::settingsTouched() {
    Fl::remove_timeout(settingsTimer, this);
    Fl::add_timeout(settingsDelaySeconds, settingsTimer, this);
}

void App::settingsTimer(void *data) {
    auto *app = static_cast<App *>(data);
    app->writeSettings();
    app->reportSettingsWrite(app->savePreferences());
}

// A failed write of the settings is told once until a write succeeds again; the settings stay
// in the staged copy and the next write tries again.
void App::reportSettingsWrite(const SafeFileStatus &status) {
    if (status) {
        settingsWriteFailed = false;
        return;
    }
    if (settingsWriteFailed)
        return;
    settingsWriteFailed = true;
    showAlertf("Settings cannot be saved: %s", status.message.c_str());
}

void App::exitWithoutAsking() {
    // Unsaved work leaves without a question only when it is kept for the next start.
    if (tape->model().dataChanged()) {
        recoveryKeeper->update();
        if (recoveryKeeper->cannotKeep() && !queryClose())
            return;
    }
    if (infoWindow)
        infoWindow->hide();
    hide();
}

bool App::startPlay(unsigned flags) {
    if (midiOut.isOpen() && loopPlayback &&
        playback->player().state() != NoxssThread::stateRunning) {
        // A loop plays what lies between the red and the purple marker.
        if (tape->model().leftMarker() >= tape->model().rightMarker()) {
            showMessage("The loop needs the purple marker to the right of the red one.");
            return false;
        }
        flags = (flags & ~unsigned(ScoreModel::playFromPlayMarker)) | ScoreModel::playLoop;
    }
    if (midiOut.isOpen())
        return playback->play(flags);
    showMessagef("No MIDI ported opened yet, see 'Play' menu");
    return false;
}

bool App::selectOutputPort(const std::string &name) {
    stopPlayback(); // a playout never outlives its port
    midiOut.close();
    if (name.empty()) {
        menubar->setValue(cmdNoOutput, true);
        prefs.deleteEntry(settings::midiPort);
        return false;
    }
    std::optional<unsigned> index;
    for (std::size_t i = 0; i < portNames.size(); ++i)
        if (portNames[i] == name) {
            index = unsigned(i);
            break;
        }
    if (index && midiOut.open(*index) == 0) {
        playback->setOutput(&midiOut);
        prefs.set(settings::midiPort, name.c_str());
        if (*index < unsigned(maxPortItems))
            menubar->setValue(cmdOutputPort + int(*index), true);
        else // later ports have no item (their ids belong to others), but a port is open
            menubar->setValue(cmdNoOutput, false);
        return true;
    }
    showMessagef("Cannot open MIDI device '%s'", name.c_str());
    prefs.deleteEntry(settings::midiPort);
    return false;
}

void App::selectNoteIndicators(int choice) {
    RowColours colours;
    const std::size_t file = std::size_t(choice) - firstFileIndicator;
    if (choice >= firstFileIndicator && file < instruments.size())
        colours = tw::instrumentRowColours(instruments[file]);
    else if (choice < 0 || choice >= firstFileIndicator ||
             !indicatorRowColours(unsigned(choice), colours))
        return; // an unknown choice changes nothing
    tape->model().setRowColours(colours);
    noteIndicator = choice;
    prefs.set(settings::noteIndicators, choice);
    menubar->setValue(choice < firstFileIndicator ? cmdNoteIndicators + choice
                                                  : cmdInstrumentFile + int(file),
                      true);
}

std::optional<tw::Instrument> App::chosenInstrument() const {
    if (noteIndicator >= firstFileIndicator)
        return instruments[std::size_t(noteIndicator - firstFileIndicator)];
    return tw::builtinInstrument(unsigned(noteIndicator));
}

void App::fitToInstrument() {
    const std::optional<tw::Instrument> instrument = chosenInstrument();
    if (!instrument) {
        showMessagef("An instrument must be chosen first, under \"Settings/Select note "
                     "indicators\"");
        return;
    }
    const std::vector<TapeNote> notes = tape->model().notesToFit();
    if (notes.empty()) {
        showMessagef("No notes to fit");
        return;
    }
    const FitChoice choice = chooseFit(instrument->name, tw::fitShifts(notes, instrument->notes));
    if (choice.chosen)
        tape->model().fitToInstrument(*instrument, choice.shift, choice.octaves);
}

void App::selectNotesTooClose() {
    // Without an instrument no gap is given: notes of one key must not touch.
    const unsigned n = tape->model().selectNotesTooClose(
        chosenInstrument().value_or(tw::Instrument{}), tape->view());
    if (n > 0)
        showMessagef("%u notes too close to repeat found", n);
    else
        showMessagef("No notes too close to repeat found");
}

} // namespace tw
