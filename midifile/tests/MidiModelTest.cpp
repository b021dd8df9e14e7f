// Events, tracks, timing helpers and instrument names in memory.
#include "midifile/MidiFile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace tw;

namespace {

TEST(EventBytes, KeepsShortAndLongMessagesThroughCopiesAndMoves) {
    for (std::size_t size : {0u, 3u, 8u, 9u, 300u}) {
        SCOPED_TRACE(size);
        EventBytes b;
        for (std::size_t i = 0; i < size; ++i)
            b.push_back(uint8_t(i * 7));
        EventBytes copy(b);
        EventBytes assigned;
        assigned = b;
        EventBytes moved(std::move(copy));
        EventBytes moveAssigned{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
        moveAssigned = std::move(assigned);
        for (const EventBytes *e : {&b, &moved, &moveAssigned}) {
            ASSERT_EQ(e->size(), size);
            for (std::size_t i = 0; i < size; ++i)
                EXPECT_EQ((*e)[i], uint8_t(i * 7));
        }
        EXPECT_TRUE(copy.empty()); // a moved-from message is empty
        EXPECT_EQ(b, moved);
    }
}

TEST(EventBytes, AppendsItsOwnBytesWhileGrowing) {
    EventBytes b{1, 2, 3, 4, 5, 6, 7};
    b.append(b.data(), b.size()); // grows past the inline room while reading itself
    b.append(b.data() + 1, 2);
    EXPECT_EQ(b.toVector(), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 1, 2, 3, 4, 5, 6, 7, 2, 3}));
    b.resize(20, 0xAA);
    EXPECT_EQ(b.back(), 0xAA);
    b.resize(2);
    EXPECT_EQ(b, (EventBytes{1, 2}));
    EXPECT_NE(b, (EventBytes{1, 3}));
}

TEST(MidiEvent, ClassifiesKindsAndTones) {
    struct Case {
        std::vector<uint8_t> bytes;
        MidiEventKind kind;
        bool toneOn;
        bool toneOff;
    } cases[] = {
        {{}, MidiEventKind::Empty, false, false},
        {{0x90, 60, 100}, MidiEventKind::Midi, true, false},
        {{0x9F, 60, 1}, MidiEventKind::Midi, true, false},
        {{0x90, 60, 0}, MidiEventKind::Midi, false, true}, // velocity 0 ends a tone
        {{0x80, 60, 64}, MidiEventKind::Midi, false, true},
        {{0x8F, 60, 0}, MidiEventKind::Midi, false, true},
        {{0x90, 60}, MidiEventKind::Midi, false, false},         // not exactly 3 bytes
        {{0x90, 60, 100, 0}, MidiEventKind::Midi, false, false}, // not exactly 3 bytes
        {{0xA0, 60, 100}, MidiEventKind::Midi, false, false},
        {{0xC0, 5}, MidiEventKind::Midi, false, false},
        {{0xF0, 0x7E}, MidiEventKind::Sysex, false, false},
        {{0xF2, 0x10, 0x20}, MidiEventKind::Sysex, false, false},
        {{0xFE, 0, 0}, MidiEventKind::Sysex, false, false},
        {{0xFF, 0x51, 7, 0xA1, 0x20}, MidiEventKind::Meta, false, false},
    };
    for (const Case &c : cases) {
        MidiEvent e(0, EventBytes(c.bytes.data(), c.bytes.size()));
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        EXPECT_EQ(e.kind(), c.kind);
        EXPECT_EQ(e.isToneOn(), c.toneOn);
        EXPECT_EQ(e.isToneOff(), c.toneOff);
    }
}

struct Stats {
    uint64_t ticks;
    int32_t tones, low, high;
};

void expectStats(const NoxmidiTrk &t, Stats s) {
    EXPECT_EQ(t.totalTicks, s.ticks);
    EXPECT_EQ(t.toneCount, s.tones);
    EXPECT_EQ(t.lowNote, s.low);
    EXPECT_EQ(t.highNote, s.high);
}

