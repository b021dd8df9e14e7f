// The Standard MIDI File reader: the whole file is loaded into memory, then parsed.
#include "midifile/MidiFile.h"
#include "midifile/VarLen.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Closes a file descriptor on every path.
class FdGuard {
public:
    explicit FdGuard(int fd) : fd_(fd) {}
    ~FdGuard() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FdGuard(const FdGuard &) = delete;
    FdGuard &operator=(const FdGuard &) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Loads the whole file; 0, errCannotOpen or errRead.
int loadFile(const char *path, std::vector<uint8_t> &content) {
    if (!path)
        return errCannotOpen;
    int fd;
    do {
        fd = ::open(path, O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return errCannotOpen;
    FdGuard guard(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode))
        return errCannotOpen;
    // A regular file is read in one block of its size; anything else grows as it delivers.
    std::size_t expected = S_ISREG(st.st_mode) && st.st_size > 0 ? std::size_t(st.st_size) : 0;
    content.resize(expected > 0 ? expected + 1 : 65536);
    std::size_t filled = 0;
    for (;;) {
        if (filled == content.size())
            content.resize(content.size() * 2);
        ssize_t n = ::read(fd, content.data() + filled, content.size() - filled);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errRead;
        }
        if (n == 0)
            break;
        filled += std::size_t(n);
    }
    content.resize(filled);
    return 0;
}

// Parses the bytes of a file held in memory. Every event may run past its chunk's declared end;
// only the end of the data is a hard limit.
class SmfParser {
public:
    SmfParser(const uint8_t *data, std::size_t size) : data_(data), size_(size) {}

    int parse(MidiFile &file) {
        if (size_ < 14)
            return errRead;
        if (std::memcmp(data_, "MThd", 4) != 0 || midifile::readBigEndian32(data_ + 4) != 6)
            return errHeader;
        file.format = midifile::readBigEndian16(data_ + 8);
        if (file.format > 2)
            return errHeader;
        unsigned trackCount = midifile::readBigEndian16(data_ + 10);
        file.timeUnit = midifile::readBigEndian16(data_ + 12);
        pos_ = 14;
        for (unsigned t = 0; t < trackCount; ++t) {
            std::vector<MidiEvent> events;
            if (int rc = parseTrack(events))
                return rc;
            file.tracks.emplace_back(std::move(events));
        }
        return 0;
    }

private:
    int parseTrack(std::vector<MidiEvent> &events) {
        if (size_ - pos_ < 8)
            return errRead;
        if (std::memcmp(data_ + pos_, "MTrk", 4) != 0)
            return errTrackChunk;
        uint64_t end = uint64_t(pos_) + 8 + midifile::readBigEndian32(data_ + pos_ + 4);
        pos_ += 8;
        MidiEvent event;
        while (pos_ < end) {
            if (int rc = parseEvent(events, event))
                return rc;
            if (!event.bytes.empty())
                events.push_back(std::move(event));
        }
        return 0;
    }

    bool readByte(uint8_t &b) {
        if (pos_ >= size_)
            return false;
        b = data_[pos_++];
        return true;
    }

    int parseEvent(const std::vector<MidiEvent> &events, MidiEvent &event) {
        event.bytes.clear();
        if (!midifile::readVarLen(data_, size_, pos_, event.dTime))
            return errRead;
        uint8_t b;
        if (!readByte(b))
            return errRead;
        if (b == 0xFF)
            return parseMeta(event);
        if (b == 0xF0)
            return parseSysex(event);
        if (b == 0xF7)
            return errSysexContinuation;
        EventBytes &bytes = event.bytes;
        uint8_t d;
        if (b >= 0x80) {
            bytes.push_back(b);
            if (!readByte(d))
                return errRead;
            bytes.push_back(d);
            uint8_t type = b & 0xF0;
            if (type != 0xC0 && type != 0xD0) {
                if (!readByte(d))
                    return errRead;
                bytes.push_back(d);
            }
            return 0;
        }
        // A data byte in status position repeats the status of the previous channel message.
        if (events.empty() || events.back().kind() != MidiEventKind::Midi)
            return errRunningStatus;
        const EventBytes &previous = events.back().bytes;
        bytes.push_back(previous[0]);
        bytes.push_back(b);
        if (previous.size() == 3) {
            if (!readByte(d))
                return errRead;
            bytes.push_back(d);
        }
        return 0;
    }

    int parseMeta(MidiEvent &event) {
        uint8_t type;
        if (!readByte(type))
            return errRead;
        uint32_t length;
        if (!midifile::readVarLen(data_, size_, pos_, length))
            return errRead;
        // The declared length is checked against what the file still holds before any room
        // is reserved for it.
        if (length > size_ - pos_)
            return errRead;
        if (length == 0 && type == 0x2F) { // End of Track: not kept, its delta time is lost
            event.dTime = 0;
            return 0;
        }
        event.bytes.reserve(std::size_t(length) + 2);
        event.bytes.push_back(0xFF);
        event.bytes.push_back(type);
        event.bytes.append(data_ + pos_, length);
        pos_ += length;
        return 0;
    }

    int parseSysex(MidiEvent &event) {
        uint32_t length;
        if (!midifile::readVarLen(data_, size_, pos_, length))
            return errRead;
        event.bytes.push_back(0xF0);
        // At most length - 1 data bytes (unsigned: a length of 0 sets no limit); an early 0xF7
        // ends the data, and the byte after the loop must be 0xF7 as well.
        uint32_t limit = length - 1;
        std::size_t start = pos_;
        for (uint32_t i = 0; i < limit; ++i) {
            uint8_t c;
            if (!readByte(c))
                return errRead;
            if (c == 0xF7)
                break;
            if (c & 0x80)
                return errSysexData;
        }
        std::size_t stop = pos_;
        if (stop > start && data_[stop - 1] == 0xF7)
            --stop;
        event.bytes.append(data_ + start, stop - start);
        uint8_t last;
        if (!readByte(last))
            return errRead;
        if (last != 0xF7)
            return errSysexEnd;
        return 0;
    }

    const uint8_t *data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

} // namespace

int MidiFile::read(const char *path) {
    clear();
    std::vector<uint8_t> content;
    if (int rc = loadFile(path, content))
        return rc;
    MidiFile parsed;
    SmfParser parser(content.data(), content.size());
    if (int rc = parser.parse(parsed))
        return rc;
    *this = std::move(parsed);
    return 0;
}
