// The command dispatcher and the commands that choose the port and the note indicators.
#include "app/App.h"

#include <FL/Fl.H>

#include "app/AppDialogs.h"
#include "app/CommandIds.h"
#include "app/ExportDialog.h"
#include "app/NoteClipboard.h"
#include "app/RecoveryKeeper.h"
#include "app/SettingsKeys.h"
#include "framework/Flt_Infowin.h"
#include "framework/Flt_Menubar.h"
#include "framework/Preferences.h"
#include "notes/NoteSets.h"
#include "scoremodel/InstrumentFit.h"
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

void App::onCommand(int id) {
    recoveryKeeper->touched();
    settingsTouched();
    Flt_ScoreTape &t = *tape;
    const unsigned first = t.firstTick();
    const unsigned frame = t.ticksPerFrame();
    if (inputCommand(id))
        return;
    switch (id) {
    case cmdExit:
        if (queryClose())
            hide();
        return;
    case cmdPlayAll:
        startPlay(0);
        return;
    case cmdPlayFromMarker:
        startPlay(ScoreModel::playFromPlayMarker);
        return;
    case cmdSave:
        saveFile(fileName.c_str());
        return;
    case cmdExportTape:
        tw::openExportDialog(*this);
        return;
    case cmdHelp:
        showHelp();
        return;
    case cmdEraseRegion:
        t.eraseRegion();
        return;
    case cmdInsertRegionLength:
        t.insertRegionLength();
        return;
    case cmdOpen:
        openFile();
        return;
    case cmdSaveAs:
        saveFile(nullptr);
        return;
    case cmdImport:
        importFile();
        return;
    case cmdFrameRight:
        t.setFirstTick(first + frame);
        return;
    case cmdFrameLeft:
        t.setFirstTick(first - std::min(frame, first));
        return;
    case cmdNew:
        t.clear();
        markShownChannels();
        setFileName("");
        return;
    case cmdScrollUp:
        t.scrollNotes(+1);
        return;
    case cmdScrollDown:
        t.scrollNotes(-1);
        return;
    case cmdNotesHigher:
        t.selectedNotesHigher();
        return;
    case cmdNotesLower:
        t.selectedNotesLower();
        return;
    case cmdInvertSelection:
        t.invertSelection();
        return;
    case cmdSelectRegion:
        t.selectBetweenMarkers();
        return;
    case cmdUnselectAll:
        t.unselectAll();
        rectCorner.reset(); // forget a pending rectangle corner
        return;
    case cmdRemoveSelected:
        t.removeSelected();
        return;
    case cmdSelectAll:
        t.selectAll();
        return;
    case cmdPlayInsertedNote:
        playInsertedNote = menubar->value(cmdPlayInsertedNote);
        return;
    case cmdToEnd:
        t.scrollToEnd();
        return;
    case cmdToStart:
        t.setFirstTick(0);
        return;
    case cmdCopy: {
        std::vector<TapeNote> notes = t.selectedNotes();
        if (notes.empty()) {
            t.selectBetweenMarkers();
            notes = t.selectedNotes();
        }
        copyNotes(notes);
        return;
    }
    case cmdCut: {
        // Only what reached the clipboard is removed; the time the notes took stays.
        const std::vector<TapeNote> notes = t.selectedNotes();
        if (notes.empty())
            return;
        if (!copyNotes(notes)) {
            showMessagef("Cannot put the %zu selected notes on the clipboard; nothing was cut",
                         notes.size());
            return;
        }
        t.removeSelected();
        return;
    }
    case cmdPasteWithTime:
        clickAction = clickPasteWithTime;
        return;
    case cmdChannel0Only:
        for (unsigned c = 0; c < 16; ++c)
            menubar->setValue(cmdShowChannel + int(c), c == 0 || c == currentChannel);
        applyChannelMarks();
        return;
    case cmdUndo:
        t.undo();
        return;
    case cmdRedo:
        t.redo();
        return;
    case cmdExitNow:
        exitWithoutAsking();
        return;
    case cmdSelectSpecial: {
        const unsigned n = t.selectSpecialNotes();
        if (n > 0)
            showMessagef("%u special notes found", n);
        else
            showMessagef("No special notes found");
        return;
    }
    case cmdPlayShownChannels:
        startPlay(ScoreModel::playShownChannels);
        return;
    case cmdPlaySelected:
        startPlay(ScoreModel::playSelected);
        return;
    case cmdMaxVelocity:
        t.setSelectedVelocity(127);
        return;
    case cmdPaste:
        clickAction = clickPaste;
        return;
    case cmdClearBlueMarkers:
        t.clearSectionMarkers();
        return;
    case cmdMoveLeft:
        t.moveSelected(-1);
        return;
    case cmdMoveRight:
        t.moveSelected(+1);
        return;
    case cmdClickLeftMarker:
        clickAction = clickLeftMarker;
        return;
    case cmdClickRightMarker:
        clickAction = clickRightMarker;
        return;
    case cmdClickPlayMarker:
        clickAction = clickPlayMarker;
        return;
    case cmdClickBlueMarker:
        clickAction = clickBlueMarker;
        return;
    case cmdSetChannel:
        t.setSelectedChannel(currentChannel);
        return;
    case cmdFitToInstrument:
        fitToInstrument();
        return;
    case cmdSelectTooClose:
        selectNotesTooClose();
        return;
    case cmdFixTooClose:
        fixNotesTooClose();
        return;
    case cmdShortenRests:
        shortenRests();
        return;
    default:
        if (viewCommand(id) || editingCommand(id))
            return;
        break;
    }

    if (inRange(id, cmdNewNoteChannel, cmdNewNoteChannel + 15)) {
        currentChannel = unsigned(id - cmdNewNoteChannel);
        menubar->setValue(id, true);
        menubar->setValue(cmdShowChannel + int(currentChannel), true); // always shown
        applyChannelMarks();
        menubar->setValue(cmdProgram + int(t.program(currentChannel)), true);
    } else if (inRange(id, cmdShowChannel, cmdShowChannel + 15)) {
        // FLTK has flipped the mark already; the channel for new notes cannot be hidden.
        if (!menubar->value(id) && unsigned(id - cmdShowChannel) == currentChannel)
            menubar->setValue(id, true);
        applyChannelMarks();
    } else if (id == cmdNoOutput) {
        selectOutputPort("");
    } else if (inRange(id, cmdOutputPort, cmdOutputPort + maxPortItems - 1)) {
        const std::size_t index = std::size_t(id - cmdOutputPort);
        if (index < portNames.size())
            selectOutputPort(portNames[index]);
    } else if (inRange(id, cmdNoteIndicators, cmdNoteIndicators + 2)) {
        selectNoteIndicators(id - cmdNoteIndicators);
    } else if (inRange(id, cmdInstrumentFile, cmdInstrumentFile + maxInstrumentItems - 1)) {
        selectNoteIndicators(firstFileIndicator + (id - cmdInstrumentFile));
    } else if (inRange(id, cmdProgram, cmdProgram + 127)) {
        t.setProgram(currentChannel, unsigned(id - cmdProgram));
        prefSetIntArray(prefs, settings::programs, t.programs());
    } else if (inRange(id, cmdLoudest, cmdLoudest + 100)) {
        showMessagef("%u notes selected", t.selectLoudest(unsigned(id - cmdLoudest)));
    } else if (inRange(id, cmdSpeed, cmdSpeed + 8)) {
        t.setSpeed(speedFactor(id - cmdSpeed));
    } else if (inRange(id, cmdTicksPerFrame, cmdTicksPerFrame + 200)) {
        t.setTicksPerFrame(unsigned(id - cmdTicksPerFrame));
    } else if (inRange(id, cmdRecentFile, cmdNoRecentFile - 1)) {
        openRecentFile(std::size_t(id - cmdRecentFile));
    }
}

