// The menu, added in its final order (the menu bar maps FLTK's item indexes to command ids and
// never renumbers them).
#include "app/App.h"

#include "app/CommandIds.h"
#include "framework/Flt_Menubar.h"
#include "midifile/MidiFile.h"

#include <FL/Enumerations.H>
#include <FL/Fl_Menu_Item.H>

#include <algorithm>
#include <string>

namespace tw {

namespace {

constexpr int plain = 0;
constexpr int toggle = FL_MENU_TOGGLE;
constexpr int toggleOn = FL_MENU_TOGGLE | FL_MENU_VALUE;
constexpr int radio = FL_MENU_RADIO;
constexpr int radioOn = FL_MENU_RADIO | FL_MENU_VALUE;
constexpr int divider = FL_MENU_DIVIDER;

struct MenuEntry {
    const char *path;
    int id;
    int shortcut;
    int flags;
};

constexpr int ctrl(char letter) {
    return FL_CTRL + letter;
}

constexpr MenuEntry fileToPlay[] = {
    {"File/New", cmdNew, ctrl('n'), plain},
    {"File/Open", cmdOpen, ctrl('o'), plain},
    {"File/Recent files/(None)", cmdNoRecentFile, 0, FL_MENU_INACTIVE},
    {"File/Import MIDI file...", cmdImport, ctrl('i'), plain},
    {"File/Save", cmdSave, ctrl('s'), plain},
    {"File/Save As...", cmdSaveAs, FL_SHIFT + ctrl('s'), plain},
    {"File/Export tape...", cmdExportTape, ctrl('e'), divider},
    {"File/Exit", cmdExit, ctrl('q'), plain},
    {"File/EXIT WITHOUT ASKING!", cmdExitNow, 'q', plain},
    {"Select/Select all notes", cmdSelectAll, ctrl('a'), plain},
    {"Select/Unselect all notes              ESC", cmdUnselectAll, 0, plain},
    {"Select/Invert selection", cmdInvertSelection, 'i', plain},
    {"Select/Click sets playback marker", cmdClickPlayMarker, 'p', plain},
    {"Select/Click sets left region marker", cmdClickLeftMarker, '1', plain},
    {"Select/Click sets right region marker", cmdClickRightMarker, '2', plain},
    {"Select/Select notes in marked region", cmdSelectRegion, 'm', plain},
    {"Select/Click toggles blue marker", cmdClickBlueMarker, 's', plain},
    {"Select/Remove all blue markers", cmdClearBlueMarkers, 0, plain},
    {"Select/Select special notes", cmdSelectSpecial, 0, plain},
    {"Select/Select notes too close to repeat", cmdSelectTooClose, 0, plain},
    {"Select/Select loudest notes/10%", cmdLoudest + 10, 0, plain},
    {"Select/Select loudest notes/20%", cmdLoudest + 20, 0, plain},
    {"Select/Select loudest notes/30%", cmdLoudest + 30, 0, plain},
    {"Select/Select loudest notes/40%", cmdLoudest + 40, 0, plain},
    {"Select/Select loudest notes/50%", cmdLoudest + 50, 0, plain},
    {"Select/Select loudest notes/60%", cmdLoudest + 60, 0, plain},
    {"Select/Select loudest notes/70%", cmdLoudest + 70, 0, plain},
    {"Select/Select loudest notes/80%", cmdLoudest + 80, 0, plain},
    {"Select/Select loudest notes/90%", cmdLoudest + 90, 0, plain},
    {"Edit/Copy selected notes to clipboard", cmdCopy, ctrl('c'), plain},
    {"Edit/Cut selected notes to clipboard", cmdCut, ctrl('x'), plain},
    {"Edit/Insert notes and time from clipboard", cmdPasteWithTime, ctrl('v'), plain},
    {"Edit/Add notes from clipboard", cmdPaste, ctrl('w'), divider},
    {"Edit/Undo", cmdUndo, ctrl('z'), plain},
    {"Edit/Redo", cmdRedo, ctrl('r'), divider},
    {"Edit/Remove selected notes", cmdRemoveSelected, FL_Delete, plain},
    {"Edit/Erase marked region", cmdEraseRegion, 'x', plain},
    {"Edit/Insert marked region's length", cmdInsertRegionLength, 't', plain},
    {"Edit/Selected notes higher", cmdNotesHigher, FL_Up, plain},
    {"Edit/Selected notes lower", cmdNotesLower, FL_Down, plain},
    {"Edit/Selected notes to maximum velocity", cmdMaxVelocity, 0, plain},
    {"Edit/Move selected note on tick right", cmdMoveRight, FL_CTRL + FL_Right, plain},
    {"Edit/Move selected note on tick left", cmdMoveLeft, FL_CTRL + FL_Left, plain},
    {"Edit/Set selected notes' channel to current", cmdSetChannel, 0, plain},
    {"Edit/Fit melody to instrument...", cmdFitToInstrument, ctrl('f'), plain},
    {"Edit/Scale time...", cmdScaleTime, 0, divider},
    {"Edit/Drag notes", cmdDragNotes, 0, toggle},
    {"Edit/Snap to beat", cmdSnapToBeat, 0, toggle},
    {"Edit/Step entry", cmdStepEntry, 0, toggle},
    {"Edit/Fix notes too close to repeat...", cmdFixTooClose, 0, plain},
    {"Edit/Shorten rests...", cmdShortenRests, 0, plain},
    {"Play/Play all notes or stop playout", cmdPlayAll, ctrl('p'), plain},
    {"Play/Play notes from green marker or stop", cmdPlayFromMarker, ' ', plain},
    {"Play/Play all notes of enabled channels", cmdPlayShownChannels, 0, plain},
    {"Play/Play all selected notes", cmdPlaySelected, 0, plain},
    {"Play/Record", cmdRecord, 'r', toggle},
    {"Play/Play inserted note", cmdPlayInsertedNote, 0, toggle},
    {"Play/Loop between red and purple markers", cmdLoop, 0, toggle},
    {"Play/Speed adjustment/50%", cmdSpeed + 0, 0, radio},
    {"Play/Speed adjustment/58%", cmdSpeed + 1, 0, radio},
    {"Play/Speed adjustment/71%", cmdSpeed + 2, 0, radio},
    {"Play/Speed adjustment/84%", cmdSpeed + 3, 0, radio},
    {"Play/Speed adjustment/100%", cmdSpeed + 4, 0, radio},
    {"Play/Speed adjustment/119%", cmdSpeed + 5, 0, radio},
    {"Play/Speed adjustment/141%", cmdSpeed + 6, 0, radio},
    {"Play/Speed adjustment/168%", cmdSpeed + 7, 0, radio},
    {"Play/Speed adjustment/200%", cmdSpeed + 8, 0, radio},
};

constexpr MenuEntry scrollToOutputs[] = {
    {"Scroll/One frame right", cmdFrameRight, FL_Right, plain},
    {"Scroll/One frame left", cmdFrameLeft, FL_Left, plain},
    {"Scroll/To end of melody", cmdToEnd, FL_End, plain},
    {"Scroll/To start of melody", cmdToStart, FL_Home, divider},
    {"Scroll/Scoreboard down", cmdScrollUp, FL_Page_Up, plain},
    {"Scroll/Scoreboard up", cmdScrollDown, FL_Page_Down, plain},
    {"View/Follow playback", cmdFollowPlayback, 0, toggleOn},
    {"View/Show note names", cmdShowNoteNames, 0, toggle | divider},
    {"View/Zoom in", cmdZoomIn, FL_CTRL + '+', plain},
    {"View/Zoom out", cmdZoomOut, FL_CTRL + '-', plain},
    {"View/Actual size", cmdActualSize, FL_CTRL + '0', divider},
    {"View/Beat grid...", cmdBeatGrid, 0, plain},
    {"Settings/Ticks per frame (sec)/4", cmdTicksPerFrame + 4, 0, radio},
    {"Settings/Ticks per frame (sec)/6", cmdTicksPerFrame + 6, 0, radio},
    {"Settings/Ticks per frame (sec)/8", cmdTicksPerFrame + 8, 0, radioOn},
    {"Settings/Ticks per frame (sec)/12", cmdTicksPerFrame + 12, 0, radio},
    {"Settings/Ticks per frame (sec)/16", cmdTicksPerFrame + 16, 0, radio},
    {"Settings/Ticks per frame (sec)/24", cmdTicksPerFrame + 24, 0, radio},
    {"Settings/Ticks per frame (sec)/32", cmdTicksPerFrame + 32, 0, radio},
    {"Settings/Ticks per frame (sec)/48", cmdTicksPerFrame + 48, 0, radio},
    {"Settings/Ticks per frame (sec)/64", cmdTicksPerFrame + 64, 0, radio},
    {"Settings/Ticks per frame (sec)/100", cmdTicksPerFrame + 100, 0, radio},
    {"Settings/Select MIDI output/(None)", cmdNoOutput, 0, radioOn},
};

constexpr MenuEntry noInput[] = {
    {"Settings/Select MIDI input/None", cmdNoInput, 0, radioOn},
};

constexpr MenuEntry thru[] = {
    {"Settings/MIDI thru", cmdMidiThru, 0, toggleOn},
};

constexpr MenuEntry channelsToInstruments[] = {
    {"Settings/MIDI channel for new notes/Channel 0", cmdNewNoteChannel + 0, 0, radio},
    {"Settings/MIDI channel for new notes/Channel 1", cmdNewNoteChannel + 1, 0, radio},
    {"Settings/MIDI channel for new notes/Channel 2", cmdNewNoteChannel + 2, 0, radio},
    {"Settings/MIDI channel for new notes/Channel 3", cmdNewNoteChannel + 3, 0, radio},
    {"Settings/MIDI channel for new notes/Channel 4", cmdNewNoteChannel + 4, 0, radio},
    {"Settings/MIDI channel for new notes/Channel 5", cmdNewNoteChannel + 5, 0, radio},
    {"Settings/Show MIDI channels/Channel 0", cmdShowChannel + 0, 0, toggleOn},
    {"Settings/Show MIDI channels/Channel 1", cmdShowChannel + 1, 0, toggleOn},
    {"Settings/Show MIDI channels/Channel 2", cmdShowChannel + 2, 0, toggleOn},
    {"Settings/Show MIDI channels/Channel 3", cmdShowChannel + 3, 0, toggleOn},
    {"Settings/Show MIDI channels/Channel 4", cmdShowChannel + 4, 0, toggleOn},
    {"Settings/Show MIDI channels/Channel 5", cmdShowChannel + 5, 0, toggleOn},
    {"Settings/Show MIDI channels/Channel 0 only", cmdChannel0Only, 0, plain},
};

constexpr MenuEntry indicators[] = {
    {"Settings/Select note indicators/None", cmdNoteIndicators + 0, 0, radioOn},
    {"Settings/Select note indicators/88-key Piano", cmdNoteIndicators + 1, 0, radio},
    {"Settings/Select note indicators/Deleika-26", cmdNoteIndicators + 2, 0, radio},
};

constexpr MenuEntry help[] = {
    {"Help/Contents", cmdHelp, FL_F + 1, plain},
};

// A name as one menu label: no submenus at its slashes, no shortcut at an '&', no symbol at an
// '@', no divider for a leading '_'.
std::string menuLabel(const std::string &name) {
    std::string label;
    for (char c : name) {
        if (c == '/' || c == '\\' || (c == '_' && label.empty()))
            label += '\\';
        else if (c == '&' || c == '@')
            label += c;
        label += c;
    }
    return label;
}

template <std::size_t N> void addEntries(Flt_Menubar &menubar, const MenuEntry (&entries)[N]) {
    for (const MenuEntry &e : entries)
        menubar.add(e.path, e.id, e.shortcut, e.flags);
}

} // namespace

void App::buildMenu() {
    addEntries(*menubar, fileToPlay);
    menubar->setValue(cmdSpeed + 4, true); // 100%
    addEntries(*menubar, scrollToOutputs);
    const std::size_t ports = std::min<std::size_t>(portNames.size(), maxPortItems);
    for (std::size_t i = 0; i < ports; ++i) {
        const std::string path = "Settings/Select MIDI output/" + portNames[i];
        menubar->add(path.c_str(), cmdOutputPort + int(i), 0, radio);
    }
    addEntries(*menubar, noInput);
    const std::size_t inputs = std::min<std::size_t>(inputPortNames.size(), maxPortItems);
    for (std::size_t i = 0; i < inputs; ++i) {
        const std::string path = "Settings/Select MIDI input/" + menuLabel(inputPortNames[i]);
        menubar->add(path.c_str(), cmdInputPort + int(i), 0, radio);
    }
    addEntries(*menubar, thru);
    addEntries(*menubar, channelsToInstruments);
    for (unsigned p = 0; p < 128; ++p) {
        const std::string path = "Settings/Instrument for current channel/" + std::to_string(p) +
                                 " " + instrumentName(p);
        menubar->add(path.c_str(), cmdProgram + int(p), 0, radio);
    }
    addEntries(*menubar, indicators);
    for (std::size_t i = 0; i < instruments.size(); ++i) {
        const std::string path =
            "Settings/Select note indicators/" + menuLabel(instruments[i].name);
        menubar->add(path.c_str(), cmdInstrumentFile + int(i), 0, radio);
    }
    addEntries(*menubar, help);
}

} // namespace tw
