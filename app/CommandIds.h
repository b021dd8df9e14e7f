// Command ids of the editor: every menu item and every main-window key ends in one of these.
// Single commands use 1 to 47 and 800 on; the ranges carry a parameter in the id.
#pragma once

namespace tw {

enum Command : int {
    cmdExit = 1,
    cmdPlayAll = 2,
    cmdPlayFromMarker = 3,
    cmdSave = 4,
    cmdHelp = 5,
    cmdEraseRegion = 6,
    cmdInsertRegionLength = 7,
    cmdOpen = 8,
    cmdSaveAs = 9,
    cmdFrameRight = 10,
    cmdFrameLeft = 11,
    cmdImport = 12,
    cmdNew = 13,
    cmdScrollUp = 15,
    cmdScrollDown = 16,
    cmdNotesHigher = 17,
    cmdNotesLower = 18,
    cmdInvertSelection = 19,
    cmdSelectRegion = 20,
    cmdUnselectAll = 22,
    cmdRemoveSelected = 23,
    cmdSelectAll = 24,
    cmdPlayInsertedNote = 25,
    cmdToEnd = 26,
    cmdToStart = 27,
    cmdCopy = 28,
    cmdCut = 29,
    cmdPasteWithTime = 30,
    cmdChannel0Only = 31,
    cmdUndo = 32,
    cmdRedo = 33,
    cmdExitNow = 34,
    cmdSelectSpecial = 35,
    cmdPlayShownChannels = 36,
    cmdPlaySelected = 37,
    cmdMaxVelocity = 38,
    cmdPaste = 39,
    cmdClearBlueMarkers = 40,
    cmdMoveLeft = 41,
    cmdMoveRight = 42,
    cmdClickLeftMarker = 43,
    cmdClickRightMarker = 44,
    cmdClickPlayMarker = 45,
    cmdClickBlueMarker = 46,
    cmdSetChannel = 47,

    cmdNewNoteChannel = 48, // + channel 0..15
    cmdShowChannel = 64,    // + channel 0..15
    cmdNoOutput = 80,
    cmdOutputPort = 81,      // + index into the port list, at most maxPortItems ports
    cmdNoteIndicators = 101, // + 0 None, 1 88-key piano, 2 Deleika-26 (up to 111)
    cmdProgram = 112,        // + program 0..127
    cmdLoudest = 368,        // + percent 0..100
    cmdSpeed = 469,          // + step 0..8
    cmdTicksPerFrame = 490,  // + ticks 0..200
    cmdInstrumentFile = 700, // + index into the instruments read from files (up to 799)
    cmdFitToInstrument = 800,
    cmdSelectTooClose = 801,
    cmdFixTooClose = 802,
    cmdShortenRests = 803,

    // The View menu: 900 to 909.
    cmdFollowPlayback = 900,
    cmdShowNoteNames = 901,
    cmdZoomIn = 902,
    cmdZoomOut = 903,
    cmdActualSize = 904,

    cmdRecentFile = 910,   // + index 0..7 into the recent files, the most recent first
    cmdNoRecentFile = 918, // the placeholder of an empty recent files menu
    cmdExportTape = 920,   // the export commands, 920 to 929

    // Dragging, the beat grid, the loop and scaling time: 940 to 949.
    cmdDragNotes = 940,
    cmdSnapToBeat = 941,
    cmdBeatGrid = 942,
    cmdScaleTime = 943,
    cmdLoop = 944,
    // MIDI input: 960 to 989.
    cmdNoInput = 960,
    cmdInputPort = 961, // + index into the input port list, at most maxPortItems ports
    cmdMidiThru = 981,
    cmdRecord = 982,
    cmdStepEntry = 983,
    cmdStepBack = 984,
};

// Ids 700 to 799 hold the instruments read from files; later ones get no menu item.
constexpr int maxInstrumentItems = 100;

// Ids 81 to 100 hold the output ports, ids 961 to 980 the input ports; later ports get no
// menu item.
constexpr int maxPortItems = 20;

// Pending click actions: what the next plain left click on the score board does (App holds
// at most one, as a std::optional).
enum ClickAction : int {
    clickPlayMarker = 0,
    clickLeftMarker = 1,
    clickRightMarker = 2,
    clickBlueMarker = 3,
    clickPasteWithTime = 4,
    clickPaste = 5,
};

} // namespace tw
