// The Standard MIDI File reader: the header is checked first, then the file is parsed as it
// is loaded into memory.
#include "midifile/CheckedMidiFile.h"
#include "midifile/LargeMemory.h"
#include "midifile/MidiFile.h"
#include "midifile/VarLen.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <new>
#include <optional>
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
    // Hands the first `bytes` loaded bytes over (bytes <= loaded()); the file is read no more.
    midifile::ByteBlock takeBytes(std::size_t bytes) {
        block_.resize(bytes); // a smaller block always fits where the larger one was
        loaded_ = 0;
        return std::move(block_);
    }

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

    // A note-on with a velocity above 0 (MidiEvent::isToneOn of the stored event).
    bool isToneOn() const {
        if (prefixSize + runSize != 3 || prefixSize == 2)
            return false;
        const uint8_t status = prefixSize == 1 ? prefix[0] : run[0];
        return (status & 0xF0) == 0x90 && run[runSize - 1] != 0;
    }
    uint8_t noteByte() const { return run[prefixSize == 1 ? 0 : 1]; }
};

// The event as the reader stores it: the message's bytes after the delta time.
void storeEvent(const RawEvent &raw, MidiEvent &e) {
    e.dTime = raw.dTime;
    e.bytes.clear();
    e.bytes.reserve(raw.prefixSize + raw.runSize);
    e.bytes.append(raw.prefix, raw.prefixSize);
    e.bytes.append(raw.run, raw.runSize);
}

// The statistics of a track's tones as the reader counts them.
struct ToneCounter {
    uint64_t totalTicks = 0;
    int32_t toneCount = 0;
    int32_t lowNote = 0;
    int32_t highNote = 0;

    void add(const RawEvent &raw) {
        totalTicks += raw.dTime;
        if (!raw.isToneOn())
            return;
        const int32_t note = raw.noteByte();
        if (toneCount == 0 || note < lowNote)
            lowNote = note;
        if (note > highNote)
            highNote = note;
        ++toneCount;
    }
    // Into a NoxmidiTrk or TrackFacts.
    template <class Track> void copyTo(Track &track) const {
        track.totalTicks = totalTicks;
        track.toneCount = toneCount;
        track.lowNote = lowNote;
        track.highNote = highNote;
    }
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
        storeEvent(raw, events.back());
        tones_.add(raw);
    }

    // The finished track, with the statistics that recount would give.
    NoxmidiTrk take() {
        tones_.copyTo(track_);
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
    ToneCounter tones_;
};

// Keeps every track's events (MidiFile::read).
class StoringSink {
public:
    explicit StoringSink(MidiFile &file) : file_(file) {}
    void beginTrack(std::size_t, uint64_t, std::size_t bytes) { builder_.emplace(bytes); }
    void add(const RawEvent &raw) { builder_->add(raw); }
    void endTrack() {
        file_.tracks.push_back(builder_->take());
        builder_.reset();
    }

private:
    MidiFile &file_;
    std::optional<TrackBuilder> builder_;
};

// Keeps only where each track lies, its statistics and its tempo events
// (CheckedMidiFile::read).
class CheckingSink {
public:
    CheckingSink(std::vector<TrackFacts> &tracks, std::vector<TempoChange> &tempos)
        : tracks_(tracks), tempos_(tempos) {}
    void beginTrack(std::size_t start, uint64_t end, std::size_t) {
        facts_ = TrackFacts();
        facts_.start = start;
        facts_.end = end;
        tones_ = ToneCounter();
    }
    void add(const RawEvent &raw) {
        ++facts_.events;
        tones_.add(raw);
        if (raw.prefixSize == 2 && raw.prefix[1] == 0x51 && raw.runSize == 3)
            tempos_.push_back({tones_.totalTicks, uint32_t(raw.run[0]) << 16 |
                                                      uint32_t(raw.run[1]) << 8 | raw.run[2]});
    }
    void endTrack() {
        tones_.copyTo(facts_);
        tracks_.push_back(facts_);
    }

private:
    std::vector<TrackFacts> &tracks_;
    std::vector<TempoChange> &tempos_;
    TrackFacts facts_;
    ToneCounter tones_;
};

// Parses a file, asking for more of its bytes as it goes. Every event may run past its
// chunk's declared end; only the end of the file is a hard limit.
class SmfParser {
public:
    explicit SmfParser(InputFile &input) : input_(&input) {}
    // Over bytes that are all there, from the start of a track.
    SmfParser(const uint8_t *data, std::size_t size, std::size_t pos)
        : data_(data), size_(size), pos_(pos) {}

    template <class Sink> int parse(uint16_t &format, uint16_t &timeUnit, Sink &sink) {
        if (!available(14))
            return errRead;
        if (std::memcmp(data_, "MThd", 4) != 0 || midifile::readBigEndian32(data_ + 4) != 6)
            return errHeader;
        format = midifile::readBigEndian16(data_ + 8);
        if (format > 2)
            return errHeader;
        unsigned trackCount = midifile::readBigEndian16(data_ + 10);
        timeUnit = midifile::readBigEndian16(data_ + 12);
        pos_ = 14;
        for (unsigned t = 0; t < trackCount; ++t) {
            if (!available(8))
                return errRead;
            if (std::memcmp(data_ + pos_, "MTrk", 4) != 0)
                return errTrackChunk;
            uint64_t end = uint64_t(pos_) + 8 + midifile::readBigEndian32(data_ + pos_ + 4);
            pos_ += 8;
            sink.beginTrack(pos_, end, std::size_t(std::min<uint64_t>(end, input_->size()) - pos_));
            if (int rc = parseTrack(end, sink))
                return rc;
            sink.endTrack();
        }
        return 0;
    }

