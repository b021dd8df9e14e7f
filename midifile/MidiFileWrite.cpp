// The Standard MIDI File writer. The data is checked against the limits of the format first.
// Then the file is encoded through a buffer into an unnamed temporary file in the target's
// folder that replaces the target only when every byte reached the disk, so a failed or killed
// save leaves the previous file as it was. A target that must keep its inode (other hard
// links, another owner, a folder that may not be written) is rewritten in place instead, once
// its new size was found to fit.
#include "midifile/MidiFile.h"
#include "midifile/VarLen.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <exception>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace tw {

namespace {

// Writes all n bytes; false on any failure (a full disk, a file size limit).
bool writeAll(int fd, const uint8_t *p, std::size_t n) {
    while (n > 0) {
        ssize_t done = ::write(fd, p, n);
        if (done < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (done == 0)
            return false;
        p += done;
        n -= std::size_t(done);
    }
    return true;
}

// Counts the bytes that encoding produces, for a chunk's length field.
class ByteCounter {
public:
    void put(const uint8_t *, std::size_t n) { count_ += n; }
    uint64_t count() const { return count_; }

private:
    uint64_t count_ = 0;
};

// Writes to a file through a fixed buffer; after the first failure nothing more is written.
class FileSink {
public:
    explicit FileSink(int fd) : fd_(fd), buffer_(std::size_t(1) << 20) {}

    void put(const uint8_t *p, std::size_t n) {
        if (used_ + n > buffer_.size()) {
            flush();
            if (n >= buffer_.size()) { // a very long event goes out directly
                ok_ = ok_ && writeAll(fd_, p, n);
                return;
            }
        }
        if (n != 0)
            std::memcpy(buffer_.data() + used_, p, n);
        used_ += n;
    }
    // Writes what is buffered; false if any write so far failed.
    bool flush() {
        ok_ = ok_ && writeAll(fd_, buffer_.data(), used_);
        used_ = 0;
        return ok_;
    }

private:
    int fd_;
    std::vector<uint8_t> buffer_;
    std::size_t used_ = 0;
    bool ok_ = true;
};

// The largest number a variable-length quantity of the format holds (four bytes of 7 bits).
constexpr uint64_t maxVarLen = 0x0FFFFFFF;

// Encodes the header and the events of tracks into a sink (anything with put(bytes, count)).
// A number the format cannot hold marks the encoding as failed and is not written.
template <class Sink> class SmfEncoder {
public:
    explicit SmfEncoder(Sink &sink) : sink_(sink) {}

    bool ok() const { return ok_; }

    void header(const MidiFile &file) {
        uint8_t h[14] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, uint8_t(file.format & 0x0F)};
        midifile::writeBigEndian16(h + 10, uint16_t(file.tracks.size()));
        midifile::writeBigEndian16(h + 12, file.timeUnit);
        sink_.put(h, sizeof(h));
    }

    // The events of a track and an End of Track of its own. The delta time of an empty event
    // (which a track should not hold) passes on to the next event.
    void events(const NoxmidiTrk &track) {
        uint64_t pendingTicks = 0;
        for (const MidiEvent &e : track.events) {
            if (e.bytes.empty()) {
                pendingTicks += e.dTime;
                continue;
            }
            event(pendingTicks + e.dTime, e);
            pendingTicks = 0;
        }
        uint8_t end[7];
        std::size_t n = varLen(end, pendingTicks);
        end[n] = 0xFF;
        end[n + 1] = 0x2F;
        end[n + 2] = 0x00;
        sink_.put(end, n + 3);
    }

private:
    std::size_t varLen(uint8_t *out, uint64_t v) {
        if (v > maxVarLen) {
            ok_ = false;
            v = 0;
        }
        return midifile::writeVarLen(out, uint32_t(v));
    }

    void event(uint64_t dTime, const MidiEvent &e) {
        const EventBytes &b = e.bytes;
        uint8_t head[16];
        std::size_t n = varLen(head, dTime);
        switch (e.kind()) {
        case MidiEventKind::Midi: // as stored, always with its status byte
            if (b.size() <= sizeof(head) - n) {
                std::memcpy(head + n, b.data(), b.size());
                sink_.put(head, n + b.size());
            } else {
                sink_.put(head, n);
                sink_.put(b.data(), b.size());
            }
            break;
        case MidiEventKind::Meta: {
            // A meta event stored without its type byte is written as type 0.
            std::size_t dataSize = b.size() > 2 ? b.size() - 2 : 0;
            head[n++] = 0xFF;
            head[n++] = b.size() > 1 ? b[1] : 0;
            n += varLen(head + n, dataSize);
            sink_.put(head, n);
            sink_.put(b.data() + 2, dataSize);
            break;
        }
        case MidiEventKind::Sysex: {
            // Any system status is written as system exclusive: 0xF0, the count of the data
            // bytes plus the closing byte, the data, 0xF7.
            static const uint8_t close = 0xF7;
            head[n++] = 0xF0;
            n += varLen(head + n, b.size());
            sink_.put(head, n);
            sink_.put(b.data() + 1, b.size() - 1);
            sink_.put(&close, 1);
            break;
        }
        case MidiEventKind::Empty:
            break;
        }
    }

    Sink &sink_;
    bool ok_ = true;
};

// The chunk length of each track, counted before anything is written; false when the data
// does not fit the format: more than 65535 tracks, a number above 28 bits (a delta time, a
// meta or sysex length) or a track above 4 GB.
bool measureTracks(const MidiFile &file, std::vector<uint32_t> &lengths) {
    if (file.tracks.size() > 0xFFFF)
        return false;
    lengths.clear();
    for (const NoxmidiTrk &track : file.tracks) {
        ByteCounter counter;
        SmfEncoder<ByteCounter> encoder(counter);
        encoder.events(track);
        if (!encoder.ok() || counter.count() > 0xFFFFFFFFu)
            return false;
        lengths.push_back(uint32_t(counter.count()));
    }
    return true;
}

uint64_t fileSize(const std::vector<uint32_t> &lengths) {
    uint64_t size = 14;
    for (uint32_t length : lengths)
        size += 8 + uint64_t(length);
    return size;
}

// Writes the whole file to fd from its current offset, with the chunk lengths measured
// before; false when a write fails.
bool writeFile(const MidiFile &file, const std::vector<uint32_t> &lengths, int fd) {
    FileSink sink(fd);
    SmfEncoder<FileSink> encoder(sink);
    encoder.header(file);
    for (std::size_t i = 0; i < file.tracks.size(); ++i) {
        uint8_t chunk[8] = {'M', 'T', 'r', 'k'};
        midifile::writeBigEndian32(chunk + 4, lengths[i]);
        sink.put(chunk, sizeof(chunk));
        encoder.events(file.tracks[i]);
    }
    return sink.flush() && encoder.ok();
}

std::string folderOf(const std::string &path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The file a save writes: symbolic links are followed, a dangling one included, so that the
// link stays and its target gets the data. False for a loop of links.
bool resolveTarget(const char *path, std::string &target) {
    target = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return true;
        std::string link(std::size_t(std::max<off_t>(st.st_size, 0)) + 4096, '\0');
        ssize_t n = ::readlink(target.c_str(), link.data(), link.size());
        if (n <= 0 || std::size_t(n) == link.size())
            return false;
        link.resize(std::size_t(n));
        target = link[0] == '/' ? link : folderOf(target) + link;
    }
    return false;
}

// Named temporary files of a target: ".NAME.tmpPID-N" beside it. A save creates one only where
// its unnamed file cannot be used, and for the moment between linking and renaming it.
class TemporaryNames {
public:
    explicit TemporaryNames(const std::string &target)
        : folder_(folderOf(target)), prefix_("." + target.substr(folder_.size()) + ".tmp") {}

