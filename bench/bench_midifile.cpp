// Benchmark of the MIDI file library: a format 0 file of one million notes (two million note
// events, about 8 MB) is generated, then read and written repeatedly. Prints the throughput in
// MB/s and the peak memory of a fresh process that reads the file once.
//   bench_midifile                  run the benchmark
//   bench_midifile --read-peak F    (internal) read F and print the process's peak memory in kB
#include "midifile/MidiFile.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

using namespace tw;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int noteCount = 1000000;
constexpr int rounds = 10;

// The file's bytes, built directly: notes of one channel walking up and down, each note-on at a
// delta of 0..15 ticks and its note-off 16..127 ticks later, every event with its status byte.
std::vector<uint8_t> generateFile() {
    std::vector<uint8_t> events;
    events.reserve(std::size_t(noteCount) * 8 + 4);
    uint32_t seed = 12345;
    auto next = [&seed]() {
        seed = seed * 1103515245u + 12345u;
        return seed >> 16;
    };
    for (int i = 0; i < noteCount; ++i) {
        uint8_t note = uint8_t(21 + (i * 7) % 88);
        uint8_t velocity = uint8_t(1 + next() % 127);
        events.insert(events.end(), {uint8_t(next() % 16), 0x90, note, velocity});
        events.insert(events.end(), {uint8_t(16 + next() % 112), 0x80, note, 0x40});
    }
    events.insert(events.end(), {0x00, 0xFF, 0x2F, 0x00});
    std::vector<uint8_t> file = {'M', 'T', 'h', 'd',  0,    0,   0,   6,   0,
                                 0,   0,   1,   0x01, 0xE0, 'M', 'T', 'r', 'k'};
    uint32_t length = uint32_t(events.size());
    file.insert(file.end(), {uint8_t(length >> 24), uint8_t(length >> 16), uint8_t(length >> 8),
                             uint8_t(length)});
    file.insert(file.end(), events.begin(), events.end());
    return file;
}

long peakKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

int readPeak(const char *path) {
    MidiFile f;
    int rc = f.read(path);
    std::printf("%d %ld\n", rc, peakKilobytes());
    return rc == 0 ? 0 : 1;
}

// Runs this program again as a fresh process that reads the file once; its peak in kB.
long peakOfFreshReader(const std::string &path) {
    int fds[2];
    if (::pipe(fds) != 0)
        return -1;
    pid_t child = ::fork();
    if (child == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        ::close(fds[0]);
        ::close(fds[1]);
        ::execl("/proc/self/exe", "bench_midifile", "--read-peak", path.c_str(), nullptr);
        ::_exit(127);
    }
    ::close(fds[1]);
    char buf[128] = {};
    ssize_t n = ::read(fds[0], buf, sizeof(buf) - 1);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    int rc = 1;
    long kb = -1;
    if (n <= 0 || std::sscanf(buf, "%d %ld", &rc, &kb) != 2 || rc != 0)
        return -1;
    return kb;
}

double seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// CPU time of this thread (user and system) in seconds: on a machine shared with other work
// it shows the cost of the code apart from the time spent waiting for a core.
double threadCpuSeconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// Best wall-clock and best CPU time of some rounds of an operation.
struct Timing {
    double wall = 1e9;
    double cpu = 1e9;
    template <class F> bool measure(F &&operation) {
        for (int r = 0; r < rounds; ++r) {
            double c0 = threadCpuSeconds();
            auto t0 = Clock::now();
            if (!operation())
                return false;
            auto t1 = Clock::now();
            double c1 = threadCpuSeconds();
            wall = std::min(wall, seconds(t0, t1));
            cpu = std::min(cpu, c1 - c0);
        }
        return true;
    }
};

} // namespace

int main(int argc, char **argv) {
    if (argc == 3 && std::strcmp(argv[1], "--read-peak") == 0)
        return readPeak(argv[2]);

    fs::path dir = fs::temp_directory_path() / ("bench_midifile." + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::string input = (dir / "million.mid").string();
    std::string output = (dir / "written.mid").string();
    std::vector<uint8_t> bytes = generateFile();
    {
        std::ofstream out(input, std::ios::binary);
        out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    }
    double megabytes = double(bytes.size()) / 1e6;
    std::printf("file: format 0, %d notes, %zu events, %.2f MB\n", noteCount,
                2 * std::size_t(noteCount), megabytes);

    MidiFile file;
    Timing reading;
    bool readOk = reading.measure([&] {
        int rc = file.read(input.c_str());
        return rc == 0 && file.tracks.size() == 1 && file.tracks[0].events.size() == 2u * noteCount;
    });
    if (!readOk) {
        std::fprintf(stderr, "read failed\n");
        return 1;
    }
    Timing writing;
    if (!writing.measure([&] { return file.write(output.c_str()) == 0; })) {
        std::fprintf(stderr, "write failed\n");
        return 1;
    }
    bool same = fs::file_size(output) == bytes.size();
    long peak = peakOfFreshReader(input);

    std::printf("read:  %7.1f MB/s wall (%.1f ms), %7.1f MB/s of CPU time (%.1f ms); best of %d; "
                "target >= 200 MB/s\n",
                megabytes / reading.wall, reading.wall * 1e3, megabytes / reading.cpu,
                reading.cpu * 1e3, rounds);
    std::printf("write: %7.1f MB/s wall (%.1f ms), %7.1f MB/s of CPU time (%.1f ms); best of %d, "
                "fsync included; target >= 200 MB/s%s\n",
                megabytes / writing.wall, writing.wall * 1e3, megabytes / writing.cpu,
                writing.cpu * 1e3, rounds, same ? "" : "  SIZE DIFFERS");
    std::printf("read peak memory: %.1f MB  (fresh process, VmHWM; target < 100 MB)\n",
                double(peak) / 1024.0);
    std::error_code ec;
    fs::remove_all(dir, ec);
    return peak > 0 && same ? 0 : 1;
}
