#include "scoremodel/MidiImport.h"

#include "scoremodel/NoteBuffers.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace tw {

namespace {

constexpr uint32_t defaultTempo = 500000; // microseconds per beat: 120 beats per minute

bool isTempo(const MidiEvent &e) {
    return e.bytes.size() == 5 && e.bytes[0] == 0xFF && e.bytes[1] == 0x51;
}

uint32_t tempoOf(const MidiEvent &e) {
    return uint32_t(e.bytes[2]) << 16 | uint32_t(e.bytes[3]) << 8 | e.bytes[4];
}

bool isSmpte(uint16_t division) {
    return int16_t(division) < 0;
}

// Seconds per tick of an SMPTE division: frames per second (29 stands for 29.97) times ticks
// per frame; 0 when either is 0.
double smpteSecondsPerTick(uint16_t division) {
    const int fps = -int(int8_t(division >> 8));
    const unsigned ticks = division & 0xFFu;
    if (fps <= 0 || ticks == 0)
        return 0.0;
    const double rate = fps == 29 ? 30000.0 / 1001.0 : double(fps);
    return 1.0 / (rate * ticks);
}

// The nearest tape tick, kept inside the tick range.
uint64_t nearestTicks(double value) {
    if (!(value > 0))
        return 0;
    return value >= double(lastTick) ? uint64_t(lastTick) : uint64_t(std::llround(value));
}

// A note from its start and end in tape ticks: at least one tick long, ending by the last tick.
TapeNote placedNote(const MidiNote &n, uint64_t start, uint64_t end) {
    start = std::min(start, uint64_t(lastTick) - 1);
    const uint64_t length = std::max<uint64_t>(end > start ? end - start : 0, 1);
    TapeNote note;
    note.note = n.note;
    note.channel = n.channel;
    note.velocity = n.velocity;
    note.start = uint32_t(start);
    note.length = uint32_t(std::min(length, uint64_t(lastTick) - start));
    return note;
}

// Track names come in any encoding; bytes that do not form UTF-8 are taken as Latin-1.
std::string readableText(const uint8_t *p, std::size_t n) {
    std::string out;
    for (std::size_t i = 0; i < n;) {
        const uint8_t c = p[i];
        const std::size_t extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : 1;
        bool utf8 = c >= 0xC2 && c < 0xF5 && i + extra < n;
        for (std::size_t k = 1; utf8 && k <= extra; ++k)
            utf8 = (p[i + k] & 0xC0) == 0x80;
        if (utf8) {
            out.append(reinterpret_cast<const char *>(p + i), extra + 1);
            i += extra + 1;
            continue;
        }
        if (c >= 0x80) {
            out.push_back(char(0xC0 | (c >> 6)));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else if (c >= 0x20 && c != 0x7F) {
            out.push_back(char(c));
        } else if (c == '\t') {
            out.push_back(' ');
        }
        ++i;
    }
    const auto first = out.find_first_not_of(' ');
    if (first == std::string::npos)
        return std::string();
    return out.substr(first, out.find_last_not_of(' ') - first + 1);
}

std::string joinedPhrases(const std::vector<std::string> &parts) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            out += i + 1 == parts.size() ? " and " : ", ";
        out += parts[i];
    }
    return out;
}

std::string plural(uint64_t count, const char *one, const char *many) {
    return groupedCount(count) + " " + (count == 1 ? one : many);
}

} // namespace

uint64_t floorTicks(double value) {
    if (!(value > 0))
        return 0;
    const double whole = std::round(value);
    if (std::fabs(value - whole) <= 1e-9 * std::max(1.0, value))
        value = whole;
    return value >= double(lastTick) ? uint64_t(lastTick) : uint64_t(value);
}

TapeNote scaledNote(const MidiNote &n, double scale) {
    // Far beyond the tick range a note is kept at its end rather than wrapped around.
    const uint64_t start = std::min(floorTicks(double(n.on) * scale), uint64_t(lastTick) - 1);
    const uint64_t length = std::max<uint64_t>(floorTicks(double(n.off - n.on) * scale), 1);
    return placedNote(n, start, start + length);
}

