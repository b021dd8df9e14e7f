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
#include <time.h>
#include <unistd.h>
#include <vector>

using namespace tw;

namespace {

constexpr unsigned melodySize = 1000000;
constexpr int tapeWidth = 801;           // 100 tick columns
constexpr int tapeHeight = 15 + 60 * 11; // 60 rows

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// CPU time of the process in milliseconds: what an operation costs, whatever else runs.
double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
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

// Another melody of as many notes with random fields: nothing in it lines up with melody().
std::vector<TapeNote> otherMelody() {
    std::vector<TapeNote> notes(melodySize);
    uint32_t seed = 12345, start = 0;
    for (TapeNote &n : notes) {
        seed = seed * 1103515245u + 12345u;
        start += (seed >> 16) % 3;
        n.start = start;
        n.length = 1 + (seed >> 8) % 50;
        n.note = uint8_t(20 + (seed >> 4) % 80);
        n.channel = uint8_t((seed >> 20) % 16);
        n.velocity = uint8_t(1 + (seed >> 12) % 120);
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
    tape.model().setNotes(notes);
    tape.setFirstTick(250000);
    unsigned inView = 0;
    Flt_ScoreTape::Rect r;
    for (const TapeNote &n : tape.model().notes())
        inView += tape.layout().noteRect(n, r);

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
                median(times), inView, tape.model().notes().size());
    window.hide();
    Fl::check();
}

void benchRead(const std::vector<TapeNote> &notes) {
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("bench-scoretape-" + std::to_string(getpid()) + ".mid"))
                                 .string();
    {
        OpenTape writer;
        writer.model().setNotes(notes);
        if (writer.model().writeMidiFile(path.c_str()) != 0) {
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
        const int result = reader.model().readMidiFile(path.c_str());
        times.push_back(msSince(start));
        read = result == 0 ? reader.model().notes().size() : 0;
    }
    std::remove(path.c_str());
    std::printf("readMidiFile: %.1f ms median of 5 (%.2f MB file, %zu notes), target <= 250 ms\n",
                median(times), double(size) / 1e6, read);
}

void benchEdits(const std::vector<TapeNote> &notes) {
    OpenTape tape;
    tape.model().setNotes(notes);
    std::vector<double> inserts, undos;
    for (unsigned i = 0; i < 10; ++i) {
        TapeNote n;
        n.note = 100 + i;
        n.start = 250000 + i * 1000;
        n.length = 4;
        n.velocity = 100;
        const auto start = Clock::now();
        tape.model().insertNote(n);
        inserts.push_back(msSince(start));
    }
    for (unsigned i = 0; i < 10; ++i) {
        const auto start = Clock::now();
        tape.model().undo();
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
    tape.model().setNotes(notes);
    const long before = residentKiB();
    std::size_t first = 0; // held after the second edit: the decoded melody with room to grow
    for (unsigned i = 0; i < 100; ++i) {
        TapeNote n;
        n.note = 100;
        n.start = i * 5000;
        n.length = 4;
        n.velocity = 100;
        tape.model().insertNote(n);
        if (i == 1)
            first = tape.model().undoHistory().heldBytes();
    }
    // The history holds one decoded melody and, per edit, the difference it made.
    const std::size_t bytes = tape.model().undoHistory().heldBytes();
    std::printf("undo history after 100 single-note edits: %zu snapshots, %.1f MB held "
                "(%.1f KB per edit after the second), resident memory +%.1f MB\n",
                tape.model().undoHistory().size(), double(bytes) / 1e6,
                double(bytes - first) / 98e3, double(residentKiB() - before) / 1024.0);
}

// CPU time of `f` in milliseconds.
template <class F> double cpuOf(F f) {
    const double start = cpuMs();
    f();
    return cpuMs() - start;
}

// A target of 0: the figure is shown for comparison only.
void printFigure(const char *what, const std::vector<double> &ms, double target) {
    std::printf("%s: median %.2f ms, max %.2f ms CPU of %zu", what, median(ms),
                *std::max_element(ms.begin(), ms.end()), ms.size());
    if (target > 0)
        std::printf(", target <= %.0f ms", target);
    std::printf("\n");
}

// 1,000 edits in a cycle of ten: transpose all up, move all one tick right, insert one note
// twice, transpose all down, move all one tick left, insert one note twice, delete every
// other note, load the whole melody again. Then undo and redo across the last of them.
// A snapshot holds the melody before its edit, so each edit pays for storing the difference
// that the edit before it made: the single-note figure is taken on the second of two inserts.
void benchUndoHistory(const std::vector<TapeNote> &notes) {
    OpenTape tape;
    tape.model().setNotes(notes);
    std::vector<double> whole, deletes, loads, singles, undos, redos;
    for (unsigned i = 0; i < 1000; ++i) {
        const unsigned kind = i % 10;
        switch (kind) {
        case 0:
        case 4:
            tape.model().selectAll();
            whole.push_back(cpuOf([&] {
                if (kind == 0)
                    tape.model().selectedNotesHigher();
                else
                    tape.model().selectedNotesLower();
            }));
            break;
        case 1:
        case 5:
            tape.model().selectAll();
            whole.push_back(cpuOf([&] { tape.model().moveSelected(kind == 1 ? 1 : -1); }));
            break;
        case 2:
        case 3:
        case 6:
        case 7: {
            TapeNote n;
            n.note = 100 + i % 20;
            n.start = (i * 7919u) % (melodySize / 2);
            n.length = 4;
            n.velocity = 100;
            const double ms = cpuOf([&] { tape.model().insertNote(n); });
            if (kind == 3 || kind == 7)
                singles.push_back(ms);
            break;
        }
        case 8:
            tape.model().unselectAll();
            for (unsigned k = 1; k < tape.model().notes().size(); k += 2)
                tape.model().setSelected(k, true);
            deletes.push_back(cpuOf([&] { tape.model().removeSelected(); }));
            break;
        default:
            loads.push_back(cpuOf([&] { tape.model().setNotes(notes); }));
            break;
        }
    }
    const std::size_t bytes = tape.model().undoHistory().heldBytes();
    std::printf("undo history after 1000 mixed edits: %zu snapshots, %.1f MB held, "
                "target < 100 MB\n",
                tape.model().undoHistory().size(), double(bytes) / 1e6);
    printFigure("whole-melody edit with its snapshot (transpose all, move all one tick)", whole,
                16);
    printFigure("delete every other note with its snapshot", deletes, 16);
    printFigure("load the whole melody again (not a target)", loads, 0);
    printFigure("single-note insert with its snapshot", singles, 1);
    for (int k = 0; k < 30; ++k)
        undos.push_back(cpuOf([&] { tape.model().undo(); }));
    for (int k = 0; k < 30; ++k)
        redos.push_back(cpuOf([&] { tape.model().redo(); }));
    printFigure("undo (any of the kinds above)", undos, 16);
    printFigure("redo (any of the kinds above)", redos, 16);

    // Opening another file over that history: the first edit stores the difference between
    // two melodies that share nothing, the next ones what is left of its compression.
    const std::vector<TapeNote> other = otherMelody();
    std::vector<double> afterOther, nextAfterOther;
    for (int k = 0; k < 10; ++k) {
        tape.model().setNotes(k % 2 ? notes : other);
        tape.model().selectAll();
        afterOther.push_back(cpuOf([&] { tape.model().selectedNotesHigher(); }));
        for (int m = 0; m < 3; ++m)
            nextAfterOther.push_back(cpuOf([&] { tape.model().moveSelected(m % 2 ? -1 : 1); }));
    }
    printFigure("first whole-melody edit after loading an unrelated melody over the history",
                afterOther, 16);
    printFigure("the three whole-melody edits after it", nextAfterOther, 16);
    std::printf("undo history then: %zu snapshots, %.1f MB held, %.1f MB of it still to "
                "compress\n",
                tape.model().undoHistory().size(),
                double(tape.model().undoHistory().heldBytes()) / 1e6,
                double(tape.model().undoHistory().pendingBytes()) / 1e6);

    // The first edit of a freshly loaded melody stores the whole melody as its first snapshot.
    std::vector<double> firsts;
    for (int k = 0; k < 10; ++k) {
        OpenTape fresh;
        fresh.model().setNotes(notes);
        fresh.model().selectAll();
        firsts.push_back(cpuOf([&] { fresh.model().selectedNotesHigher(); }));
    }
    printFigure("first whole-melody edit after loading", firsts, 16);
}

} // namespace

// With the argument "edits", only the undo history figures (for profiling the edits).
int main(int argc, char **argv) {
    const std::vector<TapeNote> notes = melody();
    std::printf("melody: %u notes of %zu bytes\n", melodySize, sizeof(TapeNote));
    if (argc > 1 && std::string(argv[1]) == "edits") {
        benchUndoHistory(notes);
        return 0;
    }
    benchDraw(notes);
    benchRead(notes);
    benchEdits(notes);
    benchHistoryMemory(notes);
    benchUndoHistory(notes);
    return 0;
}
