#include "recovery/Recovery.h"

#include "midifile/MidiFile.h"
#include "safefile/SafeFile.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>

namespace tw {

namespace {

constexpr const char *lockSuffix = ".lock";
constexpr const char *dataSuffix = ".recovery";
constexpr const char *tempSuffix = ".tmp";
constexpr const char *magicLine = "Tapeworks2 recovery 1";

bool endsWith(const std::string &s, const std::string &suffix) {
    return s.size() >= suffix.size() &&
           s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool fileExists(const std::string &path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

template <class T> void appendNumber(std::string &out, T value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

std::string encode(const RecoveryData &data) {
    std::string out;
    out.reserve(96 + data.fileName.size() + data.notes.size() * 24);
    out += magicLine;
    out += "\nchanged ";
    appendNumber(out, data.changedAt);
    out += "\nfile ";
    appendNumber(out, data.fileName.size());
    out += '\n';
    out += data.fileName;
    out += "\nprograms";
    for (uint8_t p : data.programs) {
        out += ' ';
        appendNumber(out, unsigned(p));
    }
    out += "\nnotes ";
    appendNumber(out, data.notes.size());
    out += '\n';
    for (const TapeNote &n : data.notes) {
        const uint32_t fields[] = {n.start, n.length, n.note, n.channel, n.velocity};
        for (std::size_t i = 0; i < 5; ++i) {
            appendNumber(out, fields[i]);
            out += i < 4 ? ' ' : '\n';
        }
    }
    out += "end\n";
    return out;
}

// A strict reader of encode's output.
class Parser {
public:
    explicit Parser(std::string_view text) : rest(text) {}

    bool literal(std::string_view word) {
        if (rest.substr(0, word.size()) != word)
            return false;
        rest.remove_prefix(word.size());
        return true;
    }
    // Digits only (a minus sign only for signed types, as from_chars reads them).
    template <class T> bool number(T &value, T maximum) {
        const char *first = rest.data(), *last = rest.data() + rest.size();
        const auto result = std::from_chars(first, last, value);
        if (result.ec != std::errc() || value > maximum)
            return false;
        rest.remove_prefix(std::size_t(result.ptr - first));
        return true;
    }
    // A number of at most `maximum` (below 256) into a one-byte field.
    bool number(uint8_t &value, unsigned maximum) {
        unsigned wide = 0;
        if (!number(wide, maximum))
            return false;
        value = uint8_t(wide);
        return true;
    }
    bool bytes(std::size_t count, std::string &out) {
        if (rest.size() < count)
            return false;
        out.assign(rest.data(), count);
        rest.remove_prefix(count);
        return true;
    }
    bool atEnd() const { return rest.empty(); }

private:
    std::string_view rest;
};

bool decode(std::string_view text, RecoveryData &out) {
    Parser p(text);
    RecoveryData d;
    std::size_t nameSize = 0, count = 0;
    if (!p.literal(magicLine) || !p.literal("\nchanged ") || !p.number(d.changedAt, INT64_MAX) ||
        !p.literal("\nfile ") || !p.number(nameSize, text.size()) || !p.literal("\n") ||
        !p.bytes(nameSize, d.fileName) || !p.literal("\nprograms"))
        return false;
    for (uint8_t &program : d.programs) {
        unsigned value = 0;
        if (!p.literal(" ") || !p.number(value, 127u))
            return false;
        program = uint8_t(value);
    }
    // Every note takes at least ten characters: a count beyond that is a damaged file.
    if (!p.literal("\nnotes ") || !p.number(count, text.size() / 10) || !p.literal("\n"))
        return false;
    d.notes.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        TapeNote n;
        if (!p.number(n.start, lastTick) || !p.literal(" ") || !p.number(n.length, lastTick) ||
            !p.literal(" ") || !p.number(n.note, 127u) || !p.literal(" ") ||
            !p.number(n.channel, 15u) || !p.literal(" ") || !p.number(n.velocity, 127u) ||
            !p.literal("\n"))
            return false;
        if (n.length == 0 || uint64_t(n.start) + n.length > lastTick)
            return false;
        d.notes.push_back(n);
    }
    if (!p.literal("end\n") || !p.atEnd())
        return false;
    out = std::move(d);
    return true;
}

// Reads a recovery file: without following a link or waiting on a pipe, a regular file only,
// and no larger than the MIDI reader's limit.
bool readWhole(const std::string &path, std::string &out) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0 &&
              uint64_t(st.st_size) <= maxMidiFileBytes;
    if (ok) {
        out.clear();
        out.reserve(std::size_t(st.st_size));
        char buffer[1 << 16];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 || out.size() + std::size_t(std::max<ssize_t>(n, 0)) > maxMidiFileBytes)
                ok = false;
            if (n <= 0 || !ok)
                break;
            out.append(buffer, std::size_t(n));
        }
    }
    ::close(fd);
    return ok;
}

} // namespace