    std::string next() {
        static std::atomic<unsigned> counter{0};
        char suffix[48];
        std::snprintf(suffix, sizeof(suffix), "%ld-%u", long(::getpid()), counter++);
        return folder_ + prefix_ + suffix;
    }

    // Removes the temporaries that earlier saves left behind when they were killed: those of
    // a process that no longer runs, or of this process and not locked by a save under way.
    void removeStale() const {
        DIR *dir = ::opendir(folder_.empty() ? "." : folder_.c_str());
        if (!dir)
            return;
        while (const dirent *entry = ::readdir(dir)) {
            long pid = 0;
            if (!parse(entry->d_name, pid))
                continue;
            std::string path = folder_ + entry->d_name;
            bool stale;
            if (pid == long(::getpid()))
                stale = !lockedBySave(path);
            else
                stale = ::kill(pid_t(pid), 0) != 0 && errno == ESRCH && !lockedBySave(path);
            if (stale)
                ::unlink(path.c_str());
        }
        ::closedir(dir);
    }

private:
    // Whether name is prefix_ followed by PID-N.
    bool parse(const char *name, long &pid) const {
        if (std::strncmp(name, prefix_.c_str(), prefix_.size()) != 0)
            return false;
        const char *p = name + prefix_.size();
        char *end = nullptr;
        errno = 0;
        pid = std::strtol(p, &end, 10);
        if (!std::isdigit(static_cast<unsigned char>(*p)) || *end != '-' || errno != 0 || pid <= 0)
            return false;
        p = end + 1;
        std::strtoul(p, &end, 10);
        return std::isdigit(static_cast<unsigned char>(*p)) && *end == '\0';
    }

