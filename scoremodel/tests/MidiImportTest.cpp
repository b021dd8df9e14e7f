// Import of MIDI files made in code, timed against python3-mido, and the corpus of real files.
#include "scoremodel/MidiImport.h"
#include "scoremodel/BeatGrid.h"
#include "scoremodel/NoteBuffers.h"
#include "scoremodel/ScoreModel.h"
#include "testsupport/Python.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

using namespace tw;
namespace fs = std::filesystem;

namespace {

// A temporary folder removed with its contents.
struct TempDir {
    fs::path path;
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "tw-import-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            path = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

// A track written as events at absolute ticks; at one tick the events keep the order given.
struct TrackSpec {
    std::vector<std::pair<uint64_t, std::vector<uint8_t>>> timed;
    TrackSpec &at(uint64_t tick, std::vector<uint8_t> bytes) {
        timed.emplace_back(tick, std::move(bytes));
        return *this;
    }
    TrackSpec &name(const std::string &text) {
        std::vector<uint8_t> bytes{0xFF, 0x03};
        bytes.insert(bytes.end(), text.begin(), text.end());
        return at(0, bytes);
    }
    TrackSpec &tempo(uint64_t tick, uint32_t micros) {
        return at(tick, {0xFF, 0x51, uint8_t(micros >> 16), uint8_t(micros >> 8), uint8_t(micros)});
    }
    TrackSpec &note(uint64_t on, uint64_t off, unsigned channel, unsigned key, unsigned vel = 90) {
        at(on, {uint8_t(0x90 | channel), uint8_t(key), uint8_t(vel)});
        return at(off, {uint8_t(0x80 | channel), uint8_t(key), 64});
    }
    NoxmidiTrk build() const {
        auto sorted = timed;
        std::stable_sort(sorted.begin(), sorted.end(),
                         [](const auto &a, const auto &b) { return a.first < b.first; });
        std::vector<MidiEvent> events;
        uint64_t last = 0;
        for (const auto &[tick, bytes] : sorted) {
            events.emplace_back(uint32_t(tick - last), EventBytes(bytes.data(), bytes.size()));
            last = tick;
        }
        return NoxmidiTrk(std::move(events));
    }
};

MidiFile makeFile(uint16_t format, uint16_t division, const std::vector<TrackSpec> &tracks) {
    MidiFile file;
    file.format = format;
    file.timeUnit = division;
    for (const TrackSpec &t : tracks)
        file.tracks.push_back(t.build());
    return file;
}

// Twelve notes of one part: starts, lengths and keys that meet no round number of ticks.
TrackSpec part(unsigned channel, unsigned program, const std::string &name, unsigned offset) {
    TrackSpec t;
    t.name(name).at(0, {uint8_t(0xC0 | channel), uint8_t(program)});
    for (unsigned i = 0; i < 12; ++i) {
        const uint64_t on = i * 37 + offset;
        t.note(on, on + 20 + (i * 13) % 50, channel, 48 + channel * 7 + i, 60 + i);
    }
    return t;
}

struct FileCase {
    const char *what;
    MidiFile file;
};

std::vector<FileCase> fileTable() {
    std::vector<FileCase> cases;
    cases.push_back({"format 1, tempo track at 90 bpm, three parts",
                     makeFile(1, 96,
                              {TrackSpec().name("Tempo").tempo(0, 666667), part(0, 0, "Piano", 3),
                               part(1, 40, "Violin", 11), part(2, 73, "Flute", 29)})});
    TrackSpec crossing;
    crossing.note(10, 300, 0, 60).note(401, 1301, 0, 62).note(955, 1111, 3, 64);
    crossing.note(1500, 1877, 0, 65);
    cases.push_back({"tempo change halfway",
                     makeFile(1, 97, {TrackSpec().tempo(0, 517000).tempo(960, 801000), crossing})});
    TrackSpec smpte;
    smpte.tempo(0, 300000).note(7, 333, 0, 60).note(201, 917, 1, 67).note(1003, 1404, 0, 72);
    cases.push_back({"SMPTE 29.97 frames of 40 ticks",
                     makeFile(0, uint16_t((uint8_t(-29) << 8) | 40), {smpte})});
    TrackSpec first, second;
    first.note(0, 96, 0, 60).note(96, 150, 0, 60).note(31, 170, 0, 64); // notes that meet
    first.note(200, 260, 0, 67).at(230, {0x90, 67, 80}).at(250, {0x80, 67, 0});
    second.note(50, 120, 0, 60).note(96, 151, 0, 64).note(13, 400, 0, 48);
    cases.push_back({"tracks sharing a channel",
                     makeFile(1, 96, {TrackSpec().tempo(0, 645161), first, second})});
    // Notes without a note-off of their own.
    TrackSpec twenty;
    for (unsigned i = 0; i < 20; ++i)
        twenty.at(i * 48, {0x90, uint8_t(60 + i % 7), 90}); // keys repeat: each ends the last
    cases.push_back({"format 0, twenty note-ons without note-offs", makeFile(0, 96, {twenty})});
    TrackSpec elsewhere;
    for (unsigned i = 0; i < 100; ++i) {
        elsewhere.at(i * 10, {0x92, uint8_t(40 + i % 50), 70});
        elsewhere.at(i * 10 + 5, {0x83, uint8_t(40 + i % 50), 0}); // released on channel 3
    }
    cases.push_back({"released on other channels", makeFile(1, 120, {TrackSpec(), elsewhere})});
    TrackSpec mixed;
    mixed.note(0, 50, 0, 60).at(10, {0x90, 60, 80}).at(10, {0x90, 60, 81}); // same tick twice
    mixed.at(70, {0x91, 62, 50}).at(90, {0x91, 62, 0}).at(95, {0x91, 62, 40});
    mixed.at(95, {0xB0, 7, 100}); // the last event ends the note begun at its tick
    cases.push_back({"retriggered keys, a note at the last tick",
                     makeFile(1, 96, {TrackSpec().tempo(0, 700000).tempo(60, 400000), mixed})});
    return cases;
}

using NoteKey = std::tuple<unsigned, unsigned, unsigned, unsigned, unsigned>;

NoteKey key(const TapeNote &n) {
    return {n.start, n.length, n.channel, n.note, n.velocity};
}

fs::path sourceDir() {
    const char *source = std::getenv("TW_SOURCE_DIR");
    return fs::path(source ? source : ".");
}

std::vector<unsigned> allTracks(const MidiFile &file) {
    std::vector<unsigned> all;
    for (const TrackSummary &s : summarizeTracks(file))
        all.push_back(s.index);
    return all;
}

} // namespace

TEST(MidiImport, NotesFollowTheTempoMapAsMidoTimesThem) {
    if (!midoAvailable())
        GTEST_SKIP() << "python3-mido is missing";
    TempDir dir;
    const std::string script = (sourceDir() / "scoremodel/tests/mido_import.py").string();
    for (const FileCase &c : fileTable()) {
        SCOPED_TRACE(c.what);
        const std::string path = (dir.path / "case.mid").string();
        ASSERT_EQ(c.file.write(path.c_str()), 0);
        MidiFile file;
        ASSERT_EQ(file.read(path.c_str()), 0);
        const bool smpte = int16_t(file.timeUnit) < 0;
        const double smpteTicks = 30000.0 / 1001.0 * 40; // 29.97 frames of 40 ticks a second

        std::vector<std::tuple<uint64_t, uint64_t, unsigned, unsigned, unsigned, double, double>>
            mido;
        std::istringstream in(runPython(script, path));
        uint64_t on, off;
        unsigned channel, note, velocity;
        double onSeconds, offSeconds;
        while (in >> on >> off >> channel >> note >> velocity >> onSeconds >> offSeconds)
            mido.emplace_back(on, off, channel, note, velocity, onSeconds, offSeconds);
        ASSERT_FALSE(mido.empty()) << runPython(script, path);
        in.clear();
        std::string word;
        std::size_t midoUnended = 0;
        ASSERT_TRUE(in >> word >> midoUnended && word == "unended") << runPython(script, path);
        std::size_t unended = 0;
        for (const TrackSummary &t : summarizeTracks(file))
            unended += t.unended;
        EXPECT_EQ(unended, midoUnended);

        for (unsigned tpf : {8u, 32u, 100u}) {
            SCOPED_TRACE(tpf);
            std::vector<NoteKey> followed, fixed;
            for (const auto &[on, off, channel, note, velocity, onS, offS] : mido) {
                const long long start = std::llround(onS * tpf), end = std::llround(offS * tpf);
                followed.emplace_back(unsigned(start), unsigned(std::max(end - start, 1LL)),
                                      channel, note, velocity);
                // 120 beats per minute (SMPTE: the frame rate) in whole ticks, rounded down.
                const double rate = smpte ? smpteTicks : 2.0 * file.timeUnit;
                const auto floorTick = [&](uint64_t t) {
                    return smpte ? uint64_t(std::floor(t * tpf / rate))
                                 : t * tpf / (2 * file.timeUnit);
                };
                fixed.emplace_back(unsigned(floorTick(on)),
                                   unsigned(std::max<uint64_t>(floorTick(off - on), 1)), channel,
                                   note, velocity);
            }
            for (bool follow : {true, false}) {
                SCOPED_TRACE(follow ? "following the tempo" : "at 120 bpm");
                const std::vector<TapeNote> notes = importNotes(file, allTracks(file), follow, tpf);
                ASSERT_TRUE(std::is_sorted(
                    notes.begin(), notes.end(),
                    [](const TapeNote &a, const TapeNote &b) { return a.start < b.start; }));
                std::vector<NoteKey> got;
                for (const TapeNote &n : notes)
                    got.push_back(key(n));
                std::vector<NoteKey> expected = follow ? followed : fixed;
                std::sort(got.begin(), got.end());
                std::sort(expected.begin(), expected.end());
                EXPECT_EQ(got, expected);
            }
        }
    }
}

TEST(MidiImport, TrackSummariesNameEachPart) {
    const MidiFile file = fileTable()[0].file;
    const std::vector<TrackSummary> tracks = summarizeTracks(file);
    ASSERT_EQ(tracks.size(), 3u) << "the tempo track holds no notes";
    const struct {
        unsigned index;
        const char *name, *instrument;
        uint16_t channels;
        unsigned lowest, highest;
    } expected[] = {{1, "Piano", "Acoustic Grand Piano", 0x1, 48, 59},
                    {2, "Violin", "Violin", 0x2, 55, 66},
                    {3, "Flute", "Flute", 0x4, 62, 73}};
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(tracks[i].index, expected[i].index);
        EXPECT_EQ(tracks[i].name, expected[i].name);
        EXPECT_EQ(tracks[i].instrument, expected[i].instrument);
        EXPECT_EQ(tracks[i].channels, expected[i].channels);
        EXPECT_EQ(tracks[i].notes, 12u);
        EXPECT_EQ(tracks[i].lowest, expected[i].lowest);
        EXPECT_EQ(tracks[i].highest, expected[i].highest);
    }
    EXPECT_EQ(describeTrack(tracks[1]),
              "3  Violin  channel 1  Violin  12 notes  G3 (55) - F#4 (66)");

