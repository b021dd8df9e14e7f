// The one way this program writes a file: MIDI saves, exports, recovery files, settings.
//
// Rules for every write:
// - Only a regular file is written. A folder, a device node, a FIFO or a socket is refused
//   before anything is written, and left as it is.
// - A symbolic link is written through: the link stays, the file it leads to gets the data
//   (a dangling link's target is made).
// - A file that is one of the program's current inputs (see setInputFile) is refused, unless
//   the write names that input as its own (SafeFileOptions::ownInput).
// - A file the user may not write (another user's, read-only) is refused.
// - The write is atomic: the data goes to an unnamed temporary file (O_TMPFILE) beside the
//   target that takes the target's place (linkat, rename) only once every byte reached the
//   disk. Where no unnamed file can be made, a named one ".NAME.tmpPID-N" is used; a killed
//   write leaves it, and the next write to that target removes it.
// - A file that must keep its inode (other hard links, another owner, a folder that may not be
//   written) is written in place: the new content is first staged in the state folder, then
//   the old content is kept there as a "kept copy" (see KeptCopy), then the target is
//   overwritten and the copy removed. A kill at any moment leaves the whole old file, the whole
//   new file, or the kept copy, which the next start of the editor offers to put back.
// - A full disk (or a file size limit) leaves the old file byte for byte and says so.
//
// Thread safety: a SafeFile is used by one thread at a time; different SafeFiles may be used
// on different threads at once. The input registry is behind a mutex.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tw {

// Results of the safe writer; 0 means success.
constexpr int safeFileOk = 0;
constexpr int errSafeFileName = -2701;         // no name, a loop of links, a missing folder
constexpr int errSafeFileNotRegular = -2702;   // a folder, device node, FIFO or socket
constexpr int errSafeFileIsInput = -2703;      // the file is one of the program's inputs
constexpr int errSafeFileNoPermission = -2704; // the file or its folder may not be written
constexpr int errSafeFileNoSpace = -2705;      // the disk is full (or a quota, a size limit)
constexpr int errSafeFileWrite = -2706;        // another failure while writing or replacing
constexpr int errSafeFileCannotKeep = -2707;   // an in-place write cannot keep the old content
constexpr int errSafeFileAbandoned = -2708;    // commit after abandon() or a failed open

// The outcome of a step: a code and, unless it is safeFileOk, a sentence in words that names
// the file and the reason.
struct SafeFileStatus {
    int code = safeFileOk;
    std::string message;
    explicit operator bool() const { return code == safeFileOk; }
};

struct SafeFileOptions {
    // The role (see setInputFile) of the input this write may replace: a melody saved onto
    // the file it was read from. Empty: every input is refused.
    std::string ownInput;
    // The size expected in bytes, when known: room for it is checked before anything is
    // written. 0: unknown.
    uint64_t expectedSize = 0;
    // Permission bits of a new file (the umask applies); an existing file keeps its own.
    mode_t newFileMode = 0666;
};

// A file written in chunks: open, write as often as needed, commit. Without a commit (or
// after a failed write) the target is left exactly as it was and no temporary file stays.
class SafeFile {
public:
    SafeFile();
    // Abandons the write unless it was committed.
    ~SafeFile();
    SafeFile(const SafeFile &) = delete;
    SafeFile &operator=(const SafeFile &) = delete;

    // Checks the target and makes the temporary file; nothing is written to the target yet.
    SafeFileStatus open(const std::string &path, const SafeFileOptions &options = {});
    // Appends bytes; false once any write failed (the failure is reported by commit()).
    bool write(const void *data, std::size_t length);
    // Puts the data in the target's place (or in place, see above).
    SafeFileStatus commit();
    // Drops what was written; the target stays as it was.
    void abandon();

    // The failure of the first write that failed, in the words commit() would give, while the
    // file is still open (for a writer that stops at it, such as a drawing library); ok when
    // no write failed.
    SafeFileStatus writeFailure() const;

    bool isOpen() const { return fd_ >= 0; }
    // The file that gets the data (symbolic links followed).
    const std::string &target() const { return target_; }

    // For C callbacks that write through a closure (Cairo's stream surfaces, libpng):
    // closure is a SafeFile; false when the write failed.
    static bool writeTo(void *closure, const void *data, std::size_t length);

private:
    bool flushBuffer();
    SafeFileStatus failure(int code, const std::string &message);
    SafeFileStatus writeError(int error);
    SafeFileStatus describeWriteError(int error) const;
    SafeFileStatus replaceTarget();
    SafeFileStatus writeInPlace();
    void closeTemp();

    std::string path_;   // as given
    std::string target_; // links followed
    std::string tempName_;
    int fd_ = -1;
    bool exists_ = false;
    bool inPlace_ = false;
    bool committed_ = false;
    int writeErrno_ = 0;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    uint64_t written_ = 0;
    uint64_t hash_ = 0;
    std::vector<unsigned char> buffer_;
};

// Writes the whole buffer to path under the rules above.
SafeFileStatus writeFileSafely(const std::string &path, const void *data, std::size_t length,
                               const SafeFileOptions &options = {});

// The program's current inputs, by role ("melody", "instrument"): the file a role names now
// (same device and inode, links followed) is refused as a target. An empty path ends the
// role. Any thread.
void setInputFile(const std::string &role, const std::string &path);
void clearInputFiles();
// The role whose file path is, or empty.
std::string inputRoleOf(const std::string &path);

// $XDG_STATE_HOME/tapeworks2, or ~/.local/state/tapeworks2 when XDG_STATE_HOME is unset or
// not absolute; empty when neither gives a folder. Recovery files and kept copies live here.
std::string stateFolder();
// Makes folder and its missing parents (the last one private to the user); false when that
// fails (errno tells why).
bool makeStateFolder(const std::string &folder);

// The old content of a file that was being written in place when the writer was stopped.
// Found in the state folder by claimKeptCopies, locked by the claimer while decided on.
class KeptCopy {
public:
    KeptCopy() = default;
    KeptCopy(KeptCopy &&other) noexcept;
    KeptCopy &operator=(KeptCopy &&other) noexcept;
    ~KeptCopy();

    const std::string &copyPath() const { return copyPath_; }
    const std::string &target() const { return target_; }
    int64_t keptAt() const { return keptAt_; }
    uint64_t size() const { return size_; }

    // Writes the old content back into its file (through the safe writer, with options); the
    // copy goes once that succeeded.
    SafeFileStatus putBack(const SafeFileOptions &options = SafeFileOptions());
    // Deletes the copy.
    void discard();
    // Leaves the copy for a later start.
    void keep();

private:
    friend std::vector<KeptCopy> claimKeptCopies(const std::string &, std::vector<std::string> *);
    int fd_ = -1;
    std::string copyPath_;
    std::string target_;
    int64_t keptAt_ = 0;
    uint64_t size_ = 0;
    uint64_t dataOffset_ = 0;
};

// The kept copies in folder that no running write holds, oldest first. A copy whose target
// already holds the complete new content is removed without a word. Copies that cannot be
// read are named in *unreadable (when given) and left alone.
std::vector<KeptCopy> claimKeptCopies(const std::string &folder,
                                      std::vector<std::string> *unreadable = nullptr);

} // namespace tw
