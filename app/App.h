// The editor's main window: the menu bar along the top, the score tape below it, the MIDI output
// port, the current file and the state that the commands and the score board clicks share.
//
// Threads: everything here runs on the GUI thread. Playback runs on the tape's worker, which
// App stops (and joins) before it changes the port or ends.
#pragma once

#include "app/CommandIds.h"
#include "framework/Flt_App.h"
#include "mididevice/NoxmidiRcv.h"
#include "mididevice/NoxmidiSnd.h"
#include "notes/Instrument.h"
#include "scoremodel/InputRecording.h"
#include "scoremodel/NoteDrag.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tw {

class Flt_Menubar;
class Flt_Infowin;
class Flt_ScoreTape;
class PlaybackController;
class MidiFile;
class RecoveryKeeper;

class App : public Flt_App {
public:
    explicit App(Flt_AppConfig &config);
    ~App() override;
    App(const App &) = delete;
    App &operator=(const App &) = delete;

    int handle(int event) override;
    void resize(int x, int y, int w, int h) override;

    // Applies the stored settings, opens the stored port and loads the start file.
    void start(int argc, char **argv) override;
    // The unsaved-changes question; true when the current score may be discarded.
    bool queryClose() override;

    // The command dispatcher: menu picks and main-window keys end here.
    void onCommand(int id);
    // Edit/Drag notes, Edit/Snap to beat, Edit/Scale time..., View/Beat grid... and the loop
    // toggle (AppEditing.cpp); false for other ids.
    bool editingCommand(int id);
    // What a press on the score board does (releases do nothing).
    void onScoreClick(unsigned tick, unsigned note, int state, bool push);

    // File commands.
    bool saveFile(const char *path);
    void loadFile(const char *path);
    void setFileName(const char *path);
    // Puts the file (made absolute) first under "File/Recent files"; called for every file
    // opened or saved.
    void rememberRecentFile(const std::string &path);

    // Plays through the tape if a port is open; otherwise tells the user.
    bool startPlay(unsigned flags);
    // Opens the named output port, or none for an empty name.
    bool selectOutputPort(const std::string &name);
    // Opens the named input port, or none for an empty name. At the start (quiet) a port that
    // is gone is passed over without a word and stays chosen in the settings.
    bool selectInputPort(const std::string &name, bool quiet = false);
    // Play/Record: starts recording (and playback from the green marker), or ends it and
    // merges what was played as one edit.
    void toggleRecording();
    bool isRecording() const { return recording; }
    // Takes what arrived at the input: into the take while recording, as steps while stepping.
    void takeInput();
    // Applies note indicator table 0 (None), 1 (88-key piano), 2 (Deleika-26) or, from 3 on,
    // that of the instruments read from files, in their order.
    void selectNoteIndicators(int choice);
    // The instrument of the chosen note indicators; nothing for "None".
    std::optional<tw::Instrument> chosenInstrument() const;
    // Edit/Fit melody to instrument...: the transpositions to choose from, then the one chosen.
    void fitToInstrument();
    // Select/Select notes too close to repeat, with the count it found.
    void selectNotesTooClose();
    // Edit/Fix notes too close to repeat... and Edit/Shorten rests... (AppStrip.cpp).
    void fixNotesTooClose();
    void shortenRests();

