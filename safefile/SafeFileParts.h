// The pieces of the safe writer that SafeFile.cpp and KeptCopy.cpp share; not for other folders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>

namespace tw::safefile {

// FNV-1a over bytes: tells a completed in-place write from an interrupted one.
constexpr uint64_t hashStart = 1469598103934665603ull;
uint64_t hashAdd(uint64_t hash, const unsigned char *p, std::size_t n);

// The folder part of path with its closing '/', "./" for a bare name.
std::string folderOf(const std::string &path);
// Follows symbolic links (a dangling one too) to the file that gets the data; false for a loop.
bool resolveLinks(const std::string &path, std::string &target);
// Writes all n bytes; false with errno on any failure.
bool writeAll(int fd, const void *data, std::size_t n);
// Copies length bytes from `from` at fromOffset to `to` at toOffset; false with errno.
bool copyRange(int from, uint64_t fromOffset, int to, uint64_t toOffset, uint64_t length);
// Whether `bytes` fit on the file system of fd beside what the file holds now (heldBytes) and
// under the process's file size limit; reserves the space where the file system allows. Sets
// errno when not.
bool roomFor(int fd, uint64_t bytes, uint64_t heldBytes);
void syncFolder(const std::string &folder);
// The role under which the file (device, inode) is registered as an input, or empty.
std::string inputRole(dev_t device, ino_t inode);

// Named temporary files of a target: ".NAME.tmpPID-N" beside it.
class TemporaryNames {
public:
    explicit TemporaryNames(const std::string &target);
    std::string next();
    const std::string &folder() const { return folder_; }
    // Removes the temporaries that killed writes left behind: those of a process that no
    // longer runs, or of this process and not locked by a write under way.
    void removeStale() const;

private:
    bool parse(const char *name, long &pid) const;
    std::string folder_;
    std::string prefix_;
};

// An unnamed file in folder (O_TMPFILE), or where that is impossible a named one from names
// (then `name` is set); locked either way, open for reading and writing. -1 with errno.
int createTemporary(const std::string &folder, TemporaryNames &names, mode_t mode,
                    std::string &name);
// Gives the unnamed file fd a temporary name from names. Where it cannot be linked its content
// is copied into a named file, which then replaces fd. False with errno.
bool linkUnnamed(int &fd, TemporaryNames &names, std::string &name);

// The old content of a file written in place, kept in the state folder while that happens.
class KeptWriter {
public:
    ~KeptWriter();
    // Copies oldSize bytes of targetFd with a header into a locked file of the state folder;
    // false with errno.
    bool keep(const std::string &stateFolder, const std::string &target, int targetFd,
              uint64_t oldSize, uint64_t newSize, uint64_t newHash, int64_t now);
    // Writes the kept content back over targetFd.
    bool restoreInto(int targetFd);
    // Deletes the copy (the write completed).
    void remove();
    // Leaves the copy for the next start.
    void leave();
    const std::string &path() const { return path_; }

private:
    int fd_ = -1;
    std::string path_;
    uint64_t dataOffset_ = 0;
    uint64_t oldSize_ = 0;
};

// The header of a kept copy; parse reads it from the start of fd.
struct KeptHeader {
    std::string target;
    int64_t keptAt = 0;
    uint64_t oldSize = 0, newSize = 0, newHash = 0;
    uint64_t dataOffset = 0;
};
std::string keptHeaderText(const KeptHeader &header);
bool readKeptHeader(int fd, KeptHeader &header);

constexpr const char *keptSuffix = ".kept";

} // namespace tw::safefile