    // Names in Latin-1 come out as UTF-8; an unchecked track stays out of the melody.
    MidiFile latin = makeFile(1, 96, {TrackSpec().name("Cl\xE9ment\x01").note(0, 5, 9, 36)});
    EXPECT_EQ(summarizeTracks(latin)[0].name, "Cl\xC3\xA9ment");
    EXPECT_TRUE(importNotes(file, {2}, true, 8).size() == 12u);
}

TEST(MidiImport, TrackListSaysHowManyNotesHadNoNoteOff) {
    const MidiFile file = fileTable()[4].file; // twenty note-ons without note-offs
    const std::vector<TrackSummary> tracks = summarizeTracks(file);
    ASSERT_EQ(tracks.size(), 1u);
    EXPECT_EQ(tracks[0].notes, 20u);
    EXPECT_EQ(tracks[0].unended, 20u);
    EXPECT_NE(describeTrack(tracks[0]).find("  20 without a note-off"), std::string::npos)
        << describeTrack(tracks[0]);
    EXPECT_EQ(describeTrack(summarizeTracks(fileTable()[0].file)[0]).find("note-off"),
              std::string::npos);
}

TEST(MidiImport, WhatTheTapeHoldsAndWhatASaveWouldLose) {
    TrackSpec notes;
    notes.note(0, 10, 0, 60).note(10, 20, 1, 62);
    TrackSpec programs = notes;
    programs.at(0, {0xC0, 5});
    TrackSpec many[5];
    for (unsigned i = 0; i < 1204; ++i)
        many[i % 5].note(i, i + 1, i % 5, 40 + i % 50);
    std::vector<TrackSpec> six{TrackSpec().tempo(0, 666667)};
    six.insert(six.end(), many, many + 5);
    TrackSpec extras = notes;
    extras.at(3, {0xB0, 7, 100}).at(4, {0xE0, 0, 64}).name("Melody");
    TrackSpec oneNote;
    oneNote.note(5, 9, 2, 70);

    const struct {
        const char *what;
        MidiFile file;
        bool held;
        std::string loses;
    } cases[] = {
        {"the tape's own kind of file", makeFile(0, 96, {programs}), true, ""},
        {"tempo 120 given", makeFile(0, 96, {TrackSpec(notes).tempo(0, 500000)}), true, ""},
        {"another tempo", makeFile(0, 96, {TrackSpec(notes).tempo(5, 400000)}), false,
         "a tempo map"},
        {"five more tracks", makeFile(1, 96, six), false,
         "5 more tracks with 1,204 notes and a tempo map"},
        {"controllers, bends, names", makeFile(0, 96, {extras}), true,
         "controller changes, pitch bends and text or other meta events"},
        {"one more track", makeFile(1, 96, {notes, oneNote}), false, "1 more track with 1 note"},
        {"a second track of text", makeFile(1, 96, {notes, TrackSpec().name("x")}), true,
         "1 more track without notes and text or other meta events"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(fullyHeldByTape(c.file), c.held);
        EXPECT_EQ(whatSaveLoses(c.file), c.loses);
    }
    EXPECT_EQ(groupedCount(0), "0");
    EXPECT_EQ(groupedCount(999), "999");
    EXPECT_EQ(groupedCount(1234567), "1,234,567");
}

TEST(MidiImport, ErrorsInWords) {
    TempDir dir;
    const auto write = [&](const char *name, const std::vector<uint8_t> &bytes) {
        const std::string path = (dir.path / name).string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
        return path;
    };
    const std::vector<uint8_t> head{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96};
    auto with = [&](std::vector<uint8_t> tail) {
        std::vector<uint8_t> all = head;
        all.insert(all.end(), tail.begin(), tail.end());
        return all;
    };
    const struct {
        const char *what;
        std::string path;
        int code;
        std::string words;
    } reads[] = {
        {"missing", (dir.path / "none.mid").string(), errCannotOpen, "The file was not found."},
        {"a folder", dir.path.string(), errCannotOpen, "It is a folder, not a file."},
        {"text",
         write("text.mid",
               {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!', '!', '!', '!'}),
         errHeader, "It is not a MIDI file."},
        {"cut short", write("short.mid", with({'M', 'T', 'r', 'k', 0, 0, 0, 8, 0, 0x90, 60})),
         errRead, "The file is damaged: it ends too early at byte 25."},
        {"no track mark", write("chunk.mid", with({'M', 'T', 'x', 'k', 0, 0, 0, 0})), errTrackChunk,
         "The file is damaged at byte 14: a track should begin there."},
        {"status byte as a note number",
         write("status.mid", with({'M', 'T', 'r', 'k', 0, 0, 0, 4, 0, 0x90, 0xC0, 100})),
         errDataByte,
         "The file is damaged at byte 24: a status byte stands where a note or other message "
         "needs a data byte."},
        {"stray data byte",
         write("data.mid", with({'M', 'T', 'r', 'k', 0, 0, 0, 4, 0, 60, 100, 0})), errRunningStatus,
         "The file is damaged at byte 23: a data byte stands where an event should begin."},
    };
    for (const auto &c : reads) {
        SCOPED_TRACE(c.what);
        MidiFile file;
        std::optional<uint64_t> at;
        ASSERT_EQ(file.read(c.path.c_str(), &at), c.code);
        EXPECT_EQ(readErrorWords(c.code, c.path, at), c.words);
    }
    // Writing: the safe writer's words.
    MidiFile empty;
    SafeFileStatus status;
    const std::string nowhere = (dir.path / "no/such/folder/x.mid").string();
    ASSERT_EQ(empty.write(nowhere.c_str(), &status), errCannotOpen);
    EXPECT_EQ(status.message,
              "The folder " + (dir.path / "no/such/folder/").string() + " does not exist.");
}

TEST(MidiImport, EveryReadableCorpusFileImportsEachOfItsNotes) {
    const fs::path corpus = sourceDir() / ".." / "shared" / "testdata" / "midi";
    if (!fs::is_directory(corpus))
        GTEST_SKIP() << "no corpus at " << corpus;
    std::vector<fs::path> files;
    for (const auto &entry : fs::recursive_directory_iterator(corpus)) {
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        if (entry.is_regular_file() && (ext == ".mid" || ext == ".midi" || ext == ".kar"))
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    unsigned held = 0, asked = 0, unreadable = 0;
    for (const fs::path &path : files) {
        SCOPED_TRACE(path.string());
        MidiFile file;
        std::optional<uint64_t> at;
        const int rc = file.read(path.c_str(), &at);
        if (rc != 0) {
            ++unreadable;
            EXPECT_NE(readErrorWords(rc, path.string(), at), "An unknown error occurred.");
            continue;
        }
        (fullyHeldByTape(file) ? held : asked)++;
        std::size_t sum = 0;
        for (const TrackSummary &s : summarizeTracks(file))
            sum += s.notes;
        for (bool follow : {true, false})
            EXPECT_EQ(importNotes(file, allTracks(file), follow, 32).size(), sum);
    }
    std::printf("%zu corpus files: %u open directly, %u open the import window, %u unreadable\n",
                files.size(), held, asked, unreadable);
    EXPECT_GT(held + asked, 0u);
}

// Read as its checked bytes, a file gives what the parsed file gives: the same notes in the
// same order (format 0 and 1, running status as the writer puts it, overlapping and
// retriggered keys, notes of equal start across tracks), summaries, tempo and losses.
TEST(MidiImport, CheckedFileImportsAsTheParsedFile) {
    std::vector<FileCase> cases = fileTable();
    // Chords and clusters: many notes of one start, overlapping on one key, over three tracks.
    std::vector<TrackSpec> dense(3);
    for (unsigned i = 0; i < 3000; ++i)
        dense[i % 3].note((i / 7) * 4, (i / 7) * 4 + 1 + (i * 11) % 40, i % 2, 50 + i % 5,
                          1 + i % 120);
    dense[0].tempo(100, 400000);
    cases.push_back({"dense chords over three tracks", makeFile(1, 96, dense)});
    cases.push_back({"dense chords in one track", makeFile(0, 96, {dense[1]})});
    TempDir dir;
    const std::string path = (dir.path / "case.mid").string();
    for (const FileCase &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(c.file.write(path.c_str()), 0);
        MidiFile parsed;
        CheckedMidiFile checked;
        ASSERT_EQ(parsed.read(path.c_str()), 0);
        ASSERT_EQ(checked.read(path.c_str()), 0);
        std::vector<std::vector<unsigned>> choices{allTracks(parsed), {}};
        for (unsigned t = 0; t < parsed.tracks.size(); ++t)
            choices.push_back({t});
        std::vector<unsigned> backwards = allTracks(parsed);
        std::reverse(backwards.begin(), backwards.end());
        choices.push_back(backwards);
        const auto expectSame = [](const std::vector<TapeNote> &got,
                                   const std::vector<TapeNote> &want) {
            ASSERT_EQ(got.size(), want.size());
            for (std::size_t i = 0; i < want.size(); ++i)
                ASSERT_EQ(key(got[i]), key(want[i])) << "note " << i;
        };
        for (const auto &tracks : choices)
            for (bool follow : {true, false}) {
                SCOPED_TRACE(testing::Message() << tracks.size() << " tracks, follow " << follow);
                const std::vector<TapeNote> want = importNotes(parsed, tracks, follow, 32);
                expectSame(importNotes(checked, tracks, follow, 32), want);
                // Taken up as the notes are made.
                CheckedMidiFile used;
                ASSERT_EQ(used.read(path.c_str()), 0);
                expectSame(importNotes(std::move(used), tracks, follow, 32), want);
                EXPECT_EQ(used.trackCount(), 0u);
            }
        const std::vector<TrackSummary> want = summarizeTracks(parsed),
                                        got = summarizeTracks(checked);
        ASSERT_EQ(got.size(), want.size());
        for (std::size_t i = 0; i < want.size(); ++i)
            EXPECT_EQ(describeTrack(got[i]), describeTrack(want[i]));
        EXPECT_EQ(fullyHeldByTape(checked), fullyHeldByTape(parsed));
        EXPECT_EQ(whatSaveLoses(checked), whatSaveLoses(parsed));
        const BeatGrid gridWant = fileBeatGrid(parsed, 32, BeatGrid()),
                       gridGot = fileBeatGrid(checked, 32, BeatGrid());
        EXPECT_EQ(gridGot.bpm, gridWant.bpm);
        EXPECT_EQ(gridGot.beatsPerBar, gridWant.beatsPerBar);
        EXPECT_EQ(gridGot.firstBar, gridWant.firstBar);
        ScoreModel fromParsed, fromChecked;
        fromParsed.loadMidiFile(parsed);
        fromChecked.loadMidiFile(std::move(checked));
        EXPECT_EQ(fromChecked.notes(), fromParsed.notes());
    }
}

// The melody's sort keeps notes of equal start in their order, as std::stable_sort does,
// with runs longer than its scratch block.
TEST(MidiImport, SortByStartIsStable) {
    for (std::size_t count : {0, 1, 16, 17, 600, 20000}) {
        for (unsigned spread : {1u, 7u, 5000u}) {
            SCOPED_TRACE(testing::Message() << count << " notes, starts below " << spread);
            std::vector<TapeNote> notes(count);
            for (std::size_t i = 0; i < count; ++i) {
                notes[i].start = uint32_t((i * 7919 + i / 3) % spread);
                notes[i].note = uint32_t(i % 128);
                notes[i].velocity = uint32_t(i / 128 % 128);
                notes[i].length = uint32_t(1 + i / 16384);
            }
            if (spread == 5000 && count > 1)
                std::reverse(notes.begin(), notes.begin() + std::ptrdiff_t(count / 2));
            std::vector<TapeNote> want = notes;
            std::stable_sort(want.begin(), want.end(), ByStart());
            sortByStart(notes);
            EXPECT_EQ(notes, want);
        }
    }
}
