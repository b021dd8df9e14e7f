// The Standard MIDI File writer. The file is encoded through a small buffer into a temporary
// file in the target's folder that replaces the target only when every byte reached the disk,
// so a failed save leaves the previous file as it was.
#include "midifile/MidiFile.h"
#include "midifile/VarLen.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

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

// Encodes the header and the events of tracks into a sink (anything with put(bytes, count)).
template <class Sink> class SmfEncoder {
public:
    explicit SmfEncoder(Sink &sink) : sink_(sink) {}

    void header(const MidiFile &file) {
        uint8_t h[14] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, uint8_t(file.format & 0x0F)};
        midifile::writeBigEndian16(h + 10, uint16_t(file.tracks.size()));
        midifile::writeBigEndian16(h + 12, file.timeUnit);
        sink_.put(h, sizeof(h));
    }

    // The events of a track and an End of Track of its own. The delta time of an empty event
    // (which a track should not hold) passes on to the next event.
    void events(const NoxmidiTrk &track) {
        uint32_t pendingTicks = 0;
        for (const MidiEvent &e : track.events) {
            if (e.bytes.empty()) {
                pendingTicks += e.dTime;
                continue;
            }
            event(pendingTicks + e.dTime, e);
            pendingTicks = 0;
        }
        uint8_t end[7];
        std::size_t n = midifile::writeVarLen(end, pendingTicks);
        end[n] = 0xFF;
        end[n + 1] = 0x2F;
        end[n + 2] = 0x00;
        sink_.put(end, n + 3);
    }

private:
    void event(uint32_t dTime, const MidiEvent &e) {
        const EventBytes &b = e.bytes;
        uint8_t head[16];
        std::size_t n = midifile::writeVarLen(head, dTime);
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
            n += midifile::writeVarLen(head + n, uint32_t(dataSize));
            sink_.put(head, n);
            sink_.put(b.data() + 2, dataSize);
            break;
        }
        case MidiEventKind::Sysex: {
            // Any system status is written as system exclusive: 0xF0, the count of the data
            // bytes plus the closing byte, the data, 0xF7.
            static const uint8_t close = 0xF7;
            head[n++] = 0xF0;
            n += midifile::writeVarLen(head + n, uint32_t(b.size()));
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
};

// The whole file: the header, then each track chunk with its length counted beforehand.
void encodeFile(const MidiFile &file, FileSink &sink) {
    SmfEncoder<FileSink> encoder(sink);
    encoder.header(file);
    for (const NoxmidiTrk &track : file.tracks) {
        ByteCounter counter;
        SmfEncoder<ByteCounter>(counter).events(track);
        uint8_t chunk[8] = {'M', 'T', 'r', 'k'};
        midifile::writeBigEndian32(chunk + 4, uint32_t(counter.count()));
        sink.put(chunk, sizeof(chunk));
        encoder.events(track);
    }
}

// The file a save replaces: a symbolic link is followed so that the link stays.
std::string resolveTarget(const char *path) {
    struct stat st {};
    if (::lstat(path, &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char *real = ::realpath(path, nullptr)) {
            std::string resolved(real);
            std::free(real);
            return resolved;
        }
    }
    return path;
}

// Creates a new temporary file beside target; -1 when the folder does not take one.
int createTemporary(const std::string &target, std::string &tempPath) {
    static std::atomic<unsigned> counter{0};
    std::size_t slash = target.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[48];
        std::snprintf(suffix, sizeof(suffix), ".tmp%ld-%u", long(::getpid()), counter++);
        tempPath = folder + "." + base + suffix;
        int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

} // namespace

int MidiFile::write(const char *path) const {
    if (!path || !*path)
        return errCannotOpen;
    std::string target = resolveTarget(path);
    // A file that exists but may not be written stays as it is, as if opened for writing.
    if (::access(target.c_str(), F_OK) == 0 && ::access(target.c_str(), W_OK) != 0)
        return errCannotOpen;
    std::string tempPath;
    int fd = createTemporary(target, tempPath);
    if (fd < 0)
        return errCannotOpen;

    // A replaced file keeps its permissions.
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode))
        (void)::fchmod(fd, old.st_mode & 07777);

    bool ok = true;
    try {
        FileSink sink(fd);
        encodeFile(*this, sink);
        ok = sink.flush();
    } catch (const std::exception &) {
        ok = false;
    }
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(tempPath.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(tempPath.c_str());
        return errWrite;
    }
    return 0;
}
