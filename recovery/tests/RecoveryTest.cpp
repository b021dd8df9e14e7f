// The recovery files without a display: where they live, what they keep, and which of them an
// editor may take over. Other editors are real processes (fork) holding or leaving their locks.
#include "recovery/Recovery.h"
#include "testsupport/NoteMakers.h"
#include "testsupport/TempFiles.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tw;
namespace fs = std::filesystem;

namespace {

RecoveryData sample(int64_t changedAt = 1700000000) {
    RecoveryData d;
    d.fileName = "/music/song.mid";
    d.changedAt = changedAt;
    for (unsigned c = 0; c < 16; ++c)
        d.programs[c] = uint8_t(127 - c);
    d.notes = {tn(60, 0, 4, 0, 100, false), tn(64, 2, 4, 1, 90, false)};
    return d;
}

void expectSame(const RecoveryData &got, const RecoveryData &want) {
    EXPECT_EQ(got.fileName, want.fileName);
    EXPECT_EQ(got.changedAt, want.changedAt);
    EXPECT_EQ(got.programs, want.programs);
    ASSERT_EQ(got.notes.size(), want.notes.size());
    for (std::size_t i = 0; i < got.notes.size(); ++i) {
        EXPECT_EQ(got.notes[i], want.notes[i]) << "note " << i;
        EXPECT_FALSE(got.notes[i].selected);
    }
}

// Another editor as a process of its own: it opens a slot in folder, writes data when given,
// and then either ends at once without tidying up (as a killed editor does) or keeps running
// until stop().
class OtherEditor {
public:
    OtherEditor(const std::string &folder, const RecoveryData *data, bool keepRunning) {
        int toParent[2], toChild[2];
        if (::pipe(toParent) != 0 || ::pipe(toChild) != 0)
            return;
        pid = ::fork();
        if (pid == 0) {
            ::close(toParent[0]);
            ::close(toChild[1]);
            RecoverySlot slot;
            const bool ok =
                slot.open(folder, long(::getpid())) && (!data || slot.write(*data) == recoveryOk);
            const std::string id = ok ? slot.id() : "";
            (void)!::write(toParent[1], id.c_str(), id.size() + 1);
            char c;
            if (keepRunning)
                (void)!::read(toChild[0], &c, 1);
            ::_exit(0); // the slot stays as it is
        }
        ::close(toParent[1]);
        ::close(toChild[0]);
        stopFd = toChild[1];
        char c;
        while (::read(toParent[0], &c, 1) == 1 && c != '\0')
            id += c;
        ::close(toParent[0]);
        if (!keepRunning)
            stop();
    }
    ~OtherEditor() { stop(); }
    void stop() {
        if (stopFd >= 0)
            ::close(stopFd);
        stopFd = -1;
        if (pid > 0)
            ::waitpid(pid, nullptr, 0);
        pid = -1;
    }
    std::string id;

private:
    pid_t pid = -1;
    int stopFd = -1;
};

} // namespace

TEST(RecoveryFolder, FollowsXdgStateHomeThenHome) {
    struct Case {
        const char *what, *state, *home, *expected;
    };
    const Case cases[] = {
        {"XDG_STATE_HOME", "/x/state", "/h", "/x/state/tapeworks2"},
        {"unset", nullptr, "/h", "/h/.local/state/tapeworks2"},
        {"empty", "", "/h", "/h/.local/state/tapeworks2"},
        {"relative paths are ignored", "state", "/h", "/h/.local/state/tapeworks2"},
        {"no HOME either", nullptr, nullptr, ""},
    };
    const std::string oldState = std::getenv("XDG_STATE_HOME") ? std::getenv("XDG_STATE_HOME") : "";
    const bool hadState = std::getenv("XDG_STATE_HOME") != nullptr;
    const std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    for (const Case &c : cases) {
        c.state ? ::setenv("XDG_STATE_HOME", c.state, 1) : ::unsetenv("XDG_STATE_HOME");
        c.home ? ::setenv("HOME", c.home, 1) : ::unsetenv("HOME");
        EXPECT_EQ(recoveryFolder(), c.expected) << c.what;
    }
    hadState ? ::setenv("XDG_STATE_HOME", oldState.c_str(), 1) : ::unsetenv("XDG_STATE_HOME");
    ::setenv("HOME", oldHome.c_str(), 1);
}

