#include "app/RecoveryKeeper.h"

#include "framework/Dialogs.h"
#include "scoretape/ScoreTape.h"

#include <FL/Fl.H>

#include <cstdio>
#include <ctime>

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

RecoveryKeeper::RecoveryKeeper(Flt_ScoreTape &tape, const std::string &fileName)
    : tape_(tape), fileName_(fileName) {}

RecoveryKeeper::~RecoveryKeeper() {
    finish();
}

bool RecoveryKeeper::open(const std::string &folder, long pid) {
    folder_ = folder;
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
    return Fl::pushed() != nullptr || tape_.player().state() == NoxssThread::stateRunning;
}

int64_t RecoveryKeeper::nowSeconds() const {
    return int64_t(std::time(nullptr));
}

uint64_t RecoveryKeeper::melodyHash() const {
    Hash h;
    for (const TapeNote &n : tape_.notes()) {
        h.add(uint64_t(n.start) << 32 | n.length);
        h.add(uint64_t(n.note) << 40 | uint64_t(n.channel) << 32 | n.velocity);
    }
    h.add(tape_.notes().size());
    for (unsigned c = 0; c < 16; ++c)
        h.add(tape_.program(c));
    for (char ch : fileName_)
        h.add(uint8_t(ch));
    h.add(fileName_.size());
    return h.value;
}

void RecoveryKeeper::waitForWriter() {
    if (!writer_.joinable())
        return;
    writer_.join();
    noteWriteResult(writerResult_.load(), writerHash_);
}

void RecoveryKeeper::noteWriteResult(int result, uint64_t hash) {
    written_ = result == recoveryOk;
    writtenHash_ = hash;
    if (result != recoveryOk && !failureTold_) {
        std::fprintf(stderr, "Cannot keep unsaved work in %s, error %d\n", slot_.dataPath().c_str(),
                     result);
        failureTold_ = true;
    }
}

int RecoveryKeeper::update(bool inBackground) {
    if (!slot_.isOpen())
        return errRecoveryNoSlot;
    if (inBackground && writer_.joinable() && !writerDone_.load()) {
        schedule(busyRetrySeconds); // the previous state is still being written
        return recoveryOk;
    }
    waitForWriter();
    if (!tape_.dataChanged()) {
        if (written_ || slot_.hasData())
            slot_.removeData();
        written_ = false;
        return recoveryOk;
    }
    const uint64_t hash = melodyHash();
    if (written_ && hash == writtenHash_ && slot_.hasData())
        return recoveryOk;
    RecoveryData data;
    data.fileName = fileName_;
    data.changedAt = lastActionAt_ != 0 ? lastActionAt_ : nowSeconds();
    for (unsigned c = 0; c < 16; ++c)
        data.programs[c] = uint8_t(tape_.program(c));
    data.notes = tape_.notes();
    if (inBackground) {
        // Formatting and syncing a big melody takes longer than a frame: a thread of its own
        // writes the copy. The slot is not changed until it is joined.
        writerHash_ = hash;
        writerDone_ = false;
        writer_ = std::thread([this, data = std::move(data)] {
            writerResult_ = slot_.write(data);
            writerDone_ = true;
        });
        return recoveryOk;
    }
    const int result = slot_.write(data);
    noteWriteResult(result, hash);
    return result;
}

void RecoveryKeeper::finish() {
    Fl::remove_timeout(timeoutCallback, this);
    pending_ = false;
    waitForWriter();
    if (!slot_.isOpen())
        return;
    const bool keep = tape_.dataChanged() && !dropped_;
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
    std::vector<RecoveryOrphan> orphans = claimRecoveryOrphans(folder_, slot_.id());
    for (RecoveryOrphan &orphan : orphans) {
        const std::string &name = orphan.data.fileName;
        if (name.empty() && orphan.data.notes.empty()) {
            orphan.discard(); // an untitled empty melody: nothing to bring back
            continue;
        }
        const std::string question = recoveryQuestion(orphan.data, startFile);
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
