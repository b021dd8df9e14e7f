// Unsaved work kept on disk while the editor runs, so that a crash, a kill or `q` loses nothing.
//
// Every running editor owns a slot in the recovery folder: a lock file "<id>.lock", locked
// (flock) for the editor's whole life, and beside it the data file "<id>.recovery" with the
// melody, its programs and its file name. The id starts with the editor's process id. A lock file
// only ever appears already locked (it is made under a temporary name, locked, then linked into
// place), so a lock file that can be locked belongs to an editor that no longer runs: its data
// file is an orphan that a later editor may offer to restore. Whoever locks an orphan holds it
// while deciding, so two editors never restore or delete the same file.
//
// No display needed: plain files and locks. GUI thread only (no internal locking).
#pragma once

#include "notes/TapeNote.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tw {

// Results of the recovery file functions.
constexpr int recoveryOk = 0;
constexpr int errRecoveryOpen = -3101;   // the file or its folder cannot be opened or made
constexpr int errRecoveryWrite = -3102;  // writing, syncing or renaming failed
constexpr int errRecoveryFormat = -3103; // the file is not a complete recovery file
constexpr int errRecoveryNoSlot = -3104; // the slot has no lock (recovery is off)

// What a recovery file keeps.
struct RecoveryData {
    std::string fileName;               // the melody's file, empty for an untitled melody
    int64_t changedAt = 0;              // the last change, seconds since the epoch
    std::array<uint8_t, 16> programs{}; // per channel
    std::vector<TapeNote> notes;        // in melody order; selection flags are not kept
};

// The program's state folder (safefile's stateFolder()): $XDG_STATE_HOME/tapeworks2, or
// ~/.local/state/tapeworks2 when XDG_STATE_HOME is unset, empty or not an absolute path. Empty
// when neither it nor HOME gives a folder.
std::string recoveryFolder();

// Writes the data through the safe writer (atomic, never through a link of another kind).
// recoveryOk or an error, with the writer's words in *reason; on error path is untouched.
int writeRecoveryFile(const std::string &path, const RecoveryData &data,
                      std::string *reason = nullptr);
// Reads a file that writeRecoveryFile wrote. On error `data` is unchanged.
int readRecoveryFile(const std::string &path, RecoveryData &data);

// "YYYY-MM-DD HH:MM:SS" in local time.
std::string recoveryTimeText(int64_t secondsSinceEpoch);

// A lock file held through an open descriptor; the lock goes with the descriptor.
class RecoveryLock {
public:
    RecoveryLock() = default;
    RecoveryLock(RecoveryLock &&other) noexcept;
    RecoveryLock &operator=(RecoveryLock &&other) noexcept;
    ~RecoveryLock();
    RecoveryLock(const RecoveryLock &) = delete;
    RecoveryLock &operator=(const RecoveryLock &) = delete;

    // Creates a new lock file at path, locked from its first moment; false when path exists or
    // cannot be made.
    bool create(const std::string &path);
    // Locks an existing lock file without waiting; false when another process holds it or it is
    // missing.
    bool tryLock(const std::string &path);
    bool held() const { return fd_ >= 0; }
    const std::string &path() const { return path_; }
    // Removes the lock file, then lets the lock go.
    void removeAndRelease();
    // Lets the lock go and leaves the file.
    void release();

private:
    int fd_ = -1;
    std::string path_;
};

// True when a process holds the lock file at path (the editor that owns it runs).
bool recoveryLockHeld(const std::string &path);

// This editor's slot.
class RecoverySlot {
public:
    // Makes the folder (mode 0700) and a lock of its own named after pid; false when that is
    // not possible, and recovery stays off.
    bool open(const std::string &folder, long pid);
    bool isOpen() const { return lock_.held(); }
    const std::string &id() const { return id_; }
    std::string dataPath() const;
    std::string lockPath() const { return lock_.path(); }

    int write(const RecoveryData &data, std::string *reason = nullptr);
    bool hasData() const;
    void removeData();
    // Ends the slot: the data file stays when keepData (the next editor offers it), the lock
    // file goes with the lock unless the data stays.
    void close(bool keepData);

private:
    std::string folder_;
    std::string id_;
    RecoveryLock lock_;
};

// A recovery file whose editor no longer runs, locked by us while it is decided on.
struct RecoveryOrphan {
    std::string dataPath;
    RecoveryLock lock;
    RecoveryData data;

    // Deletes the data file and the lock file.
    void discard();
    // Leaves both files for a later start.
    void keep() { lock.release(); }
};

// Every readable orphan in the folder, newest change first; each comes locked. Lock files
// without data and data files that cannot be read are left alone. `ownId` (this editor's slot)
// is skipped.
// Data files that cannot be read (not regular, too large, damaged) are named in *unreadable
// when given, and get no lock file.
std::vector<RecoveryOrphan> claimRecoveryOrphans(const std::string &folder,
                                                 const std::string &ownId,
                                                 std::vector<std::string> *unreadable = nullptr);

} // namespace tw