void App::applyChannelMarks() {
    // Channels without an item (6 to 15) stay shown.
    unsigned short mask = 0xFFFF;
    for (unsigned c = 0; c < 16; ++c)
        if (menubar->findItem(cmdShowChannel + int(c)) && !menubar->value(cmdShowChannel + int(c)))
            mask = static_cast<unsigned short>(mask & ~(1u << c));
    tape->setChannelMask(mask);
}

void App::markShownChannels() {
    const unsigned short mask = tape->channelMask();
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
    app->prefs.flush();
}

void App::exitWithoutAsking() {
    // Unsaved work leaves without a question only when it is kept for the next start.
    if (tape->dataChanged()) {
        recoveryKeeper->update();
        if (recoveryKeeper->cannotKeep() && !queryClose())
            return;
    }
    if (infoWindow)
        infoWindow->hide();
    hide();
}

bool App::startPlay(unsigned flags) {
    if (midiOut.isOpen() && loopPlayback && tape->player().state() != NoxssThread::stateRunning) {
        // A loop plays what lies between the red and the purple marker.
        if (tape->leftMarker() >= tape->rightMarker()) {
            showMessage("The loop needs the purple marker to the right of the red one.");
            return false;
        }
        flags = (flags & ~unsigned(ScoreModel::playFromPlayMarker)) | ScoreModel::playLoop;
    }
    if (midiOut.isOpen())
        return tape->play(flags);
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
    int index = -1;
    for (std::size_t i = 0; i < portNames.size(); ++i)
        if (portNames[i] == name) {
            index = int(i);
            break;
        }
    if (index >= 0 && midiOut.open(unsigned(index)) == 0) {
        tape->setOutput(&midiOut);
        prefs.set(settings::midiPort, name.c_str());
        if (index < maxPortItems)
            menubar->setValue(cmdOutputPort + index, true);
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
    tape->setRowColours(colours);
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
    const std::vector<TapeNote> notes = tape->notesToFit();
    if (notes.empty()) {
        showMessagef("No notes to fit");
        return;
    }
    const FitChoice choice = chooseFit(instrument->name, tw::fitShifts(notes, instrument->notes));
    if (choice.chosen)
        tape->fitToInstrument(*instrument, choice.shift, choice.octaves);
}

void App::selectNotesTooClose() {
    // Without an instrument no gap is given: notes of one key must not touch.
    const unsigned n = tape->selectNotesTooClose(chosenInstrument().value_or(tw::Instrument{}));
    if (n > 0)
        showMessagef("%u notes too close to repeat found", n);
    else
        showMessagef("No notes too close to repeat found");
}

} // namespace tw
