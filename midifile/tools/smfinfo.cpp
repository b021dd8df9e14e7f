// smfinfo: prints the header, the per-track statistics and optionally the events of a
// Standard MIDI File, or copies a file through the reader and the writer.
//   smfinfo FILE | smfinfo --events FILE | smfinfo --copy IN OUT
#include "midifile/MidiFile.h"

#include <cstdio>
#include <cstring>
#include <string>

using namespace tw;

namespace {

int usage() {
    std::fprintf(stderr, "usage: smfinfo [--events] FILE | smfinfo --copy IN OUT\n");
    return 2;
}

int reportError(int code) {
    std::printf("error=%d\n", code);
    return 1;
}

void printEvents(const NoxmidiTrk &track) {
    static const char hex[] = "0123456789abcdef";
    std::string line;
    for (const MidiEvent &e : track.events) {
        line = std::to_string(e.dTime);
        line += '\t';
        for (uint8_t b : e.bytes) {
            line += hex[b >> 4];
            line += hex[b & 0x0F];
        }
        line += '\n';
        std::fputs(line.c_str(), stdout);
    }
}

} // namespace

int main(int argc, char **argv) {
    bool events = false;
    if (argc == 4 && std::strcmp(argv[1], "--copy") == 0) {
        MidiFile file;
        if (int rc = file.read(argv[2]))
            return reportError(rc);
        if (int rc = file.write(argv[3]))
            return reportError(rc);
        return 0;
    }
    const char *path = nullptr;
    if (argc == 2 && argv[1][0] != '-') {
        path = argv[1];
    } else if (argc == 3 && std::strcmp(argv[1], "--events") == 0) {
        events = true;
        path = argv[2];
    } else {
        return usage();
    }
    MidiFile file;
    if (int rc = file.read(path))
        return reportError(rc);
    std::printf("format=%u division=%u tracks=%zu\n", unsigned(file.format),
                unsigned(file.timeUnit), file.tracks.size());
    for (std::size_t i = 0; i < file.tracks.size(); ++i) {
        const NoxmidiTrk &t = file.tracks[i];
        std::printf("track=%zu events=%zu tones=%d ticks=%llu low=%d high=%d\n", i, t.events.size(),
                    int(t.toneCount), static_cast<unsigned long long>(t.totalTicks), int(t.lowNote),
                    int(t.highNote));
        if (events)
            printEvents(t);
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