TEST(RecoveryFile, KeepsEveryNoteProgramAndName) {
    RecoveryData empty;
    RecoveryData limits = sample(-5);
    limits.notes = {tn(0, 0, lastTick, 0, 0, true), tn(127, lastTick - 1, 1, 15, 127, false),
                    tn(127, lastTick - 1, 1, 15, 127, false)};
    // What a MIDI file could not keep: one key sounding twice at once, and equal notes.
    RecoveryData overlapping = sample();
    overlapping.notes = {tn(60, 0, 10, 3, 1, false), tn(60, 5, 2, 3, 2, false),
                         tn(60, 5, 2, 3, 2, false)};
    RecoveryData oddName = sample();
    oddName.fileName = "/tmp/a name\nwith a line break, \xc3\xbc and end\n";
    RecoveryData many = sample();
    for (unsigned i = 0; i < 20000; ++i)
        many.notes.push_back(tn(i % 128, i * 3, 1 + i % 50, i % 16, i % 128, i % 2 == 0));
    const std::pair<const char *, RecoveryData> cases[] = {
        {"empty untitled melody", empty}, {"limits", limits},   {"overlapping", overlapping},
        {"odd file name", oddName},       {"many notes", many},
    };
    TempDir folder("tw-recovery");
    for (const auto &[what, data] : cases) {
        SCOPED_TRACE(what);
        const std::string path = folder.path("r.recovery");
        ASSERT_EQ(writeRecoveryFile(path, data), recoveryOk);
        RecoveryData back;
        ASSERT_EQ(readRecoveryFile(path, back), recoveryOk);
        expectSame(back, data);
        EXPECT_FALSE(fs::exists(path + ".tmp"));
    }
}

TEST(RecoveryFile, RefusesAnythingButACompleteFile) {
    TempDir folder("tw-recovery");
    const std::string path = folder.path("r.recovery");
    ASSERT_EQ(writeRecoveryFile(path, sample()), recoveryOk);
    const std::string good = readFile(path);
    RecoveryData untouched = sample(42);
    // Every cut short file (a write that did not finish) is refused.
    for (std::size_t size = 0; size < good.size(); ++size) {
        writeFile(path, good.substr(0, size));
        ASSERT_EQ(readRecoveryFile(path, untouched), errRecoveryFormat) << "cut at " << size;
    }
    const std::pair<std::string, std::string> damages[] = {
        {"0 4 60 0 100", "0 4 128 0 100"},         // note
        {"0 4 60 0 100", "0 4 60 16 100"},         // channel
        {"0 4 60 0 100", "0 4 60 0 128"},          // velocity
        {"0 4 60 0 100", "0 0 60 0 100"},          // length
        {"0 4 60 0 100", "4294967295 1 60 0 100"}, // beyond the last tick
        {"0 4 60 0 100", "-1 4 60 0 100"},
        {"programs 127", "programs 128"},
        {"notes 2", "notes 3"},
        {"notes 2", "notes 1"},
        {"file 15", "file 99"},
        {"end\n", "end\nmore"},
        {"Tapeworks2 recovery 1", "Tapeworks2 recovery 2"},
    };
    for (const auto &[from, to] : damages) {
        std::string text = good;
        const std::size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        writeFile(path, text.replace(at, from.size(), to));
        EXPECT_EQ(readRecoveryFile(path, untouched), errRecoveryFormat) << to;
    }
    expectSame(untouched, sample(42));
    EXPECT_EQ(readRecoveryFile(folder.path("missing"), untouched), errRecoveryOpen);
}

TEST(RecoveryFile, AFailedWriteLeavesTheFileBefore) {
    TempDir folder("tw-recovery");
    const std::string path = folder.path("r.recovery");
    ASSERT_EQ(writeRecoveryFile(path, sample(1)), recoveryOk);
    // A file size limit makes the write fail part way, as a full disk would.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit limit { 64, 64 };
        std::string reason;
        ::_exit(::setrlimit(RLIMIT_FSIZE, &limit) == 0 &&
                        writeRecoveryFile(path, sample(2), &reason) == errRecoveryWrite &&
                        reason.find("larger than the largest file") != std::string::npos
                    ? 0
                    : 1);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    RecoveryData back;
    ASSERT_EQ(readRecoveryFile(path, back), recoveryOk);
    EXPECT_EQ(back.changedAt, 1);
    EXPECT_EQ(writeRecoveryFile(folder.path("no/folder/r.recovery"), sample()), errRecoveryOpen);
}

