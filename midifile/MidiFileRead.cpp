// The Standard MIDI File reader: the header is checked first, then the file is parsed as it
// is loaded into memory.
#include "midifile/LargeMemory.h"
#include "midifile/MidiFile.h"
#include "midifile/VarLen.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace tw {

namespace {

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

// A regular file, loaded into memory as far as the parser asks: the header alone first, then a
// part that grows by doubling, so the memory follows what has been parsed and a file that goes
// wrong early is refused after a few reads whatever its size. The file is read as far as its
// size at opening.
class InputFile {
public:
    InputFile() = default;
    InputFile(const InputFile &) = delete;
    InputFile &operator=(const InputFile &) = delete;
    ~InputFile() {
        if (fd_ >= 0)
            ::close(fd_);
    }

    // Opens the file: errCannotOpen for anything but a regular file (folders, pipes and
    // devices are never opened for reading), errFileTooLarge above the size limit.
    int open(const char *path) {
        struct stat st {};
        if (!path || ::stat(path, &st) != 0 || !S_ISREG(st.st_mode))
            return errCannotOpen;
        // Non-blocking, so that a pipe put in the file's place cannot stall the open.
        do {
            fd_ = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        } while (fd_ < 0 && errno == EINTR);
        if (fd_ < 0 || ::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))
            return errCannotOpen;
        if (st.st_size < 0 || uint64_t(st.st_size) > maxMidiFileBytes)
            return errFileTooLarge;
        fileSize_ = std::size_t(st.st_size);
        return 0;
    }

    // Makes the first `needed` bytes available; false when the file holds fewer or the memory
    // is not there.
    bool load(uint64_t needed) {
        if (needed <= loaded_)
            return true;
        if (needed > fileSize_)
            return false;
        // The first read takes what is asked (the header); later ones at least double.
        std::size_t target = std::size_t(needed);
        if (loaded_ != 0)
            target = std::min(fileSize_, std::max({target, 2 * loaded_, firstLoad}));
        if (target > block_.size() && !block_.resize(target)) {
            outOfMemory_ = true;
            return false;
        }
        long long n = readUpTo(fd_, block_.data() + loaded_, target - loaded_);
        if (n < 0)
            return false;
        loaded_ += std::size_t(n);
        if (loaded_ < target) // the file became shorter since it was opened
            fileSize_ = loaded_;
        return needed <= loaded_;
    }

    const uint8_t *data() const { return block_.data(); }
    std::size_t loaded() const { return loaded_; }
    std::size_t size() const { return fileSize_; }
    // Whether a load failed for want of memory.
    bool outOfMemory() const { return outOfMemory_; }

private:
    static constexpr std::size_t firstLoad = std::size_t(64) << 10;

    int fd_ = -1;
    std::size_t fileSize_ = 0;
    std::size_t loaded_ = 0;
    midifile::ByteBlock block_;
    bool outOfMemory_ = false;
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

// Stores the events of a track and keeps its statistics as it goes. The event list grows with
// the events found: each step makes room for up to 16 times the events so far, but not for
// more than the track's bytes could hold at a typical 3 bytes per event. A track that declares
// more than it holds thus never gets room out of proportion to its real events, and a long
// track grows in few steps (each step touches fresh memory, which costs more than parsing).
class TrackBuilder {
public:
    explicit TrackBuilder(std::size_t trackBytes) : expected_(trackBytes / 3 + 1) {}

    void add(const RawEvent &raw) {
        std::vector<MidiEvent> &events = track_.events;
        if (events.size() == events.capacity())
            grow();
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
    void grow() {
        std::vector<MidiEvent> &events = track_.events;
        std::size_t least = events.size() + 1;
        if (least > expected_) // denser than expected (running status): keep doubling
            expected_ = 2 * events.size();
        std::size_t capacity = std::min(expected_, 16 * least + 1024);
        events.reserve(capacity);
        midifile::adviseHugePages(events.data(), capacity * sizeof(MidiEvent));
    }

    std::size_t expected_;
    NoxmidiTrk track_;
    int32_t low_ = 0;
};

// Parses a file, asking for more of its bytes as it goes. Every event may run past its
// chunk's declared end; only the end of the file is a hard limit.
class SmfParser {
public:
    explicit SmfParser(InputFile &input) : input_(input) {}

