// Keeps the editor's unsaved work in its recovery slot (see Recovery.h): a few seconds after the
// user's last action, never while a mouse button is held on a widget or the tape plays, the
// melody is written when it has unsaved changes and differs from what was written last; the
// data file goes when the melody is saved or has no unsaved changes left. When the editor ends
// with unsaved work (also through `q`), the newest state is written and the file stays for the
// next start.
//
// GUI thread only: the debounce runs on FLTK timeouts; only the write itself may run on a
// thread of its own.
#pragma once

#include "recovery/Recovery.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace tw {

class NoxssThread;
class ScoreModel;

// The question about one orphan's work, naming the file given at the start when there is one.
std::string recoveryQuestion(const RecoveryData &data, const std::string &startFile);

class RecoveryKeeper {
public:
    // Quiet time after the last action before the melody is written, and the longest a
    // pending write waits while actions keep coming.
    static constexpr double writeDelaySeconds = 2.0;
    static constexpr double longestWaitSeconds = 10.0;
    // While the user drags or the tape plays, the write is tried again this much later.
    static constexpr double busyRetrySeconds = 1.0;

    // fileName is the editor's current file (read at each write); while `player` plays,
    // nothing is written.
    RecoveryKeeper(const ScoreModel &melody, const NoxssThread &player,
                   const std::string &fileName);
    // finish()
    ~RecoveryKeeper();
    RecoveryKeeper(const RecoveryKeeper &) = delete;
    RecoveryKeeper &operator=(const RecoveryKeeper &) = delete;

    // Opens this editor's slot in folder; false when that is impossible (the keeper tries
    // again at the next write, and tells when that fails too).
    bool open(const std::string &folder, long pid);
    // Called once with the reason when unsaved work cannot be kept (the folder cannot be made
    // or written, the disk is full); told again only after a write succeeded meanwhile.
    void onCannotKeep(std::function<void(const std::string &reason)> tell) {
        tell_ = std::move(tell);
    }
    // Whether the last attempt to keep the unsaved work failed: `q` must then ask first.
    bool cannotKeep() const { return cannotKeep_; }
    const RecoverySlot &slot() const { return slot_; }

    // Every user action: (re)starts the debounce.
    void touched();
    // The melody reached its file: the data file goes.
    void saved();
    // The user chose to drop the unsaved changes (answered "No" to saving them on the way
    // out); the next action takes that back.
    void dropped();
    // What the debounce runs: writes, removes or leaves the data file as the melody asks.
    // Returns recoveryOk or the write's error. inBackground: the write runs on a thread of its
    // own (result unknown yet: recoveryOk), one at a time.
    int update(bool inBackground = false);
    bool pending() const { return pending_; }
    // The end of the editor: the newest unsaved state is written and kept, or the slot is
    // emptied and its lock file removed.
    void finish();

    // Restores the newest orphan the user agrees to: each is asked about through
    // askChoice("Restore unsaved work"), "Restore" (the default) hands the data to `restore`
    // and ends the questions, "Discard" deletes the file, "Later" leaves it for another start.
    // An orphan is only deleted once this slot holds its melody. `startFile`, when not empty,
    // is the file the editor was started with: the question says that Restore opens the work
    // instead of it. True when a melody was restored.
    bool offerOrphans(const std::function<void(const RecoveryData &)> &restore,
                      const std::string &startFile = std::string());

private:
    static void timeoutCallback(void *keeper);
    void schedule(double seconds);
    bool busy() const;
    uint64_t melodyHash() const;
    // Joins a background write and takes over its result.
    void waitForWriter();
    static void pollWriter(void *keeper);
    void noteWriteResult(int result, uint64_t hash, const std::string &reason);
    // After a failed write: makes the folder and the slot again where it can and writes once
    // more; tells the user when that fails too.
    int retryOrTell(int result, const std::string &reason);
    RecoveryData currentData() const;
    int64_t nowSeconds() const;

    const ScoreModel &melody_;
    const NoxssThread &player_;
    const std::string &fileName_;
    std::string folder_;
    RecoverySlot slot_;
    bool pending_ = false;
    bool dropped_ = false;
    bool failureTold_ = false;
    bool cannotKeep_ = false;
    long pid_ = 0;
    std::function<void(const std::string &)> tell_;
    std::string writerReason_; // set by the writer thread before writerDone_
    std::chrono::steady_clock::time_point pendingSince_{};
    int64_t lastActionAt_ = 0;
    uint64_t writtenHash_ = 0;
    bool written_ = false;
    std::thread writer_;
    std::atomic<bool> writerDone_{false};
    std::atomic<int> writerResult_{recoveryOk};
    uint64_t writerHash_ = 0;
};

} // namespace tw
