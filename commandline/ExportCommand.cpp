#include "commandline/ExportCommand.h"

#include "commandline/FileNames.h"
#include "midifile/CheckedMidiFile.h"
#include "midifile/MidiFile.h"
#include "notes/Instrument.h"
#include "notes/NoteSets.h"
#include "notes/TapeNote.h"
#include "render/BackgroundExport.h"
#include "render/CutPlan.h"
#include "safefile/SafeFile.h"
#include "scoremodel/MidiImport.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace tw {

namespace {

const char usage[] = "usage: tapeworks2 --export OUT.pdf|OUT.svg|OUT.png|OUT.dxf [--cut] "
                     "[--instrument NAME] [--ticks-per-frame N] [--paper a4|letter] [--holes] "
                     "[--max-rest SECONDS] IN.mid";

bool parseTicks(const char *text, unsigned &ticks) {
    char *end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (!*text || *end || value < long(minTicksPerFrame) || value > long(maxTicksPerFrame))
        return false;
    ticks = unsigned(value);
    return true;
}

} // namespace

void addStripGeometry(const StripGeometry &strip, TapeGeometry &g) {
    g.slots = strip.holeShape == HoleShape::slot;
    g.holeDiameterMm = strip.holeDiameterMm.value_or(0);
    g.minHoleSpacingMm = strip.minHoleSpacingMm.value_or(0);
    g.leadInMm = strip.leadInMm.value_or(0);
    g.leadOutMm = strip.leadOutMm.value_or(0);
    g.startRight = strip.direction == StripDirection::startRight;
    g.bedLengthMm = strip.bedLengthMm.value_or(0);
    g.joinMm = strip.joinMm.value_or(g.joinMm);
    g.seamSafetyMm = strip.seamSafetyMm.value_or(0);
}

bool parseExportArguments(int argc, char **argv, ExportRequest &request, std::string &error) {
    bool cut = false;
    bool filesOnly = false; // after "--" every argument is a file
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (filesOnly || arg.size() < 2 || arg[0] != '-') {
            if (!request.input.empty()) {
                error = "more than one file to read";
                return false;
            }
            request.input = arg;
            continue;
        }
        const bool valued = arg == "--export" || arg == "--instrument" ||
                            arg == "--ticks-per-frame" || arg == "--paper" || arg == "--max-rest";
        if (valued && i + 1 >= argc) {
            error = arg + " needs a value";
            return false;
        }
        if (arg == "--") {
            filesOnly = true;
        } else if (arg == "--export") {
            request.output = argv[++i];
            if (!exportFormatOf(request.output, request.options.format)) {
                error = "the file to write must end in .pdf, .svg, .png or .dxf: " + request.output;
                return false;
            }
        } else if (arg == "--instrument") {
            request.instrument = argv[++i];
        } else if (arg == "--ticks-per-frame") {
            if (!parseTicks(argv[++i], request.ticksPerFrame)) {
                error = "ticks per frame must be a number from 2 to 200";
                return false;
            }
        } else if (arg == "--paper") {
            const std::string paper = argv[++i];
            if (paper != "a4" && paper != "letter") {
                error = "the paper is a4 or letter, not " + paper;
                return false;
            }
            request.options.paper = paper == "a4" ? Paper::a4 : Paper::letter;
        } else if (arg == "--cut") {
            cut = true;
        } else if (arg == "--max-rest") {
            const char *text = argv[++i];
            char *end = nullptr;
            const double seconds = std::strtod(text, &end);
            if (!*text || *end || !(seconds >= 0.1 && seconds <= maxRestSecondsLimit)) {
                error = "--max-rest takes seconds from 0.1 to " +
                        std::to_string(int(maxRestSecondsLimit)) + ", not " + text;
                return false;
            }
            request.maxRestSeconds = seconds;
        } else if (arg == "--holes") {
            request.options.holes = true;
        } else {
            error = "unknown option " + arg;
            return false;
        }
    }
    if (request.output.empty() || request.input.empty()) {
        error = request.output.empty() ? "no file to write" : "no MIDI file to read";
        return false;
    }
    if (cut && request.options.format == ExportFormat::svg)
        request.options.format = ExportFormat::cutSvg;
    else if (cut && request.options.format != ExportFormat::dxf) {
        error = "--cut writes .svg or .dxf, not " + request.output;
        return false;
    }
    return true;
}

