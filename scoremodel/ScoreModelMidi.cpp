// The bridge between the melody and MIDI tracks and files. Files are read as if their tempo
// were 120 beats per minute (an SMPTE division at its own real time) and written so that one MIDI
// tick is one tape tick at that tempo.
#include "scoremodel/ScoreModel.h"

#include "scoremodel/MidiImport.h"
#include "scoremodel/NoteBuffers.h"

#include <algorithm>
#include <cmath>

namespace tw {

namespace {

// One note-on or note-off at an absolute tick, before deltas are known; `id` names the note.
struct TimedEvent {
    uint64_t tick;
    bool on;
    uint8_t status, note, velocity;
    uint32_t id;
};

// One key (channel and note) sounds once at a time in MIDI: a note-on while the key sounds
// is ignored by readers, and the first note-off ends the key. So where two notes of one key
// overlap, the earlier one ends where the later one begins, and its own note-off is left
// out; otherwise the later note would be lost when the track is read back.
std::vector<TimedEvent> endOverlappedNotes(const std::vector<TimedEvent> &timed) {
    constexpr uint32_t none = 0xFFFFFFFFu;
    std::vector<uint32_t> sounding(16 * 128, none); // per key the id of the sounding note
    std::vector<TimedEvent> out;
    out.reserve(timed.size());
    for (const TimedEvent &e : timed) {
        uint32_t &key = sounding[(e.status & 0x0Fu) * 128 + (e.note & 0x7Fu)];
        if (e.on) {
            if (key != none)
                out.push_back(
                    {e.tick, false, uint8_t(0x80 | (e.status & 0x0Fu)), e.note, 127, key});
            key = e.id;
            out.push_back(e);
        } else if (key == e.id) {
            key = none;
            out.push_back(e);
        }
    }
    return out;
}

} // namespace

NoxmidiTrk ScoreModel::toTrack(unsigned from, unsigned to, unsigned channelMask,
                               bool selectedOnly) const {
    bool bounded = true;
    if (from == to) {
        from = 0;
        bounded = false;
    }
    if (int32_t(to) < 0)
        bounded = false;

    std::vector<TimedEvent> timed;
    for (const TapeNote &n : notes_) {
        if (n.start < from || (bounded && n.start >= to) || (selectedOnly && !n.selected) ||
            n.channel > 15 || !((channelMask >> n.channel) & 1u))
            continue;
        const uint8_t channel = uint8_t(n.channel);
        const uint32_t id = uint32_t(timed.size() / 2);
        timed.push_back(
            {n.start, true, uint8_t(0x90 + channel), uint8_t(n.note), uint8_t(n.velocity), id});
        timed.push_back({std::min(uint64_t(n.start) + n.length, uint64_t(lastTick)), false,
                         uint8_t(0x80 + channel), uint8_t(n.note), 127, id});
    }
    if (timed.empty())
        return NoxmidiTrk();

    // At one tick the note-offs come first: a note that ends where the next one on the same
    // key begins must not swallow it when the track is read back.
    std::stable_sort(timed.begin(), timed.end(), [](const TimedEvent &a, const TimedEvent &b) {
        return a.tick < b.tick || (a.tick == b.tick && !a.on && b.on);
    });

    timed = endOverlappedNotes(timed);

    std::vector<MidiEvent> events;
    events.reserve(timed.size());
    uint64_t previous = timed.front().tick;
    for (const TimedEvent &e : timed) {
        events.emplace_back(uint32_t(e.tick - previous),
                            std::initializer_list<uint8_t>{e.status, e.note, e.velocity});
        previous = e.tick;
    }
    NoxmidiTrk track;
    track.setEvents(std::move(events));
    return track;
}

namespace {

// The notes that eachNote(take) gives, placed at `scale` tape ticks per MIDI tick and ordered
// by start; `tones` is their count.
template <class EachNote>
std::vector<TapeNote> scaledNotes(int32_t tones, double scale, EachNote &&eachNote) {
    std::vector<TapeNote> list;
    // Room to spare, so that the first notes inserted after loading do not move the melody.
    const std::size_t count = std::size_t(std::max(tones, 0));
    reserveNotes(list, count + count / 8 + 64);
    eachNote([&](const MidiNote &n) { list.push_back(scaledNote(n, scale)); });
    sortByStart(list);
    return list;
}

} // namespace

void ScoreModel::fromTrack(const NoxmidiTrk &track, double secondsPerMidiTick) {
    takeNotes(scaledNotes(track.toneCount, ticksPerFrame_ * secondsPerMidiTick,
                          [&](auto &&take) { forEachTrackNote(track, take); }));
}

int ScoreModel::readMidiFile(const char *path) {
    // Read first: a file that cannot be read leaves the melody and its history untouched.
    CheckedMidiFile file;
    const int result = file.read(path);
    if (result != 0)
        return result;
    loadMidiFile(std::move(file));
    return 0;
}

void ScoreModel::loadMidiFile(const MidiFile &file) {
    clear();
    if (!file.tracks.empty())
        fromTrack(file.tracks.front(), fixedSecondsPerTick(file));
    dataChanged_ = false;
}

void ScoreModel::loadMidiFile(CheckedMidiFile &&file) {
    clear();
    if (file.trackCount() > 0)
        takeNotes(scaledNotes(
            file.facts(0).toneCount, ticksPerFrame_ * fixedSecondsPerTick(file), [&](auto &&take) {
                forEachNoteOfEvents([&](auto &&visit) { file.takeEvents(0, visit); }, take);
                file.clear();
            }));
    file.clear();
    dataChanged_ = false;
}

int ScoreModel::writeMidiFile(const char *path, SafeFileStatus *status,
                              const SafeFileOptions &options) {
    NoxmidiTrk track;
    for (unsigned c = 0; c < 16; ++c)
        track.appendProgram(programs_[c], c);
    track.appendEvents(toTrack().events);
    MidiFile file;
    file.format = 0;
    file.timeUnit = timeUnitForTempo(1.0 / ticksPerFrame_, 120);
    file.tracks.push_back(std::move(track));
    return file.write(path, status, options);
}

} // namespace tw
