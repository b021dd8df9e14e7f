// Every kind of output (MIDI save, each export format, recovery file) onto every kind of target:
// all go through the one safe writer and land, or are refused, alike.
#include "recovery/Recovery.h"
#include "render/TapeExport.h"
#include "safefile/SafeFile.h"
#include "scoremodel/ScoreModel.h"
#include "testsupport/NoteMakers.h"
#include "testsupport/TempFiles.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tw;
namespace fs = std::filesystem;

namespace {

struct Outcome {
    bool written = false;
    std::string message;
};

struct Output {
    const char *name;
    std::function<Outcome(const std::string &path)> write;
};

ScoreModel &melody() {
    static ScoreModel model;
    if (model.notes().empty()) {
        std::vector<TapeNote> notes;
        for (uint32_t i = 0; i < 2000; ++i)
            notes.push_back(tn(48 + i % 30, i * 3, 2 + i % 5, i % 4, 80));
        model.setNotes(notes);
    }
    return model;
}

std::vector<Output> outputs() {
    auto exporter = [](ExportFormat format) {
        return [format](const std::string &path) {
            ExportOptions options;
            options.format = format;
            const ExportResult r = exportTape(melody(), options, path);
            return Outcome{bool(r), r.reason};
        };
    };
    return {
        {"MIDI save",
         [](const std::string &path) {
             SafeFileStatus s;
             melody().writeMidiFile(path.c_str(), &s);
             return Outcome{bool(s), s.message};
         }},
        {"PNG export", exporter(ExportFormat::png)},
        {"SVG export", exporter(ExportFormat::svg)},
        {"PDF export", exporter(ExportFormat::pdf)},
        {"recovery file",
         [](const std::string &path) {
             RecoveryData data;
             data.notes = melody().notes();
             std::string reason;
             const bool ok = writeRecoveryFile(path, data, &reason) == recoveryOk;
             return Outcome{ok, reason};
         }},
    };
}

// Runs write in a child process (as user nobody when asNobody, under a file size limit when
// limit is not 0); the outcome comes back through a pipe.
Outcome inChild(const std::function<Outcome()> &write, bool asNobody, rlim_t limit) {
    int fds[2];
    if (::pipe(fds) != 0)
        return {false, "no pipe"};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        std::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit small { limit, limit };
        if ((asNobody &&
             (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0)) ||
            (limit != 0 && ::setrlimit(RLIMIT_FSIZE, &small) != 0))
            ::_exit(3);
        const Outcome o = write();
        const std::string text = (o.written ? "1" : "0") + o.message;
        (void)!::write(fds[1], text.data(), text.size());
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string text;
    char buffer[512];
    ssize_t n;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0)
        text.append(buffer, std::size_t(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (text.empty())
        return {false, "the child ended with " + std::to_string(status)};
    return {text[0] == '1', text.substr(1)};
}

// A small file system that is full but for a few bytes, with the old file on it; empty when it
// cannot be mounted (not root).
struct FullDisk {
    std::string folder;
    explicit FullDisk(const TempDir &dir) {
        const std::string mountPoint = dir.path("disk");
        fs::create_directory(mountPoint);
        if (::geteuid() != 0 ||
            ::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=256k,mode=0777") != 0)
            return;
        folder = mountPoint;
        std::ofstream(folder + "/old") << "old";
        std::ofstream filler(folder + "/filler", std::ios::binary);
        const std::string block(4096, 'f');
        for (int i = 0; i < 64 && filler.write(block.data(), block.size()); ++i)
            filler.flush();
    }
    ~FullDisk() {
        if (!folder.empty())
            ::umount2(folder.c_str(), MNT_DETACH);
    }
};

TEST(SafeWrite, EveryOutputOntoEveryKindOfTarget) {
    TempHome home;
    const bool root = ::geteuid() == 0;
    enum class Expect { written, refused };
    struct Target {
        const char *kind;
        // Prepares the folder; returns the path written to.
        std::function<std::string(const TempDir &)> prepare;
        Expect expect;
        const char *words; // in the message of a refusal
        // Checks the folder afterwards (the outcome was checked already).
        std::function<void(const TempDir &, const std::string &written)> check;
        bool asNobody = false;
        rlim_t sizeLimit = 0;
    };
    auto same = [](const std::string &path, const std::string &content) {
        EXPECT_EQ(readFile(path), content) << path;
    };
    std::unique_ptr<FullDisk> disk;
    const Target targets[] = {
        {"regular file", [](const TempDir &d) { return d.write("out", "old"); }, Expect::written,
         "", [](const TempDir &, const std::string &) {}},
        {"symbolic link: written through",
         [](const TempDir &d) {
             d.write("real", "old");
             ::symlink("real", d.path("link").c_str());
             return d.path("link");
         },
         Expect::written, "",
         [](const TempDir &d, const std::string &written) {
             EXPECT_TRUE(fs::is_symlink(d.path("link")));
             EXPECT_EQ(readFile(d.path("real")), written);
         }},
        {"dangling symbolic link: its target made",
         [](const TempDir &d) {
             ::symlink("made", d.path("link").c_str());
             return d.path("link");
         },
         Expect::written, "",
         [](const TempDir &d, const std::string &written) {
             EXPECT_TRUE(fs::is_symlink(d.path("link")));
             EXPECT_EQ(readFile(d.path("made")), written);
         }},
        {"hard link: written in place, no copy left",
         [](const TempDir &d) {
             d.write("a", "old");
             ::link(d.path("a").c_str(), d.path("b").c_str());
             return d.path("a");
         },
         Expect::written, "",
         [](const TempDir &d, const std::string &written) {
             EXPECT_EQ(readFile(d.path("b")), written);
             EXPECT_TRUE(claimKeptCopies(stateFolder()).empty());
         }},
        {"device node",
         [root](const TempDir &d) {
             if (!root)
                 return std::string("/dev/null");
             ::mknod(d.path("null").c_str(), S_IFCHR | 0666, makedev(1, 3));
             return d.path("null");
         },
         Expect::refused, "is a device", [](const TempDir &, const std::string &) {}},
        {"FIFO",
         [](const TempDir &d) {
             ::mkfifo(d.path("fifo").c_str(), 0666);
             return d.path("fifo");
         },
         Expect::refused, "is a FIFO",
         [&](const TempDir &d, const std::string &) {
             EXPECT_EQ(fs::status(d.path("fifo")).type(), fs::file_type::fifo);
         }},
        {"folder",
         [](const TempDir &d) {
             fs::create_directories(d.path("folder/inner"));
             return d.path("folder");
         },
         Expect::refused, "is a folder",
         [](const TempDir &d, const std::string &) {
             EXPECT_TRUE(fs::is_directory(d.path("folder/inner")));
         }},
        {"the file being read",
         [](const TempDir &d) {
             setInputFile("melody", d.write("in.mid", "old"));
             ::symlink("in.mid", d.path("in.pdf").c_str());
             return d.path("in.pdf");
         },
         Expect::refused, "is the file being read",
         [&](const TempDir &d, const std::string &) {
             same(d.path("in.mid"), "old");
             setInputFile("melody", "");
         }},
        {"another user's file in a folder open to all",
         [](const TempDir &d) {
             ::chmod(d.path().c_str(), 0777);
             return d.write("theirs", "old");
         },
         Expect::refused, "no permission",
         [&](const TempDir &d, const std::string &) {
             struct stat st {};
             ASSERT_EQ(::stat(d.path("theirs").c_str(), &st), 0);
             EXPECT_EQ(st.st_uid, 0u);
             same(d.path("theirs"), "old");
         },
         true},
        {"full disk",
         [&](const TempDir &d) {
             disk = std::make_unique<FullDisk>(d);
             return disk->folder.empty() ? d.write("old", "old") : disk->folder + "/old";
         },
         Expect::refused, "", // "no space left on the disk" or "larger than the largest file"
         [&](const TempDir &d, const std::string &) {
             same(disk->folder.empty() ? d.path("old") : disk->folder + "/old", "old");
             disk.reset();
         },
         false, 1024},
    };
    for (const Output &output : outputs()) {
        SCOPED_TRACE(output.name);
        for (const Target &target : targets) {
            SCOPED_TRACE(target.kind);
            if (target.asNobody && !root)
                continue; // another user needs root to be played
            TempDir dir;
            const std::string path = target.prepare(dir);
            const bool limited = target.sizeLimit != 0 && (!disk || disk->folder.empty());
            const Outcome o = target.asNobody || limited
                                  ? inChild([&] { return output.write(path); }, target.asNobody,
                                            limited ? target.sizeLimit : 0)
                                  : output.write(path);
            EXPECT_EQ(o.written, target.expect == Expect::written) << o.message;
            if (target.expect == Expect::refused) {
                EXPECT_NE(o.message.find(target.words), std::string::npos) << o.message;
                if (std::string(target.kind) == "full disk") {
                    EXPECT_TRUE(o.message.find("no space left on the disk") != std::string::npos ||
                                o.message.find("larger than the largest file") != std::string::npos)
                        << o.message;
                }
            }
            std::string written;
            if (o.written) {
                written = readFile(path);
                EXPECT_GT(written.size(), 3u);
            }
            target.check(dir, written);
            // Nothing but what the case made stays in the folder.
            for (const auto &e : fs::directory_iterator(dir.path()))
                EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
        }
    }
}

} // namespace
