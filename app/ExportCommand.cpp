#include "app/ExportCommand.h"

#include "midifile/MidiFile.h"
#include "notes/NoteSets.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace tw {

namespace {

const char usage[] = "usage: tapeworks2 --export OUT.pdf|OUT.svg|OUT.png [--instrument NAME] "
                     "[--ticks-per-frame N] [--paper a4|letter] [--holes] IN.mid";

bool parseTicks(const char *text, unsigned &ticks) {
    char *end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (!*text || *end || value < 2 || value > 200)
        return false;
    ticks = unsigned(value);
    return true;
}

} // namespace

bool isExportCommand(int argc, char **argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--export") == 0)
            return true;
    return false;
}

bool parseExportArguments(int argc, char **argv, ExportRequest &request, std::string &error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool valued = arg == "--export" || arg == "--instrument" ||
                            arg == "--ticks-per-frame" || arg == "--paper";
        if (valued && i + 1 >= argc) {
            error = arg + " needs a value";
            return false;
        }
        if (arg == "--export") {
            request.output = argv[++i];
            if (!exportFormatOf(request.output, request.options.format)) {
                error = "the file to write must end in .pdf, .svg or .png: " + request.output;
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
        } else if (arg == "--holes") {
            request.options.holes = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg;
            return false;
        } else if (request.input.empty()) {
            request.input = arg;
        } else {
            error = "more than one file to read";
            return false;
        }
    }
    if (request.output.empty() || request.input.empty()) {
        error = request.output.empty() ? "no file to write" : "no MIDI file to read";
        return false;
    }
    return true;
}

bool findExportInstrument(const std::string &name, ExportInstrument &instrument,
                          RowColours &colours) {
    instrument = ExportInstrument();
    if (name == "88-key Piano") {
        for (unsigned n = 21; n <= 108; ++n)
            instrument.notes.push_back(n);
        indicatorRowColours(indicatorPiano, colours);
    } else if (name == "Deleika-26") {
        for (int8_t n : NoteSet(deleika26Notes).notes)
            instrument.notes.push_back(unsigned(n));
        indicatorRowColours(indicatorDeleika26, colours);
    } else {
        return false;
    }
    instrument.name = name;
    return true;
}

int readMelodyForExport(ScoreModel &model, const char *path) {
    MidiFile file;
    if (const int rc = file.read(path); rc != 0)
        return rc;
    model.clear();
    if (file.tracks.empty())
        return 0;
    const double secondsPerTick = file.secondsPerTick(120);
    model.fromTrack(file.tracks.front(), secondsPerTick);
    if (!model.notes().empty() || file.tracks.size() == 1)
        return 0;
    // The first track holds no notes (a format 1 file's tempo track): every track merged.
    std::vector<TapeNote> merged;
    for (const NoxmidiTrk &track : file.tracks) {
        ScoreModel one;
        one.setTicksPerFrame(model.ticksPerFrame());
        one.fromTrack(track, secondsPerTick);
        merged.insert(merged.end(), one.notes().begin(), one.notes().end());
    }
    model.setNotes(merged);
    return 0;
}

std::string midiReadError(int code) {
    switch (code) {
    case errCannotOpen:
        return "the file cannot be opened or is not a regular file";
    case errRead:
        return "the file ends early or is too large";
    case errHeader:
        return "not a Standard MIDI File";
    case errTrackChunk:
        return "a track chunk is damaged";
    case errSysexEnd:
    case errSysexData:
    case errSysexContinuation:
        return "a system exclusive message is damaged";
    case errRunningStatus:
        return "a data byte without a status";
    default:
        return "error " + std::to_string(code);
    }
}

int runExportCommand(int argc, char **argv, std::ostream &out, std::ostream &err) {
    ExportRequest request;
    std::string error;
    if (!parseExportArguments(argc, argv, request, error)) {
        err << "tapeworks2: " << error << "\n" << usage << "\n";
        return exportExitUsage;
    }
    RowColours colours;
    indicatorRowColours(indicatorNone, colours);
    if (!request.instrument.empty() &&
        !findExportInstrument(request.instrument, request.options.instrument, colours)) {
        err << "tapeworks2: unknown instrument \"" << request.instrument
            << "\" (known: \"88-key Piano\", \"Deleika-26\")\n";
        return exportExitUsage;
    }
    ScoreModel model;
    model.setTicksPerFrame(request.ticksPerFrame);
    model.setRowColours(colours);
    if (const int rc = readMelodyForExport(model, request.input.c_str()); rc != 0) {
        err << "tapeworks2: cannot read " << request.input << ": " << midiReadError(rc) << "\n";
        return exportExitFailed;
    }
    const std::string::size_type slash = request.input.rfind('/');
    request.options.sourceName =
        slash == std::string::npos ? request.input : request.input.substr(slash + 1);
    const ExportResult result = exportTape(model, request.options, request.output);
    if (!result) {
        err << "tapeworks2: cannot export " << request.output << ": " << result.reason << " ("
            << result.code << ")\n";
        return exportExitFailed;
    }
    out << "wrote " << request.output << "\n";
    return exportExitOk;
}

} // namespace tw