double fixedSecondsPerTick(const MidiFile &file) {
    return isSmpte(file.timeUnit) ? smpteSecondsPerTick(file.timeUnit) : file.secondsPerTick(120);
}

double fixedSecondsPerTick(const CheckedMidiFile &file) {
    MidiFile header; // the same division, without tracks
    header.format = file.format;
    header.timeUnit = file.timeUnit;
    return fixedSecondsPerTick(header);
}

namespace {

// Every tempo event of every track in file order, at its tick.
std::vector<TempoChange> tempoChangesOf(const MidiFile &file) {
    std::vector<TempoChange> changes;
    for (const NoxmidiTrk &track : file.tracks) {
        uint64_t now = 0;
        for (const MidiEvent &e : track.events) {
            now += e.dTime;
            if (isTempo(e))
                changes.push_back({now, tempoOf(e)});
        }
    }
    return changes;
}

// The reader has collected them already.
std::vector<TempoChange> tempoChangesOf(const CheckedMidiFile &file) {
    return file.tempoChanges();
}

} // namespace

TempoMap::TempoMap(const MidiFile &file) {
    build(tempoChangesOf(file), file.timeUnit);
}

TempoMap::TempoMap(const CheckedMidiFile &file) {
    build(tempoChangesOf(file), file.timeUnit);
}

void TempoMap::build(std::vector<TempoChange> changes, uint16_t timeUnit) {
    for (const TempoChange &c : changes)
        changes_ = changes_ || c.microsPerBeat != defaultTempo;
    if (isSmpte(timeUnit)) { // real time: tempo events do not change it
        segments_.push_back({0, 0.0, smpteSecondsPerTick(timeUnit)});
        return;
    }
    // Of several changes at one tick the last in file order holds.
    std::stable_sort(changes.begin(), changes.end(),
                     [](const TempoChange &a, const TempoChange &b) { return a.tick < b.tick; });
    const double division = double(timeUnit);
    auto perTick = [&](uint32_t tempo) { return division > 0 ? tempo * 1e-6 / division : 0.0; };
    segments_.push_back({0, 0.0, perTick(defaultTempo)});
    for (const TempoChange &c : changes) {
        Segment &last = segments_.back();
        if (c.tick == last.tick) {
            last.secondsPerTick = perTick(c.microsPerBeat);
            continue;
        }
        const double at = last.seconds + double(c.tick - last.tick) * last.secondsPerTick;
        segments_.push_back({c.tick, at, perTick(c.microsPerBeat)});
    }
}

double TempoMap::seconds(uint64_t tick) const {
    auto after = std::upper_bound(segments_.begin(), segments_.end(), tick,
                                  [](uint64_t t, const Segment &s) { return t < s.tick; });
    const Segment &s = *(after - 1);
    return s.seconds + double(tick - s.tick) * s.secondsPerTick;
}

bool TempoMap::changesTempo() const {
    return changes_;
}

namespace {

template <class File> std::vector<TrackSummary> summaries(const File &file) {
    std::vector<TrackSummary> out;
    for (std::size_t i = 0; i < trackCount(file); ++i) {
        TrackSummary s;
        s.index = unsigned(i);
        s.lowest = 127;
        bool named = false, programmed = false;
        const auto nameAndProgram = [&](const MidiEvent &e) {
            const auto kind = e.kind();
            if (!named && kind == MidiEventKind::Meta && e.bytes.size() >= 2 && e.bytes[1] == 3) {
                named = true;
                s.name = readableText(e.bytes.data() + 2, e.bytes.size() - 2);
            } else if (!programmed && kind == MidiEventKind::Midi && e.bytes.size() == 2 &&
                       (e.bytes[0] & 0xF0) == 0xC0) {
                programmed = true;
                s.instrument = instrumentName(e.bytes[1] & 0x7Fu);
            }
        };
        // One pass over the track's events for its name, program and notes.
        s.unended = unsigned(forEachNoteOfEvents(
            [&](auto &&visit) {
                forEachTrackEvent(file, i, [&](const MidiEvent &e) {
                    nameAndProgram(e);
                    visit(e);
                });
            },
            [&](const MidiNote &n) {
                ++s.notes;
                s.channels |= uint16_t(1u << n.channel);
                s.lowest = std::min<unsigned>(s.lowest, n.note);
                s.highest = std::max<unsigned>(s.highest, n.note);
            }));
        if (s.notes > 0)
            out.push_back(std::move(s));
    }
    return out;
}

} // namespace

