// Events and tracks in memory: classification, statistics and the track's edit operations.
#include "midifile/MidiFile.h"

#include <algorithm>

namespace tw {

NoxmidiTrk::NoxmidiTrk(const std::vector<MidiEvent> &list) : events(list) {
    recount();
}

NoxmidiTrk::NoxmidiTrk(std::vector<MidiEvent> &&list) : events(std::move(list)) {
    recount();
}

void NoxmidiTrk::setEvents(const std::vector<MidiEvent> &list) {
    events = list;
    recount();
}

void NoxmidiTrk::setEvents(std::vector<MidiEvent> &&list) {
    events = std::move(list);
    recount();
}

void NoxmidiTrk::clear() {
    events.clear();
    totalTicks = 0;
    toneCount = 0;
    lowNote = 0;
    highNote = 0;
}

void NoxmidiTrk::recount() {
    totalTicks = 0;
    toneCount = 0;
    highNote = 0;
    lowNote = 300;
    for (const MidiEvent &e : events) {
        totalTicks += e.dTime;
        if (e.isToneOn()) {
            ++toneCount;
            int32_t n = e.bytes[1];
            lowNote = std::min(lowNote, n);
            highNote = std::max(highNote, n);
        }
    }
    if (toneCount == 0)
        lowNote = 0;
}

void NoxmidiTrk::appendToneOn(uint32_t dTime, unsigned note, unsigned velocity, unsigned channel) {
    int32_t n = int32_t(note & 0x7F);
    events.emplace_back(dTime,
                        std::initializer_list<uint8_t>{uint8_t(0x90 | (channel & 0x0F)), uint8_t(n),
                                                       uint8_t(velocity & 0x7F)});
    if (toneCount == 0) {
        lowNote = n;
        highNote = n;
    } else if (n > highNote) {
        highNote = n;
    } else if (n < lowNote) {
        lowNote = n;
    }
    totalTicks += dTime;
    ++toneCount;
}

void NoxmidiTrk::appendToneOff(uint32_t dTime, unsigned note, unsigned velocity, unsigned channel) {
    events.emplace_back(dTime, std::initializer_list<uint8_t>{uint8_t(0x80 | (channel & 0x0F)),
                                                              uint8_t(note & 0x7F),
                                                              uint8_t(velocity & 0x7F)});
    totalTicks += dTime;
}

void NoxmidiTrk::appendProgram(unsigned program, unsigned channel) {
    events.emplace_back(0, std::initializer_list<uint8_t>{uint8_t(0xC0 | (channel & 0x0F)),
                                                          uint8_t(program & 0x7F)});
}

void NoxmidiTrk::insertEvents(const std::vector<MidiEvent> &list, std::size_t index) {
    if (&list == &events) { // inserting a track into itself: copy the events first
        std::vector<MidiEvent> copy(list);
        insertEvents(copy, index);
        return;
    }
    index = std::min(index, events.size());
    events.insert(events.begin() + std::ptrdiff_t(index), list.begin(), list.end());
}

void NoxmidiTrk::appendEvents(const std::vector<MidiEvent> &list) {
    insertEvents(list, events.size());
}

void MidiFile::clear() {
    format = 0;
    timeUnit = 240;
    tracks.clear();
}

double MidiFile::secondsPerTick(unsigned bpm) const {
    if (int16_t(timeUnit) <= 0)
        return 0.0;
    uint32_t product = uint32_t(timeUnit) * uint32_t(bpm);
    if (product == 0) // no tempo: no tick length rather than a division by zero
        return 0.0;
    return 60.0 / double(product);
}

uint16_t timeUnitForTempo(double seconds, unsigned bpm) {
    if (!(seconds > 0.0) || bpm == 0)
        return 0;
    double v = 60.0 / (double(bpm) * seconds);
    if (!(v < 32768.0))
        return 0;
    return uint16_t(v);
}

} // namespace tw
