// Export speed and memory: the whole melody to PNG, SVG and PDF at 100,000 and 1,000,000
// notes, each in a process of its own so that its peak memory is its own. Prints the CPU time
// and the peak resident memory of every export, the 1M/100k ratio (linear is about 10), each
// next to its target.
#include "render/TapeExport.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
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

// Exports in a child process; its CPU time comes back through a pipe, its peak memory from
// wait4.
Figures measure(unsigned count, ExportFormat format, const std::string &path) {
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
    };
    const Case cases[] = {{"PNG", ExportFormat::png, ".png", 2, 0},
                          {"SVG", ExportFormat::svg, ".svg", 0, 100},
                          {"PDF", ExportFormat::pdf, ".pdf", 2, 0}};
    for (const Case &c : cases) {
        const std::string path = dir + "/tapeworks2-bench-export" + c.extension;
        const Figures small = measure(100000, c.format, path);
        std::printf("export %s 100k notes: %.2f s CPU, peak %.0f MB%s\n", c.name, small.cpu,
                    small.peakMb, small.ok ? "" : " (failed)");
        if (quick)
            continue;
        const Figures large = measure(1000000, c.format, path);
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
