// The safe writer on its own: streaming, in-place writes with their kept copy, a kill in the
// middle of one, and the input registry. Every kind of target through every kind of output is
// tested in app/tests/SafeWriteTest.cpp.
#include "safefile/SafeFile.h"
#include "testsupport/TempFiles.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tw;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> keptCopiesIn(const std::string &folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto &e : fs::directory_iterator(folder, ec))
        if (e.path().extension() == ".kept")
            names.push_back(e.path().filename().string());
    return names;
}

TEST(SafeFile, StreamsAndCommitsOrLeavesTheTargetAlone) {
    TempHome home;
    TempDir dir;
    const std::string target = dir.write("out.txt", "old");
    {
        SafeFile file;
        ASSERT_TRUE(file.open(target));
        EXPECT_TRUE(file.write("new ", 4));
        EXPECT_TRUE(file.write("content", 7));
        // Dropped without a commit: the old content stays and nothing else is left.
    }
    EXPECT_EQ(dir.read("out.txt"), "old");
    SafeFile file;
    ASSERT_TRUE(file.open(target));
    std::string big(300000, 'x'); // beyond the buffer, in pieces of every size
    for (std::size_t at = 0, n = 1; at < big.size(); at += n, n = n * 3 % 70001 + 1)
        ASSERT_TRUE(file.write(big.data() + at, std::min(n, big.size() - at)));
    ASSERT_TRUE(file.commit());
    EXPECT_EQ(dir.read("out.txt"), big);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
    EXPECT_EQ(file.commit().code, safeFileOk); // a second commit changes nothing
    SafeFile unopened;
    EXPECT_EQ(unopened.commit().code, errSafeFileAbandoned);
}

TEST(SafeFile, InPlaceWriteKeepsNoCopyOnceDone) {
    TempHome home;
    TempDir dir;
    const std::string a = dir.write("a.mid", std::string(5000, 'o'));
    ASSERT_EQ(::link(a.c_str(), dir.path("b.mid").c_str()), 0);
    ASSERT_TRUE(writeFileSafely(a, "short", 5));
    EXPECT_EQ(dir.read("b.mid"), "short");
    EXPECT_TRUE(keptCopiesIn(stateFolder()).empty());
}

// Where the target must be written in place and the old content cannot be kept, nothing is
// written.
TEST(SafeFile, InPlaceWriteWithoutAStateFolderIsRefused) {
    TempHome home;
    TempDir dir;
    const std::string a = dir.write("a.mid", "old");
    ASSERT_EQ(::link(a.c_str(), dir.path("b.mid").c_str()), 0);
    fs::create_directories(fs::path(stateFolder()).parent_path());
    { std::ofstream(stateFolder()) << "a file where the folder belongs"; }
    const SafeFileStatus s = writeFileSafely(a, "new", 3);
    EXPECT_EQ(s.code, errSafeFileCannotKeep);
    EXPECT_NE(s.message.find("must be written in place"), std::string::npos) << s.message;
    EXPECT_EQ(dir.read("b.mid"), "old");
}

// A write in place killed at any moment leaves the old file, the new one, or a kept copy that
// puts the old content back.
TEST(SafeFile, KilledInPlaceWriteLeavesOldNewOrAKeptCopy) {
    TempHome home;
    TempDir dir;
    const std::string oldContent(24u << 20, 'o'), newContent(32u << 20, 'n');
    const std::string a = dir.write("a.bin", oldContent);
    ASSERT_EQ(::link(a.c_str(), dir.path("b.bin").c_str()), 0);
    ASSERT_TRUE(makeStateFolder(stateFolder()));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        ::_exit(writeFileSafely(a, newContent.data(), newContent.size()) ? 0 : 1);
    // Killed as soon as its kept copy appears.
    int status = 0;
    bool killed = false;
    while (!killed && ::waitpid(child, &status, WNOHANG) == 0) {
        if (!keptCopiesIn(stateFolder()).empty()) {
            ::kill(child, SIGKILL);
            killed = true;
        }
    }
    if (killed) {
        ASSERT_EQ(::waitpid(child, &status, 0), child);
    }
    ASSERT_TRUE(WIFSIGNALED(status)) << "the write ended before it was seen: " << status;
    std::vector<KeptCopy> copies = claimKeptCopies(stateFolder());
    const std::string now = dir.read("b.bin");
    if (copies.empty()) {
        EXPECT_TRUE(now == oldContent || now == newContent);
        return;
    }
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(copies[0].target(), fs::canonical(a).string());
    EXPECT_EQ(copies[0].size(), oldContent.size());
    // Claimed copies are not offered twice while held.
    EXPECT_TRUE(claimKeptCopies(stateFolder()).empty());
    ASSERT_TRUE(copies[0].putBack());
    EXPECT_EQ(dir.read("b.bin"), oldContent);
    EXPECT_TRUE(keptCopiesIn(stateFolder()).empty());
}

