// The reader against an independent one (python3-mido) over the shared MIDI files, and the
// round trip of every file that reads through the writer.
#include "SmfTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>

using namespace tw;

namespace {

namespace fs = std::filesystem;

// Files of the shared set that this reader refuses on purpose, with the reason.
struct Refusal {
    const char *file;
    int code;
    bool midoReads; // whether python3-mido accepts the file
    const char *why;
};
const Refusal refusals[] = {
    {"test-empty-file.mid", errRead, false, "zero bytes: no header"},
    {"test-corrupt-file-missing-byte.mid", errRead, false, "cut off inside End of Track"},
    {"test-not-a-midi-file.mid", errHeader, false, "text, no MThd"},
    {"test-non-midi-track.mid", errTrackChunk, false, "another chunk where the track is due"},
    {"test-illegal-message-f1-xx.mid", errRunningStatus, true,
     "any system status is read with two data bytes, so F1 takes the next delta time and a "
     "data byte then stands after a non-channel event; mido reads F1 with one"},
    {"test-illegal-message-f8.mid", errRunningStatus, true,
     "F8 is read with two data bytes (mido: none), which puts a data byte in status position"},
    {"test-running-status-metaevent.mid", errRunningStatus, true,
     "running status right after a meta event; mido keeps the status across metas"},
    {"test-running-status-sysex.mid", errRunningStatus, false,
     "running status right after a sysex event"},
    {"PiDamaged.mid", errRead, false, "cut off inside a track"},
    {"MIDIBadHeaderChunk.mid", errHeader, false, "header id MT0d"},
    {"MIDIBadHeaderFormat.mid", errHeader, true, "format 3; mido does not check the format"},
    {"MIDIBadHeaderLength.mid", errHeader, false, "header length 22"},
    {"MIDIBadHeaderTracksNum.mid", errRead, false, "two tracks declared, one present"},
    {"MIDIBadTrackHdr.mid", errTrackChunk, false, "track id mTrk"},
    {"MIDIBadTrackLength.mid", errRead, false, "track length beyond the end of the file"},
};

const Refusal *refusalFor(const fs::path &p) {
    for (const Refusal &r : refusals)
        if (p.filename() == r.file)
            return &r;
    return nullptr;
}

// The text form that the mido script prints, from this library's reading of a file.
std::string describe(const MidiFile &f) {
    std::ostringstream out;
    out << "header " << f.format << ' ' << f.timeUnit << ' ' << f.tracks.size() << '\n';
    static const char hex[] = "0123456789abcdef";
    for (const NoxmidiTrk &t : f.tracks) {
        out << "track " << t.events.size() << ' ' << t.toneCount << ' ' << t.totalTicks << '\n';
        for (const MidiEvent &e : t.events) {
            out << "event " << e.dTime << ' ';
            for (uint8_t b : e.bytes)
                out << hex[b >> 4] << hex[b & 15];
            out << '\n';
        }
    }
    return out.str();
}

// Runs the mido script over the files; the text it printed for each file, by path.
std::map<std::string, std::string> midoDescriptions(const std::vector<fs::path> &files) {
    std::string command = "/usr/bin/python3 '" +
                          (smftest::sourceDir() / "midifile" / "tests" / "mido_dump.py").string() +
                          "'";
    for (const fs::path &f : files)
        command += " '" + f.string() + "'";
    std::map<std::string, std::string> result;
    FILE *pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return result;
    std::string text;
    char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), pipe)) > 0)
        text.append(buf, n);
    int status = ::pclose(pipe);
    EXPECT_EQ(status, 0) << "the mido script failed";
    std::istringstream in(text);
    std::string line, current;
    while (std::getline(in, line)) {
        if (line.rfind("file ", 0) == 0)
            current = line.substr(5);
        else
            result[current] += line + '\n';
    }
    return result;
}

// Compares line by line so that a mismatch names the first differing track or event.
void expectSameDescription(const std::string &ours, const std::string &mido) {
    std::istringstream a(ours), b(mido);
    std::string la, lb;
    int line = 0;
    while (true) {
        bool moreA = bool(std::getline(a, la)), moreB = bool(std::getline(b, lb));
        ++line;
        if (!moreA && !moreB)
            return;
        if (la != lb || moreA != moreB) {
            ADD_FAILURE() << "line " << line << ": ours \"" << (moreA ? la : "<end>")
                          << "\", mido \"" << (moreB ? lb : "<end>") << '"';
            return;
        }
    }
}

