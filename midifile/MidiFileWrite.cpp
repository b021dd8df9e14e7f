// The Standard MIDI File writer. The file is built in memory and stored through a temporary
// file in the target's folder that replaces the target only when every byte reached the disk,
// so a failed save leaves the previous file as it was.
#include "midifile/MidiFile.h"
#include "midifile/VarLen.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Appends the bytes of the header and of tracks to a buffer.
class SmfEncoder {
public:
    explicit SmfEncoder(std::vector<uint8_t> &out) : out_(out) {}

    void header(const MidiFile &file) {
        uint8_t *p = room(14);
        std::memcpy(p, "MThd", 4);
        midifile::writeBigEndian32(p + 4, 6);
        p[8] = 0;
        p[9] = uint8_t(file.format & 0x0F);
        midifile::writeBigEndian16(p + 10, uint16_t(file.tracks.size()));
        midifile::writeBigEndian16(p + 12, file.timeUnit);
    }

    void track(const NoxmidiTrk &track) {
        std::size_t bound = 12; // chunk header and End of Track
        for (const MidiEvent &e : track.events)
            bound += e.bytes.size() + 10; // two variable-length numbers and a closing 0xF7
        std::size_t start = out_.size();
        uint8_t *begin = room(bound);
        uint8_t *p = begin;
        std::memcpy(p, "MTrk", 4);
        p += 8;
        uint32_t pendingTicks = 0; // delta times of empty events move to the next event
        for (const MidiEvent &e : track.events) {
            if (e.bytes.empty()) {
                pendingTicks += e.dTime;
                continue;
            }
            p = event(p, pendingTicks + e.dTime, e);
            pendingTicks = 0;
        }
        p += midifile::writeVarLen(p, pendingTicks);
        *p++ = 0xFF;
        *p++ = 0x2F;
        *p++ = 0x00;
        midifile::writeBigEndian32(begin + 4, uint32_t(p - begin - 8));
        out_.resize(start + std::size_t(p - begin));
    }

private:
    // Adds n bytes at the end and returns where they begin; a caller that uses fewer trims
    // the buffer with resize.
    uint8_t *room(std::size_t n) {
        std::size_t at = out_.size();
        if (out_.capacity() < at + n)
            out_.reserve(std::max(at + n, out_.capacity() * 2));
        out_.resize(at + n);
        return out_.data() + at;
    }

    static uint8_t *copy(uint8_t *p, const uint8_t *from, std::size_t n) {
        if (n != 0)
            std::memcpy(p, from, n);
        return p + n;
    }

    static uint8_t *event(uint8_t *p, uint32_t dTime, const MidiEvent &e) {
        p += midifile::writeVarLen(p, dTime);
        const EventBytes &b = e.bytes;
        switch (e.kind()) {
        case MidiEventKind::Midi:
            return copy(p, b.data(), b.size()); // always with its status byte
        case MidiEventKind::Meta: {
            // A meta event stored without its type byte is written as type 0.
            *p++ = 0xFF;
            *p++ = b.size() > 1 ? b[1] : 0;
            std::size_t dataSize = b.size() > 2 ? b.size() - 2 : 0;
            p += midifile::writeVarLen(p, uint32_t(dataSize));
            return copy(p, b.data() + 2, dataSize);
        }
        case MidiEventKind::Sysex:
            // Any system status is written as system exclusive: 0xF0, the count of the data
            // bytes plus the closing byte, the data, 0xF7.
            *p++ = 0xF0;
            p += midifile::writeVarLen(p, uint32_t(b.size()));
            p = copy(p, b.data() + 1, b.size() - 1);
            *p++ = 0xF7;
            return p;
        case MidiEventKind::Empty:
            break;
        }
        return p;
    }

    std::vector<uint8_t> &out_;
};

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
        std::vector<uint8_t> buffer;
        SmfEncoder encoder(buffer);
        encoder.header(*this);
        for (const NoxmidiTrk &t : tracks) {
            encoder.track(t);
            if (buffer.size() >= (1u << 20)) {
                ok = ok && writeAll(fd, buffer.data(), buffer.size());
                buffer.clear();
            }
        }
        ok = ok && writeAll(fd, buffer.data(), buffer.size());
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
