// Times notes travelling between two processes through the X clipboard: this program copies and
// a second one (clipboard_peer) pastes, and the other way round. Prints median and best times.
#include "clipboard/ClipboardSystem.h"
#include "clipboard/ScoreClipboard.h"
#include "clipboard/tests/ChildProcess.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

using namespace tw;

namespace {
using Clock = std::chrono::steady_clock;
constexpr int runs = 30;

double millis(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void report(const char *what, std::vector<double> times) {
    std::sort(times.begin(), times.end());
    std::printf("%-58s median %7.2f ms  best %7.2f ms  (%zu runs)\n", what, times[times.size() / 2],
                times.front(), times.size());
}

std::string ask(ChildProcess &peer, const std::string &command) {
    std::string line;
    if (!peer.send(command + "\n") || !peer.readLine(line, std::chrono::seconds(10)))
        return "";
    return line;
}
} // namespace

int main() {
    clipboardInitThreads();
    std::signal(SIGPIPE, SIG_IGN);
    if (!std::getenv("DISPLAY")) {
        std::printf("bench_clipboard: no X display, skipped\n");
        return 0;
    }
    std::vector<TapeNote> notes(100 * 1024 / noteRecordSize + 1); // just over 100 KB
    for (size_t i = 0; i < notes.size(); ++i) {
        notes[i].note = uint32_t(40 + i % 48);
        notes[i].start = uint32_t(i * 3);
        notes[i].length = uint32_t(1 + i % 7);
        notes[i].velocity = uint32_t(i % 128);
    }
    const std::string expected = "notes " + std::to_string(notes.size());
    char folder[] = "/tmp/tw-bench-clipboard-XXXXXX";
    if (!mkdtemp(folder))
        return 1;
    const std::string file = std::string(folder) + "/notes";
    {
        std::vector<uint8_t> bytes = encodeNotes(notes);
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    }

    ChildProcess peer({siblingProgram("clipboard_peer")});
    std::vector<double> copyPaste, pasteOnly;
    bool ok = copyNotesToClipboard(notes) && ask(peer, "count") == expected; // warm up
    for (int i = 0; ok && i < runs; ++i) {
        auto begin = Clock::now();
        ok = copyNotesToClipboard(notes) && ask(peer, "count") == expected;
        copyPaste.push_back(millis(Clock::now() - begin));
    }
    for (int i = 0; ok && i < runs; ++i) {
        ok = ask(peer, "set ScoreTapeFmt " + file) == "rc 0";
        auto begin = Clock::now();
        ok = ok && notesFromClipboard().size() == notes.size();
        pasteOnly.push_back(millis(Clock::now() - begin));
    }
    peer.send("quit\n");
    peer.closeInput();
    peer.finish(std::chrono::seconds(5));
    unlink(file.c_str());
    rmdir(folder);
    clipboardShutdown();
    if (!ok) {
        std::printf("bench_clipboard: a transfer failed\n");
        return 1;
    }
    std::printf("100 KB of notes (%zu bytes) between two processes:\n",
                notes.size() * noteRecordSize);
    report("copy here, then paste in the other process", copyPaste);
    report("paste here what the other process copied", pasteOnly);
    return 0;
}
