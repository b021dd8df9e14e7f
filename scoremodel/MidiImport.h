// Reading MIDI files into the melody beyond the first track: what each track holds, the tempo
// map, the merge of chosen tracks into notes, whether the tape holds a file whole, what a save
// onto a file would lose, and the reader's and writer's error codes in words. No FLTK.
#pragma once

#include "midifile/CheckedMidiFile.h"
#include "midifile/MidiFile.h"
#include "notes/NoteNames.h"
#include "notes/TapeNote.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tw {

// One note of a track in MIDI ticks, from its note-on to the note-off that ends it.
struct MidiNote {
    uint64_t on = 0;
    uint64_t off = 0;
    uint8_t channel = 0;
    uint8_t note = 0;
    uint8_t velocity = 0; // of the note-on
};

// Calls take(const MidiNote &) for each note of a track, in the order of their ends, and
// returns how many notes had no note-off of their own. One key (channel and note) sounds once
// at a time: the first note-off ends it. A note-on while its key sounds ends the sounding note
// there (it had no note-off) and starts a new one; a note still sounding at the end of the
// track ends at the track's last event. Either way such a note lasts at least one tick.
// eachEvent(visit) calls visit(const MidiEvent &) for every event of the track in order.
template <class EachEvent, class Take>
std::size_t forEachNoteOfEvents(EachEvent &&eachEvent, Take &&take) {
    struct Open {
        bool open = false;
        uint64_t time = 0;
        uint8_t velocity = 0;
    };
    std::vector<Open> open(16 * 128);
    std::size_t unended = 0, sounding = 0;
    uint64_t now = 0;
    auto end = [&](Open &key, unsigned channel, unsigned note, uint64_t at, bool ended) {
        key.open = false;
        --sounding;
        unended += ended ? 1 : 0;
        take(MidiNote{key.time, ended ? std::max(at, key.time + 1) : at, uint8_t(channel),
                      uint8_t(note), key.velocity});
    };
    eachEvent([&](const MidiEvent &e) {
        now += e.dTime;
        const bool on = e.isToneOn();
        if (!on && !e.isToneOff())
            return;
        const unsigned channel = e.bytes[0] & 0x0Fu, note = e.bytes[1] & 0x7Fu;
        Open &key = open[channel * 128 + note];
        if (on) {
            if (key.open)
                end(key, channel, note, now, true);
            key = Open{true, now, e.bytes[2]};
            ++sounding;
            return;
        }
        if (key.open)
            end(key, channel, note, now, false);
    });
    for (unsigned i = 0; sounding > 0 && i < open.size(); ++i)
        if (open[i].open)
            end(open[i], i / 128, i % 128, now, true);
    return unended;
}

// forEachNoteOfEvents over a stored track.
template <class Take> std::size_t forEachTrackNote(const NoxmidiTrk &track, Take &&take) {
    return forEachNoteOfEvents(
        [&](auto &&visit) {
            for (const MidiEvent &e : track.events)
                visit(e);
        },
        std::forward<Take>(take));
}

// forEachNoteOfEvents over track `track` of a file in either form.
template <class File, class Take>
std::size_t forEachTrackNote(const File &file, std::size_t track, Take &&take) {
    return forEachNoteOfEvents([&](auto &&visit) { forEachTrackEvent(file, track, visit); },
                               std::forward<Take>(take));
}

// ⌊value⌋ as a tape tick, kept inside the tick range. A value a rounding error below a whole
// number counts as that number (98 ticks per frame give a scale of 0.9999999999999999).
uint64_t floorTicks(double value);

// A note placed at `scale` tape ticks per MIDI tick, as the first-track reading places it:
// start and length each rounded down, the length at least 1.
TapeNote scaledNote(const MidiNote &n, double scale);

// Seconds per MIDI tick when a file is read at a fixed 120 beats per minute; an SMPTE
// division has its own real time instead. 0 when the division gives no time.
double fixedSecondsPerTick(const MidiFile &file);
double fixedSecondsPerTick(const CheckedMidiFile &file);

// The tempo map of a file: every tempo event of every track, at its absolute tick.
class TempoMap {
public:
    explicit TempoMap(const MidiFile &file);
    explicit TempoMap(const CheckedMidiFile &file);
    // The time of a tick in seconds from the start.
    double seconds(uint64_t tick) const;
    // True when some tempo event sets a tempo other than 120 beats per minute.
    bool changesTempo() const;

private:
    // From every tempo event in file order, under the file's division.
    void build(std::vector<TempoChange> changes, uint16_t timeUnit);

    struct Segment {
        uint64_t tick;
        double seconds;        // at tick
        double secondsPerTick; // from tick on
    };
    std::vector<Segment> segments_; // by tick, the first at tick 0
    bool changes_ = false;
};

// What one track holds, for the choice of tracks to import.
struct TrackSummary {
    unsigned index = 0;     // position in the file, from 0
    std::string name;       // its track name meta event (UTF-8), or empty
    uint16_t channels = 0;  // bit c: it has notes on channel c
    std::string instrument; // General MIDI name of its first program change, or empty
    unsigned notes = 0;     // the notes an import takes from it
    unsigned unended = 0;   // of those, the notes without a note-off (see forEachTrackNote)
    unsigned lowest = 0;    // lowest and highest note number
    unsigned highest = 0;
};

// The tracks of a file that hold notes, in file order.
std::vector<TrackSummary> summarizeTracks(const MidiFile &file);
std::vector<TrackSummary> summarizeTracks(const CheckedMidiFile &file);
// One line about a track: "3  Violin  ch 1, 2  Violin  412 notes  G3 (55) - E6 (88)", and
// "  12 without a note-off" when some notes had none.
std::string describeTrack(const TrackSummary &track);

// The notes of the given tracks (indexes into file.tracks) merged into one melody ordered by
// start; each keeps its channel. followTempo converts times through the tempo map into seconds
// of ticksPerFrame ticks each, rounded to the nearest tick; otherwise at fixedSecondsPerTick.
// The list has room for an eighth more notes, which the melody keeps when it takes it over.
std::vector<TapeNote> importNotes(const MidiFile &file, const std::vector<unsigned> &tracks,
                                  bool followTempo, unsigned ticksPerFrame);
std::vector<TapeNote> importNotes(const CheckedMidiFile &file, const std::vector<unsigned> &tracks,
                                  bool followTempo, unsigned ticksPerFrame);
// As importNotes, for the last use of the file: the file's bytes are given back as their notes
// are made (when the tracks are in file order), and the file is left cleared.
std::vector<TapeNote> importNotes(CheckedMidiFile &&file, const std::vector<unsigned> &tracks,
                                  bool followTempo, unsigned ticksPerFrame);

// True when reading the first track at 120 beats per minute loses nothing that matters: every
// note is in the first track and the tempo is 120 beats per minute or not given.
bool fullyHeldByTape(const MidiFile &file);
bool fullyHeldByTape(const CheckedMidiFile &file);

// What writing the melody over this file would lose, as a phrase after "holds" - e.g. "5 more
// tracks with 1,204 notes and a tempo map" - or empty when it loses nothing.
std::string whatSaveLoses(const MidiFile &file);
std::string whatSaveLoses(const CheckedMidiFile &file);

// A count with thousands separated by commas: 1204 -> "1,204".
std::string groupedCount(uint64_t count);

// Why reading `path` failed, in words: the reader's code, and the byte where the data broke
// off or went wrong (when known). The file itself is examined for open failures.
std::string readErrorWords(int code, const std::string &path,
                           std::optional<uint64_t> byte = std::nullopt);

} // namespace tw