    // Read access for the tests and the other parts of the shell.
    Flt_ScoreTape *scoreTape() const { return tape; }
    PlaybackController &playbackController() const { return *playback; }
    Flt_Menubar *menuBar() const { return menubar; }
    Flt_Infowin *helpWindow() const { return infoWindow; }
    NoxmidiSnd &output() { return midiOut; }
    const std::string &currentFile() const { return fileName; }
    // The file the melody came from: its own, else the file it was imported from (empty for
    // a new melody). Export names follow it.
    const std::string &melodySource() const { return fileName.empty() ? importedFrom : fileName; }
    const std::vector<std::string> &outputPorts() const { return portNames; }
    const std::vector<std::string> &inputPorts() const { return inputPortNames; }
    NoxmidiRcv &input() { return midiIn; }
    bool stepEntry() const { return stepEntryOn; }
    const std::vector<tw::Instrument> &fileInstruments() const { return instruments; }
    std::optional<ClickAction> pendingClickAction() const { return clickAction; }
    unsigned channelForNewNotes() const { return currentChannel; }
    unsigned lengthOfNewNotes() const { return newNoteLength; }
    bool playsInsertedNote() const { return playInsertedNote; }
    bool hasRectangleCorner() const { return rectCorner.has_value(); }
    bool dragsNotes() const { return dragNotes; }
    bool loopsPlayback() const { return loopPlayback; }
    const std::vector<std::string> &recentFileList() const { return recentFiles; }
    tw::RecoveryKeeper &recovery() const { return *recoveryKeeper; }

private:
    // What each command id does (AppCommands.cpp): adding a command adds one line there.
    struct CommandTable;
    void buildMenu();
    // The menu bar along the top, the tape below it.
    void layoutChildren();
    void showHelp();
    void openFile();
    // "File/Import MIDI file...": a file, then the choice of its tracks.
    void importFile();
    // The import window for a file that is read already; false when it was cancelled.
    bool importTracks(const MidiFile &file, const std::string &path);
    // The first track of a read file at 120 beats per minute, as the file's melody.
    void openFirstTrack(const MidiFile &file, const std::string &path);
    // Reads a file for Open or Import; false (after an alert) when it cannot be read.
    bool readFile(const std::string &path, MidiFile &file);
    // Opens recent file index, or removes it from the list with a message when it is gone.
    void openRecentFile(std::size_t index);
    // Stores the recent files and lists them under "File/Recent files".
    void showRecentFiles();
    void exitWithoutAsking();
    // Copy puts the selected notes (or those between the markers) on the clipboard; cut removes
    // the selected ones once they are there.
    void copySelection();
    void cutSelection();
    // Wheel handling; returns 0 when the event goes on to the framework.
    int handleWheel();
    // Shift-click rectangle selection.
    void shiftClick(unsigned tick, unsigned note);
    // Right click: play the note there, or change a note's length.
    void rightClick(unsigned tick, unsigned note);
    void runClickAction(unsigned tick);
    // The marks under "Show MIDI channels" decide which channels the tape shows.
    void applyChannelMarks();
    // Marks the six "Show MIDI channels" items from the tape's mask (after New and Open).
    void markShownChannels();
    void stopPlayback();
    // The input's commands and settings (AppInput.cpp).
    bool inputCommand(int id);
    void readInputSettings();
    static void inputTimer(void *app);
    void stopRecording();
    void showTake(bool fed);
    TickClock takeClock() const;
    static constexpr int64_t takeShowMicros = 50000;
    int64_t takeShownAt = 0;
    // One note-on while stepping; BackSpace.
    void stepNote(const InputEvent &event);
    void stepBack();
    // How recorded and stepped notes come to whole ticks, and the length of a stepped note.
    TickRounding inputRounding() const;
    unsigned stepLength() const;
    void writeSettings();
    // The View menu (AppView.cpp): its commands, its settings, the pointer's status line and
    // the crosshair while a click is armed (showPointerState: both, after every command).
    bool viewCommand(int id);
    void readViewSettings();
    void writeViewSettings();
    void showPointerStatus();
    void showPointerState();
    // Presses, motions and releases that make a drag (AppEditing.cpp); true when taken.
    bool onScoreDrag(int event, const tw::NoteDrag::Point &point, bool rightHalf, int state,
                     bool onGrid);
    // Escape while a drag is held: cancels it; false when none is held.
    bool cancelDrag();
    // The pointer's shape: what a press under it would drag.
    void showDragPointer();
    void readEditingSettings();
    void writeEditingSettings();
    void scaleTime();
    void editBeatGrid();
    // Opens this editor's recovery slot and offers the work that ended editors left, before
    // the file given at the start (named in the question) is opened (AppRecovery.cpp). True
    // when work was restored: the start file is not opened then.
    bool startRecovery(const std::string &startFile);
    // Offers the old content of files whose in-place write was stopped (safefile/KeptCopy).
    void offerKeptCopies();
    // Writes the settings settingsDelaySeconds after the last call (AppCommands.cpp).
    static constexpr double settingsDelaySeconds = 2.0;
    void settingsTouched();
    static void settingsTimer(void *app);
    void reportSettingsWrite(const SafeFileStatus &status);
    bool settingsWriteFailed = false;

    Flt_ScoreTape *tape = nullptr;
    Flt_Menubar *menubar = nullptr;
    Flt_Infowin *infoWindow = nullptr;
    NoxmidiSnd midiOut;
    // Plays the tape's melody on midiOut; goes before the port and the tape.
    std::unique_ptr<PlaybackController> playback;
    // Declared after the output that its thru sends on, so that it goes first.
    NoxmidiRcv midiIn;
    std::vector<std::string> inputPortNames;
    bool recording = false;
    int64_t recordStartMicros = 0;
    NoteRecorder recorder;
    bool stepEntryOn = false;
    StepEntry steps;
    unsigned newNoteLength = 4;
    unsigned currentChannel = 0;
    std::string fileName;
    std::string importedFrom; // while the melody has no file name of its own
    std::vector<std::string> portNames;
    std::vector<tw::Instrument> instruments; // read from files, sorted by name
    int noteIndicator = 0;                   // the indicator choice marked in the menu
    std::vector<std::string> recentFiles;
    bool playInsertedNote = false;
    std::optional<ClickAction> clickAction;
    // The first corner of a Shift+click rectangle, once one is set.
    struct Corner {
        unsigned tick = 0, note = 0;
    };
    std::optional<Corner> rectCorner;
    uint64_t lastWheelTime = 0;
    std::unique_ptr<tw::RecoveryKeeper> recoveryKeeper;
    // Dragging: the toggle, the drag under way and where its press was.
    bool dragNotes = false;
    tw::NoteDrag drag;
    tw::NoteDrag::Point dragPress;
    int dragPressState = 0;
    bool loopPlayback = false;
};

} // namespace tw
