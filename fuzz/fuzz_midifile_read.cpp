// libFuzzer target: MidiFile::read on arbitrary bytes, through an in-memory file, with the
// model's invariants checked after every read, and the file read as its checked bytes
// (CheckedMidiFile) giving the same code and the same events.
#include "midifile/CheckedMidiFile.h"
#include "midifile/MidiFile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

using namespace tw;

namespace {

void check(bool condition, const char *what) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// One memory-backed file reused for every input, reached by path as the editor reaches files.
struct MemoryFile {
    int fd = ::memfd_create("fuzz-input", 0);
    char path[64];
    MemoryFile() { std::snprintf(path, sizeof(path), "/proc/self/fd/%d", fd); }
    bool store(const uint8_t *data, std::size_t size) {
        if (fd < 0 || ::ftruncate(fd, 0) != 0)
            return false;
        std::size_t done = 0;
        while (done < size) {
            ssize_t n = ::pwrite(fd, data + done, size - done, off_t(done));
            if (n <= 0)
                return false;
            done += std::size_t(n);
        }
        return true;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    static MemoryFile file;
    if (!file.store(data, size))
        return 0;
    MidiFile midi;
    std::optional<uint64_t> failedAt, checkedAt;
    int rc = midi.read(file.path, &failedAt);
    CheckedMidiFile checked;
    check(checked.read(file.path, &checkedAt) == rc && checkedAt == failedAt, "checked read");
    if (rc != 0) {
        check(midi.format == 0 && midi.timeUnit == 240 && midi.tracks.empty(), "cleared on error");
        return 0;
    }
    check(size >= 14 && midi.format <= 2, "header");
    check(midi.tracks.size() == std::size_t((data[10] << 8) | data[11]), "track count");
    for (const NoxmidiTrk &t : midi.tracks) {
        NoxmidiTrk recounted = t;
        recounted.recount();
        check(recounted.totalTicks == t.totalTicks && recounted.toneCount == t.toneCount &&
                  recounted.lowNote == t.lowNote && recounted.highNote == t.highNote,
              "statistics");
        for (const MidiEvent &e : t.events) {
            check(!e.bytes.empty(), "no empty event");
            check(!(e.bytes.size() == 2 && e.bytes[0] == 0xFF && e.bytes[1] == 0x2F),
                  "no End of Track");
            check(e.bytes.size() <= size, "event larger than the file");
        }
    }
    check(checked.format == midi.format && checked.timeUnit == midi.timeUnit &&
              checked.trackCount() == midi.tracks.size(),
          "checked header");
    for (std::size_t t = 0; t < midi.tracks.size(); ++t) {
        const std::vector<MidiEvent> &events = midi.tracks[t].events;
        check(checked.facts(t).events == events.size() &&
                  checked.facts(t).toneCount == midi.tracks[t].toneCount,
              "checked statistics");
        std::size_t i = 0;
        checked.takeEvents(t, [&](const MidiEvent &e) {
            check(i < events.size() && e == events[i], "checked events");
            ++i;
        });
        check(i == events.size(), "checked event count");
    }
    std::size_t tempos = 0;
    for (const NoxmidiTrk &t : midi.tracks) {
        uint64_t now = 0;
        for (const MidiEvent &e : t.events) {
            now += e.dTime;
            if (e.bytes.size() != 5 || e.bytes[0] != 0xFF || e.bytes[1] != 0x51)
                continue;
            const uint32_t tempo =
                uint32_t(e.bytes[2]) << 16 | uint32_t(e.bytes[3]) << 8 | e.bytes[4];
            check(tempos < checked.tempoChanges().size() &&
                      checked.tempoChanges()[tempos].tick == now &&
                      checked.tempoChanges()[tempos].microsPerBeat == tempo,
                  "checked tempo");
            ++tempos;
        }
    }
    check(tempos == checked.tempoChanges().size(), "checked tempo count");
    return 0;
}
