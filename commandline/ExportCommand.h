// The tape export without a window: "tapeworks2 --export OUT [options] IN.mid" reads the melody
// as Open does and writes OUT. Nothing here calls FLTK, so it runs without an X server. The
// instruments and the reading are shared with the export window.
#pragma once

#include "notes/Instrument.h"
#include "notes/RowColours.h"
#include "render/TapeExport.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

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
    double maxRestSeconds = 0; // 0: rests stay as they are
    ExportOptions options;
};

// Reads the arguments after the program name; false with `error` set on wrong usage.
bool parseExportArguments(int argc, char **argv, ExportRequest &request, std::string &error);
// What the export needs of an instrument: its name, its notes ascending, and its tape geometry
// when the instrument gives the tape width, track pitch, first track and speed (the shortest
// hole is 0 unless given).
ExportInstrument exportInstrumentOf(const Instrument &instrument);
// The strip keys of an instrument file into the tape geometry (unset ones keep the defaults).
void addStripGeometry(const StripGeometry &strip, TapeGeometry &geometry);
// The instrument called `name`: a built-in one ("88-key Piano", "Deleika-26"), one of `files`,
// or else, when the name is a path (holds a '/' or ends in ".instrument"), the file it names;
// with the row colours the board shows for it. False with `error` set otherwise.
bool findExportInstrument(const std::string &name, const std::vector<Instrument> &files,
                          ExportInstrument &instrument, RowColours &colours, std::string &error);
// The same with the instrument files of the folders the editor reads them from.
bool findExportInstrument(const std::string &name, ExportInstrument &instrument,
                          RowColours &colours);
// Reads a MIDI file as Open does: its first track when the tape holds the file whole, else
// every track merged, following the tempo. 0 or the reader's error code; `failedAt` (when
// given) receives the byte where the data went wrong, when known.
// *unended (when given) gets how many of the notes read had no note-off of their own.
int readMelodyForExport(ScoreModel &model, const char *path,
                        std::optional<uint64_t> *failedAt = nullptr,
                        std::size_t *unended = nullptr);
// Runs the whole command; returns the exit code.
int runExportCommand(int argc, char **argv, std::ostream &out, std::ostream &err);

} // namespace tw
