// The Standard MIDI File reader: the whole file is loaded into memory, then parsed.
#include "midifile/LargeMemory.h"
#include "midifile/MidiFile.h"
#include "midifile/VarLen.h"

#include <algorithm>
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

private:
    int fd_;
};

// Reads up to size bytes; the count read, or -1 on an error.
long long readUpTo(int fd, uint8_t *into, std::size_t size) {
    std::size_t filled = 0;
    while (filled < size) {
        ssize_t n = ::read(fd, into + filled, size - filled);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        filled += std::size_t(n);
    }
    return (long long)filled;
}

// The whole content of a file. A regular file is read as far as its size at opening; anything
// else (a pipe, a device) until it ends.
class FileContent {
public:
    int load(const char *path) {
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
        if (S_ISREG(st.st_mode)) {
            block_ = std::make_unique<midifile::ByteBlock>(std::size_t(st.st_size));
            if (!block_->valid())
                return errRead;
            long long n = readUpTo(fd, block_->data(), block_->size());
            if (n < 0)
                return errRead;
            data_ = block_->data();
            size_ = std::size_t(n);
            return 0;
        }
        for (;;) {
            std::size_t at = stream_.size();
            stream_.resize(at + 65536);
            long long n = readUpTo(fd, stream_.data() + at, 65536);
            if (n < 0)
                return errRead;
            stream_.resize(at + std::size_t(n));
            if (n < 65536)
                break;
        }
        data_ = stream_.data();
        size_ = stream_.size();
        return 0;
    }
    const uint8_t *data() const { return data_; }
    std::size_t size() const { return size_; }

private:
    std::unique_ptr<midifile::ByteBlock> block_;
    std::vector<uint8_t> stream_;
    const uint8_t *data_ = nullptr;
    std::size_t size_ = 0;
};

// One event as found in the file: up to two bytes that the file does not hold in front of the
// event's data (a repeated status, a meta or sysex lead-in), then a run of bytes of the file.
struct RawEvent {
    uint32_t dTime;
    uint8_t prefix[2];
    uint8_t prefixSize;
    const uint8_t *run;
    std::size_t runSize;
};

// Stores the events of a track and keeps its statistics as it goes.
class TrackBuilder {
public:
    // Room for the events that the track's bytes can hold at a typical 3 bytes per event;
    // denser tracks (running status) let the list grow.
    explicit TrackBuilder(std::size_t trackBytes) {
        std::size_t expected = trackBytes / 3 + 1;
        track_.events.reserve(expected);
        midifile::adviseHugePages(track_.events.data(), expected * sizeof(MidiEvent));
    }

    void add(const RawEvent &raw) {
        std::vector<MidiEvent> &events = track_.events;
        events.emplace_back();
        MidiEvent &e = events.back();
        e.dTime = raw.dTime;
        e.bytes.reserve(raw.prefixSize + raw.runSize);
        e.bytes.append(raw.prefix, raw.prefixSize);
        e.bytes.append(raw.run, raw.runSize);
        track_.totalTicks += raw.dTime;
        if (e.isToneOn()) {
            int32_t note = e.bytes[1];
            if (track_.toneCount == 0 || note < low_)
                low_ = note;
            if (note > track_.highNote)
                track_.highNote = note;
            ++track_.toneCount;
        }
    }

    // The finished track, with the statistics that recount would give.
    NoxmidiTrk take() {
        track_.lowNote = track_.toneCount == 0 ? 0 : low_;
        return std::move(track_);
    }

private:
    NoxmidiTrk track_;
    int32_t low_ = 0;
};

// Parses the bytes of a file held in memory. Every event may run past its chunk's declared
// end; only the end of the data is a hard limit.
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
            if (size_ - pos_ < 8)
                return errRead;
            if (std::memcmp(data_ + pos_, "MTrk", 4) != 0)
                return errTrackChunk;
            uint64_t end = uint64_t(pos_) + 8 + midifile::readBigEndian32(data_ + pos_ + 4);
            pos_ += 8;
            TrackBuilder builder(std::size_t(std::min<uint64_t>(end, size_) - pos_));
            if (int rc = parseTrack(end, builder))
                return rc;
            file.tracks.push_back(builder.take());
        }
        return 0;
    }

