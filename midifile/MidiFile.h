// MIDI events, tracks and Standard MIDI Files in memory, with the reader and the writer.
#pragma once

#include "safefile/SafeFile.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <utility>
#include <vector>

namespace tw {

// Error codes of the reader and the writer; 0 means success.
constexpr int errCannotOpen = -2499;      // the file cannot be opened, or is not a regular file
constexpr int errRead = -2498;            // the file ends before a needed byte or a read failed
constexpr int errHeader = -2497;          // no "MThd", header length not 6, or format above 2
constexpr int errTrackChunk = -2496;      // a chunk read as a track is not "MTrk"
constexpr int errSysexEnd = -2495;        // a system exclusive event does not end with 0xF7
constexpr int errRunningStatus = -2494;   // a data byte where no running status applies
constexpr int errSysexData = -2493;       // a byte with its top bit set inside sysex data
constexpr int errWrite = -2492;           // a write failed or the data does not fit the format
constexpr int errSysexContinuation = -99; // an event begins with 0xF7
constexpr int errFileTooLarge = -2491;    // the file is larger than maxMidiFileBytes
constexpr int errOutOfMemory = -2490;     // the file does not fit into memory
constexpr int errDataByte = -2489;        // a byte of 0x80 or more where a channel message's
                                          // data byte belongs

// The largest file the reader takes, in bytes.
constexpr uint64_t maxMidiFileBytes = uint64_t(1) << 30;

// The bytes of one message. Behaves like a small std::vector<uint8_t>; short messages
// (every channel message and most meta events) are kept inside the object without a heap block.
class EventBytes {
public:
    using value_type = uint8_t;
    using iterator = uint8_t *;
    using const_iterator = const uint8_t *;

    EventBytes() = default;
    EventBytes(std::initializer_list<uint8_t> init);
    EventBytes(const uint8_t *first, std::size_t count);
    EventBytes(const EventBytes &other);
    // Inline bytes or the heap address: either way the store moves over as it is. Defined here
    // so that a growing event list moves its events at the cost of a copy.
    EventBytes(EventBytes &&other) noexcept : sizeAndFlag_(other.sizeAndFlag_) {
        std::memcpy(store_, other.store_, sizeof(store_));
        other.sizeAndFlag_ = 0;
    }
    EventBytes &operator=(const EventBytes &other);
    EventBytes &operator=(EventBytes &&other) noexcept;
    ~EventBytes() {
        if (!isInline())
            releaseHeap();
    }

    std::size_t size() const { return sizeAndFlag_ & sizeMask; }
    bool empty() const { return size() == 0; }
    uint8_t *data() { return isInline() ? store_ : heapBlock() + heapHeader; }
    const uint8_t *data() const { return isInline() ? store_ : heapBlock() + heapHeader; }
    uint8_t &operator[](std::size_t i) { return data()[i]; }
    const uint8_t &operator[](std::size_t i) const { return data()[i]; }
    iterator begin() { return data(); }
    iterator end() { return data() + size(); }
    const_iterator begin() const { return data(); }
    const_iterator end() const { return data() + size(); }
    uint8_t front() const { return data()[0]; }
    uint8_t back() const { return data()[size() - 1]; }

    void push_back(uint8_t b) {
        std::size_t n = size();
        if (n == capacity())
            grow(n + 1);
        data()[n] = b;
        ++sizeAndFlag_;
    }
    void append(const uint8_t *first, std::size_t count) {
        if (isInline() && sizeAndFlag_ + count <= sizeof(store_)) { // the common short message
            uint8_t *to = store_ + sizeAndFlag_;
            switch (count) { // byte by byte: cheaper than a call for so few
            case 8:
                to[7] = first[7];
                [[fallthrough]];
            case 7:
                to[6] = first[6];
                [[fallthrough]];
            case 6:
                to[5] = first[5];
                [[fallthrough]];
            case 5:
                to[4] = first[4];
                [[fallthrough]];
            case 4:
                to[3] = first[3];
                [[fallthrough]];
            case 3:
                to[2] = first[2];
                [[fallthrough]];
            case 2:
                to[1] = first[1];
                [[fallthrough]];
            case 1:
                to[0] = first[0];
                [[fallthrough]];
            default:
                break;
            }
            sizeAndFlag_ += uint32_t(count);
        } else {
            appendSlow(first, count);
        }
    }
    void reserve(std::size_t capacity) {
        if (capacity > this->capacity())
            grow(capacity);
    }
    void resize(std::size_t count, uint8_t value = 0);
    void clear() { sizeAndFlag_ &= heapFlag; }
    std::size_t capacity() const { return isInline() ? sizeof(store_) : heapCapacity(); }

    std::vector<uint8_t> toVector() const { return std::vector<uint8_t>(begin(), end()); }

    friend bool operator==(const EventBytes &a, const EventBytes &b);
    friend bool operator!=(const EventBytes &a, const EventBytes &b) { return !(a == b); }

private:
    // Up to 8 bytes live in store_. Longer messages live in a heap block that begins with its
    // capacity (heapHeader bytes) and whose address store_ then holds; heapFlag in
    // sizeAndFlag_ tells which. This keeps a MidiEvent at 16 bytes.
    static constexpr uint32_t heapFlag = 0x80000000u;
    static constexpr uint32_t sizeMask = 0x7FFFFFFFu;
    static constexpr std::size_t heapHeader = 8;

