// Export of the score tape to files: the whole melody as the board draws it (PNG, SVG, or a PDF
// scaled to the page height), or a PDF of the punched tape at the instrument's true scale, cut
// into pages to glue together. Files are written through the safe writer (safefile/).
#pragma once

#include "scoremodel/ScoreModel.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tw {

// Error codes of the export; 0 means success.
constexpr int exportOk = 0;
constexpr int errExportFormat = -2601;    // the file name ends in none of .png, .svg, .pdf, .dxf
constexpr int errExportNoNotes = -2602;   // no shown note to export
constexpr int errExportTooLarge = -2603;  // the picture or the page count exceeds the limits
constexpr int errExportGeometry = -2604;  // the tape geometry is unusable or does not fit the paper
constexpr int errExportCreate = -2605;    // the target is refused or cannot be made (safe writer)
constexpr int errExportWrite = -2606;     // writing, syncing or replacing failed (safe writer)
constexpr int errExportDrawing = -2607;   // Cairo, the PNG or the PDF writer failed
constexpr int errExportCancelled = -2608; // stopped on request; no file was left behind

// The largest board picture, in pixels either way, and the most pages of a PDF.
constexpr long long maxPictureSide = 1000000;
constexpr unsigned maxExportPages = 2000;

// cutSvg and dxf: the strip for a cutter (CutFiles.cpp), at true scale in millimetres.
enum class ExportFormat { png, svg, pdf, cutSvg, dxf };
enum class Paper { a4, letter };

// The tape of an instrument, in millimetres; a frame of the melody is a second.
struct TapeGeometry {
    double tapeWidthMm = 0;
    double trackPitchMm = 0;
    double firstTrackMm = 0; // centre of the lowest note's track from the tape's lower edge
    double mmPerSecond = 0;
    double holeLengthMinMm = 0;
    // The strip a cutter makes (all optional in the instrument file; these are the defaults).
    bool slots = false;          // a long note as a slot as long as the note, else one round hole
    double holeDiameterMm = 0;   // 0: six tenths of the track pitch
    double minHoleSpacingMm = 0; // centre to centre, two holes of one track
    double leadInMm = 0, leadOutMm = 0;
    bool startRight = false; // the melody's first note at the strip's right end
    double bedLengthMm = 0;  // the longest piece; 0: the strip in one piece
    double joinMm = 10;      // how far two pieces overlap at a seam
    double seamSafetyMm = 0; // no hole this close to the overlap of a seam
};

// What the export needs to know of an instrument.
struct ExportInstrument {
    std::string name;
    std::vector<unsigned> notes; // the playable notes, ascending; track i holds notes[i]
    std::optional<TapeGeometry> geometry;
    unsigned minGapMs = 0; // shortest silence between two notes of one key
};

struct ExportOptions {
    ExportFormat format = ExportFormat::pdf;
    Paper paper = Paper::a4;
    bool holes = false;          // round holes instead of bars on the true-scale tape
    ExportInstrument instrument; // its geometry decides between true scale and the board picture
    std::string sourceName;      // the melody's file name, printed on every page
};

struct ExportResult {
    int code = exportOk;
    std::string reason; // empty on success
    unsigned pages = 0; // written on success: pages of a PDF, 1 for a picture
    explicit operator bool() const { return code == exportOk; }
};

// The format a file name asks for by its extension (case ignored; ".dxf" is the cutter's DXF,
// ".svg" the board picture); false for none.
bool exportFormatOf(const std::string &path, ExportFormat &format);
// The path with its extension (the text from the last '.' after the last '/') replaced.
std::string withExtension(const std::string &path, const char *extension);

// How far an export is, and a request to stop it, shared between the thread that exports
// and one that watches. The export sets `total` once it knows it (tiles of a PNG, pages of a
// PDF, drawn parts of an SVG) and counts `done` up to it; any thread may read both and set
// `cancel`, after which the export stops at its next tile or page.
struct ExportProgress {
    std::atomic<uint64_t> done{0}, total{0};
    std::atomic<bool> cancel{false};
};

// Writes the tape of `model` (its notes of shown channels, markers, row colours and ticks per
// frame) to `path`. The model's own view is left as it is. With `progress`, reports to it and
// stops when asked (errExportCancelled; neither the file nor a temporary is left).
ExportResult exportTape(const ScoreModel &model, const ExportOptions &options,
                        const std::string &path, ExportProgress *progress = nullptr);

} // namespace tw
