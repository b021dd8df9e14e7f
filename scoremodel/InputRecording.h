// Playing a melody in from a MIDI keyboard, without a display. The recorder keeps the notes
// played during a take with their times on the playback clock and turns them into notes on
// whole ticks when the take ends; step entry places each played note at the green marker and
// moves the marker on. Both take plain MIDI bytes with a steady-clock time in microseconds
// (as the input port stamps them).
//
// Threads: GUI thread only.
#pragma once

#include "notes/TapeNote.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace tw {

// The playback clock of a take: the tick sounding at a steady-clock reading.
struct TickClock {
    int64_t startMicros = 0;   // the reading at which startTick sounded
    double startTick = 0;      // 0 .. lastTick
    double secondsPerTick = 0; // the speed's seconds per tick; > 0

    // The tick at `micros`: never before startTick nor after lastTick.
    double tickAt(int64_t micros) const;
};

// How recorded and stepped notes come to whole ticks: the nearest tick, or with a snap (the beat
// grid's nearest line, when snapping is on) the snapped tick nearest to the time; notes are at
// least minLength ticks long.
struct TickRounding {
    std::function<uint32_t(uint32_t)> snap; // empty: no snap
    uint32_t minLength = 1;

    uint32_t tick(double t) const;
    // The note from start to end, both on the clock's ticks.
    TapeNote note(double start, double end) const;
};

class NoteRecorder {
public:
    // A take holds at most this many notes; later ones are counted in lost().
    static constexpr std::size_t maxNotes = 1u << 20;

    struct Played {
        uint8_t key = 0;
        uint8_t velocity = 0;
        int64_t onMicros = 0;
        int64_t offMicros = 0;
        bool ended = false;
    };

    // Forgets the take.
    void clear();
    // One message at `micros`: a note-on begins a note of its key (ending one of the same key
    // and input channel that still sounds), a note-off (or note-on with velocity 0) ends it.
    // Anything else is ignored.
    void feed(int64_t micros, const uint8_t *bytes, std::size_t size);
    // Ends every note still held at `micros`.
    void stop(int64_t micros);

    const std::vector<Played> &played() const { return played_; }
    std::size_t lost() const { return lost_; }
    // The notes of the take on `channel`, with their note-on velocities, ordered by start;
    // notes still held end at the last time fed or stopped, or at heldUntil when that is later
    // (the take as it stands while it is played).
    std::vector<TapeNote> notes(const TickClock &clock, unsigned channel,
                                const TickRounding &rounding, int64_t heldUntil = 0) const;
    // Whether a note of the take still sounds.
    bool holding() const;

private:
    std::vector<Played> played_;
    // Index + 1 into played_ of the sounding note of (input channel * 128 + key); 0 for none.
    std::array<std::size_t, 16 * 128> sounding_{};
    int64_t lastMicros_ = 0;
    std::size_t lost_ = 0;
};

class StepEntry {
public:
    // Note-ons closer than this to the first note of a chord join the chord.
    static constexpr int64_t chordMicros = 50000;

    struct Step {
        TapeNote note;   // the note to insert
        uint32_t marker; // where the green marker goes
    };
    // A note-on of `key` at `micros` with the green marker at `marker`: the note goes in at
    // the marker with `length` ticks (or with the chord it joins, when the marker still stands
    // where that chord left it), and the marker moves on by the length.
    Step noteOn(int64_t micros, uint8_t key, uint8_t velocity, uint32_t marker, uint32_t length,
                unsigned channel);
    // The note of the last step did not go in (there was one like it): forget it.
    void refused();

    struct Back {
        TapeNote note;   // the note to remove
        bool moveMarker; // put the green marker back to the note's start (the chord is gone)
    };
    // BackSpace: the last stepped note, or nothing when no step is left.
    std::optional<Back> back();
    void clear();

private:
    std::vector<TapeNote> steps_;
    bool chordOpen_ = false;
    int64_t chordMicros_ = 0;
    uint32_t chordTick_ = 0;
    uint32_t chordEnd_ = 0; // the marker after the chord
};

} // namespace tw