ExportInstrument exportInstrumentOf(const Instrument &instrument) {
    ExportInstrument out;
    out.name = instrument.name;
    for (unsigned n = 0; n < instrument.notes.size(); ++n)
        if (instrument.notes.test(n))
            out.notes.push_back(n);
    if (instrument.tapeWidthMm && instrument.trackPitchMm && instrument.firstTrackMm &&
        instrument.mmPerSecond)
        out.geometry = TapeGeometry{*instrument.tapeWidthMm, *instrument.trackPitchMm,
                                    *instrument.firstTrackMm, *instrument.mmPerSecond,
                                    instrument.holeLengthMinMm.value_or(0)};
    if (out.geometry)
        addStripGeometry(instrument.strip, *out.geometry);
    out.minGapMs = instrument.minGapMs.value_or(0);
    return out;
}

namespace {

// An instrument file named by its path: false with `error` set when it cannot be used.
bool readInstrumentFile(const std::string &path, Instrument &instrument, std::string &error) {
    std::string text, reason;
    if (!readInstrumentText(path, text, reason)) {
        error = "cannot read the instrument file " + path + ": " + reason;
        return false;
    }
    InstrumentError why;
    std::optional<Instrument> read = parseInstrument(text, why);
    if (!read) {
        error = "instrument file " + path + ", line " + std::to_string(why.line) + ": " + why.what;
        return false;
    }
    instrument = *read;
    instrument.path = path;
    setInputFile("instrument", path);
    return true;
}

bool endsWith(const std::string &text, const std::string &end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

} // namespace

bool findExportInstrument(const std::string &name, const std::vector<Instrument> &files,
                          ExportInstrument &instrument, RowColours &colours, std::string &error) {
    instrument = ExportInstrument();
    for (unsigned choice : {unsigned(indicatorPiano), unsigned(indicatorDeleika26)}) {
        const std::optional<Instrument> builtin = builtinInstrument(choice);
        if (builtin && builtin->name == name) {
            instrument = exportInstrumentOf(*builtin);
            indicatorRowColours(choice, colours);
            return true;
        }
    }
    for (const Instrument &file : files)
        if (file.name == name) {
            instrument = exportInstrumentOf(file);
            colours = instrumentRowColours(file);
            return true;
        }
    if (name.find('/') != std::string::npos || endsWith(name, ".instrument")) {
        Instrument file;
        if (!readInstrumentFile(name, file, error))
            return false;
        instrument = exportInstrumentOf(file);
        colours = instrumentRowColours(file);
        return true;
    }
    error = "unknown instrument \"" + name + "\" (known: \"88-key Piano\", \"Deleika-26\"";
    for (const Instrument &file : files)
        error += ", \"" + file.name + "\"";
    error += ", or the path of a .instrument file)";
    return false;
}

bool findExportInstrument(const std::string &name, ExportInstrument &instrument,
                          RowColours &colours) {
    std::ostringstream ignored; // a broken file of the folders is no concern of this choice
    std::string error;
    return findExportInstrument(name, loadInstruments(instrumentFolders(), ignored), instrument,
                                colours, error);
}

int readMelodyForExport(ScoreModel &model, const char *path, std::optional<uint64_t> *failedAt,
                        std::size_t *unended) {
    // Kept as its bytes: the notes are made track by track from them.
    CheckedMidiFile file;
    if (const int rc = file.read(path, failedAt); rc != 0)
        return rc;
    model.clear();
    const bool whole = fullyHeldByTape(file);
    if (unended) {
        *unended = 0;
        for (std::size_t t = 0; t < file.trackCount() && (t == 0 || !whole); ++t)
            *unended += forEachTrackNote(file, t, [](const MidiNote &) {});
    }
    if (whole) {
        model.loadMidiFile(std::move(file));
        return 0;
    }
    // What the first track alone would lose: every track, following the tempo.
    std::vector<unsigned> tracks;
    for (unsigned i = 0; i < file.trackCount(); ++i)
        tracks.push_back(i);
    // The file's bytes go as their notes are made.
    model.setNotes(importNotes(std::move(file), tracks, true, model.ticksPerFrame()));
    return 0;
}

namespace {

// The export on its worker while this thread writes "exporting: 12 of 40 pages" over one line
// of the terminal.
ExportResult exportWithProgress(const ScoreModel &model, const ExportOptions &options,
                                const std::string &path, std::ostream &err) {
    BackgroundExport job(model, options, path);
    const char *unit = options.format == ExportFormat::pdf   ? " pages"
                       : options.format == ExportFormat::png ? " tiles"
                                                             : " parts";
    std::string shown;
    while (!job.finished()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const uint64_t total = job.total();
        if (total == 0)
            continue;
        const std::string line = "exporting: " + std::to_string(std::min(job.done(), total)) +
                                 " of " + std::to_string(total) + unit;
        if (line != shown) {
            err << "\r" << line << std::flush;
            shown = line;
        }
    }
    if (!shown.empty())
        err << "\r" << std::string(shown.size(), ' ') << "\r" << std::flush;
    return job.result();
}

} // namespace

int runExportCommand(int argc, char **argv, std::ostream &out, std::ostream &err) {
    ExportRequest request;
    std::string error;
    if (!parseExportArguments(argc, argv, request, error)) {
        err << "tapeworks2: " << error << "\n" << usage << "\n";
        return exportExitUsage;
    }
    RowColours colours;
    indicatorRowColours(indicatorNone, colours);
    if (!request.instrument.empty()) {
        std::ostringstream skipped; // broken files of the folders, told when the name is not found
        std::string error;
        if (!findExportInstrument(request.instrument, loadInstruments(instrumentFolders(), skipped),
                                  request.options.instrument, colours, error)) {
            err << skipped.str() << "tapeworks2: " << error << "\n" << usage << "\n";
            return exportExitUsage;
        }
    }
    ScoreModel model;
    model.setTicksPerFrame(request.ticksPerFrame);
    model.setRowColours(colours);
    std::optional<uint64_t> failedAt;
    std::size_t unended = 0;
    if (const int rc = readMelodyForExport(model, request.input.c_str(), &failedAt, &unended);
        rc != 0) {
        err << "tapeworks2: cannot read " << request.input << ": "
            << readErrorWords(rc, request.input, failedAt) << "\n";
        return exportExitFailed;
    }
    if (unended > 0)
        err << "tapeworks2: " << request.input << ": " << unended
            << (unended == 1 ? " note had" : " notes had")
            << " no note-off and ended at the next note-on of its key or the end of its track\n";
    setInputFile(melodyInputRole, request.input); // never the file to write
    if (request.maxRestSeconds > 0) {
        const unsigned rests = model.shortenRests(request.maxRestSeconds);
        if (rests > 0)
            out << "shortened " << rests << " rest(s) to " << request.maxRestSeconds << " s\n";
    }
    const std::string::size_type slash = request.input.rfind('/');
    request.options.sourceName =
        slash == std::string::npos ? request.input : request.input.substr(slash + 1);
    const ExportResult result =
        isatty(STDERR_FILENO) ? exportWithProgress(model, request.options, request.output, err)
                              : exportTape(model, request.options, request.output);
    if (!result) {
        err << "tapeworks2: cannot export " << request.output << ": " << result.reason << " ("
            << result.code << ")\n";
        return exportExitFailed;
    }
    out << "wrote " << request.output << "\n";
    if (const std::string summary = stripSummary(model, request.options); !summary.empty())
        out << summary << "\n";
    return exportExitOk;
}

} // namespace tw