private:
    int parseTrack(uint64_t end, TrackBuilder &builder) {
        // Running status repeats the status of the last stored event when that is a channel
        // message; it never passes from one track to the next.
        previousIsMidi_ = false;
        RawEvent raw;
        while (pos_ < end) {
            bool stored = false;
            if (int rc = parseEvent(raw, stored))
                return rc;
            if (stored)
                builder.add(raw);
        }
        return 0;
    }

    bool readByte(uint8_t &b) {
        if (pos_ >= size_)
            return false;
        b = data_[pos_++];
        return true;
    }

    // Reads one event; stored is false for the End of Track, which is not kept.
    int parseEvent(RawEvent &raw, bool &stored) {
        if (!midifile::readVarLen(data_, size_, pos_, raw.dTime))
            return errRead;
        uint8_t b;
        if (!readByte(b))
            return errRead;
        if (b == 0xFF)
            return parseMeta(raw, stored);
        if (b == 0xF0)
            return parseSysex(raw, stored);
        if (b == 0xF7)
            return errSysexContinuation;
        std::size_t dataBytes;
        if (b >= 0x80) { // status byte: the run begins with it
            uint8_t type = b & 0xF0;
            dataBytes = type == 0xC0 || type == 0xD0 ? 1 : 2;
            raw.prefixSize = 0;
            raw.run = data_ + pos_ - 1;
            raw.runSize = 1 + dataBytes;
            previousIsMidi_ = b < 0xF0;
            previousStatus_ = b;
            previousSize_ = 1 + dataBytes;
        } else { // a data byte in status position: running status
            if (!previousIsMidi_)
                return errRunningStatus;
            --pos_;
            dataBytes = previousSize_ - 1;
            raw.prefix[0] = previousStatus_;
            raw.prefixSize = 1;
            raw.run = data_ + pos_;
            raw.runSize = dataBytes;
        }
        if (size_ - pos_ < dataBytes)
            return errRead;
        pos_ += dataBytes;
        stored = true;
        return 0;
    }

    int parseMeta(RawEvent &raw, bool &stored) {
        uint8_t type;
        if (!readByte(type))
            return errRead;
        uint32_t length;
        if (!midifile::readVarLen(data_, size_, pos_, length))
            return errRead;
        // The declared length is checked against what the file still holds, so no room is
        // ever reserved for more bytes than there are.
        if (length > size_ - pos_)
            return errRead;
        if (length == 0 && type == 0x2F) { // End of Track: dropped with its delta time
            stored = false;
            return 0;
        }
        raw.prefix[0] = 0xFF;
        raw.prefix[1] = type;
        raw.prefixSize = 2;
        raw.run = data_ + pos_;
        raw.runSize = length;
        pos_ += length;
        previousIsMidi_ = false;
        stored = true;
        return 0;
    }

    int parseSysex(RawEvent &raw, bool &stored) {
        uint32_t length;
        if (!midifile::readVarLen(data_, size_, pos_, length))
            return errRead;
        // At most length - 1 data bytes (unsigned: a length of 0 sets no limit); an early 0xF7
        // ends the data, and the byte after the loop must be 0xF7 as well.
        uint32_t limit = length - 1;
        std::size_t start = pos_;
        bool closed = false;
        for (uint32_t i = 0; i < limit; ++i) {
            uint8_t c;
            if (!readByte(c))
                return errRead;
            if (c == 0xF7) {
                closed = true;
                break;
            }
            if (c & 0x80)
                return errSysexData;
        }
        raw.prefix[0] = 0xF0;
        raw.prefixSize = 1;
        raw.run = data_ + start;
        raw.runSize = pos_ - start - (closed ? 1 : 0);
        uint8_t last;
        if (!readByte(last))
            return errRead;
        if (last != 0xF7)
            return errSysexEnd;
        previousIsMidi_ = false;
        stored = true;
        return 0;
    }

public:
    // The byte where a failed parse went wrong: the end for data that breaks off, the byte
    // just read for a wrong one, the current byte for a chunk that is not a track.
    long long failedAt(int rc) const {
        if (rc == errRead)
            return (long long)size_;
        if (rc == errTrackChunk || pos_ == 0)
            return (long long)pos_;
        return (long long)pos_ - 1;
    }

private:
    const uint8_t *data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    bool previousIsMidi_ = false;
    uint8_t previousStatus_ = 0;
    std::size_t previousSize_ = 0;
};

} // namespace

int MidiFile::read(const char *path) {
    return read(path, nullptr);
}

int MidiFile::read(const char *path, long long *failedAt) {
    clear();
    if (failedAt)
        *failedAt = -1;
    FileContent content;
    if (int rc = content.load(path))
        return rc;
    MidiFile parsed;
    SmfParser parser(content.data(), content.size());
    if (int rc = parser.parse(parsed)) {
        if (failedAt && rc != errHeader)
            *failedAt = parser.failedAt(rc);
        return rc;
    }
    *this = std::move(parsed);
    return 0;
}
