// The beat grid over the tape's ticks: beats per minute, beats per bar and the tick of the first
// bar, whether beat and bar lines are drawn, and the snap of inserts, drags and drawn lengths to
// the beat or a division of it. A frame is a second, so a beat lasts ticksPerFrame * 60 / bpm
// ticks; grid lines fall on whole ticks, rounded from that. No FLTK.
#pragma once

#include <cstdint>
#include <vector>

namespace tw {

class MidiFile;
class CheckedMidiFile;

struct BeatGrid {
    static constexpr double minBpm = 10, maxBpm = 1000;
    static constexpr unsigned maxBeatsPerBar = 32;
    static constexpr unsigned maxDivision = 4; // 1, 1/2, 1/3, 1/4 of a beat

    double bpm = 120;
    unsigned beatsPerBar = 4;
    uint32_t firstBar = 0; // tick of the first bar line; lines continue before it as well
    bool shown = false;    // beat and bar lines drawn over the tick grid
    bool snap = false;     // "Edit/Snap to beat"
    unsigned division = 1; // snap to 1/division of a beat

    // Every value inside its range.
    bool valid() const;
    // Ticks of one beat and of one snap step at ticksPerFrame; 0 when the values are not valid.
    double beatTicks(unsigned ticksPerFrame) const;
    double stepTicks(unsigned ticksPerFrame) const;

    // The snap line at or before `tick` (for a click: the cell's line), and the nearest one;
    // `tick` itself when snap is off. Never below 0 nor above the last tick.
    uint32_t snapDown(uint32_t tick, unsigned ticksPerFrame) const;
    uint32_t snapNearest(uint32_t tick, unsigned ticksPerFrame) const;

    // A beat or bar line to draw.
    struct Line {
        uint32_t tick;
        bool bar;
    };
    // The beat lines in [from, to), every `every`-th beat counted from the first bar (every =
    // beatsPerBar: the bar lines only), at most `limit` of them (none when more would be
    // needed).
    std::vector<Line> lines(uint32_t from, uint32_t to, unsigned ticksPerFrame, std::size_t limit,
                            unsigned every = 1) const;
};

// The grid that a file's first tempo and first time signature give at ticksPerFrame, following
// the tempo (a frame is a second); the other settings are taken from `base`. The beat is the
// time signature's note value. Values outside the ranges are clamped.
BeatGrid fileBeatGrid(const MidiFile &file, unsigned ticksPerFrame, const BeatGrid &base);
BeatGrid fileBeatGrid(const CheckedMidiFile &file, unsigned ticksPerFrame, const BeatGrid &base);

} // namespace tw