TEST(SafeFile, CopiesOfCompletedOrUnreadableWritesAreSortedOut) {
    TempHome home;
    ASSERT_TRUE(makeStateFolder(stateFolder()));
    TempDir dir;
    const std::string done = dir.write("done.txt", "new");
    const std::string broken = dir.write("broken.txt", "ne");
    // FNV-1a of "new" as the writer computes it.
    uint64_t hash = 1469598103934665603ull;
    for (unsigned char c : std::string("new"))
        hash = (hash ^ c) * 1099511628211ull;
    auto copy = [&](const std::string &name, const std::string &target) {
        const std::string header =
            "Tapeworks2 kept copy 1\ntarget " + std::to_string(target.size()) + "\n" + target +
            "\nkept 5\nold-size 3\nnew-size 3\nnew-hash " + std::to_string(hash) + "\ndata\nold";
        std::ofstream(stateFolder() + "/" + name) << header;
    };
    copy("a.kept", done);   // the write completed: removed without a word
    copy("b.kept", broken); // offered
    std::ofstream(stateFolder() + "/c.kept") << "garbage";
    ::mkfifo((stateFolder() + "/d.kept").c_str(), 0600);
    std::vector<std::string> unreadable;
    std::vector<KeptCopy> copies = claimKeptCopies(stateFolder(), &unreadable);
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(copies[0].target(), broken);
    EXPECT_EQ(copies[0].keptAt(), 5);
    EXPECT_EQ(unreadable,
              (std::vector<std::string>{stateFolder() + "/c.kept", stateFolder() + "/d.kept"}));
    EXPECT_FALSE(fs::exists(stateFolder() + "/a.kept"));
    copies[0].discard();
    EXPECT_FALSE(fs::exists(stateFolder() + "/b.kept"));
    EXPECT_EQ(dir.read("broken.txt"), "ne");
}

TEST(SafeFile, InputsAreRefusedUnlessTheWriteIsTheirOwn) {
    TempHome home;
    TempDir dir;
    const std::string in = dir.write("in.mid", "input");
    ASSERT_EQ(::symlink("in.mid", dir.path("alias.pdf").c_str()), 0);
    setInputFile("melody", in);
    EXPECT_EQ(inputRoleOf(dir.path("alias.pdf")), "melody");
    const SafeFileStatus s = writeFileSafely(dir.path("alias.pdf"), "x", 1);
    EXPECT_EQ(s.code, errSafeFileIsInput);
    EXPECT_NE(s.message.find("the file being read (the melody)"), std::string::npos) << s.message;
    SafeFileOptions own;
    own.ownInput = "melody";
    EXPECT_TRUE(writeFileSafely(in, "saved", 5, own));
    EXPECT_EQ(dir.read("in.mid"), "saved");
    setInputFile("melody", "");
    EXPECT_TRUE(writeFileSafely(in, "free", 4));
    clearInputFiles();
}

// A deleted input's inode must not make a new file look like the input: the files made after
// the deletion (which the file system may give the freed inode) are all written.
TEST(SafeFile, ADeletedInputDoesNotBlockNewFiles) {
    TempHome home;
    TempDir dir;
    const std::string in = dir.write("instrument.txt", "input");
    setInputFile("instrument", in);
    ASSERT_EQ(::unlink(in.c_str()), 0);
    for (int i = 0; i < 20; ++i) {
        const std::string out = dir.write("out" + std::to_string(i), "old");
        const SafeFileStatus s = writeFileSafely(out, "new", 3);
        EXPECT_TRUE(s) << s.message;
        EXPECT_EQ(readFile(out), "new");
        ::unlink(out.c_str());
    }
    clearInputFiles();
}

} // namespace
