// The tape export without a window: "tapeworks2 --export OUT [options] IN.mid" reads the melody
// as Open does and writes OUT. Nothing here calls FLTK, so it runs without an X server. The
// instruments and the reading are shared with the export window.
#pragma once

#include "notes/RowColours.h"
#include "render/TapeExport.h"

#include <ostream>
#include <string>

namespace tw {

// Exit codes of the command.
constexpr int exportExitOk = 0;
constexpr int exportExitFailed = 1; // the melody could not be read or the file not written
constexpr int exportExitUsage = 2;

// The ticks per frame of a melody read for export unless --ticks-per-frame says otherwise: the
// editor's own default.
constexpr unsigned exportDefaultTicksPerFrame = 8;

struct ExportRequest {
    std::string output, input, instrument;
    unsigned ticksPerFrame = exportDefaultTicksPerFrame;
    ExportOptions options;
};

// Whether the arguments ask for an export (one of them is --export).
bool isExportCommand(int argc, char **argv);
// Reads the arguments after the program name; false with `error` set on wrong usage.
bool parseExportArguments(int argc, char **argv, ExportRequest &request, std::string &error);
// The instrument of that name ("88-key Piano", "Deleika-26"), with the row colours the board
// shows for it; false for an unknown name.
bool findExportInstrument(const std::string &name, ExportInstrument &instrument,
                          RowColours &colours);
// Reads a MIDI file as Open does: its first track, or every track merged when the first has no
// notes. 0 or the reader's error code.
int readMelodyForExport(ScoreModel &model, const char *path);
// The reader's error codes in words.
std::string midiReadError(int code);
// Runs the whole command; returns the exit code.
int runExportCommand(int argc, char **argv, std::ostream &out, std::ostream &err);

} // namespace tw
