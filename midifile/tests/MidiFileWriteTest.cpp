// The writer: exact bytes, and saves that fail without touching the previous file.
#include "SmfTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tw;

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
         fileWith(0, 96, {{{127, {0xC0, 1}}, {8192, {0xC0, 1}}, {0x0FFFFFFF, {0xC0, 1}}}}),
         cat({header(0, 1, 96),
              track(cat({{0x7F, 0xC0, 1, 0xC0, 0x00, 0xC0, 1, 0xFF, 0xFF, 0xFF, 0x7F, 0xC0, 1},
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

TEST(MidiFileWrite, FolderTargetIsCannotOpen) {
    smftest::TempDir dir;
    std::filesystem::create_directory(std::filesystem::path(dir.path()) / "taken");
    std::filesystem::create_directory(std::filesystem::path(dir.path()) / "taken" / "inner");
    EXPECT_EQ(bigFile().write(dir.file("taken").c_str()), errCannotOpen);
    EXPECT_TRUE(
        std::filesystem::is_directory(std::filesystem::path(dir.path()) / "taken" / "inner"));
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

ino_t inodeOf(const std::string &path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// Whether a program runs as another user here: setpriv is there and we are root.
bool canSwitchUser() {
    return ::geteuid() == 0 && ::access("/usr/bin/setpriv", X_OK) == 0;
}

// The result of copying `in` to `out` with smfinfo run as user nobody: 0 or the error code.
// nobody's state folder (for the copy an in-place write keeps) is a fresh one it may write.
int copyAsNobody(const std::string &in, const std::string &out) {
    smftest::TempDir state;
    ::chmod(state.path().c_str(), 0777);
    std::string command = "XDG_STATE_HOME='" + state.path() +
                          "' setpriv --reuid=nobody --regid=nogroup --clear-groups '" +
                          (smftest::binDir() / "smfinfo").string() + "' --copy '" + in + "' '" +
                          out + "'";
    FILE *pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return 1;
    char line[64] = {};
    int rc = 0;
    if (std::fgets(line, sizeof(line), pipe) && std::sscanf(line, "error=%d", &rc) != 1)
        rc = 1;
    int status = ::pclose(pipe);
    return rc != 0 ? rc : WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}

// Where and how a save lands: symbolic and hard links, other owners, folders that may not be
// written, targets that are no files, and data that does not fit the format or the disk.
TEST(MidiFileWrite, SavesConservativelyWhereverTheTargetIs) {
    using Dir = smftest::TempDir;
    tw::TempHome home; // in-place writes keep the old content in its state folder
    const MidiFile song = fileWith(0, 96, {{{0, {0xC0, 5}}}});
    const Bytes songBytes = cat({header(0, 1, 96), track(cat({{0, 0xC0, 5}, endOfTrack}))});
    const Bytes old{1, 2, 3};
    enum class Saver { Direct, Nobody, SmallFileLimit };
    struct Case {
        const char *name;
        // Prepares the folder and gives the path saved to.
        std::function<std::string(const Dir &)> prepare;
        MidiFile file;
        Saver saver;
        int code;
        // Checks the folder afterwards; the inode of the saved path before the save is given.
        std::function<void(const Dir &, ino_t)> check;
    } cases[] = {
        {"dangling symbolic link: written through",
         [](const Dir &d) {
             std::filesystem::create_directory(std::filesystem::path(d.path()) / "sub");
             ::symlink("sub/real.mid", d.file("link.mid").c_str());
             return d.file("link.mid");
         },
         song, Saver::Direct, 0,
         [&](const Dir &d, ino_t) {
             std::error_code ec;
             EXPECT_EQ(
                 std::filesystem::read_symlink(std::filesystem::path(d.path()) / "link.mid", ec),
                 "sub/real.mid");
             EXPECT_EQ(smftest::readBytes(d.file("sub/real.mid")), songBytes);
         }},
        {"loop of symbolic links",
         [](const Dir &d) {
             ::symlink("b.mid", d.file("a.mid").c_str());
             ::symlink("a.mid", d.file("b.mid").c_str());
             return d.file("a.mid");
         },
         song, Saver::Direct, errCannotOpen,
         [](const Dir &d, ino_t) { EXPECT_EQ(strayFiles(d, "").size(), 2u); }},
        {"hard link: both names see the new content",
         [&](const Dir &d) {
             smftest::writeBytes(d.file("a.mid"), old);
             ::link(d.file("a.mid").c_str(), d.file("b.mid").c_str());
             return d.file("a.mid");
         },
         song, Saver::Direct, 0,
         [&](const Dir &d, ino_t inode) {
             EXPECT_EQ(inodeOf(d.file("a.mid")), inode);
             EXPECT_EQ(inodeOf(d.file("b.mid")), inode);
             EXPECT_EQ(smftest::readBytes(d.file("b.mid")), songBytes);
         }},
        {"file of another user keeps its owner",
         [&](const Dir &d) {
             smftest::writeBytes(d.file("theirs.mid"), old);
             (void)::chown(d.file("theirs.mid").c_str(), 65534, 65534);
             return d.file("theirs.mid");
         },
         song, Saver::Direct, 0,
         [&](const Dir &d, ino_t inode) {
             struct stat st {};
             ASSERT_EQ(::stat(d.file("theirs.mid").c_str(), &st), 0);
             EXPECT_EQ(st.st_ino, inode);
             EXPECT_EQ(st.st_uid, ::geteuid() == 0 ? 65534u : ::geteuid());
             EXPECT_EQ(smftest::readBytes(d.file("theirs.mid")), songBytes);
         }},
        {"writable file in a folder that is not: written in place",
         [&](const Dir &d) {
             // The folder stays root's (0755); the unprivileged saver owns only the file.
             ::chmod(d.path().c_str(), 0755);
             smftest::writeBytes(d.file("in.mid"), songBytes);
             smftest::writeBytes(d.file("out.mid"), old);
             (void)::chown(d.file("out.mid").c_str(), 65534, 65534);
             return d.file("out.mid");
         },
         song, Saver::Nobody, 0,
         [&](const Dir &d, ino_t inode) {
             EXPECT_EQ(inodeOf(d.file("out.mid")), inode);
             EXPECT_EQ(smftest::readBytes(d.file("out.mid")), songBytes);
             EXPECT_EQ(strayFiles(d, "out.mid"), std::vector<std::string>{"in.mid"});
         }},
        {"hard-linked file too large for the file size limit: left alone",
         [&](const Dir &d) {
             smftest::writeBytes(d.file("a.mid"), old);
             ::link(d.file("a.mid").c_str(), d.file("b.mid").c_str());
             return d.file("a.mid");
         },
         bigFile(), Saver::SmallFileLimit, errWrite,
         [&](const Dir &d, ino_t) { EXPECT_EQ(smftest::readBytes(d.file("b.mid")), old); }},
        {"FIFO is not replaced",
         [](const Dir &d) {
             ::mkfifo(d.file("fifo.mid").c_str(), 0600);
             return d.file("fifo.mid");
         },
         song, Saver::Direct, errCannotOpen,
         [](const Dir &d, ino_t) {
             EXPECT_EQ(std::filesystem::status(std::filesystem::path(d.path()) / "fifo.mid").type(),
                       std::filesystem::file_type::fifo);
             EXPECT_TRUE(strayFiles(d, "fifo.mid").empty());
         }},
        {"delta time of 2^28 ticks",
         [&](const Dir &d) {
             smftest::writeBytes(d.file("song.mid"), old);
             return d.file("song.mid");
         },
         fileWith(0, 96, {{{1, {0xC0, 1}}, {0x10000000, {0xC0, 2}}}}), Saver::Direct, errWrite,
         [&](const Dir &d, ino_t) {
             EXPECT_EQ(smftest::readBytes(d.file("song.mid")), old);
             EXPECT_TRUE(strayFiles(d, "song.mid").empty());
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.saver == Saver::Nobody && !canSwitchUser()) {
            std::printf("skipped \"%s\": needs root and setpriv\n", c.name);
            continue;
        }
        Dir dir;
        std::string path = c.prepare(dir);
        ino_t inode = inodeOf(path);
        int rc = 1;
        switch (c.saver) {
        case Saver::Direct:
            rc = c.file.write(path.c_str());
            break;
        case Saver::Nobody:
            rc = copyAsNobody(dir.file("in.mid"), path);
            break;
        case Saver::SmallFileLimit:
            rc = smftest::resultInChild([&] {
                std::signal(SIGXFSZ, SIG_IGN);
                struct rlimit limit {
                    16384, 16384
                };
                return ::setrlimit(RLIMIT_FSIZE, &limit) == 0 ? c.file.write(path.c_str()) : 2;
            });
            break;
        }
        EXPECT_EQ(rc, c.code);
        c.check(dir, inode);
    }
}

// A save killed midway leaves the old file as it was and no temporary file.
TEST(MidiFileWrite, KilledSaveLeavesNothingBehind) {
    smftest::TempDir dir;
    std::string path = dir.file("song.mid");
    const Bytes old{1, 2, 3};
    smftest::writeBytes(path, old);
    MidiFile big; // 64 MB in a few long meta events
    Bytes text(8u << 20, 'x');
    Bytes meta = cat({{0xFF, 0x01}, text});
    big.tracks.emplace_back();
    for (int i = 0; i < 8; ++i)
        big.tracks[0].events.push_back({0, EventBytes(meta.data(), meta.size())});

    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        ::_exit(big.write(path.c_str()) == 0 ? 0 : 1);
    // The child is killed as soon as it holds a file in the folder open: its temporary file.
    std::string fdFolder = "/proc/" + std::to_string(child) + "/fd";
    std::string inFolder = dir.path() + "/";
    bool killed = false;
    int status = 0;
    while (!killed && ::waitpid(child, &status, WNOHANG) == 0) {
        std::error_code ec;
        for (const auto &fd : std::filesystem::directory_iterator(fdFolder, ec)) {
            std::string to = std::filesystem::read_symlink(fd.path(), ec).string();
            if (!ec && to.rfind(inFolder, 0) == 0) {
                ::kill(child, SIGKILL);
                killed = true;
                break;
            }
        }
    }
    if (killed) {
        ASSERT_EQ(::waitpid(child, &status, 0), child);
    }
    ASSERT_TRUE(WIFSIGNALED(status)) << "the save ended before it was seen: " << status;
    EXPECT_EQ(smftest::readBytes(path), old);
    EXPECT_TRUE(strayFiles(dir, "song.mid").empty())
        << testing::PrintToString(strayFiles(dir, "song.mid"));
}

// Named temporary files of killed saves are removed by the next save of their target; those
// of saves still under way and of other targets are not.
TEST(MidiFileWrite, NextSaveRemovesStaleTemporaries) {
    smftest::TempDir dir;
    pid_t gone = ::fork();
    ASSERT_GE(gone, 0);
    if (gone == 0)
        ::_exit(0);
    ASSERT_EQ(::waitpid(gone, nullptr, 0), gone);
    std::string self = std::to_string(::getpid());
    auto temporary = [&](const std::string &name) {
        smftest::writeBytes(dir.file(name), {1});
        return dir.file(name);
    };
    temporary(".song.mid.tmp" + std::to_string(gone) + "-0");
    temporary(".song.mid.tmp" + self + "-12");
    std::vector<std::string> kept = {
        ".song.mid.tmp1-0",                             // its process still runs
        ".other.mid.tmp" + std::to_string(gone) + "-0", // another target
        ".song.mid.tmp" + self + "-13",                 // a save of this process under way
        "song.mid",
    };
    for (std::size_t i = 0; i < 3; ++i)
        temporary(kept[i]);
    int busy = ::open(dir.file(kept[2]).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(busy, LOCK_EX), 0);

    ASSERT_EQ(MidiFile().write(dir.file("song.mid").c_str()), 0);
    ::close(busy);
    std::vector<std::string> left = strayFiles(dir, "");
    std::sort(left.begin(), left.end());
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(left, kept);
}

} // namespace
