// Speed of the score tape on a melody of 1,000,000 notes. Prints one line per figure.
#include "scoremodel/NoteBuffers.h"
#include "scoretape/ScoreTape.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr unsigned melodySize = 1000000;
constexpr int tapeWidth = 801;           // 100 tick columns
constexpr int tapeHeight = 15 + 60 * 11; // 60 rows

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Two notes start on every tick, 2 ticks long, on rows 40..89 and all channels: with 100
// columns in view, 200 notes start there.
std::vector<TapeNote> melody() {
    std::vector<TapeNote> notes(melodySize);
    for (unsigned i = 0; i < melodySize; ++i) {
        TapeNote &n = notes[i];
        n.start = i / 2;
        n.length = 2;
        n.note = 40 + (i * 7) % 50;
        n.channel = i % 16;
        n.velocity = 1 + i % 127;
    }
    return notes;
}

long residentKiB() {
    FILE *f = std::fopen("/proc/self/statm", "r");
    long pages = 0, resident = 0;
    if (f) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

struct OpenTape : Flt_ScoreTape {
    OpenTape() : Flt_ScoreTape(0, 0, tapeWidth, tapeHeight) {}
};

void benchDraw(const std::vector<TapeNote> &notes) {
    if (!std::getenv("DISPLAY")) {
        std::printf("draw: skipped (no DISPLAY)\n");
        return;
    }
    Fl_Window window(tapeWidth, tapeHeight, "bench");
    window.end();
    window.show();
    for (int i = 0; i < 20 && !window.shown(); ++i)
        Fl::wait(0.05);
    Fl::check();
    window.make_current();

    OpenTape tape;
    tape.setBottomNote(36);
    tape.setNotes(notes);
    tape.setFirstTick(250000);
    unsigned inView = 0;
    Flt_ScoreTape::Rect r;
    for (const TapeNote &n : tape.notes())
        inView += tape.noteRect(n, r);

    Fl_Offscreen buffer = fl_create_offscreen(tapeWidth, tapeHeight);
    std::vector<double> times;
    for (int i = 0; i < 50; ++i) {
        const auto start = Clock::now();
        fl_begin_offscreen(buffer);
        tape.draw();
        fl_end_offscreen();
        XSync(fl_display, False); // include the X server's work
        times.push_back(msSince(start));
    }
    fl_delete_offscreen(buffer);
    std::printf("draw: %.3f ms median of 50 (%u notes in view of %zu), target <= 5 ms\n",
                median(times), inView, tape.notes().size());
    window.hide();
    Fl::check();
}

void benchRead(const std::vector<TapeNote> &notes) {
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("bench-scoretape-" + std::to_string(getpid()) + ".mid"))
                                 .string();
    {
        OpenTape writer;
        writer.setNotes(notes);
        if (writer.writeMidiFile(path.c_str()) != 0) {
            std::printf("read: cannot write %s\n", path.c_str());
            return;
        }
    }
    const auto size = std::filesystem::file_size(path);
    std::vector<double> times;
    std::size_t read = 0;
    for (int i = 0; i < 5; ++i) {
        OpenTape reader;
        const auto start = Clock::now();
        const int result = reader.readMidiFile(path.c_str());
        times.push_back(msSince(start));
        read = result == 0 ? reader.notes().size() : 0;
    }
    std::remove(path.c_str());
    std::printf("readMidiFile: %.1f ms median of 5 (%.2f MB file, %zu notes), target <= 250 ms\n",
                median(times), double(size) / 1e6, read);
}

void benchEdits(const std::vector<TapeNote> &notes) {
    OpenTape tape;
    tape.setNotes(notes);
    std::vector<double> inserts, undos;
    for (unsigned i = 0; i < 10; ++i) {
        TapeNote n;
        n.note = 100 + i;
        n.start = 250000 + i * 1000;
        n.length = 4;
        n.velocity = 100;
        const auto start = Clock::now();
        tape.insertNote(n);
        inserts.push_back(msSince(start));
    }
    for (unsigned i = 0; i < 10; ++i) {
        const auto start = Clock::now();
        tape.undo();
        undos.push_back(msSince(start));
    }
    // For comparison: what a snapshot would cost as a whole copy of the melody (the first
    // snapshot of a tape is one; later ones copy only what the edit changed).
    std::vector<double> copies;
    for (int i = 0; i < 5; ++i) {
        const auto start = Clock::now();
        const std::vector<TapeNote> copy = copyNotes(notes);
        copies.push_back(msSince(start));
    }
    std::printf("insertNote with its undo snapshot: %.2f ms median of 10, target <= 20 ms "
                "(a whole copy of the melody for comparison: %.2f ms)\n",
                median(inserts), median(copies));
    std::printf("undo: %.2f ms median of 10, target <= 20 ms\n", median(undos));
}

void benchHistoryMemory(const std::vector<TapeNote> &notes) {
    OpenTape tape;
    tape.setNotes(notes);
    const long before = residentKiB();
    for (unsigned i = 0; i < 100; ++i) {
        TapeNote n;
        n.note = 100;
        n.start = i * 5000;
        n.length = 4;
        n.velocity = 100;
        tape.insertNote(n);
    }
    // Snapshots share the notes an edit left alone: count each stored block once.
    const std::size_t bytes = heldBytes(tape.undoSnapshots());
    std::printf("undo history after 100 single-note edits: %zu snapshots, %.1f MB held "
                "(%.1f MB per edit), resident memory +%.1f MB\n",
                tape.undoSnapshots().size(), double(bytes) / 1e6, double(bytes) / 1e8,
                double(residentKiB() - before) / 1024.0);
}

} // namespace

int main() {
    const std::vector<TapeNote> notes = melody();
    std::printf("melody: %u notes of %zu bytes\n", melodySize, sizeof(TapeNote));
    benchDraw(notes);
    benchRead(notes);
    benchEdits(notes);
    benchHistoryMemory(notes);
    return 0;
}
