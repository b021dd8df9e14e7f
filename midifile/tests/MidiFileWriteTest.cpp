// The writer: exact bytes, and saves that fail without touching the previous file.
#include "SmfTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using smftest::Bytes;
using smftest::cat;
using smftest::header;
using smftest::track;

MidiFile fileWith(uint16_t format, uint16_t timeUnit, std::vector<std::vector<MidiEvent>> tracks) {
    MidiFile f;
    f.format = format;
    f.timeUnit = timeUnit;
    for (auto &events : tracks)
        f.tracks.emplace_back(std::move(events));
    return f;
}

const Bytes endOfTrack{0x00, 0xFF, 0x2F, 0x00};

TEST(MidiFileWrite, WritesExactBytes) {
    struct Case {
        const char *name;
        MidiFile file;
        Bytes bytes;
    } cases[] = {
        {"no tracks", fileWith(0, 240, {}), header(0, 0, 240)},
        {"empty track", fileWith(0, 96, {{}}), cat({header(0, 1, 96), track(endOfTrack)})},
        {"notes without running status",
         fileWith(0, 96, {{{0, {0x90, 0x3C, 0x64}}, {200, {0x80, 0x3C, 0x7F}}}}),
         cat({header(0, 1, 96), track({0x00, 0x90, 0x3C, 0x64, 0x81, 0x48, 0x80, 0x3C, 0x7F, 0x00,
                                       0xFF, 0x2F, 0x00})})},
        {"repeated status written each time",
         fileWith(0, 96, {{{0, {0x90, 60, 1}}, {0, {0x90, 61, 1}}}}),
         cat({header(0, 1, 96), track(cat({{0, 0x90, 60, 1, 0, 0x90, 61, 1}, endOfTrack}))})},
        {"meta events get their length",
         fileWith(1, 96, {{{0, {0xFF, 0x51, 0x07, 0xA1, 0x20}}, {0, {0xFF, 0x01}}}}),
         cat({header(1, 1, 96),
              track(cat(
                  {{0, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0, 0xFF, 0x01, 0x00}, endOfTrack}))})},
        {"sysex gets length and closing byte",
         fileWith(0, 96, {{{0, {0xF0, 0x7E, 0x7F, 0x09, 0x01}}}}),
         cat({header(0, 1, 96),
              track(cat({{0, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7}, endOfTrack}))})},
        {"system status written as sysex", fileWith(0, 96, {{{3, {0xF2, 0x10, 0x20}}}}),
         cat({header(0, 1, 96), track(cat({{3, 0xF0, 0x03, 0x10, 0x20, 0xF7}, endOfTrack}))})},
        {"delta times as variable-length numbers",
         fileWith(0, 96,
                  {{{127, {0xC0, 1}},
                    {8192, {0xC0, 1}},
                    {0x0FFFFFFF, {0xC0, 1}},
                    {0x10000001, {0xC0, 1}}}}),
         cat({header(0, 1, 96), track(cat({{0x7F, 0xC0, 1, 0xC0, 0x00, 0xC0, 1, 0xFF, 0xFF, 0xFF,
                                            0x7F, 0xC0, 1, 0x01, 0xC0, 1},
                                           endOfTrack}))})},
        {"SMPTE time unit and format kept", fileWith(2, 0xE728, {{}, {}}),
         cat({header(2, 2, 0xE728), track(endOfTrack), track(endOfTrack)})},
        {"format masked to four bits", fileWith(0x1234, 240, {}), header(4, 0, 240)},
        {"empty event passes its delta on", fileWith(0, 96, {{{5, {}}, {1, {0xC0, 1}}, {7, {}}}}),
         cat({header(0, 1, 96), track({6, 0xC0, 1, 7, 0xFF, 0x2F, 0x00})})},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        int rc = -1;
        Bytes written = smftest::writtenBytes(c.file, &rc);
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(written, c.bytes);
    }
}

