// Export speed and memory: the whole melody to PNG, SVG, PDF, the tape PDF at true scale and the
// cutter's SVG and DXF at
// 100,000 and 1,000,000 notes, each in a process of its own so that its peak memory is its own.
// Prints the CPU time and the peak resident memory of every export, the 1M/100k ratio (linear is
// about 10), and the memory that reading and importing a 16-track file (and a format-0 file of
// the same notes) holds per byte of the file, each next to its target.
#include "commandline/ExportCommand.h"
#include "midifile/CheckedMidiFile.h"
#include "midifile/MidiFile.h"
#include "render/TapeExport.h"
#include "scoremodel/MidiImport.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <time.h>
#include <vector>

using namespace tw;

namespace {

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Nine notes start on every tick, 1 to 4 ticks long, on rows 40..89 and all channels: a
// million notes make a picture of 889,000 pixels' width (the largest is 1,000,000).
void fill(ScoreModel &model, unsigned count) {
    std::vector<TapeNote> notes(count);
    for (unsigned i = 0; i < count; ++i) {
        TapeNote &n = notes[i];
        n.start = i / 9;
        n.length = 1 + i % 4;
        n.note = 40 + (i * 7) % 50;
        n.channel = i % 16;
        n.velocity = 1 + i % 127;
    }
    model.setNotes(notes);
}

struct Figures {
    double cpu = 0;    // seconds of the export alone
    double peakMb = 0; // of the whole process
    bool ok = false;
};

// The cutter files' instrument: the 50 rows of the melody as tracks 2 mm apart on a tape
// 110 mm wide, 16 mm a second, pieces of at most 280 mm (a million notes make about 230).
ExportInstrument cutInstrument() {
    ExportInstrument instrument;
    instrument.name = "Bench-50";
    for (unsigned n = 40; n < 90; ++n)
        instrument.notes.push_back(n);
    TapeGeometry g{110, 2, 6, 16, 1.8};
    g.holeDiameterMm = 1.8;
    g.minHoleSpacingMm = 8;
    g.leadInMm = 40;
    g.leadOutMm = 30;
    g.bedLengthMm = 280;
    g.seamSafetyMm = 4;
    instrument.geometry = g;
    instrument.minGapMs = 100;
    return instrument;
}

// Exports in a child process; its CPU time comes back through a pipe, its peak memory from
// wait4.
Figures measure(unsigned count, ExportFormat format, bool tape, const std::string &path) {
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        ScoreModel model;
        fill(model, count);
        ExportOptions options;
        options.format = format;
        options.sourceName = "bench";
        if (tape)
            options.instrument = cutInstrument();
        const double start = cpuSeconds();
        const ExportResult r = exportTape(model, options, path);
        double cpu = cpuSeconds() - start;
        if (!r) {
            std::fprintf(stderr, "export failed: %s\n", r.reason.c_str());
            cpu = -1;
        }
        if (write(fds[1], &cpu, sizeof cpu) != sizeof cpu)
            _exit(2);
        _exit(0);
    }
    close(fds[1]);
    Figures f;
    double cpu = -1;
    const bool got = read(fds[0], &cpu, sizeof cpu) == sizeof cpu;
    close(fds[0]);
    int status = 0;
    rusage usage{};
    if (pid > 0 && wait4(pid, &status, 0, &usage) == pid && got && cpu >= 0) {
        f.cpu = cpu;
        f.peakMb = usage.ru_maxrss / 1024.0;
        f.ok = true;
    }
    std::filesystem::remove(path);
    return f;
}

long residentKb(const char *field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::atol(line.c_str() + std::strlen(field));
    return -1;
}

void bigEndian(std::vector<uint8_t> &out, uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(uint8_t(value >> (8 * i)));
}

// A format-1 file of a tempo track and 16 tracks of `notesPerTrack` notes each, with running
// status and note-off as note-on of velocity 0, as sequencers write them. With oneTrack a
// format-0 file instead: the tempo and the 16 parts one after the other in a single track.
std::vector<uint8_t> sixteenTracks(unsigned notesPerTrack, bool oneTrack = false) {
    std::vector<uint8_t> file{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 17, 0x01, 0xE0};
    if (oneTrack) {
        file[9] = 0;  // format 0
        file[11] = 1; // one track
    }
    const auto track = [&](const std::vector<uint8_t> &events) {
        file.insert(file.end(), {'M', 'T', 'r', 'k'});
        bigEndian(file, uint32_t(events.size()), 4);
        file.insert(file.end(), events.begin(), events.end());
    };
    const std::vector<uint8_t> tempo{0, 0xFF, 0x51, 3, 0x07, 0xA1, 0x20};
    const std::vector<uint8_t> end{0, 0xFF, 0x2F, 0};
    std::vector<uint8_t> single = tempo;
    if (!oneTrack) {
        std::vector<uint8_t> events = tempo;
        events.insert(events.end(), end.begin(), end.end());
        track(events);
    }
    for (unsigned t = 0; t < 16; ++t) {
        std::vector<uint8_t> events{0, uint8_t(0x90 | t)};
        for (unsigned i = 0; i < notesPerTrack; ++i) {
            const uint8_t note = uint8_t(30 + (i * 7 + t) % 70);
            if (i > 0)
                events.push_back(uint8_t(1 + i % 100)); // delta before the note-on
            events.insert(events.end(), {note, uint8_t(1 + i % 127), 60, note, 0});
        }
        if (!oneTrack) {
            events.insert(events.end(), end.begin(), end.end());
            track(events);
        } else {
            single.insert(single.end(), events.begin(), events.end());
        }
    }
    if (oneTrack) {
        single.insert(single.end(), end.begin(), end.end());
        track(single);
    }
    return file;
}