    // The next stored event of the track that ends at `end` into raw; false after its last.
    // Only for bytes already checked by parse.
    bool next(uint64_t end, RawEvent &raw) {
        while (pos_ < end) {
            bool stored = false;
            if (parseEvent(raw, stored) != 0)
                return false;
            if (stored)
                return true;
        }
        return false;
    }

    // The running state, for a cursor that stops between events and goes on later.
    void save(std::size_t &pos, bool &previousIsMidi, uint8_t &previousStatus,
              std::size_t &previousSize) const {
        pos = pos_;
        previousIsMidi = previousIsMidi_;
        previousStatus = previousStatus_;
        previousSize = previousSize_;
    }
    void restore(bool previousIsMidi, uint8_t previousStatus, std::size_t previousSize) {
        previousIsMidi_ = previousIsMidi;
        previousStatus_ = previousStatus;
        previousSize_ = previousSize;
    }

    std::size_t position() const { return pos_; }

private:
    // Whether n more bytes from pos_ are there, loading them when needed.
    bool available(uint64_t n) {
        if (size_ - pos_ >= n)
            return true;
        if (!input_)
            return false;
        bool there = input_->load(pos_ + n);
        data_ = input_->data();
        size_ = input_->loaded();
        return there;
    }

    template <class Sink> int parseTrack(uint64_t end, Sink &sink) {
        // Running status repeats the status of the last stored event when that is a channel
        // message; it never passes from one track to the next.
        previousIsMidi_ = false;
        RawEvent raw;
        while (pos_ < end) {
            bool stored = false;
            if (int rc = parseEvent(raw, stored))
                return rc;
            if (stored)
                sink.add(raw);
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
            return input_->size();
        if (rc == errDataByte)
            return dataByteAt_;
        if (rc == errTrackChunk || pos_ == 0)
            return pos_;
        return pos_ - 1;
    }

private:
    InputFile *input_ = nullptr;
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

namespace {

// Reads and parses a file into a fresh `Target` through the sink that makeSink(target) gives,
// and moves it into `into` when the whole file is good; otherwise `into` is left cleared. The
// codes and the failure byte are those of MidiFile::read. done(target, input, parser) runs
// after a parse that succeeded.
template <class Target, class MakeSink, class Done>
int readInto(Target &into, const char *path, std::optional<uint64_t> *failedAt, MakeSink &&makeSink,
             Done &&done) {
    into.clear();
    if (failedAt)
        failedAt->reset();
    // Running out of memory is a read that failed, like any other: nothing escapes.
    try {
        Target target;
        auto sink = makeSink(target);
        InputFile input;
        if (int rc = input.open(path))
            return rc;
        SmfParser parser(input);
        if (int rc = parser.parse(target.format, target.timeUnit, sink)) {
            if (rc == errRead && input.outOfMemory())
                return errOutOfMemory;
            if (failedAt && rc != errHeader)
                *failedAt = parser.failedAt(rc);
            return rc;
        }
        done(target, input, parser);
        into = std::move(target);
        return 0;
    } catch (const std::bad_alloc &) {
        into.clear();
        return errOutOfMemory;
    } catch (const std::exception &) {
        into.clear();
        return errRead;
    }
}

} // namespace

int MidiFile::read(const char *path, std::optional<uint64_t> *failedAt) {
    return readInto(
        *this, path, failedAt, [](MidiFile &target) { return StoringSink(target); },
        [](MidiFile &, InputFile &, const SmfParser &) {});
}

int CheckedMidiFile::read(const char *path, std::optional<uint64_t> *failedAt) {
    return readInto(
        *this, path, failedAt,
        [](CheckedMidiFile &target) { return CheckingSink(target.tracks_, target.tempos_); },
        [](CheckedMidiFile &target, InputFile &input, const SmfParser &parser) {
            // Bytes after the last track are never needed.
            target.bytes_ = input.takeBytes(parser.position());
        });
}

void CheckedMidiFile::clear() {
    format = 0;
    timeUnit = 240;
    bytes_ = midifile::ByteBlock();
    tracks_.clear();
    tracks_.shrink_to_fit();
    tempos_.clear();
    tempos_.shrink_to_fit();
    released_ = 0;
}

MidiEventCursor CheckedMidiFile::events(std::size_t track) const {
    MidiEventCursor cursor;
    cursor.data_ = bytes_.data();
    cursor.size_ = bytes_.size();
    cursor.pos_ = tracks_[track].start;
    cursor.end_ = tracks_[track].end;
    return cursor;
}

NoxmidiTrk CheckedMidiFile::track(std::size_t track) const {
    NoxmidiTrk out;
    const TrackFacts &facts = tracks_[track];
    out.events.reserve(facts.events);
    forEachEvent(track, [&](const MidiEvent &e) { out.events.push_back(e); });
    out.totalTicks = facts.totalTicks;
    out.toneCount = facts.toneCount;
    out.lowNote = facts.lowNote;
    out.highNote = facts.highNote;
    return out;
}

std::size_t MidiEventCursor::next(MidiEvent *into, std::size_t most) {
    SmfParser parser(data_, size_, pos_);
    parser.restore(previousIsMidi_, previousStatus_, previousSize_);
    std::size_t n = 0;
    RawEvent raw;
    while (n < most && parser.next(end_, raw))
        storeEvent(raw, into[n++]);
    parser.save(pos_, previousIsMidi_, previousStatus_, previousSize_);
    return n;
}

} // namespace tw
