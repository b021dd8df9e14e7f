// The melody as MIDI tracks and files.
#include "ModelTestSupport.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace tw;

namespace {

MidiEvent ev(uint32_t dTime, std::initializer_list<uint8_t> bytes) {
    return MidiEvent(dTime, bytes);
}

NoxmidiTrk track(std::vector<MidiEvent> events) {
    NoxmidiTrk t;
    t.setEvents(std::move(events));
    return t;
}

// A file of the given tracks, written with the MIDI file library.
void writeFile(const std::string &path, uint16_t format, uint16_t timeUnit,
               std::vector<NoxmidiTrk> tracks) {
    MidiFile f;
    f.format = format;
    f.timeUnit = timeUnit;
    f.tracks = std::move(tracks);
    ASSERT_EQ(f.write(path.c_str()), 0);
}

} // namespace

TEST(TapeMidi, ToTrackOfTwoNotes) {
    TestModel tape;
    tape.load({tn(60, 10, 4, 0, 100), tn(62, 12, 2, 1, 90)});
    const NoxmidiTrk t = tape.toTrack();
    ASSERT_EQ(t.events.size(), 4u);
    EXPECT_EQ(t.events[0], ev(0, {0x90, 60, 100}));
    EXPECT_EQ(t.events[1], ev(2, {0x91, 62, 90}));
    EXPECT_EQ(t.events[2].dTime, 2u);
    EXPECT_EQ(t.events[3].dTime, 0u);
    EXPECT_EQ(t.events[2], ev(2, {0x80, 60, 127}));
    EXPECT_EQ(t.events[3], ev(0, {0x81, 62, 127}));
    EXPECT_EQ(t.toneCount, 2);
}