TEST(RecoverySlot, IsNamedAfterThePidAndLockedForItsLife) {
    TempDir folder("tw-recovery");
    const std::string dir = folder.path("state/tapeworks2"); // made on open
    RecoverySlot a, b;
    ASSERT_TRUE(a.open(dir, 4242));
    ASSERT_TRUE(b.open(dir, 4242));
    EXPECT_NE(a.id(), b.id());
    EXPECT_EQ(a.id().rfind("editor-4242-", 0), 0u) << a.id();
    EXPECT_EQ(a.lockPath(), dir + "/" + a.id() + ".lock");
    EXPECT_EQ(a.dataPath(), dir + "/" + a.id() + ".recovery");
    EXPECT_EQ(fs::status(dir).permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_TRUE(recoveryLockHeld(a.lockPath()));
    EXPECT_FALSE(a.hasData());

    ASSERT_EQ(a.write(sample()), recoveryOk);
    EXPECT_TRUE(a.hasData());
    // Neither itself nor another editor takes over a held slot.
    EXPECT_TRUE(claimRecoveryOrphans(dir, a.id()).empty());
    EXPECT_TRUE(claimRecoveryOrphans(dir, b.id()).empty());

    const std::string aLock = a.lockPath(), bLock = b.lockPath(), aData = a.dataPath();
    a.close(true); // ends with unsaved work: the files stay, the lock goes
    EXPECT_TRUE(fs::exists(aData));
    EXPECT_TRUE(fs::exists(aLock));
    EXPECT_FALSE(recoveryLockHeld(aLock));
    ASSERT_EQ(b.write(sample()), recoveryOk);
    b.close(false); // ends with nothing unsaved: nothing stays
    EXPECT_FALSE(fs::exists(bLock));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
    EXPECT_EQ(a.write(sample()), errRecoveryNoSlot);
}

TEST(RecoveryOrphans, OnlyWorkOfEditorsThatNoLongerRun) {
    struct Case {
        const char *what;
        bool running, withData, damaged, lockFileLost;
        bool offered, lockStays, dataStays;
    };
    const Case cases[] = {
        {"a running editor's work", true, true, false, false, false, true, true},
        {"a running editor without work", true, false, false, false, false, true, false},
        {"an ended editor's work", false, true, false, false, true, true, true},
        {"an ended editor without work", false, false, false, false, false, false, false},
        {"damaged work", false, true, true, false, false, true, true},
        {"work without its lock file", false, true, false, true, true, true, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TempDir folder("tw-recovery");
        const RecoveryData data = sample();
        OtherEditor other(folder.path(), c.withData ? &data : nullptr, c.running);
        ASSERT_FALSE(other.id.empty());
        const std::string lock = folder.path(other.id + ".lock");
        const std::string file = folder.path(other.id + ".recovery");
        if (c.damaged)
            writeFile(file, "Tapeworks2 recovery 1\nchanged");
        if (c.lockFileLost)
            fs::remove(lock);
        writeFile(file + ".tmp", "a write cut short"); // only an ended editor's goes with it
        std::vector<RecoveryOrphan> orphans = claimRecoveryOrphans(folder.path(), "");
        ASSERT_EQ(orphans.size(), c.offered ? 1u : 0u);
        if (c.offered) {
            EXPECT_EQ(orphans[0].dataPath, file);
            expectSame(orphans[0].data, data);
            EXPECT_TRUE(recoveryLockHeld(lock)); // by us, while we decide
        }
        EXPECT_EQ(fs::exists(lock), c.lockStays);
        EXPECT_EQ(fs::exists(file), c.dataStays);
        EXPECT_EQ(fs::exists(file + ".tmp"), c.running || c.withData);
    }
}

TEST(RecoveryOrphans, AClaimedOrphanIsHeldUntilDecided) {
    TempDir folder("tw-recovery");
    const RecoveryData older = sample(100), newer = sample(200);
    OtherEditor first(folder.path(), &older, false);
    OtherEditor second(folder.path(), &newer, false);

    std::vector<RecoveryOrphan> mine = claimRecoveryOrphans(folder.path(), "");
    ASSERT_EQ(mine.size(), 2u);
    EXPECT_EQ(mine[0].data.changedAt, 200); // newest first
    EXPECT_EQ(mine[1].data.changedAt, 100);
    // Another editor starting now is offered nothing: both are being decided on.
    EXPECT_TRUE(claimRecoveryOrphans(folder.path(), "").empty());

    mine[0].keep();
    mine[1].discard();
    EXPECT_TRUE(fs::exists(folder.path(second.id + ".recovery")));
    EXPECT_FALSE(fs::exists(folder.path(first.id + ".recovery")));
    EXPECT_FALSE(fs::exists(folder.path(first.id + ".lock")));
    std::vector<RecoveryOrphan> later = claimRecoveryOrphans(folder.path(), "");
    ASSERT_EQ(later.size(), 1u);
    EXPECT_EQ(later[0].data.changedAt, 200);
}
