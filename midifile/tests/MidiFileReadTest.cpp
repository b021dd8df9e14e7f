// The reader against file bytes built in code.
#include "SmfTestSupport.h"

#include "midifile/CheckedMidiFile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tw;

namespace {

using smftest::Bytes;
using smftest::cat;
using smftest::header;
using smftest::singleTrackFile;
using smftest::track;

using Events = std::vector<MidiEvent>;

void expectCleared(const MidiFile &f) {
    EXPECT_EQ(f.format, 0);
    EXPECT_EQ(f.timeUnit, 240);
    EXPECT_TRUE(f.tracks.empty());
}

// The file read as its checked bytes gives what MidiFile::read gives: the code, the failure
// byte, and every track's events and statistics; cleared after an error.
void expectCheckedAgrees(const Bytes &bytes) {
    smftest::TempDir dir;
    const std::string path = dir.file("in.mid");
    smftest::writeBytes(path, bytes);
    MidiFile parsed;
    std::optional<uint64_t> parsedAt, checkedAt;
    const int rc = parsed.read(path.c_str(), &parsedAt);
    CheckedMidiFile checked;
    checked.format = 1;
    EXPECT_EQ(checked.read(path.c_str(), &checkedAt), rc);
    EXPECT_EQ(checkedAt, parsedAt);
    EXPECT_EQ(checked.format, parsed.format);
    EXPECT_EQ(checked.timeUnit, parsed.timeUnit);
    ASSERT_EQ(checked.trackCount(), parsed.tracks.size());
    EXPECT_LE(checked.heldBytes(), bytes.size());
    for (std::size_t t = 0; t < parsed.tracks.size(); ++t) {
        const NoxmidiTrk &want = parsed.tracks[t], got = checked.track(t);
        EXPECT_EQ(got.events, want.events) << "track " << t;
        EXPECT_EQ(checked.facts(t).events, want.events.size()) << "track " << t;
        EXPECT_EQ(got.totalTicks, want.totalTicks) << "track " << t;
        EXPECT_EQ(got.toneCount, want.toneCount) << "track " << t;
        EXPECT_EQ(got.lowNote, want.lowNote) << "track " << t;
        EXPECT_EQ(got.highNote, want.highNote) << "track " << t;
    }
}

TEST(MidiFileRead, AcceptsWellFormedFiles) {
    struct Case {
        const char *name;
        Bytes file;
        uint16_t format;
        uint16_t timeUnit;
        std::vector<Events> tracks;
    } cases[] = {
        {"header alone, no tracks", header(0, 0, 96), 0, 96, {}},
        {"empty track chunk still counts",
         cat({header(1, 2, 480), track({}), track({})}),
         1,
         480,
         {{}, {}}},
        {"format 2, SMPTE division kept",
         cat({header(2, 1, 0xE728), track({0, 0xC0, 5})}),
         2,
         0xE728,
         {{{0, {0xC0, 5}}}}},
        {"variable-length delta times",
         singleTrackFile({0x81, 0x00, 0xC0, 1, 0xFF, 0xFF, 0xFF, 0x7F, 0xC0, 2}),
         0,
         96,
         {{{128, {0xC0, 1}}, {0x0FFFFFFF, {0xC0, 2}}}}},
        {"five-byte delta keeps its low 32 bits",
         singleTrackFile({0x8F, 0xFF, 0xFF, 0xFF, 0x7F, 0xC0, 1}),
         0,
         96,
         {{{0xFFFFFFFF, {0xC0, 1}}}}},
        {"running status after a note-on",
         singleTrackFile({0x00, 0x90, 0x3C, 0x40, 0x10, 0x3C, 0x00}),
         0,
         96,
         {{{0, {0x90, 0x3C, 0x40}}, {16, {0x90, 0x3C, 0x00}}}}},
        {"running status after a program change",
         singleTrackFile({0x00, 0xC0, 0x05, 0x00, 0x07}),
         0,
         96,
         {{{0, {0xC0, 0x05}}, {0, {0xC0, 0x07}}}}},
        {"end of track dropped with its delta",
         singleTrackFile({0x00, 0x90, 60, 1, 0x60, 0xFF, 0x2F, 0x00}),
         0,
         96,
         {{{0, {0x90, 60, 1}}}}},
        {"end of track with data kept",
         singleTrackFile({0x00, 0xFF, 0x2F, 0x01, 0x00}),
         0,
         96,
         {{{0, {0xFF, 0x2F, 0x00}}}}},
        {"events after end of track inside the chunk",
         singleTrackFile({0x00, 0xFF, 0x2F, 0x00, 0x05, 0xC0, 1}),
         0,
         96,
         {{{5, {0xC0, 1}}}}},
        {"tempo meta stored without length",
         singleTrackFile({0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}),
         0,
         96,
         {{{0, {0xFF, 0x51, 0x07, 0xA1, 0x20}}}}},
        {"long text meta",
         singleTrackFile(cat({{0x00, 0xFF, 0x01, 0x81, 0x00}, Bytes(128, 'x')})),
         0,
         96,
         {{{0, EventBytes(cat({{0xFF, 0x01}, Bytes(128, 'x')}).data(), 130)}}}},
        {"sysex without closing byte stored",
         singleTrackFile({0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7}),
         0,
         96,
         {{{0, {0xF0, 0x7E, 0x7F, 0x09, 0x01}}}}},
        {"sysex length one too long, doubled 0xF7",
         singleTrackFile({0x00, 0xF0, 0x06, 0x7E, 0x7F, 0x09, 0x01, 0xF7, 0xF7}),
         0,
         96,
         {{{0, {0xF0, 0x7E, 0x7F, 0x09, 0x01}}}}},
        {"sysex length 0 reads to the first 0xF7",
         singleTrackFile({0x00, 0xF0, 0x00, 0x01, 0x02, 0xF7, 0xF7}),
         0,
         96,
         {{{0, {0xF0, 0x01, 0x02}}}}},
        {"system status takes two bytes",
         singleTrackFile({0x00, 0xF2, 0x10, 0x20, 0x00, 0xF8, 1, 2}),
         0,
         96,
         {{{0, {0xF2, 0x10, 0x20}}, {0, {0xF8, 1, 2}}}}},
        {"running status per track",
         cat({header(1, 2, 96), track({0x00, 0x90, 60, 1}),
              track({0x00, 0x91, 61, 2, 0x01, 62, 3})}),
         1,
         96,
         {{{0, {0x90, 60, 1}}}, {{0, {0x91, 61, 2}}, {1, {0x91, 62, 3}}}}},
        {"bytes after the last declared track not read",
         cat({header(0, 1, 96), track({0x00, 0xC0, 1}), Bytes{'J', 'U', 'N', 'K', 0xFF}}),
         0,
         96,
         {{{0, {0xC0, 1}}}}},
        {"event running past the chunk end read whole",
         cat({header(0, 1, 96), smftest::chunk("MTrk", {0x00, 0x90}), Bytes{60, 1}}),
         0,
         96,
         {{{0, {0x90, 60, 1}}}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        MidiFile f;
        ASSERT_EQ(smftest::readFromBytes(f, c.file), 0);
        EXPECT_EQ(f.format, c.format);
        EXPECT_EQ(f.timeUnit, c.timeUnit);
        ASSERT_EQ(f.tracks.size(), c.tracks.size());
        for (std::size_t i = 0; i < c.tracks.size(); ++i)
            EXPECT_EQ(f.tracks[i].events, c.tracks[i]) << "track " << i;
        expectCheckedAgrees(c.file);
    }
}

TEST(MidiFileRead, RefusesMalformedFilesAndStaysCleared) {
    struct Case {
        const char *name;
        Bytes file;
        int code;
    } cases[] = {
        {"empty file", {}, errRead},
        {"13 header bytes", Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 0, 0}, errRead},
        {"not MThd", cat({smftest::chunk("MThD", {0, 0, 0, 0, 0, 96})}), errHeader},
        {"header length 8", cat({smftest::chunk("MThd", {0, 0, 0, 0, 0, 96, 0, 0}), track({})}),
         errHeader},
        {"format 3", header(3, 0, 96), errHeader},
        {"format 256", header(256, 0, 96), errHeader},
        {"two tracks declared, one present", cat({header(1, 2, 96), track({})}), errRead},
        {"chunk header cut short", cat({header(0, 1, 96), Bytes{'M', 'T', 'r', 'k', 0, 0}}),
         errRead},
        {"other chunk where a track is due",
         cat({header(1, 2, 96), track({}), smftest::chunk("XFIH", {})}), errTrackChunk},
        {"track begins with a data byte", singleTrackFile({0x00, 0x3C, 0x40}), errRunningStatus},
        {"data byte after a meta event",
         singleTrackFile({0x00, 0x90, 60, 1, 0x00, 0xFF, 0x01, 0x00, 0x00, 60, 0}),
         errRunningStatus},
        {"data byte after a sysex",
         singleTrackFile({0x00, 0x90, 60, 1, 0x00, 0xF0, 0x01, 0xF7, 0x00, 60, 0}),
         errRunningStatus},
        {"data byte after a system status", singleTrackFile({0x00, 0xF2, 1, 2, 0x00, 60, 0}),
         errRunningStatus},
        {"data byte after a dropped end of track",
         singleTrackFile({0x00, 0xFF, 0x2F, 0x00, 0x00, 60, 0}), errRunningStatus},
        {"running status not carried into the next track",
         cat({header(1, 2, 96), track({0x00, 0x90, 60, 1}), track({0x00, 61, 1})}),
         errRunningStatus},
        {"note number 0xC0", singleTrackFile({0x00, 0x90, 0xC0, 64}), errDataByte},
        {"velocity 0x80", singleTrackFile({0x00, 0x90, 60, 0x80}), errDataByte},
        {"program 0xFF", singleTrackFile({0x00, 0xC0, 0xFF}), errDataByte},
        {"status byte in running status data", singleTrackFile({0x00, 0x90, 60, 1, 0x00, 61, 0x91}),
         errDataByte},
        {"sysex continuation", singleTrackFile({0x00, 0xF7, 0x01, 0x00}), errSysexContinuation},
        {"sysex end not 0xF7",
         singleTrackFile({0x00, 0xF0, 0x06, 0x7E, 0x7F, 0x09, 0x01, 0xF7, 0x00}), errSysexEnd},
        {"sysex full length without 0xF7", singleTrackFile({0x00, 0xF0, 0x02, 0x01, 0x02}),
         errSysexEnd},
        {"sysex data byte 0x80", singleTrackFile({0x00, 0xF0, 0x03, 0x01, 0x80, 0xF7}),
         errSysexData},
        {"sysex runs past the end", singleTrackFile({0x00, 0xF0, 0x05, 0x01}), errRead},
        {"sysex length missing", singleTrackFile({0x00, 0xF0}), errRead},
        {"meta length beyond the file",
         singleTrackFile({0x00, 0xFF, 0x01, 0x8F, 0xFF, 0xFF, 0xFF, 0x7F}), errRead},
        {"meta length one byte short", singleTrackFile({0x00, 0xFF, 0x01, 0x03, 'a', 'b'}),
         errRead},
        {"meta type missing", singleTrackFile({0x00, 0xFF}), errRead},
        {"delta time cut off", singleTrackFile({0x81}), errRead},
        {"status without data", singleTrackFile({0x00, 0x90, 60}), errRead},
        {"program change without data", singleTrackFile({0x00, 0xC0}), errRead},
        {"running status without second data byte", singleTrackFile({0x00, 0x90, 60, 1, 0x00, 61}),
         errRead},
        {"chunk longer than the file",
         cat({header(0, 1, 96), Bytes{'M', 'T', 'r', 'k', 0, 0, 0, 0x10, 0x00, 0xC0, 1}}), errRead},
    };

    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        MidiFile f;
        f.format = 1;
        f.timeUnit = 7;
        f.tracks.resize(2);
        EXPECT_EQ(smftest::readFromBytes(f, c.file), c.code);
        expectCleared(f);
        expectCheckedAgrees(c.file);
    }
}

TEST(MidiFileRead, RefusesWhatCannotBeOpened) {
    smftest::TempDir dir;
    for (std::string path : {dir.file("missing.mid"), dir.path(), std::string()}) {
        SCOPED_TRACE(path);
        MidiFile f;
        f.tracks.resize(1);
        EXPECT_EQ(f.read(path.c_str()), errCannotOpen);
        expectCleared(f);
    }
    MidiFile f;
    EXPECT_EQ(f.read(nullptr), errCannotOpen);
}

// A file of the given size whose first bytes are given; the rest is a hole that reads as zeros.
std::string sparseFile(const smftest::TempDir &dir, const Bytes &start, uint64_t size) {
    std::string path = dir.file("sparse.mid");
    smftest::writeBytes(path, start);
    return ::truncate(path.c_str(), off_t(size)) == 0 ? path : std::string();
}

// The reader's result in a child process whose address space may grow by `room` bytes only.
int readWithLittleMemory(const std::string &path, uint64_t room) {
    return smftest::resultInChild([&] {
        std::ifstream status("/proc/self/status");
        std::string line;
        uint64_t used = 0;
        while (std::getline(status, line))
            if (line.rfind("VmSize:", 0) == 0)
                used = std::stoull(line.substr(7)) * 1024;
        struct rlimit limit {
            used + room, used + room
        };
        if (used == 0 || ::setrlimit(RLIMIT_AS, &limit) != 0)
            return 2;
        MidiFile f;
        return f.read(path.c_str());
    });
}

// A sanitizer's shadow memory does not run under an address space limit.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool sanitized = true;
#elif defined(__has_feature)
constexpr bool sanitized = __has_feature(address_sanitizer) || __has_feature(thread_sanitizer);
#else
constexpr bool sanitized = false;
#endif

// What is not a MIDI file is refused at once, and what does not fit into memory is an error,
// not an abort. Cases with a memory limit run in a child process with 32 MB of room.
TEST(MidiFileRead, RefusesEarlyAndNeverAborts) {
    const uint64_t gib = uint64_t(1) << 30;
    const Bytes trackOfZeros =
        cat({header(0, 1, 96), Bytes{'M', 'T', 'r', 'k', 0x3F, 0xFF, 0xFF, 0xF0}});
    struct Case {
        const char *name;
        std::function<std::string(const smftest::TempDir &)> make;
        int code;
        bool littleMemory;
    } cases[] = {
        {"folder", [](const smftest::TempDir &d) { return d.path(); }, errCannotOpen, false},
        {"FIFO without a writer",
         [](const smftest::TempDir &d) {
             std::string path = d.file("fifo.mid");
             return ::mkfifo(path.c_str(), 0600) == 0 ? path : std::string();
         },
         errCannotOpen, false},
        {"endless device", [](const smftest::TempDir &) { return std::string("/dev/zero"); },
         errCannotOpen, false},
        {"valid header, one byte above 1 GiB",
         [](const smftest::TempDir &d) { return sparseFile(d, header(0, 0, 96), gib + 1); },
         errFileTooLarge, true},
        {"1 GiB of zeros: the header is checked first",
         [](const smftest::TempDir &d) { return sparseFile(d, {}, gib); }, errHeader, true},
        {"1 GiB track of zeros: refused at its first event",
         [&](const smftest::TempDir &d) { return sparseFile(d, trackOfZeros, gib); },
         errRunningStatus, true},
        {"more events than memory",
         [](const smftest::TempDir &d) {
             // 6 million running-status program changes: 12 MB of file, 96 MB of events.
             Bytes events{0x00, 0xC0, 1};
             events.reserve(12u << 20);
             for (int i = 0; i < 6000000; ++i)
                 events.insert(events.end(), {0x00, 1});
             std::string path = d.file("many.mid");
             smftest::writeBytes(path, smftest::singleTrackFile(events));
             return path;
         },
         errOutOfMemory, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.littleMemory && sanitized)
            continue;
        smftest::TempDir dir;
        std::string path = c.make(dir);
        ASSERT_FALSE(path.empty());
        auto start = std::chrono::steady_clock::now();
        if (c.littleMemory) {
            EXPECT_EQ(readWithLittleMemory(path, uint64_t(32) << 20), c.code);
        } else {
            MidiFile f;
            f.tracks.resize(1);
            EXPECT_EQ(f.read(path.c_str()), c.code);
            expectCleared(f);
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    }
}

TEST(MidiFileRead, ReadsStatisticsOfEachTrack) {
    MidiFile f;
    ASSERT_EQ(smftest::readFromBytes(
                  f, cat({header(1, 2, 96), track({0x00, 0xC0, 1}),
                          track({0x00, 0x90, 64,   9,    0x10, 0x90, 50,   1,    0x20, 0x80,
                                 64,   0,    0x30, 0x90, 50,   0,    0x05, 0xFF, 0x2F, 0x00})})),
              0);
    ASSERT_EQ(f.tracks.size(), 2u);
    EXPECT_EQ(f.tracks[0].toneCount, 0);
    EXPECT_EQ(f.tracks[0].lowNote, 0);
    EXPECT_EQ(f.tracks[1].toneCount, 2);
    EXPECT_EQ(f.tracks[1].lowNote, 50);
    EXPECT_EQ(f.tracks[1].highNote, 64);
    EXPECT_EQ(f.tracks[1].totalTicks, 0x60u); // the End of Track delta is not counted
}

// A checked file's track is visited a batch of events at a time: running status and long
// events carry over the batches' edges.
TEST(MidiFileRead, CheckedFileAgreesOverLongTracks) {
    Bytes runs{0x00, 0x90, 60, 1}, mixed;
    for (unsigned i = 0; i < 1000; ++i)
        runs.insert(runs.end(), {uint8_t(i % 3), uint8_t(20 + i % 80), uint8_t(i % 2 ? 0 : 64)});
    for (unsigned i = 0; i < 700; ++i) {
        if (i % 5 == 0)
            mixed.insert(mixed.end(), {0x00, 0xFF, 0x01, 20});
        if (i % 5 == 0)
            mixed.insert(mixed.end(), 20, uint8_t('a' + i % 26));
        mixed.insert(mixed.end(), {0x01, uint8_t(0x90 | i % 16), uint8_t(i % 128), 1});
    }
    expectCheckedAgrees(cat({header(1, 3, 96), track(runs), track(mixed), track(runs)}));

    // Taken up track by track from a file large enough to be mapped: the bytes given back
    // behind each event never include one still to come.
    Bytes big{0x00, 0x90, 60, 1};
    for (unsigned i = 0; i < 800000; ++i)
        big.insert(big.end(), {uint8_t(i % 5), uint8_t(20 + i % 80), uint8_t(i % 2 ? 0 : 64)});
    smftest::TempDir dir;
    const std::string path = dir.file("big.mid");
    smftest::writeBytes(path, cat({header(1, 3, 96), track(big), track(mixed), track(big)}));
    MidiFile parsed;
    CheckedMidiFile taken;
    ASSERT_EQ(parsed.read(path.c_str()), 0);
    ASSERT_EQ(taken.read(path.c_str()), 0);
    for (std::size_t t = 0; t < 3; ++t) {
        std::size_t i = 0, wrong = 0;
        taken.takeEvents(t, [&](const MidiEvent &e) {
            wrong += i < parsed.tracks[t].events.size() && e == parsed.tracks[t].events[i] ? 0 : 1;
            ++i;
        });
        EXPECT_EQ(i, parsed.tracks[t].events.size()) << "track " << t;
        EXPECT_EQ(wrong, 0u) << "track " << t;
    }
    expectCheckedAgrees(cat({header(1, 2, 96), track({0x00, 0xC0, 1}),
                             track({0x00, 0x90, 64,   9,    0x10, 0x90, 50,   1,    0x20, 0x80,
                                    64,   0,    0x30, 0x90, 50,   0,    0x05, 0xFF, 0x2F, 0x00})}));
}

} // namespace
