#include "app/RecoveryKeeper.h"

#include "framework/Dialogs.h"
#include "mididevice/NoxssThread.h"
#include "safefile/SafeFile.h"
#include "scoremodel/ScoreModel.h"

#include <FL/Fl.H>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <unistd.h>

namespace tw {

namespace {

constexpr const char *questionTitle = "Restore unsaved work";
// askChoice's answers besides 0, "Later": Escape and closing the box give 0, which loses nothing.
constexpr int answerRestore = 1; // the default button (Return)
constexpr int answerDiscard = 2;

// FNV-1a over 64-bit words.
struct Hash {
    uint64_t value = 1469598103934665603ull;
    void add(uint64_t word) {
        value ^= word;
        value *= 1099511628211ull;
    }
};

} // namespace

RecoveryKeeper::RecoveryKeeper(const ScoreModel &melody, const NoxssThread &player,
                               const std::string &fileName)
    : melody_(melody), player_(player), fileName_(fileName) {}

RecoveryKeeper::~RecoveryKeeper() {
    finish();
}

bool RecoveryKeeper::open(const std::string &folder, long pid) {
    folder_ = folder;
    pid_ = pid;
    return slot_.open(folder, pid);
}

void RecoveryKeeper::touched() {
    lastActionAt_ = nowSeconds();
    dropped_ = false;
    const auto now = std::chrono::steady_clock::now();
    if (!pending_) {
        pendingSince_ = now;
    } else if (std::chrono::duration<double>(now - pendingSince_).count() >= longestWaitSeconds) {
        return; // a steady stream of actions does not put the write off for ever
    }
    schedule(writeDelaySeconds);
}

void RecoveryKeeper::saved() {
    waitForWriter();
    slot_.removeData();
    written_ = false;
}

void RecoveryKeeper::dropped() {
    dropped_ = true;
}

void RecoveryKeeper::schedule(double seconds) {
    Fl::remove_timeout(timeoutCallback, this);
    Fl::add_timeout(seconds, timeoutCallback, this);
    pending_ = true;
}

void RecoveryKeeper::timeoutCallback(void *data) {
    auto *keeper = static_cast<RecoveryKeeper *>(data);
    keeper->pending_ = false;
    if (keeper->busy()) {
        keeper->schedule(busyRetrySeconds);
        return;
    }
    keeper->update(true);
}

bool RecoveryKeeper::busy() const {
    return Fl::pushed() != nullptr || player_.state() == NoxssThread::stateRunning;
}

int64_t RecoveryKeeper::nowSeconds() const {
    return int64_t(std::time(nullptr));
}

uint64_t RecoveryKeeper::melodyHash() const {
    Hash h;
    for (const TapeNote &n : melody_.notes()) {
        h.add(uint64_t(n.start) << 32 | n.length);
        h.add(uint64_t(n.note) << 40 | uint64_t(n.channel) << 32 | n.velocity);
    }
    h.add(melody_.notes().size());
    for (unsigned c = 0; c < 16; ++c)
        h.add(melody_.program(c));
    for (char ch : fileName_)
        h.add(uint8_t(ch));
    h.add(fileName_.size());
    return h.value;
}

void RecoveryKeeper::waitForWriter() {
    if (!writer_.joinable())
        return;
    writer_.join();
    Fl::remove_timeout(pollWriter, this);
    const int result = writerResult_.load();
    noteWriteResult(result, writerHash_, writerReason_);
    if (result != recoveryOk)
        retryOrTell(result, writerReason_);
}

void RecoveryKeeper::pollWriter(void *data) {
    auto *keeper = static_cast<RecoveryKeeper *>(data);
    if (!keeper->writerDone_.load()) {
        Fl::repeat_timeout(0.2, pollWriter, data);
        return;
    }
    keeper->waitForWriter();
}

void RecoveryKeeper::noteWriteResult(int result, uint64_t hash, const std::string &) {
    written_ = result == recoveryOk;
    writtenHash_ = hash;
    if (result == recoveryOk) {
        cannotKeep_ = false;
        failureTold_ = false;
    }
}

int RecoveryKeeper::retryOrTell(int result, const std::string &reason) {
    std::string why = reason;
    // The folder may have been removed or made unwritable meanwhile: a slot of its own again
    // where the folder can be made, and the state written once more.
    if (!folder_.empty() && melody_.dataChanged()) {
        const bool made = makeStateFolder(folder_);
        if (made && (slot_.isOpen() || pid_ != 0)) {
            if (!slot_.isOpen() || ::access(slot_.lockPath().c_str(), F_OK) != 0)
                slot_.open(folder_, pid_);
            if (slot_.isOpen()) {
                std::string again;
                result = slot_.write(currentData(), &again);
                noteWriteResult(result, melodyHash(), again);
                if (result == recoveryOk)
                    return result;
                why = again;
            } else {
                why = "no file of its own can be made in " + folder_ + " (" + std::strerror(errno) +
                      ")";
            }
        } else if (!made) {
            why = "the folder " + folder_ + " cannot be made (" + std::strerror(errno) + ")";
        }
    } else if (folder_.empty()) {
        why = "no folder for it is known (HOME is not set)";
    }
    cannotKeep_ = true;
    if (!failureTold_) {
        failureTold_ = true;
        if (why.empty())
            why = "error " + std::to_string(result);
        if (tell_)
            tell_(why);
        else
            std::fprintf(stderr, "Unsaved work cannot be kept: %s\n", why.c_str());
    }
    return result;
}

RecoveryData RecoveryKeeper::currentData() const {
    RecoveryData data;
    data.fileName = fileName_;
    data.changedAt = lastActionAt_ != 0 ? lastActionAt_ : nowSeconds();
    for (unsigned c = 0; c < 16; ++c)
        data.programs[c] = uint8_t(melody_.program(c));
    data.notes = melody_.notes();
    return data;
}

int RecoveryKeeper::update(bool inBackground) {
    if (inBackground && writer_.joinable() && !writerDone_.load()) {
        schedule(busyRetrySeconds); // the previous state is still being written
        return recoveryOk;
    }
    waitForWriter();
    if (!melody_.dataChanged()) {
        if (slot_.isOpen() && (written_ || slot_.hasData()))
            slot_.removeData();
        written_ = false;
        cannotKeep_ = false;
        return recoveryOk;
    }
    if (!slot_.isOpen())
        return retryOrTell(errRecoveryNoSlot, "");
    const uint64_t hash = melodyHash();
    if (written_ && hash == writtenHash_ && slot_.hasData())
        return recoveryOk;
    RecoveryData data = currentData();
    if (inBackground) {
        // Formatting and syncing a big melody takes longer than a frame: a thread of its own
        // writes the copy. The slot is not changed until it is joined.
        writerHash_ = hash;
        writerDone_ = false;
        writer_ = std::thread([this, data = std::move(data)] {
            std::string reason;
            writerResult_ = slot_.write(data, &reason);
            writerReason_ = reason;
            writerDone_ = true;
        });
        Fl::add_timeout(0.2, pollWriter, this);
        return recoveryOk;
    }
    std::string reason;
    const int result = slot_.write(data, &reason);
    noteWriteResult(result, hash, reason);
    return result == recoveryOk ? result : retryOrTell(result, reason);
}

void RecoveryKeeper::finish() {
    Fl::remove_timeout(timeoutCallback, this);
    Fl::remove_timeout(pollWriter, this);
    pending_ = false;
    waitForWriter();
    if (!slot_.isOpen())
        return;
    const bool keep = melody_.dataChanged() && !dropped_;
    if (keep)
        update();
    slot_.close(keep);
}

std::string recoveryQuestion(const RecoveryData &data, const std::string &startFile) {
    const std::string &name = data.fileName;
    std::string question = "Unsaved work on " +
                           (name.empty() ? std::string("an untitled melody") : name) +
                           ",\nlast changed " + recoveryTimeText(data.changedAt) +
                           ", was kept when its editor ended.\nRestore it?";
    if (!startFile.empty())
        question += "\nRestore opens it instead of " + startFile + ".";
    return question;
}

bool RecoveryKeeper::offerOrphans(const std::function<void(const RecoveryData &)> &restore,
                                  const std::string &startFile) {
    if (!slot_.isOpen())
        return false; // without a slot of its own this editor could not keep what it takes over
    std::vector<std::string> unreadable;
    std::vector<RecoveryOrphan> orphans = claimRecoveryOrphans(folder_, slot_.id(), &unreadable);
    // Files that cannot be read are named once: in the first question, or on stderr.
    std::string unreadableText;
    for (const std::string &path : unreadable)
        unreadableText += "\n" + path;
    if (!unreadableText.empty())
        unreadableText =
            "\n\nThese recovery files cannot be read and are left as they are:" + unreadableText;
    const bool asking = std::any_of(orphans.begin(), orphans.end(), [](const RecoveryOrphan &o) {
        return !o.data.fileName.empty() || !o.data.notes.empty();
    });
    if (!asking && !unreadableText.empty())
        std::fprintf(stderr, "%s\n", unreadableText.substr(2).c_str());
    for (RecoveryOrphan &orphan : orphans) {
        const std::string &name = orphan.data.fileName;
        if (name.empty() && orphan.data.notes.empty()) {
            orphan.discard(); // an untitled empty melody: nothing to bring back
            continue;
        }
        const std::string question = recoveryQuestion(orphan.data, startFile) + unreadableText;
        unreadableText.clear();
        const int answer =
            askChoice(question.c_str(), "Later", "Restore", "Discard", questionTitle);
        if (answer == answerDiscard) {
            orphan.discard();
            continue;
        }
        if (answer != answerRestore) {
            orphan.keep();
            continue;
        }
        restore(orphan.data);
        lastActionAt_ = orphan.data.changedAt;
        // Only once this editor keeps the melody may the old file go.
        if (update() == recoveryOk && slot_.hasData())
            orphan.discard();
        else
            orphan.keep();
        return true; // the others wait for another editor
    }
    return false;
}

} // namespace tw