std::string recoveryFolder() {
    return stateFolder();
}

int writeRecoveryFile(const std::string &path, const RecoveryData &data, std::string *reason) {
    const std::string text = encode(data);
    SafeFileOptions options;
    options.newFileMode = 0600;
    const SafeFileStatus s = writeFileSafely(path, text.data(), text.size(), options);
    if (s)
        return recoveryOk;
    if (reason)
        *reason = s.message;
    return s.code == errSafeFileNoSpace || s.code == errSafeFileWrite ? errRecoveryWrite
                                                                      : errRecoveryOpen;
}

int readRecoveryFile(const std::string &path, RecoveryData &data) {
    std::string text;
    if (!readWhole(path, text))
        return errRecoveryOpen;
    return decode(text, data) ? recoveryOk : errRecoveryFormat;
}

std::string recoveryTimeText(int64_t secondsSinceEpoch) {
    const std::time_t t = std::time_t(secondsSinceEpoch);
    std::tm local{};
    char buffer[32] = "";
    if (::localtime_r(&t, &local))
        std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &local);
    return buffer;
}

// ---- RecoveryLock ----

RecoveryLock::RecoveryLock(RecoveryLock &&other) noexcept
    : fd_(other.fd_), path_(std::move(other.path_)) {
    other.fd_ = -1;
}

RecoveryLock &RecoveryLock::operator=(RecoveryLock &&other) noexcept {
    if (this != &other) {
        release();
        fd_ = other.fd_;
        path_ = std::move(other.path_);
        other.fd_ = -1;
    }
    return *this;
}

RecoveryLock::~RecoveryLock() {
    release();
}

bool RecoveryLock::create(const std::string &path) {
    release();
    // Locked under a temporary name first and then linked into place: whoever sees the lock
    // file sees it locked. link, unlike rename, never replaces an existing file. The temporary
    // name is this process's own, so that two editors claiming one file never share it.
    const std::string temp = path + "." + std::to_string(::getpid()) + tempSuffix;
    ::unlink(temp.c_str());
    const int fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return false;
    const bool linked =
        ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::link(temp.c_str(), path.c_str()) == 0;
    ::unlink(temp.c_str());
    if (!linked) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    path_ = path;
    return true;
}

bool RecoveryLock::tryLock(const std::string &path) {
    release();
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    path_ = path;
    return true;
}

void RecoveryLock::removeAndRelease() {
    if (fd_ >= 0)
        ::unlink(path_.c_str());
    release();
}

void RecoveryLock::release() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool recoveryLockHeld(const std::string &path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return false;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

// ---- RecoverySlot ----

bool RecoverySlot::open(const std::string &folder, long pid) {
    close(false);
    if (folder.empty() || !makeStateFolder(folder))
        return false;
    // The pid alone may be reused (after a reboot, in a container); the start time and a
    // counter make the id unique, and create() refuses an existing name anyway.
    const long long now = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string id =
            "editor-" + std::to_string(pid) + "-" + std::to_string(now + attempt);
        const std::string data = folder + "/" + id + dataSuffix;
        if (fileExists(data))
            continue;
        if (lock_.create(folder + "/" + id + lockSuffix)) {
            folder_ = folder;
            id_ = id;
            return true;
        }
    }
    return false;
}

