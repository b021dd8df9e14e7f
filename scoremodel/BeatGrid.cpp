#include "scoremodel/BeatGrid.h"

#include "midifile/CheckedMidiFile.h"
#include "midifile/MidiFile.h"
#include "notes/TapeNote.h"
#include "scoremodel/MidiImport.h"

#include <algorithm>
#include <cmath>

namespace tw {

namespace {

// The tick of grid line k (k may be negative) for lines `step` ticks apart from `origin`.
long long lineTick(long long k, double origin, double step) {
    return std::llround(origin + double(k) * step);
}

// The index of the last grid line at or before tick.
long long lineAtOrBefore(uint32_t tick, double origin, double step) {
    long long k = (long long)std::floor((double(tick) - origin) / step);
    // The rounding of lines to ticks may put line k just after the tick or line k + 1 on it.
    while (lineTick(k, origin, step) > tick)
        --k;
    while (lineTick(k + 1, origin, step) <= tick)
        ++k;
    return k;
}

uint32_t clampTick(long long tick) {
    return uint32_t(std::min<long long>(std::max<long long>(tick, 0), lastTick));
}

} // namespace

bool BeatGrid::valid() const {
    return bpm >= minBpm && bpm <= maxBpm && beatsPerBar >= 1 && beatsPerBar <= maxBeatsPerBar &&
           division >= 1 && division <= maxDivision;
}

double BeatGrid::beatTicks(unsigned ticksPerFrame) const {
    return valid() ? ticksPerFrame * 60.0 / bpm : 0;
}

double BeatGrid::stepTicks(unsigned ticksPerFrame) const {
    return beatTicks(ticksPerFrame) / division;
}

uint32_t BeatGrid::snapDown(uint32_t tick, unsigned ticksPerFrame) const {
    const double step = stepTicks(ticksPerFrame);
    if (!snap || step <= 0)
        return tick;
    return clampTick(lineTick(lineAtOrBefore(tick, firstBar, step), firstBar, step));
}

uint32_t BeatGrid::snapNearest(uint32_t tick, unsigned ticksPerFrame) const {
    const double step = stepTicks(ticksPerFrame);
    if (!snap || step <= 0)
        return tick;
    const long long k = lineAtOrBefore(tick, firstBar, step);
    const long long below = lineTick(k, firstBar, step), above = lineTick(k + 1, firstBar, step);
    return clampTick(above - tick < (long long)tick - below ? above : below);
}

std::vector<BeatGrid::Line> BeatGrid::lines(uint32_t from, uint32_t to, unsigned ticksPerFrame,
                                            std::size_t limit, unsigned every) const {
    std::vector<Line> out;
    const double beat = beatTicks(ticksPerFrame);
    if (beat <= 0 || every == 0 || from >= to || double(to - from) / (beat * every) > double(limit))
        return out;
    long long k = (long long)std::floor((double(from) - firstBar) / beat) - 1;
    const long long step = every;
    k = (k >= 0 ? k / step : -((-k + step - 1) / step)) * step; // down to a multiple of every
    for (;; k += step) {
        const long long t = lineTick(k, firstBar, beat);
        if (t >= (long long)to)
            break;
        if (t < (long long)from)
            continue;
        const long long bars = beatsPerBar;
        out.push_back(Line{uint32_t(t), ((k % bars) + bars) % bars == 0});
    }
    return out;
}

namespace {

template <class File>
BeatGrid gridOfFile(const File &file, unsigned ticksPerFrame, const BeatGrid &base) {
    BeatGrid grid = base;
    // The first tempo and the first time signature of any track, by their absolute tick.
    uint64_t tempoAt = UINT64_MAX, signatureAt = UINT64_MAX;
    uint32_t tempo = 500000; // microseconds per quarter note: 120 beats per minute
    unsigned numerator = 4, denominatorPower = 2;
    for (std::size_t t = 0; t < trackCount(file); ++t) {
        uint64_t now = 0;
        forEachTrackEvent(file, t, [&](const MidiEvent &e) {
            now += e.dTime;
            if (e.bytes.size() < 2 || e.bytes[0] != 0xFF)
                return;
            if (e.bytes[1] == 0x51 && e.bytes.size() >= 5 && now < tempoAt) {
                const uint32_t t =
                    uint32_t(e.bytes[2]) << 16 | uint32_t(e.bytes[3]) << 8 | uint32_t(e.bytes[4]);
                if (t != 0) {
                    tempoAt = now;
                    tempo = t;
                }
            } else if (e.bytes[1] == 0x58 && e.bytes.size() >= 4 && now < signatureAt &&
                       e.bytes[2] != 0) {
                signatureAt = now;
                numerator = e.bytes[2];
                denominatorPower = std::min<unsigned>(e.bytes[3], 6);
            }
        });
    }
    const double quarterBpm = 60e6 / tempo;
    grid.bpm = std::clamp(quarterBpm * double(1u << denominatorPower) / 4.0, BeatGrid::minBpm,
                          BeatGrid::maxBpm);
    grid.beatsPerBar = std::clamp(numerator, 1u, BeatGrid::maxBeatsPerBar);
    grid.firstBar = 0;
    if (signatureAt != UINT64_MAX && signatureAt != 0) {
        const double seconds = TempoMap(file).seconds(signatureAt);
        grid.firstBar = clampTick(std::llround(seconds * ticksPerFrame));
    }
    return grid;
}

} // namespace

BeatGrid fileBeatGrid(const MidiFile &file, unsigned ticksPerFrame, const BeatGrid &base) {
    return gridOfFile(file, ticksPerFrame, base);
}

BeatGrid fileBeatGrid(const CheckedMidiFile &file, unsigned ticksPerFrame, const BeatGrid &base) {
    return gridOfFile(file, ticksPerFrame, base);
}

} // namespace tw