// The events as the writer stores them: a system status other than sysex (0xF1..0xFE) is
// written as a system exclusive event, so it reads back beginning with 0xF0.
std::vector<MidiEvent> asWritten(std::vector<MidiEvent> events) {
    for (MidiEvent &e : events)
        if (e.kind() == MidiEventKind::Sysex)
            e.bytes[0] = 0xF0;
    return events;
}

class Corpus : public testing::Test {
protected:
    void SetUp() override {
        files_ = smftest::corpusFiles();
        if (files_.empty())
            GTEST_SKIP() << "shared MIDI test files not found beside the clone ("
                         << (smftest::sourceDir() / ".." / "shared" / "testdata" / "midi").string()
                         << "); skipped";
    }
    std::vector<fs::path> files_;
};

TEST_F(Corpus, ReaderAgreesWithMido) {
    std::map<std::string, std::string> mido = midoDescriptions(files_);
    ASSERT_EQ(mido.size(), files_.size());
    for (const fs::path &p : files_) {
        SCOPED_TRACE(p.string());
        MidiFile f;
        int rc = f.read(p.c_str());
        const std::string &theirs = mido[p.string()];
        bool midoReads = theirs.rfind("refused", 0) != 0;
        if (const Refusal *r = refusalFor(p)) {
            EXPECT_EQ(rc, r->code) << r->why;
            EXPECT_EQ(midoReads, r->midoReads) << theirs;
            continue;
        }
        ASSERT_EQ(rc, 0);
        ASSERT_TRUE(midoReads) << theirs;
        expectSameDescription(describe(f), theirs);
    }
}

TEST_F(Corpus, EveryReadableFileSurvivesTheWriter) {
    smftest::TempDir dir;
    std::vector<fs::path> written;
    std::map<std::string, std::string> ours;
    for (const fs::path &p : files_) {
        SCOPED_TRACE(p.string());
        MidiFile f;
        if (f.read(p.c_str()) != 0)
            continue;
        std::string out = dir.file(std::to_string(written.size()) + ".mid");
        ASSERT_EQ(f.write(out.c_str()), 0);
        MidiFile back;
        ASSERT_EQ(back.read(out.c_str()), 0);
        EXPECT_EQ(back.format, f.format);
        EXPECT_EQ(back.timeUnit, f.timeUnit);
        ASSERT_EQ(back.tracks.size(), f.tracks.size());
        for (std::size_t i = 0; i < f.tracks.size(); ++i)
            EXPECT_EQ(back.tracks[i].events, asWritten(f.tracks[i].events)) << "track " << i;
        written.push_back(out);
        ours[out] = describe(back);
    }
    ASSERT_FALSE(written.empty());
    // mido reads every written file, and reads it as we do.
    std::map<std::string, std::string> mido = midoDescriptions(written);
    for (const fs::path &p : written) {
        SCOPED_TRACE(p.string());
        expectSameDescription(ours[p.string()], mido[p.string()]);
    }
}

// Inputs that once broke the reader: each must read or be refused without harm, and what
// reads can be written. (Reading it back may be refused: a system status read with data bytes
// of 0x80 or more is written as sysex data, which the reader does not accept.)
TEST(FuzzRegressions, ReadWithoutHarm) {
    fs::path folder = smftest::sourceDir() / "fuzz" / "regressions";
    ASSERT_TRUE(fs::is_directory(folder)) << folder;
    smftest::TempDir dir;
    for (const auto &entry : fs::directory_iterator(folder)) {
        if (!entry.is_regular_file())
            continue;
        SCOPED_TRACE(entry.path().string());
        MidiFile f;
        if (f.read(entry.path().c_str()) != 0) {
            EXPECT_TRUE(f.tracks.empty());
            continue;
        }
        std::string out = dir.file("copy.mid");
        ASSERT_EQ(f.write(out.c_str()), 0);
        MidiFile back;
        if (back.read(out.c_str()) == 0) {
            EXPECT_EQ(back.tracks.size(), f.tracks.size());
        }
    }
}

} // namespace