TEST(MidiFileWrite, ReadsBackWhatItWrote) {
    MidiFile f =
        fileWith(1, 480,
                 {{{0, {0xFF, 0x03, 'T', 'u', 'n', 'e'}}, {0, {0xF0, 0x7E, 0x7F, 0x09, 0x01}}},
                  {{0, {0xC3, 7}},
                   {10, {0x93, 60, 100}},
                   {300, {0x83, 60, 0}},
                   {0, {0xE3, 0, 64}},
                   {0, {0xFF, 0x2F, 0x00}}},
                  {}});
    f.tracks.emplace_back();
    for (int i = 0; i < 1000; ++i)
        f.tracks.back().appendToneOn(uint32_t(i), unsigned(i % 128), 1 + unsigned(i % 127), 9);
    Bytes text(70000, 'a');
    f.tracks.back().events.push_back(
        {1, EventBytes(cat({{0xFF, 0x05}, text}).data(), text.size() + 2)});
    smftest::TempDir dir;
    std::string path = dir.file("round.mid");
    ASSERT_EQ(f.write(path.c_str()), 0);
    MidiFile back;
    ASSERT_EQ(back.read(path.c_str()), 0);
    EXPECT_EQ(back.format, f.format);
    EXPECT_EQ(back.timeUnit, f.timeUnit);
    ASSERT_EQ(back.tracks.size(), f.tracks.size());
    for (std::size_t i = 0; i < f.tracks.size(); ++i)
        EXPECT_EQ(back.tracks[i].events, f.tracks[i].events) << "track " << i;
}

// Files other than the expected ones in a folder: leftovers of a save.
std::vector<std::string> strayFiles(const smftest::TempDir &dir, const std::string &keep) {
    std::vector<std::string> stray;
    for (const auto &e : std::filesystem::directory_iterator(dir.path()))
        if (e.path().filename() != keep)
            stray.push_back(e.path().filename().string());
    return stray;
}

MidiFile bigFile() {
    MidiFile f;
    f.tracks.emplace_back();
    for (int i = 0; i < 20000; ++i) {
        f.tracks.back().appendToneOn(10, 60, 100, 0);
        f.tracks.back().appendToneOff(10, 60, 0, 0);
    }
    return f;
}

TEST(MidiFileWrite, MissingFolderIsCannotOpen) {
    smftest::TempDir dir;
    std::string path = dir.file("no/such/folder/out.mid");
    EXPECT_EQ(bigFile().write(path.c_str()), errCannotOpen);
    EXPECT_TRUE(strayFiles(dir, "").empty());
    EXPECT_EQ(MidiFile().write(""), errCannotOpen);
    EXPECT_EQ(MidiFile().write(nullptr), errCannotOpen);
}

TEST(MidiFileWrite, FailureMidwayKeepsTheOldFile) {
    smftest::TempDir dir;
    std::string path = dir.file("song.mid");
    const Bytes old = cat({header(0, 1, 96), track({0x00, 0xC0, 5, 0x00, 0xFF, 0x2F, 0x00})});
    smftest::writeBytes(path, old);
    MidiFile f = bigFile(); // about 160 kB, far above the limit below

    // A file size limit makes the writes fail part way, as a full disk would; the child
    // reports the writer's result through its exit status.
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {
            16384, 16384
        };
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            ::_exit(3);
        ::_exit(f.write(path.c_str()) == errWrite ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the write did not return errWrite";
    EXPECT_EQ(smftest::readBytes(path), old);
    EXPECT_TRUE(strayFiles(dir, "song.mid").empty())
        << testing::PrintToString(strayFiles(dir, "song.mid"));

    // Without the limit the same save succeeds.
    ASSERT_EQ(f.write(path.c_str()), 0);
    MidiFile back;
    ASSERT_EQ(back.read(path.c_str()), 0);
    EXPECT_EQ(back.tracks.at(0).events, f.tracks[0].events);
}

TEST(MidiFileWrite, ReadOnlyFileIsCannotOpen) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "permission bits do not stop root";
    smftest::TempDir dir;
    std::string path = dir.file("locked.mid");
    smftest::writeBytes(path, {1, 2, 3});
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    EXPECT_EQ(MidiFile().write(path.c_str()), errCannotOpen);
    EXPECT_EQ(smftest::readBytes(path), (Bytes{1, 2, 3}));
}

TEST(MidiFileWrite, FailedRenameRemovesTheTemporaryFile) {
    smftest::TempDir dir;
    std::filesystem::create_directory(dir.path() / "taken");
    std::filesystem::create_directory(dir.path() / "taken" / "inner");
    EXPECT_EQ(bigFile().write(dir.file("taken").c_str()), errWrite);
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "taken" / "inner"));
    EXPECT_TRUE(strayFiles(dir, "taken").empty());
}

TEST(MidiFileWrite, ReplacedFileKeepsPermissionsAndLinks) {
    smftest::TempDir dir;
    std::string real = dir.file("real.mid");
    std::string link = dir.file("link.mid");
    smftest::writeBytes(real, {1, 2, 3});
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    ASSERT_EQ(::symlink("real.mid", link.c_str()), 0);
    MidiFile f;
    ASSERT_EQ(f.write(link.c_str()), 0);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(smftest::readBytes(real), header(0, 0, 240));
    struct stat st {};
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

} // namespace