    int parse(MidiFile &file) {
        if (!available(14))
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
            if (!available(8))
                return errRead;
            if (std::memcmp(data_ + pos_, "MTrk", 4) != 0)
                return errTrackChunk;
            uint64_t end = uint64_t(pos_) + 8 + midifile::readBigEndian32(data_ + pos_ + 4);
            pos_ += 8;
            TrackBuilder builder(std::size_t(std::min<uint64_t>(end, input_.size()) - pos_));
            if (int rc = parseTrack(end, builder))
                return rc;
            file.tracks.push_back(builder.take());
        }
        return 0;
    }

private:
    // Whether n more bytes from pos_ are there, loading them when needed.
    bool available(uint64_t n) {
        if (size_ - pos_ >= n)
            return true;
        bool there = input_.load(pos_ + n);
        data_ = input_.data();
        size_ = input_.loaded();
        return there;
    }

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
        if (pos_ >= size_ && !available(1))
            return false;
        b = data_[pos_++];
        return true;
    }

    bool readVarLen(uint32_t &value) {
        std::size_t start = pos_;
        while (!midifile::readVarLen(data_, size_, pos_, value)) {
            pos_ = start; // the number runs past the loaded bytes: load more and start over
            if (!available(size_ - start + 1))
                return false;
        }
        return true;
    }

    // Reads one event; stored is false for the End of Track, which is not kept.
    int parseEvent(RawEvent &raw, bool &stored) {
        if (!readVarLen(raw.dTime))
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
            --pos_;
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
            raw.runSize = dataBytes;
        }
        if (!available(raw.runSize))
            return errRead;
        raw.run = data_ + pos_;
        // A channel message's data bytes stay below 0x80; a status byte among them means the
        // track is damaged (and the rest would be misread).
        if (raw.prefixSize == 1 || b < 0xF0) {
            for (std::size_t i = raw.prefixSize == 1 ? 0 : 1; i < raw.runSize; ++i)
                if (raw.run[i] >= 0x80) {
                    dataByteAt_ = pos_ + i;
                    return errDataByte;
                }
        }
        pos_ += raw.runSize;
        stored = true;
        return 0;
    }

    int parseMeta(RawEvent &raw, bool &stored) {
        uint8_t type;
        if (!readByte(type))
            return errRead;
        uint32_t length;
        if (!readVarLen(length))
            return errRead;
        // The declared length is checked against what the file still holds, so no room is
        // ever reserved for more bytes than there are.
        if (!available(length))
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
        if (!readVarLen(length))
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
        raw.runSize = pos_ - start - (closed ? 1 : 0);
        uint8_t last;
        if (!readByte(last))
            return errRead;
        if (last != 0xF7)
            return errSysexEnd;
        raw.run = data_ + start; // after the last read, which may have moved the bytes
        previousIsMidi_ = false;
        stored = true;
        return 0;
    }

public:
    // The byte where a failed parse went wrong: the end for data that breaks off, the byte
    // just read for a wrong one, the current byte for a chunk that is not a track.
    uint64_t failedAt(int rc) const {
        if (rc == errRead)
            return input_.size();
        if (rc == errDataByte)
            return dataByteAt_;
        if (rc == errTrackChunk || pos_ == 0)
            return pos_;
        return pos_ - 1;
    }

private:
    InputFile &input_;
    const uint8_t *data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t pos_ = 0;
    bool previousIsMidi_ = false;
    std::size_t dataByteAt_ = 0;
    uint8_t previousStatus_ = 0;
    std::size_t previousSize_ = 0;
};

} // namespace

int MidiFile::read(const char *path) {
    return read(path, nullptr);
}

int MidiFile::read(const char *path, std::optional<uint64_t> *failedAt) {
    clear();
    if (failedAt)
        failedAt->reset();
    // Running out of memory is a read that failed, like any other: nothing escapes.
    try {
        InputFile input;
        if (int rc = input.open(path))
            return rc;
        MidiFile parsed;
        SmfParser parser(input);
        if (int rc = parser.parse(parsed)) {
            if (rc == errRead && input.outOfMemory())
                return errOutOfMemory;
            if (failedAt && rc != errHeader)
                *failedAt = parser.failedAt(rc);
            return rc;
        }
        *this = std::move(parsed);
        return 0;
    } catch (const std::bad_alloc &) {
        clear();
        return errOutOfMemory;
    } catch (const std::exception &) {
        clear();
        return errRead;
    }
}

} // namespace tw
