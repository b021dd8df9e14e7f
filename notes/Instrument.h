// Fixed-note instruments: the notes an instrument can play, the shortest silence between two
// notes of one key, and the geometry of its punched tape. The built-in instruments are made
// here from the note sets; the others come from "*.instrument" files that people write by hand:
//
//     name: 20-note example
//     notes: F3 G3 C4-C5 D5, E5 72-79   # names (C4 = 60, C#4, C♯4, Db4, D♭4), numbers, ranges
//     min-gap-ms: 120                   # optional
//     tape-width-mm: 120                # optional tape geometry, read by the export
//
// A '#' at the start of a line or after a blank starts a comment ("F#4" is a note).
#pragma once

#include "notes/RowColours.h"

#include <bitset>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

// How the holes of a strip look and how a long strip is cut into pieces; every value is
// optional in the file.
enum class HoleShape { round, slot }; // slot: a long note becomes a hole as long as the note
enum class StripDirection { startLeft, startRight }; // where the melody's first note lies
struct StripGeometry {
    std::optional<HoleShape> holeShape;
    std::optional<double> holeDiameterMm;   // across a round hole or a slot
    std::optional<double> minHoleSpacingMm; // centre to centre, two holes of one track
    std::optional<double> leadInMm, leadOutMm;
    std::optional<StripDirection> direction;
    std::optional<double> bedLengthMm;  // the longest piece the cutter or the paper takes
    std::optional<double> joinMm;       // how far two pieces overlap at a seam
    std::optional<double> seamSafetyMm; // no hole this close to a seam
};

struct Instrument {
    std::string name;
    std::bitset<128> notes;            // the playable notes
    std::optional<unsigned> minGapMs;  // shortest silence between two notes of one key
    std::optional<double> tapeWidthMm; // tape geometry, all in millimetres
    std::optional<double> trackPitchMm;
    std::optional<double> firstTrackMm; // centre of the lowest note's track from the lower edge
    std::optional<double> mmPerSecond;
    std::optional<double> holeLengthMinMm;
    StripGeometry strip; // what a cut strip needs besides (InstrumentStrip.cpp)
    std::string path;    // the file it came from; empty for a built-in one
};

// What is wrong with an instrument file, and on which line (1-based; after the last line for
// what is missing altogether).
struct InstrumentError {
    unsigned line = 0;
    std::string what;
};

// Longest name the parser takes, in bytes.
constexpr std::size_t maxInstrumentName = 80;
// Largest min-gap-ms (a minute).
constexpr unsigned maxMinGapMs = 60000;

// Reads one of the strip keys ("hole-shape", "hole-diameter-mm", "min-hole-spacing-mm",
// "lead-in-mm", "lead-out-mm", "strip-direction", "bed-length-mm", "join-mm",
// "seam-safety-mm") into `strip`: nothing when `key` is none of them, else an error message
// naming the value and the range (empty when the value is good).
std::optional<std::string> readStripKey(std::string_view key, std::string_view value,
                                        StripGeometry &strip);

// The MIDI number of a note name ("C4" = 60, "C#4", "C♯4", "Db4", "D♭4", "C-1" = 0) or of a
// number 0..127; -1 when the text is neither or lies outside 0..127.
int parseNote(std::string_view text);

// Largest instrument file read, in bytes.
constexpr std::size_t maxInstrumentFileBytes = std::size_t(1) << 20;
// Reads a whole instrument file: a regular file of at most maxInstrumentFileBytes, opened
// without waiting on a pipe or device. False with the reason in words.
bool readInstrumentText(const std::string &path, std::string &text, std::string &why);

// Reads the text of an instrument file; on an error returns nothing and fills `error`.
std::optional<Instrument> parseInstrument(std::string_view text, InstrumentError &error);

// Every "*.instrument" file of the folders (missing folders are skipped), sorted by name in
// byte order ignoring case. A file with an error is skipped with one line on `log` naming the
// file, the line and what is wrong; so is a second file of one folder with a name given already.
// An instrument of an earlier folder silently stands for those of the same name in later ones.
std::vector<Instrument> loadInstruments(const std::vector<std::string> &folders, std::ostream &log);

// The folders instruments are read from, the user's first: $XDG_CONFIG_HOME (when absolute,
// else $HOME/.config) + "/tapeworks2/instruments", then the data folder beside the executable
// (<bin>/../share/tapeworks2/instruments) and the one of the installation prefix, once each.
std::vector<std::string> instrumentFolders(const char *xdgConfigHome, const char *home,
                                           const std::string &executable,
                                           const std::string &installedDataDir);
// The same for this process (its environment and /proc/self/exe).
std::vector<std::string> instrumentFolders();

// Rows of playable notes dark, the others white and special (as the Deleika-26's).
RowColours instrumentRowColours(const Instrument &instrument);

// The built-in indicator choice n as an instrument: the 88 piano keys or the Deleika-26's notes;
// nothing for "None" and unknown choices.
std::optional<Instrument> builtinInstrument(unsigned choice);

} // namespace tw