std::vector<TrackSummary> summarizeTracks(const MidiFile &file) {
    return summaries(file);
}

std::vector<TrackSummary> summarizeTracks(const CheckedMidiFile &file) {
    return summaries(file);
}

std::string describeTrack(const TrackSummary &t) {
    std::string channels;
    unsigned count = 0;
    for (unsigned c = 0; c < 16; ++c) {
        if (!((t.channels >> c) & 1u))
            continue;
        channels += (count++ ? ", " : "") + std::to_string(c);
    }
    std::string line = std::to_string(t.index + 1) + "  " +
                       (t.name.empty() ? std::string("(no name)") : t.name) + "  " +
                       (count == 1 ? "channel " : "channels ") + channels;
    if (!t.instrument.empty())
        line += "  " + t.instrument;
    line += "  " + plural(t.notes, "note", "notes") + "  " + noteName(t.lowest) + " (" +
            std::to_string(t.lowest) + ") - " + noteName(t.highest) + " (" +
            std::to_string(t.highest) + ")";
    if (t.unended > 0)
        line += "  " + std::to_string(t.unended) + " without a note-off";
    return line;
}

namespace {

// The notes of the chosen tracks; eachNote(t, take) calls take for each note of track t.
// done() runs once every note is made, before they are sorted.
template <class File, class EachNote, class Done>
std::vector<TapeNote> notesOf(const File &file, const std::vector<unsigned> &tracks,
                              bool followTempo, unsigned ticksPerFrame, EachNote &&eachNote,
                              Done &&done) {
    std::vector<TapeNote> list;
    std::size_t tones = 0;
    for (unsigned t : tracks)
        if (t < trackCount(file))
            tones += std::size_t(std::max(trackToneCount(file, t), 0));
    // Room to spare for the insertions that follow, as setNotes keeps: the melody takes
    // this list over.
    reserveNotes(list, tones + tones / 8 + 64);
    const TempoMap map(file);
    const double scale = ticksPerFrame * fixedSecondsPerTick(file);
    for (unsigned t : tracks) {
        if (t >= trackCount(file))
            continue;
        eachNote(t, [&](const MidiNote &n) {
            if (!followTempo) {
                list.push_back(scaledNote(n, scale));
                return;
            }
            list.push_back(placedNote(n, nearestTicks(map.seconds(n.on) * ticksPerFrame),
                                      nearestTicks(map.seconds(n.off) * ticksPerFrame)));
        });
    }
    done();
    sortByStart(list);
    return list;
}

template <class File>
std::vector<TapeNote> notesOf(const File &file, const std::vector<unsigned> &tracks,
                              bool followTempo, unsigned ticksPerFrame) {
    return notesOf(
        file, tracks, followTempo, ticksPerFrame,
        [&](unsigned t, auto &&take) { forEachTrackNote(file, t, take); }, [] {});
}

template <class File> bool heldByTape(const File &file) {
    for (std::size_t i = 1; i < trackCount(file); ++i)
        if (trackToneCount(file, i) > 0)
            return false;
    return !TempoMap(file).changesTempo();
}

template <class File> std::string saveLosses(const File &file) {
    uint64_t moreTracks = 0, moreNotes = 0;
    bool controllers = false, bends = false, meta = false, other = false;
    for (std::size_t i = 0; i < trackCount(file); ++i) {
        if (i > 0 && !trackEmpty(file, i)) {
            ++moreTracks;
            moreNotes += uint64_t(std::max(trackToneCount(file, i), 0));
        }
        forEachTrackEvent(file, i, [&](const MidiEvent &e) {
            switch (e.kind()) {
            case MidiEventKind::Midi:
                switch (e.bytes[0] & 0xF0) {
                case 0xB0:
                    controllers = true;
                    break;
                case 0xE0:
                    bends = true;
                    break;
                case 0xA0:
                case 0xD0:
                    other = true;
                    break;
                default: // notes and program changes are kept
                    break;
                }
                break;
            case MidiEventKind::Meta:
                meta = meta || !isTempo(e);
                break;
            case MidiEventKind::Sysex:
                other = true;
                break;
            case MidiEventKind::Empty:
                break;
            }
        });
    }
    std::vector<std::string> parts;
    if (moreTracks > 0)
        parts.push_back(plural(moreTracks, "more track", "more tracks") +
                        (moreNotes > 0 ? " with " + plural(moreNotes, "note", "notes")
                                       : std::string(" without notes")));
    if (TempoMap(file).changesTempo())
        parts.push_back("a tempo map");
    if (controllers)
        parts.push_back("controller changes");
    if (bends)
        parts.push_back("pitch bends");
    if (meta)
        parts.push_back("text or other meta events");
    if (other)
        parts.push_back("other events (aftertouch, system exclusive)");
    return joinedPhrases(parts);
}

} // namespace