    bool isInline() const { return (sizeAndFlag_ & heapFlag) == 0; }
    uint8_t *heapBlock() const {
        uint8_t *block;
        std::memcpy(&block, store_, sizeof(block));
        return block;
    }
    std::size_t heapCapacity() const {
        std::size_t capacity;
        std::memcpy(&capacity, heapBlock(), sizeof(capacity));
        return capacity;
    }
    void grow(std::size_t needed);
    void appendSlow(const uint8_t *first, std::size_t count);
    void releaseHeap();

    uint32_t sizeAndFlag_ = 0;
    uint8_t store_[8] = {};
};

enum class MidiEventKind { Empty = 0, Midi = 1, Sysex = 2, Meta = 3 };

// One event of a track: the delta time since the previous event and the complete message
// (status byte first, never running status; sysex without its closing 0xF7; meta without length).
struct MidiEvent {
    uint32_t dTime = 0;
    EventBytes bytes;

    MidiEvent() = default;
    MidiEvent(uint32_t dt, std::initializer_list<uint8_t> b) : dTime(dt), bytes(b) {}
    MidiEvent(uint32_t dt, EventBytes b) : dTime(dt), bytes(std::move(b)) {}

    // Empty without bytes, Midi below 0xF0, Meta for 0xFF, Sysex for the other system statuses.
    MidiEventKind kind() const {
        if (bytes.empty())
            return MidiEventKind::Empty;
        uint8_t status = bytes[0];
        if (status < 0xF0)
            return MidiEventKind::Midi;
        return status == 0xFF ? MidiEventKind::Meta : MidiEventKind::Sysex;
    }
    // A note-on with a velocity above 0.
    bool isToneOn() const {
        return bytes.size() == 3 && (bytes[0] & 0xF0) == 0x90 && bytes[2] != 0;
    }
    // A note-off, or a note-on with velocity 0.
    bool isToneOff() const {
        if (bytes.size() != 3)
            return false;
        uint8_t type = bytes[0] & 0xF0;
        return type == 0x80 || (type == 0x90 && bytes[2] == 0);
    }

    friend bool operator==(const MidiEvent &a, const MidiEvent &b) {
        return a.dTime == b.dTime && a.bytes == b.bytes;
    }
    friend bool operator!=(const MidiEvent &a, const MidiEvent &b) { return !(a == b); }
};

// One track: events in playing order with statistics about its tones.
class NoxmidiTrk {
public:
    uint64_t totalTicks = 0;
    int32_t toneCount = 0;
    int32_t lowNote = 0;
    int32_t highNote = 0;
    std::vector<MidiEvent> events;

    NoxmidiTrk() = default;
    explicit NoxmidiTrk(const std::vector<MidiEvent> &list);
    explicit NoxmidiTrk(std::vector<MidiEvent> &&list);

    void setEvents(const std::vector<MidiEvent> &list);
    void setEvents(std::vector<MidiEvent> &&list);
    void clear();
    void recount();
    void appendToneOn(uint32_t dTime, unsigned note, unsigned velocity, unsigned channel);
    void appendToneOff(uint32_t dTime, unsigned note, unsigned velocity, unsigned channel);
    void appendProgram(unsigned program, unsigned channel);
    void insertEvents(const std::vector<MidiEvent> &list, std::size_t index);
    void appendEvents(const std::vector<MidiEvent> &list);
};

// A Standard MIDI File in memory.
class MidiFile {
public:
    uint16_t format = 0;
    uint16_t timeUnit = 240;
    std::vector<NoxmidiTrk> tracks;

    void clear();
    // Loads a regular file of at most maxMidiFileBytes; 0 or an error code, never an
    // exception. On an error the object is left cleared.
    int read(const char *path);
    // As read; on an error in the data *failedAt (when given) receives the offset of the byte
    // where reading failed (the file's size when it ends too early), otherwise nothing.
    int read(const char *path, std::optional<uint64_t> *failedAt);
    // Stores the file through the safe writer (safefile/SafeFile.h: symbolic links written
    // through, only regular files, the program's inputs refused, atomic or in place with the
    // old content kept); 0, errCannotOpen or errWrite. The object is not changed.
    // errCannotOpen: the file is refused or cannot be made (a folder, device or pipe, an
    // input, a file that may not be written, a missing folder); errWrite: a write failed or
    // the data does not fit the file format (a delta time of 2^28 ticks or more, more than
    // 65535 tracks). *status (when given) gets the writer's code and a message in words.
    int write(const char *path) const;
    int write(const char *path, SafeFileStatus *status,
              const SafeFileOptions &options = SafeFileOptions()) const;
    // Seconds per tick at bpm beats per minute; 0 for an SMPTE or zero division.
    double secondsPerTick(unsigned bpm) const;
};

// The time unit under which one tick lasts `seconds` at bpm beats per minute (0 if none fits).
uint16_t timeUnitForTempo(double seconds, unsigned bpm);

// General MIDI program name for 0..127; an empty string for any other number. Never null.
const char *instrumentName(uint32_t program);

} // namespace tw