// Reads and imports every track of `path` in a child process, as the command line does
// (readMelodyForExport) or as the editor does (the checked file kept while its tracks are
// imported, as while the choice of tracks is open); prints the peak resident memory it added
// per byte of the file, and beside it what the melody's notes alone hold per byte, the least
// any reading can end with.
void readMemoryPerByte(const std::string &path, std::size_t fileBytes, bool editor, bool oneTrack) {
    const pid_t pid = fork();
    if (pid == 0) {
        ScoreModel model;
        const long before = residentKb("VmRSS:");
        if (editor) { // as Open: the first track, or summaries, beat grid and import
            CheckedMidiFile file;
            if (file.read(path.c_str()) != 0)
                _exit(1);
            if (fullyHeldByTape(file)) {
                model.loadMidiFile(std::move(file));
            } else {
                std::vector<unsigned> tracks;
                for (const TrackSummary &s : summarizeTracks(file))
                    tracks.push_back(s.index);
                const BeatGrid grid = fileBeatGrid(file, model.ticksPerFrame(), model.beatGrid());
                model.setNotes(importNotes(std::move(file), tracks, true, model.ticksPerFrame()));
                model.setBeatGrid(grid);
            }
        } else if (readMelodyForExport(model, path.c_str(), nullptr, nullptr) != 0) {
            _exit(1);
        }
        const long peak = residentKb("VmHWM:");
        const double melodyBytes = double(model.notes().size() * sizeof(TapeNote));
        std::printf(
            "read + import %.1f MB format %d (%zu notes) %s: peak %.1f MB above the start, %.1f "
            "bytes per file byte (target <= 3; the notes alone %.1f)\n",
            double(fileBytes) / 1e6, oneTrack ? 0 : 1, model.notes().size(),
            editor ? "as the editor" : "as the command line", double(peak - before) / 1024,
            double(peak - before) * 1024 / double(fileBytes), melodyBytes / double(fileBytes));
        std::fflush(stdout);
        _exit(0);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        std::printf("read + import %s: failed (status %d)\n",
                    editor ? "as the editor" : "as the command line", status);
}

} // namespace

int main(int argc, char **argv) {
    // With an argument only the smaller melody (a quick look).
    const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
    const std::string dir = std::filesystem::temp_directory_path().string();
    struct Case {
        const char *name;
        ExportFormat format;
        const char *extension;
        double cpuTarget;    // at 1M notes, seconds
        double memoryTarget; // at 1M notes, MB; 0 for none
        bool tape;           // for an instrument with a tape: the strip at true scale
    };
    const Case cases[] = {{"PNG", ExportFormat::png, ".png", 2, 0, false},
                          {"SVG", ExportFormat::svg, ".svg", 0, 100, false},
                          {"PDF", ExportFormat::pdf, ".pdf", 2, 0, false},
                          {"tape PDF", ExportFormat::pdf, ".tape.pdf", 0, 0, true},
                          {"cut SVG", ExportFormat::cutSvg, ".cut.svg", 0, 100, true},
                          {"DXF", ExportFormat::dxf, ".dxf", 0, 100, true}};
    for (const bool oneTrack : {false, true}) {
        const std::vector<uint8_t> bytes = sixteenTracks(quick ? 30000 : 300000, oneTrack);
        // Of this process alone: other runs of the bench may be reading at the same time.
        const std::string path =
            dir + "/tapeworks2-bench-read-" + std::to_string(getpid()) + ".mid";
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
        readMemoryPerByte(path, bytes.size(), false, oneTrack);
        readMemoryPerByte(path, bytes.size(), true, oneTrack);
        std::filesystem::remove(path);
    }
    // One figure alone: the export of one format ("png", "svg", "pdf", "tape.pdf", "cut.svg",
    // "dxf").
    const std::string only = argc > 1 && !quick ? argv[1] : argc > 2 ? argv[2] : "";
    for (const Case &c : cases) {
        if (!only.empty() && only != c.extension + 1)
            continue;
        const std::string path = dir + "/tapeworks2-bench-export" + c.extension;
        const Figures small = measure(100000, c.format, c.tape, path);
        std::printf("export %s 100k notes: %.2f s CPU, peak %.0f MB%s\n", c.name, small.cpu,
                    small.peakMb, small.ok ? "" : " (failed)");
        if (quick)
            continue;
        const Figures large = measure(1000000, c.format, c.tape, path);
        std::printf("export %s 1M notes: %.2f s CPU", c.name, large.cpu);
        if (c.cpuTarget > 0)
            std::printf(" (target <= %.0f s)", c.cpuTarget);
        std::printf(", peak %.0f MB", large.peakMb);
        if (c.memoryTarget > 0)
            std::printf(" (target <= %.0f MB)", c.memoryTarget);
        std::printf("%s\n", large.ok ? "" : " (failed)");
        if (small.ok && large.ok && small.cpu > 0)
            std::printf("export %s 1M/100k CPU ratio: %.1f (linear about 10, target <= 12)\n",
                        c.name, large.cpu / small.cpu);
    }
    return 0;
}