TEST(NoxmidiTrk, RecountsStatisticsFromEvents) {
    struct Case {
        const char *name;
        std::vector<MidiEvent> events;
        Stats stats;
    } cases[] = {
        {"empty", {}, {0, 0, 0, 0}},
        {"no tones", {{10, {0xC0, 1}}, {5, {0xFF, 0x01, 'a'}}}, {15, 0, 0, 0}},
        {"velocity 0 is no tone", {{1, {0x90, 60, 0}}, {2, {0x80, 61, 0}}}, {3, 0, 0, 0}},
        {"low and high",
         {{0, {0x90, 64, 1}}, {4, {0x91, 21, 100}}, {0, {0x92, 108, 9}}, {8, {0x80, 0, 0}}},
         {12, 3, 21, 108}},
        {"note 0 is the lowest", {{0, {0x90, 0, 1}}}, {0, 1, 0, 0}},
        {"64-bit total",
         {{0xFFFFFFFF, {0xC0, 1}}, {0xFFFFFFFF, {0xC0, 1}}},
         {0x1FFFFFFFEull, 0, 0, 0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        NoxmidiTrk built(c.events);
        expectStats(built, c.stats);
        NoxmidiTrk set;
        set.appendToneOn(1, 1, 1, 1);
        set.setEvents(c.events);
        expectStats(set, c.stats);
        EXPECT_EQ(set.events, c.events);
    }
}

TEST(NoxmidiTrk, AppendsMaskedMessagesAndKeepsStatistics) {
    NoxmidiTrk t;
    t.appendToneOn(0, 60, 100, 3);
    t.appendToneOff(2, 60, 100, 3);
    EXPECT_EQ(t.events, (std::vector<MidiEvent>{{0, {0x93, 0x3C, 0x64}}, {2, {0x83, 0x3C, 0x64}}}));
    expectStats(t, {2, 1, 60, 60});
    t.appendToneOn(1, 72, 1, 0);
    t.appendToneOn(1, 48, 1, 0);
    t.appendToneOn(1, 50, 1, 0);
    expectStats(t, {5, 4, 48, 72});
    t.appendProgram(130, 17);
    EXPECT_EQ(t.events.back(), (MidiEvent{0, {0xC1, 0x02}}));
    t.appendToneOn(7, 200, 300, 31); // every byte masked: note 72, velocity 44, channel 15
    EXPECT_EQ(t.events.back(), (MidiEvent{7, {0x9F, 72, 44}}));
    expectStats(t, {12, 5, 48, 72});
    NoxmidiTrk recounted = t;
    recounted.recount();
    expectStats(recounted, {12, 5, 48, 72});
    t.clear();
    EXPECT_TRUE(t.events.empty());
    expectStats(t, {0, 0, 0, 0});
}

TEST(NoxmidiTrk, InsertsAtClampedIndexWithoutRecount) {
    std::vector<MidiEvent> five;
    for (uint8_t i = 0; i < 5; ++i)
        five.push_back({i, {0x90, uint8_t(60 + i), 1}});
    std::vector<MidiEvent> two{{9, {0xC0, 1}}, {8, {0xC0, 2}}};
    struct Case {
        std::size_t index;
        std::size_t firstInserted;
    } cases[] = {{0, 0}, {2, 2}, {5, 5}, {1000, 5}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.index);
        NoxmidiTrk t(five);
        t.insertEvents(two, c.index);
        ASSERT_EQ(t.events.size(), 7u);
        EXPECT_EQ(t.events[c.firstInserted], two[0]);
        EXPECT_EQ(t.events[c.firstInserted + 1], two[1]);
        expectStats(t, {10, 5, 60, 64}); // statistics as before the insertion
    }
    NoxmidiTrk self(two);
    self.appendEvents(self.events); // a track appended to itself
    EXPECT_EQ(self.events, (std::vector<MidiEvent>{two[0], two[1], two[0], two[1]}));
}

TEST(MidiFile, ClearedStateAndTickLength) {
    MidiFile f;
    EXPECT_EQ(f.format, 0);
    EXPECT_EQ(f.timeUnit, 240);
    EXPECT_TRUE(f.tracks.empty());
    EXPECT_DOUBLE_EQ(f.secondsPerTick(120), 60.0 / (240 * 120));
    struct Case {
        uint16_t timeUnit;
        unsigned bpm;
        double seconds;
    } cases[] = {{96, 60, 60.0 / 5760},
                 {0, 120, 0},
                 {0x8000, 120, 0},
                 {0xE728, 120, 0},
                 {0x7FFF, 120, 60.0 / (32767.0 * 120)},
                 {240, 0, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.timeUnit);
        f.timeUnit = c.timeUnit;
        EXPECT_DOUBLE_EQ(f.secondsPerTick(c.bpm), c.seconds);
    }
    f.format = 2;
    f.tracks.resize(3);
    f.clear();
    EXPECT_EQ(f.format, 0);
    EXPECT_EQ(f.timeUnit, 240);
    EXPECT_TRUE(f.tracks.empty());
}

TEST(TimeUnitForTempo, TruncatesAsComputed) {
    struct Case {
        double seconds;
        unsigned bpm;
        uint16_t unit;
    } cases[] = {
        {1.0 / 8, 120, 4},
        {1.0 / 200, 120, 100},
        {1.0 / 22, 120, 10},
        {1.0 / 25, 120, 12},
        {1.0 / 44, 120, 21},
        {1.0 / 100, 120, 50},
        {0.0, 120, 0},
        {-1.0, 120, 0},
        {1.0 / 8, 0, 0},
        {1e-9, 120, 0},
        {60.0 / 32767 / 120, 120, 32767},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.seconds);
        EXPECT_EQ(timeUnitForTempo(c.seconds, c.bpm), c.unit);
    }
}

TEST(InstrumentName, NamesTheGeneralMidiPrograms) {
    struct Case {
        uint32_t program;
        const char *name;
    } cases[] = {{0, "Acoustic Grand Piano"},
                 {24, "Acoustic Guitar (nylon)"},
                 {31, "Guitar harmonics"},
                 {50, "Synth Strings 1"},
                 {52, "Voice Aahs"},
                 {62, "Synth Brass 1"},
                 {87, "Lead 8 (bass + lead)"},
                 {109, "Bagpipe"},
                 {113, "Agogo Bells"},
                 {127, "Gunshot"},
                 {128, ""},
                 {4294967295u, ""}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.program);
        ASSERT_NE(instrumentName(c.program), nullptr);
        EXPECT_STREQ(instrumentName(c.program), c.name);
    }
    for (uint32_t p = 0; p < 128; ++p)
        EXPECT_GT(std::strlen(instrumentName(p)), 3u) << p;
}

} // namespace
