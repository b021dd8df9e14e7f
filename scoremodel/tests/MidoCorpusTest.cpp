// Saved melodies as another MIDI reader sees them: every corpus file that reads is loaded,
// saved, and read back by Debian's python3-mido; its notes must equal the tape's melody.
#include "ModelTestSupport.h"
#include "testsupport/Python.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <tuple>

using namespace tw;

namespace fs = std::filesystem;

namespace {

using NoteKey = std::tuple<unsigned, unsigned, unsigned, unsigned, unsigned>;

// start, length, channel, note, velocity of each line of the script's output.
std::vector<NoteKey> parse(const std::string &text) {
    std::vector<NoteKey> out;
    std::istringstream in(text);
    unsigned s, l, c, n, v;
    while (in >> s >> l >> c >> n >> v)
        out.emplace_back(s, l, c, n, v);
    return out;
}

} // namespace

TEST(TapeMido, SavedCorpusReadsBackInMido) {
    const char *source = std::getenv("TW_SOURCE_DIR");
    const fs::path root = fs::path(source ? source : ".");
    const fs::path corpus = root / ".." / "shared" / "testdata" / "midi";
    const fs::path script = root / "scoremodel" / "tests" / "mido_notes.py";
    if (!fs::is_directory(corpus))
        GTEST_SKIP() << "no corpus at " << corpus;
    if (!midoAvailable())
        GTEST_SKIP() << "python3-mido is missing";

    std::vector<fs::path> files;
    for (const auto &entry : fs::recursive_directory_iterator(corpus)) {
        const std::string ext = entry.path().extension().string();
        if (entry.is_regular_file() && (ext == ".mid" || ext == ".MID" || ext == ".midi"))
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());

    TempPath saved("mido.mid");
    unsigned compared = 0;
    for (const fs::path &file : files) {
        SCOPED_TRACE(file.string());
        MidiFile probe;
        if (probe.read(file.c_str()) != 0)
            continue;
        TestModel tape;
        ASSERT_EQ(tape.readMidiFile(file.c_str()), 0);
        // Scale 1: one tape tick per MIDI tick. Where the file's time unit is too fine for the
        // tape's ticks per frame, its first track is converted at scale 1 directly.
        const unsigned tpf = probe.timeUnit * 2u;
        if (!(probe.timeUnit & 0x8000) && tpf >= 2 && tpf <= 200) {
            tape.setTicksPerFrame(tpf);
            ASSERT_EQ(tape.readMidiFile(file.c_str()), 0);
        } else if (!probe.tracks.empty()) {
            tape.fromTrack(probe.tracks.front(), 1.0 / tape.ticksPerFrame());
        }
        ASSERT_EQ(tape.writeMidiFile(saved.path.c_str()), 0);

        // The saved melody starts with its first note; a note that a later note of its key
        // and channel overlaps is saved up to the later one's start.
        std::vector<TapeNote> melody = tape.notes();
        std::vector<int> sounding(16 * 128, -1);
        for (std::size_t i = 0; i < melody.size(); ++i) {
            int &key = sounding[melody[i].channel * 128 + melody[i].note];
            if (key >= 0) {
                TapeNote &earlier = melody[std::size_t(key)];
                if (earlier.start + earlier.length > melody[i].start)
                    earlier.length = std::max(melody[i].start - earlier.start, 1u);
            }
            key = int(i);
        }
        const unsigned first = melody.empty() ? 0 : melody.front().start;
        std::vector<NoteKey> expected;
        for (const TapeNote &n : melody)
            expected.emplace_back(n.start - first, n.length, n.channel, n.note, n.velocity);
        std::vector<NoteKey> actual = parse(runPython(script.string(), saved.path));
        std::sort(expected.begin(), expected.end());
        std::sort(actual.begin(), actual.end());
        EXPECT_EQ(actual.size(), expected.size());
        EXPECT_TRUE(actual == expected);
        ++compared;
    }
    EXPECT_GT(compared, 0u);
    std::printf("compared %u of %zu corpus files\n", compared, files.size());
}