    static bool lockedBySave(const std::string &path) {
        int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return errno != ENOENT; // not a file this process may judge: kept
        struct stat st {};
        bool locked =
            ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::flock(fd, LOCK_EX | LOCK_NB) != 0;
        ::close(fd);
        return locked;
    }

    std::string folder_;
    std::string prefix_;
};

// A temporary file beside the target, unnamed while it is written where the file system
// allows, and locked so that no other save takes it for a stale one.
class TemporaryFile {
public:
    TemporaryFile(const std::string &target, bool unnamed) : names_(target) {
        std::string folder = folderOf(target);
        if (unnamed)
            fd_ = ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC,
                         0666);
        if (fd_ < 0)
            createNamed();
        if (fd_ >= 0)
            (void)::flock(fd_, LOCK_EX | LOCK_NB);
    }
    ~TemporaryFile() {
        if (fd_ >= 0)
            ::close(fd_);
        if (!name_.empty())
            ::unlink(name_.c_str());
    }
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    int fd() const { return fd_; }
    // Whether the last replace failed because the unnamed file could not be given a name.
    bool unlinkable() const { return unlinkable_; }

    // Syncs the file and puts it in the target's place; false leaves the target as it was and,
    // once the object is gone, no file behind. The lock holds until the file has its place.
    bool replace(const std::string &target) {
        bool ok = ::fsync(fd_) == 0;
        if (ok && name_.empty()) {
            unlinkable_ = !linkUnnamed();
            ok = !unlinkable_;
        }
        ok = ok && ::rename(name_.c_str(), target.c_str()) == 0;
        if (ok)
            name_.clear();
        ok = ::close(fd_) == 0 && ok;
        fd_ = -1;
        return ok;
    }

private:
    void createNamed() {
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = names_.next();
            fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd_ >= 0)
                name_ = name;
            if (fd_ >= 0 || errno != EEXIST)
                return;
        }
    }

    // Gives the unnamed file a temporary name: with the capability to link any open file, or
    // else through its entry in /proc.
    bool linkUnnamed() {
        char proc[64];
        std::snprintf(proc, sizeof(proc), "/proc/self/fd/%d", fd_);
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = names_.next();
            if (::linkat(fd_, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0 ||
                ::linkat(AT_FDCWD, proc, AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
                name_ = name;
                return true;
            }
            if (errno != EEXIST)
                return false;
        }
        return false;
    }

    TemporaryNames names_;
    int fd_ = -1;
    std::string name_;
    bool unlinkable_ = false;
};