std::string RecoverySlot::dataPath() const {
    return id_.empty() ? std::string() : folder_ + "/" + id_ + dataSuffix;
}

int RecoverySlot::write(const RecoveryData &data, std::string *reason) {
    if (!isOpen())
        return errRecoveryNoSlot;
    return writeRecoveryFile(dataPath(), data, reason);
}

bool RecoverySlot::hasData() const {
    return isOpen() && fileExists(dataPath());
}

void RecoverySlot::removeData() {
    if (isOpen())
        ::unlink(dataPath().c_str());
}

void RecoverySlot::close(bool keepData) {
    if (!isOpen())
        return;
    if (keepData && hasData()) {
        lock_.release();
    } else {
        removeData();
        lock_.removeAndRelease();
    }
    id_.clear();
}

// ---- Orphans ----

void RecoveryOrphan::discard() {
    if (!lock.held())
        return;
    ::unlink(dataPath.c_str());
    ::unlink((dataPath + tempSuffix).c_str());
    lock.removeAndRelease();
}

std::vector<RecoveryOrphan> claimRecoveryOrphans(const std::string &folder,
                                                 const std::string &ownId,
                                                 std::vector<std::string> *unreadable) {
    std::vector<RecoveryOrphan> found;
    DIR *dir = folder.empty() ? nullptr : ::opendir(folder.c_str());
    if (!dir)
        return found;
    std::vector<std::string> names;
    while (const dirent *entry = ::readdir(dir))
        names.emplace_back(entry->d_name);
    ::closedir(dir);
    std::sort(names.begin(), names.end());

    const std::string lockEnd = lockSuffix, dataEnd = dataSuffix;
    for (const std::string &name : names) {
        std::string id;
        if (endsWith(name, lockEnd))
            id = name.substr(0, name.size() - lockEnd.size());
        else if (endsWith(name, dataEnd))
            id = name.substr(0, name.size() - dataEnd.size());
        if (id.empty() || id == ownId)
            continue;
        const std::string lockPath = folder + "/" + id + lockEnd;
        const std::string dataPath = folder + "/" + id + dataEnd;
        // A lock file and its data file both list the id; the second sighting finds it gone
        // or locked by us already.
        if (std::any_of(found.begin(), found.end(),
                        [&](const RecoveryOrphan &o) { return o.dataPath == dataPath; }))
            continue;
        RecoveryOrphan orphan;
        orphan.dataPath = dataPath;
        auto cannotRead = [&] {
            if (unreadable)
                unreadable->push_back(dataPath);
        };
        if (!orphan.lock.tryLock(lockPath)) {
            // Held by a running editor, or a data file that lost its lock file: that one is
            // claimed with a lock of our own, once it was found readable (an unreadable one
            // gets no lock file).
            if (fileExists(lockPath) || !fileExists(dataPath))
                continue;
            RecoveryData probe;
            if (readRecoveryFile(dataPath, probe) != recoveryOk) {
                cannotRead();
                continue;
            }
            if (!orphan.lock.create(lockPath))
                continue;
        }
        if (!fileExists(dataPath)) {
            // An editor that ended without unsaved work but without tidying up (or was killed
            // while it wrote its first state).
            ::unlink((dataPath + tempSuffix).c_str());
            orphan.lock.removeAndRelease();
            continue;
        }
        if (readRecoveryFile(dataPath, orphan.data) != recoveryOk) {
            cannotRead();
            continue; // left alone (the lock goes with `orphan`)
        }
        found.push_back(std::move(orphan));
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const RecoveryOrphan &a, const RecoveryOrphan &b) {
                         return a.data.changedAt > b.data.changedAt;
                     });
    return found;
}

} // namespace tw