std::vector<TapeNote> importNotes(const MidiFile &file, const std::vector<unsigned> &tracks,
                                  bool followTempo, unsigned ticksPerFrame) {
    return notesOf(file, tracks, followTempo, ticksPerFrame);
}

std::vector<TapeNote> importNotes(const CheckedMidiFile &file, const std::vector<unsigned> &tracks,
                                  bool followTempo, unsigned ticksPerFrame) {
    return notesOf(file, tracks, followTempo, ticksPerFrame);
}

std::vector<TapeNote> importNotes(CheckedMidiFile &&file, const std::vector<unsigned> &tracks,
                                  bool followTempo, unsigned ticksPerFrame) {
    // Tracks in file order give their bytes back as they go; any other order cannot.
    const bool inOrder = std::adjacent_find(tracks.begin(), tracks.end(),
                                            std::greater_equal<unsigned>()) == tracks.end();
    return notesOf(
        file, tracks, followTempo, ticksPerFrame,
        [&](unsigned t, auto &&take) {
            if (inOrder)
                forEachNoteOfEvents([&](auto &&visit) { file.takeEvents(t, visit); }, take);
            else
                forEachTrackNote(file, t, take);
        },
        [&] { file.clear(); });
}

bool fullyHeldByTape(const MidiFile &file) {
    return heldByTape(file);
}

bool fullyHeldByTape(const CheckedMidiFile &file) {
    return heldByTape(file);
}

std::string whatSaveLoses(const MidiFile &file) {
    return saveLosses(file);
}

std::string whatSaveLoses(const CheckedMidiFile &file) {
    return saveLosses(file);
}

std::string groupedCount(uint64_t count) {
    std::string digits = std::to_string(count), out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out.push_back(',');
        out.push_back(digits[i]);
    }
    return out;
}

std::string readErrorWords(int code, const std::string &path, std::optional<uint64_t> byte) {
    const std::string at = byte ? " at byte " + groupedCount(*byte) : "";
    switch (code) {
    case errCannotOpen: {
        struct stat st {};
        if (path.empty())
            return "No file name was given.";
        if (::stat(path.c_str(), &st) != 0) {
            if (errno == EACCES)
                return "There is no permission to open a folder on its path.";
            return "The file was not found.";
        }
        if (S_ISDIR(st.st_mode))
            return "It is a folder, not a file.";
        if (::access(path.c_str(), R_OK) != 0)
            return "There is no permission to read the file.";
        return "The file cannot be opened.";
    }
    case errRead:
        return byte ? "The file is damaged: it ends too early" + at + "."
                    : "The file could not be read from the disk.";
    case errHeader:
        return "It is not a MIDI file.";
    case errTrackChunk:
        return "The file is damaged" + at + ": a track should begin there.";
    case errSysexEnd:
    case errSysexData:
    case errSysexContinuation:
        return "The file is damaged" + at + ": a system exclusive message is broken.";
    case errRunningStatus:
        return "The file is damaged" + at + ": a data byte stands where an event should begin.";
    case errDataByte:
        return "The file is damaged" + at +
               ": a status byte stands where a note or other "
               "message needs a data byte.";
    case errFileTooLarge:
        return "The file is larger than 1 GiB, the most that can be read.";
    case errOutOfMemory:
        return "There is not enough memory to read the file.";
    default:
        return "An unknown error occurred.";
    }
}

} // namespace tw