// Whether `bytes` more bytes fit on the file system of fd and under the process's file size
// limit; old is what the file holds now. Space is reserved where the file system allows, so
// that the writing cannot run out of it.
bool roomFor(int fd, uint64_t bytes, const struct stat &old) {
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        bytes > uint64_t(limit.rlim_cur))
        return false;
    if (::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, off_t(bytes)) == 0)
        return true;
    if (errno != EOPNOTSUPP && errno != ENOSYS)
        return false; // no space, over quota, or beyond the file system's largest file
    struct statvfs fs {};
    if (::fstatvfs(fd, &fs) != 0)
        return false;
    uint64_t held = uint64_t(old.st_blocks) * 512;
    uint64_t free = uint64_t(fs.f_bavail) * fs.f_frsize;
    return bytes <= held || bytes - held + 65536 <= free;
}

// Rewrites the target in place, keeping its inode, owner and links: the new bytes go over the
// old ones, then the file is cut to its new length.
int writeInPlace(const MidiFile &file, const std::vector<uint32_t> &lengths,
                 const std::string &target) {
    int fd = ::open(target.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errCannotOpen;
    uint64_t size = fileSize(lengths);
    struct stat st {};
    int rc = 0;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        rc = errCannotOpen;
    else if (!roomFor(fd, size, st))
        rc = errWrite;
    else if (!writeFile(file, lengths, fd) || ::ftruncate(fd, off_t(size)) != 0 || ::fsync(fd) != 0)
        rc = errWrite;
    if (::close(fd) != 0 && rc == 0)
        rc = errWrite;
    return rc;
}

// Writes a new file and puts it in the target's place, keeping the old file's permissions.
// An unnamed file is tried first; a named one where the unnamed one cannot be linked.
int writeReplacing(const MidiFile &file, const std::vector<uint32_t> &lengths,
                   const std::string &target, const struct stat *old, bool unnamed = true) {
    if (unnamed)
        TemporaryNames(target).removeStale();
    TemporaryFile temp(target, unnamed);
    if (temp.fd() < 0)
        return errCannotOpen;
    if (old) {
        (void)::fchmod(temp.fd(), old->st_mode & 07777);
        if (old->st_gid != ::getegid())
            (void)::fchown(temp.fd(), uid_t(-1), old->st_gid);
    }
    if (!writeFile(file, lengths, temp.fd()))
        return errWrite;
    if (temp.replace(target))
        return 0;
    return temp.unlinkable() ? writeReplacing(file, lengths, target, old, false) : errWrite;
}

} // namespace

int MidiFile::write(const char *path) const {
    if (!path || !*path)
        return errCannotOpen;
    std::string target;
    if (!resolveTarget(path, target))
        return errCannotOpen;
    struct stat old {};
    bool exists = ::lstat(target.c_str(), &old) == 0;
    if (!exists && errno != ENOENT)
        return errCannotOpen;
    // Only a regular file is replaced: never a folder, a device or a pipe. A file that may not
    // be written stays as it is, as if opened for writing.
    if (exists && (!S_ISREG(old.st_mode) || ::access(target.c_str(), W_OK) != 0))
        return errCannotOpen;

    std::vector<uint32_t> lengths;
    try {
        if (!measureTracks(*this, lengths))
            return errWrite;
        std::string folder = folderOf(target);
        bool keepInode =
            exists && (old.st_nlink > 1 || old.st_uid != ::geteuid() ||
                       ::access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) != 0);
        if (keepInode)
            return writeInPlace(*this, lengths, target);
        return writeReplacing(*this, lengths, target, exists ? &old : nullptr);
    } catch (const std::exception &) {
        return errWrite;
    }
}

} // namespace tw