TEST(TapeMidi, ToTrackFilters) {
    TestModel tape;
    tape.load({tn(60, 0, 4, 0, 1, true), tn(61, 5, 4, 1), tn(62, 10, 4, 2, 1, true)});
    const struct {
        const char *what;
        unsigned from, to, mask;
        bool selectedOnly;
        std::vector<unsigned> notes;
    } cases[] = {
        {"from equals to: everything", 5, 5, 0xFFFF, false, {60, 61, 62}},
        {"from", 5, ScoreModel::noBound, 0xFFFF, false, {61, 62}},
        {"to", 0, 10, 0xFFFF, false, {60, 61}},
        {"negative to: no bound", 1, 0x80000000u, 0xFFFF, false, {61, 62}},
        {"channels", 0, 0, 0x0006, false, {61, 62}},
        {"selected", 0, 0, 0xFFFF, true, {60, 62}},
        {"nothing", 11, 12, 0xFFFF, false, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const NoxmidiTrk t = tape.toTrack(c.from, c.to, c.mask, c.selectedOnly);
        std::vector<unsigned> notes;
        for (const MidiEvent &e : t.events)
            if (e.isToneOn())
                notes.push_back(e.bytes[1]);
        EXPECT_EQ(notes, c.notes);
        if (!t.events.empty()) {
            EXPECT_EQ(t.events[0].dTime, 0u); // a track starts with its first note
        }
    }
}

// At one tick the note-off of a note comes before the note-on of the next one.
TEST(TapeMidi, NoteOffsComeFirstAtOneTick) {
    TestModel tape;
    tape.load({tn(60, 0, 4), tn(60, 4, 4), tn(61, 4, 4, 1)});
    const NoxmidiTrk t = tape.toTrack();
    ASSERT_EQ(t.events.size(), 6u);
    EXPECT_EQ(t.events[1], ev(4, {0x80, 60, 127}));
    EXPECT_TRUE(t.events[2].isToneOn());
    EXPECT_TRUE(t.events[3].isToneOn());
}

TEST(TapeMidi, BackToBackNotesSurviveSaveAndReload) {
    TempPath file("backtoback.mid");
    TestModel tape;
    tape.load({tn(60, 0, 4, 0, 100), tn(60, 4, 4, 0, 90)});
    ASSERT_EQ(tape.writeMidiFile(file.path.c_str()), 0);
    TestModel back;
    ASSERT_EQ(back.readMidiFile(file.path.c_str()), 0);
    EXPECT_EQ(back.notes(), tape.notes());
}

TEST(TapeMidi, FromTrack) {
    const struct {
        const char *what;
        std::vector<MidiEvent> events;
        double scale; // tape ticks per MIDI tick
        std::vector<TapeNote> notes;
    } cases[] = {
        {"second note-on while open ends the first",
         {ev(0, {0x90, 60, 100}), ev(5, {0x90, 60, 50}), ev(5, {0x80, 60, 0})},
         1,
         {tn(60, 0, 5, 0, 100), tn(60, 5, 5, 0, 50)}},
        {"velocity 0 closes",
         {ev(3, {0x93, 61, 70}), ev(4, {0x93, 61, 0})},
         1,
         {tn(61, 3, 4, 3, 70)}},
        {"length at least 1", {ev(0, {0x90, 60, 100}), ev(1, {0x80, 60, 0})}, 0.25, {tn(60, 0, 1)}},
        {"scaled", {ev(4, {0x90, 60, 100}), ev(6, {0x80, 60, 0})}, 0.5, {tn(60, 2, 3)}},
        {"others ignored, open ones end at the last event, sorted by start",
         {ev(0, {0xC0, 5}), ev(0, {0x90, 62, 9}), ev(0, {0xFF, 0x51, 7, 0xA1, 0x20}),
          ev(2, {0x91, 60, 8}), ev(2, {0x81, 60, 1}), ev(1, {0x90, 64, 1}), ev(1, {0x80, 62, 0}),
          ev(1, {0xB0, 7, 100}), ev(0, {0x80, 65, 0})},
         1,
         {tn(62, 0, 6, 0, 9), tn(60, 2, 2, 1, 8), tn(64, 5, 2, 0, 1)}},
        {"far beyond the tick range",
         {ev(0xFFFFFFF, {0x90, 60, 1}), ev(0xFFFFFFF, {0x80, 60, 0})},
         200,
         {tn(60, 0xFFFFFFFEu, 1, 0, 1)}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TestModel tape; // 32 ticks per frame
        tape.insertNote(tn(70, 0));
        tape.fromTrack(track(c.events), c.scale / 32);
        EXPECT_EQ(tape.notes(), c.notes);
        EXPECT_FALSE(tape.dataChanged());
        for (const TapeNote &n : tape.notes())
            EXPECT_LE(uint64_t(n.start) + n.length, 0xFFFFFFFFull);
    }
}

TEST(TapeMidi, SaveWritesProgramsAndTimeUnit) {
    const struct {
        unsigned ticksPerFrame;
        uint16_t timeUnit;
    } cases[] = {{32, 16}, {6, 3}, {100, 50}, {22, 10}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.ticksPerFrame);
        TempPath file("units.mid");
        TestModel tape;
        tape.setTicksPerFrame(c.ticksPerFrame);
        tape.load({tn(60, 40, 4)});
        tape.setDataChanged(true);
        ASSERT_EQ(tape.writeMidiFile(file.path.c_str()), 0);
        EXPECT_TRUE(tape.dataChanged()); // the application clears it after a save
        MidiFile f;
        ASSERT_EQ(f.read(file.path.c_str()), 0);
        EXPECT_EQ(f.format, 0);
        EXPECT_EQ(f.timeUnit, c.timeUnit);
        ASSERT_EQ(f.tracks.size(), 1u);
        const auto &events = f.tracks[0].events;
        ASSERT_GE(events.size(), 18u);
        for (unsigned ch = 0; ch < 16; ++ch)
            EXPECT_EQ(events[ch], ev(0, {uint8_t(0xC0 + ch), uint8_t(ch)}));
        EXPECT_EQ(events[16], ev(0, {0x90, 60, 100})); // silence before the note is not saved
    }
}

TEST(TapeMidi, ReadingWithAnOddTicksPerFrameStretches) {
    TempPath file("odd.mid");
    TestModel tape;
    tape.setTicksPerFrame(25); // time unit 12: read back at 25 / 24
    tape.load({tn(60, 0, 24), tn(61, 48, 24)});
    ASSERT_EQ(tape.writeMidiFile(file.path.c_str()), 0);
    ASSERT_EQ(tape.readMidiFile(file.path.c_str()), 0);
    EXPECT_EQ(tape.notes(), (std::vector<TapeNote>{tn(60, 0, 25), tn(61, 50, 25)}));
}

TEST(TapeMidi, ReadUsesTheFirstTrackAndIsUndoable) {
    TempPath file("format1.mid");
    writeFile(file.path, 1, 96,
              {track({ev(0, {0x90, 60, 100}), ev(96, {0x80, 60, 0})}),
               track({ev(0, {0x90, 70, 100}), ev(96, {0x80, 70, 0})})});
    TestModel tape;
    tape.load({tn(50, 3)});
    tape.setChannelMask(0x0001);
    ASSERT_EQ(tape.readMidiFile(file.path.c_str()), 0);
    // 96 MIDI ticks are a quarter note at 120 bpm: half a second, 16 tape ticks.
    EXPECT_EQ(tape.notes(), (std::vector<TapeNote>{tn(60, 0, 16)}));
    EXPECT_FALSE(tape.dataChanged());
    EXPECT_EQ(tape.channelMask(), 0xFFFF);
    ASSERT_TRUE(tape.undo());
    EXPECT_EQ(tape.notes(), (std::vector<TapeNote>{tn(50, 3)}));
    ASSERT_TRUE(tape.redo());
    EXPECT_EQ(tape.notes(), (std::vector<TapeNote>{tn(60, 0, 16)}));
}

TEST(TapeMidi, ReadOfSmpteOrEmptyFiles) {
    const struct {
        const char *what;
        uint16_t format, timeUnit;
        std::vector<NoxmidiTrk> tracks;
        std::vector<TapeNote> notes;
    } cases[] = {
        // 25 frames of 40 ticks: 1000 MIDI ticks a second, 32 tape ticks a second.
        {"SMPTE time unit",
         0,
         0xE728,
         {track({ev(10, {0x90, 60, 100}), ev(96, {0x80, 60, 0})})},
         {tn(60, 0, 3)}},
        {"first track without notes",
         1,
         96,
         {track({ev(0, {0xFF, 0x51, 7, 0xA1, 0x20})}),
          track({ev(0, {0x90, 70, 100}), ev(96, {0x80, 70, 0})})},
         {}},
        {"no tracks", 0, 96, {}, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TempPath file("odd-units.mid");
        writeFile(file.path, c.format, c.timeUnit, c.tracks);
        TestModel tape;
        tape.load({tn(50, 3)});
        ASSERT_EQ(tape.readMidiFile(file.path.c_str()), 0);
        EXPECT_EQ(tape.notes(), c.notes);
    }
}

// A file that cannot be read leaves the melody, the history and dataChanged alone.
TEST(TapeMidi, FailedReadKeepsTheMelody) {
    TempPath garbage("garbage.mid");
    {
        std::ofstream out(garbage.path, std::ios::binary);
        out << "MThd this is not a MIDI file";
    }
    const struct {
        const char *what;
        std::string path;
    } cases[] = {{"missing file", "/nonexistent/folder/none.mid"}, {"garbage", garbage.path}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TestModel tape;
        tape.load({tn(50, 3)});
        tape.insertNote(tn(52, 6));
        tape.setChannelMask(0x0003);
        const auto notes = tape.notes();
        const auto snapshots = tape.undoSnapshots();
        EXPECT_LT(tape.readMidiFile(c.path.c_str()), 0);
        EXPECT_EQ(tape.notes(), notes);
        EXPECT_EQ(tape.undoSnapshots(), snapshots);
        EXPECT_EQ(tape.undoPosition(), 1u);
        EXPECT_TRUE(tape.dataChanged());
        EXPECT_EQ(tape.channelMask(), 0x0003);
    }
}

TEST(TapeMidi, WriteFailureIsReported) {
    TestModel tape;
    tape.load({tn(60, 0)});
    EXPECT_EQ(tape.writeMidiFile("/nonexistent/folder/out.mid"), errCannotOpen);
}

// The ticks per frame of the menu, and 98 and 196 where the scale is a rounding error below
// 1, read their own files back note for note.
TEST(TapeMidi, EvenTicksPerFrameReadBackExactly) {
    TempPath file("even.mid");
    for (unsigned tpf : {4, 6, 8, 12, 16, 24, 32, 48, 64, 100, 98, 196}) {
        SCOPED_TRACE(tpf);
        TestModel tape;
        tape.setTicksPerFrame(tpf);
        const std::vector<TapeNote> melody = {tn(60, 0, 1), tn(61, 7, 13, 3, 5), tn(62, 1000, 999)};
        tape.load(melody);
        ASSERT_EQ(tape.writeMidiFile(file.path.c_str()), 0);
        ASSERT_EQ(tape.readMidiFile(file.path.c_str()), 0);
        EXPECT_EQ(tape.notes(), melody);
    }
}

// MIDI sounds a key once at a time: where notes of one key and channel overlap, the earlier
// one is saved up to the start of the later one, and no note is lost.
TEST(TapeMidi, OverlappingNotesOfOneKeyAreAllSaved) {
    const struct {
        const char *what;
        std::vector<TapeNote> melody, readBack;
    } cases[] = {
        {"a note inside a longer one",
         {tn(60, 0, 100), tn(60, 10, 20)},
         {tn(60, 0, 10), tn(60, 10, 20)}},
        {"two starts on one tick",
         {tn(67, 0, 1), tn(67, 0, 15), tn(69, 0, 3)},
         {tn(67, 0, 1), tn(69, 0, 3), tn(67, 0, 15)}},
        {"other channels are not cut",
         {tn(60, 0, 100), tn(60, 10, 20, 1)},
         {tn(60, 0, 100), tn(60, 10, 20, 1)}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TempPath file("overlap.mid");
        TestModel tape;
        tape.load(c.melody);
        ASSERT_EQ(tape.writeMidiFile(file.path.c_str()), 0);
        ASSERT_EQ(tape.readMidiFile(file.path.c_str()), 0);
        EXPECT_EQ(tape.notes(), c.readBack);
    }
}
