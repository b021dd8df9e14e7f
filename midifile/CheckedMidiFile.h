// A Standard MIDI File checked by the reader and kept as its bytes: a track's events are parsed
// again each time they are visited, so a large file holds about its own size in memory rather
// than the several times of its stored events (MidiFile).
#pragma once

#include "midifile/LargeMemory.h"
#include "midifile/MidiFile.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace tw {

// Where a track lies in the file and what the reader counted in it: the statistics that a
// track read by MidiFile::read carries.
struct TrackFacts {
    std::size_t start = 0; // the first byte after the track's chunk header
    uint64_t end = 0;      // the declared end; the last event may run past it
    std::size_t events = 0;
    uint64_t totalTicks = 0;
    int32_t toneCount = 0;
    int32_t lowNote = 0;
    int32_t highNote = 0;
};

// A tempo event (meta type 0x51 with three data bytes) at its absolute tick in its track.
struct TempoChange {
    uint64_t tick = 0;
    uint32_t microsPerBeat = 0;
};

// The events of one track of a CheckedMidiFile, a few at a time.
class MidiEventCursor {
public:
    // Fills into[0, n) with the next events (as MidiFile::read stores them) and returns n,
    // at most `most`; 0 after the last event.
    std::size_t next(MidiEvent *into, std::size_t most);

private:
    friend class CheckedMidiFile;
    const uint8_t *data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t pos_ = 0;
    uint64_t end_ = 0;
    // Running status, as the parser leaves it after each event.
    bool previousIsMidi_ = false;
    uint8_t previousStatus_ = 0;
    std::size_t previousSize_ = 0;
};

class CheckedMidiFile {
public:
    uint16_t format = 0;
    uint16_t timeUnit = 240;

    CheckedMidiFile() = default;
    CheckedMidiFile(CheckedMidiFile &&) = default;
    CheckedMidiFile &operator=(CheckedMidiFile &&) = default;

    // Reads and checks the file as MidiFile::read does, with the same codes and the same
    // *failedAt; on an error the object is left cleared.
    int read(const char *path, std::optional<uint64_t> *failedAt = nullptr);
    void clear();

    std::size_t trackCount() const { return tracks_.size(); }
    const TrackFacts &facts(std::size_t track) const { return tracks_[track]; }
    // Every tempo event of every track, in file order, as the reader found them.
    const std::vector<TempoChange> &tempoChanges() const { return tempos_; }
    MidiEventCursor events(std::size_t track) const;
    // Calls visit(const MidiEvent &) for every event of the track, in order.
    template <class Visit> void forEachEvent(std::size_t track, Visit &&visit) const {
        MidiEvent batch[batchEvents];
        MidiEventCursor cursor = events(track);
        while (const std::size_t n = cursor.next(batch, batchEvents))
            for (std::size_t i = 0; i < n; ++i)
                visit(static_cast<const MidiEvent &>(batch[i]));
    }
    // As forEachEvent, for the last visit of the file: the bytes before each event visited are
    // given back to the system as it goes, so that what is made of them can take their
    // place. Tracks are taken in file order; once one has been taken, no earlier track may be
    // visited again. Only clear() and read() may follow the last.
    template <class Visit> void takeEvents(std::size_t track, Visit &&visit) {
        MidiEvent batch[batchEvents];
        MidiEventCursor cursor = events(track);
        while (const std::size_t n = cursor.next(batch, batchEvents)) {
            for (std::size_t i = 0; i < n; ++i)
                visit(static_cast<const MidiEvent &>(batch[i]));
            if (cursor.pos_ >= released_ + releaseStep) {
                bytes_.discard(released_, cursor.pos_);
                released_ = cursor.pos_;
            }
        }
    }
    // The track as MidiFile::read gives it.
    NoxmidiTrk track(std::size_t track) const;
    // The bytes kept of the file.
    std::size_t heldBytes() const { return bytes_.size(); }

private:
    static constexpr std::size_t batchEvents = 256;
    static constexpr std::size_t releaseStep = std::size_t(1) << 20;

    midifile::ByteBlock bytes_;
    std::vector<TrackFacts> tracks_;
    std::vector<TempoChange> tempos_;
    std::size_t released_ = 0; // the bytes before it are given back (takeEvents)
};

// One way to reach the events of either form of a read file, for code that takes both.
inline std::size_t trackCount(const MidiFile &file) {
    return file.tracks.size();
}
inline std::size_t trackCount(const CheckedMidiFile &file) {
    return file.trackCount();
}
inline int32_t trackToneCount(const MidiFile &file, std::size_t track) {
    return file.tracks[track].toneCount;
}
inline int32_t trackToneCount(const CheckedMidiFile &file, std::size_t track) {
    return file.facts(track).toneCount;
}
inline bool trackEmpty(const MidiFile &file, std::size_t track) {
    return file.tracks[track].events.empty();
}
inline bool trackEmpty(const CheckedMidiFile &file, std::size_t track) {
    return file.facts(track).events == 0;
}
template <class Visit>
void forEachTrackEvent(const MidiFile &file, std::size_t track, Visit &&visit) {
    for (const MidiEvent &e : file.tracks[track].events)
        visit(e);
}
template <class Visit>
void forEachTrackEvent(const CheckedMidiFile &file, std::size_t track, Visit &&visit) {
    file.forEachEvent(track, std::forward<Visit>(visit));
}

} // namespace tw
