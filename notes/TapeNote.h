// One note of the melody. Plain data, shared by the tape, the application and the clipboard.
#pragma once

#include <cstdint>

namespace tw {

// The last tick a note may reach: starts and ends are 32-bit tick counts.
constexpr uint32_t lastTick = 0xFFFFFFFFu;
// The range of ticks per frame (a frame is a second of the tape at 100 %).
constexpr unsigned minTicksPerFrame = 2;
constexpr unsigned maxTicksPerFrame = 200;

// Twelve bytes without padding: a melody of a million notes holds 12 MB, and notes compare as
// bytes. The small fields are 8 bits wide, so a value must be checked against its range before
// it is stored in one (a larger value would wrap, not be refused).
struct TapeNote {
    uint32_t start = 0;    // first tick
    uint32_t length = 1;   // ticks, at least 1; the note ends at start + length
    uint8_t note = 0;      // MIDI note number (row), 0..127
    uint8_t channel = 0;   // 0..15
    uint8_t velocity = 0;  // 0..127
    bool selected = false; // selection flag; takes no part in equality

    // Fields are set by name, never from a list of values: a list written for another order
    // of the fields would otherwise still compile, into a different note.
    constexpr TapeNote() noexcept {}

    friend bool operator==(const TapeNote &a, const TapeNote &b) {
        return a.note == b.note && a.start == b.start && a.length == b.length &&
               a.channel == b.channel && a.velocity == b.velocity;
    }
    friend bool operator!=(const TapeNote &a, const TapeNote &b) { return !(a == b); }
};
static_assert(sizeof(TapeNote) == 12, "a note is twelve bytes without padding");

// A note number, channel or velocity for a note's byte. A value beyond the byte becomes 255,
// which the range checks of notes (0..127, 0..15) still refuse, instead of wrapping into range.
constexpr uint8_t noteFieldByte(uint32_t value) {
    return value > 255 ? uint8_t(255) : uint8_t(value);
}

// Orders notes by their first tick, and finds a tick among notes ordered so. With
// std::stable_sort, notes of equal start keep their order.
struct ByStart {
    bool operator()(const TapeNote &a, const TapeNote &b) const { return a.start < b.start; }
    bool operator()(const TapeNote &n, uint64_t tick) const { return n.start < tick; }
    bool operator()(uint64_t tick, const TapeNote &n) const { return tick < n.start; }
};

} // namespace tw
