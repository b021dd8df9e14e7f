#include "scoremodel/InputRecording.h"
#include "testsupport/NoteMakers.h"

#include <gtest/gtest.h>

using namespace tw;

namespace {

constexpr int64_t ms = 1000;

struct Msg {
    int64_t at; // ms after the clock's start
    uint8_t status, key, velocity;
};

std::vector<TapeNote> record(const std::vector<Msg> &take, const TickClock &clock, int64_t stopAt,
                             const TickRounding &rounding = {}) {
    NoteRecorder recorder;
    for (const Msg &m : take) {
        const uint8_t bytes[3] = {m.status, m.key, m.velocity};
        recorder.feed(clock.startMicros + m.at * ms, bytes, 3);
    }
    recorder.stop(clock.startMicros + stopAt * ms);
    return recorder.notes(clock, 3, rounding);
}

} // namespace

TEST(NoteRecorder, TurnsATakeIntoNotesOnThePlaybackClock) {
    // 8 ticks a second: a tick is 125 ms at 1x, 62.5 ms at 2x (the speed halves secondsPerTick).
    const std::vector<Msg> phrase = {
        {0, 0x90, 60, 100},    {250, 0x80, 60, 0},  // C: ticks 0..2
        {250, 0x90, 64, 90},   {560, 0x90, 64, 0},  // E, ended by velocity 0: 2..4.48
        {500, 0x91, 67, 80},   {1000, 0x81, 67, 0}, // G on input channel 1: 4..8
        {1000, 0x90, 72, 70},                       // held at the stop (1500): 8..12
        {1100, 0xB0, 64, 127},                      // a pedal: not a note
    };
    struct Case {
        const char *name;
        TickClock clock;
        std::vector<TapeNote> expected;
    };
    const Case cases[] = {
        {"1x from tick 0",
         {1000000, 0, 0.125},
         {tn(60, 0, 2, 3, 100), tn(64, 2, 2, 3, 90), tn(67, 4, 4, 3, 80), tn(72, 8, 4, 3, 70)}},
        {"1x from the marker at 100",
         {1000000, 100, 0.125},
         {tn(60, 100, 2, 3, 100), tn(64, 102, 2, 3, 90), tn(67, 104, 4, 3, 80),
          tn(72, 108, 4, 3, 70)}},
        {"2x: twice the ticks",
         {1000000, 0, 0.0625},
         {tn(60, 0, 4, 3, 100), tn(64, 4, 5, 3, 90), tn(67, 8, 8, 3, 80), tn(72, 16, 8, 3, 70)}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(record(phrase, c.clock, 1500), c.expected);
    }
}

TEST(NoteRecorder, RestrikesEarlyNotesAndBounds) {
    const TickClock clock{5000000, 10, 0.1};
    // Struck again without a note-off: the first ends where the second begins. Played before
    // the clock started: at its start. Shorter than a tick: one tick long.
    const std::vector<Msg> take = {
        {-300, 0x90, 50, 10}, {0, 0x80, 50, 0},    {100, 0x90, 55, 20}, {300, 0x90, 55, 30},
        {500, 0x80, 55, 0},   {600, 0x90, 57, 40}, {610, 0x80, 57, 0},
    };
    EXPECT_EQ(record(take, clock, 1000),
              (std::vector<TapeNote>{tn(50, 10, 1, 3, 10), tn(55, 11, 2, 3, 20),
                                     tn(55, 13, 2, 3, 30), tn(57, 16, 1, 3, 40)}));

    // The snap hook moves starts and ends to its lines; the shortest note is one step.
    TickRounding toFours;
    toFours.snap = [](uint32_t t) { return (t + 2) / 4 * 4; };
    toFours.minLength = 4;
    EXPECT_EQ(
        record({{0, 0x90, 60, 1}, {120, 0x80, 60, 0}, {580, 0x90, 62, 2}}, clock, 1500, toFours),
        (std::vector<TapeNote>{tn(60, 12, 4, 3, 1), tn(62, 16, 8, 3, 2)}));

    // Near the last tick notes end there at the latest; the shortest keeps its length.
    const TickClock late{0, double(lastTick) - 2, 0.001};
    EXPECT_EQ(record({{0, 0x90, 60, 1}, {10, 0x80, 60, 0}}, late, 20),
              (std::vector<TapeNote>{tn(60, lastTick - 2, 2, 3, 1)}));
    EXPECT_EQ(record({{0, 0x90, 60, 1}, {10, 0x80, 60, 0}}, late, 20, toFours),
              (std::vector<TapeNote>{tn(60, lastTick - 4, 4, 3, 1)}));
}

// While a take is played, a held note reaches the time asked for; an ended one keeps its end.
TEST(NoteRecorder, TheTakeAsItStandsWhilePlayed) {
    const TickClock clock{1000000, 0, 0.125};
    NoteRecorder recorder;
    const auto feed = [&](int64_t at, uint8_t status, uint8_t key) {
        const uint8_t bytes[3] = {status, key, 100};
        recorder.feed(clock.startMicros + at * ms, bytes, 3);
    };
    EXPECT_FALSE(recorder.holding());
    feed(0, 0x90, 60);
    feed(250, 0x80, 60);
    EXPECT_FALSE(recorder.holding());
    feed(250, 0x90, 64);
    EXPECT_TRUE(recorder.holding());
    EXPECT_EQ(recorder.notes(clock, 0, {}, clock.startMicros + 1000 * ms),
              (std::vector<TapeNote>{tn(60, 0, 2, 0, 100), tn(64, 2, 6, 0, 100)}));
    // An earlier time than the last message: held notes end at the last message.
    EXPECT_EQ(recorder.notes(clock, 0, {}, clock.startMicros)[1], tn(64, 2, 1, 0, 100));
}

TEST(StepEntry, StepsChordsAndBackSpace) {
    StepEntry steps;
    uint32_t marker = 40;
    const auto play = [&](int64_t atMs, uint8_t key, uint32_t length = 4) {
        const StepEntry::Step s = steps.noteOn(atMs * ms, key, 100, marker, length, 2);
        marker = s.marker;
        return s.note;
    };
    EXPECT_EQ(play(0, 60), tn(60, 40, 4, 2, 100));
    EXPECT_EQ(marker, 44u);
    EXPECT_EQ(play(500, 62), tn(62, 44, 4, 2, 100));
    // A chord: 49 ms after its first note still joins it, 50 ms does not.
    EXPECT_EQ(play(1000, 64, 8), tn(64, 48, 8, 2, 100));
    EXPECT_EQ(play(1030, 67), tn(67, 48, 8, 2, 100)) << "the chord's length";
    EXPECT_EQ(play(1049, 71), tn(71, 48, 8, 2, 100));
    EXPECT_EQ(marker, 56u);
    EXPECT_EQ(play(1050, 72), tn(72, 56, 4, 2, 100));
    // The marker was moved by hand: a new step even within 50 ms.
    marker = 100;
    EXPECT_EQ(play(1060, 74), tn(74, 100, 4, 2, 100));

    struct Expected {
        uint32_t key;
        bool moveMarker;
    };
    const Expected backs[] = {{74, true}, {72, true}, {71, false}, {67, false},
                              {64, true}, {62, true}, {60, true}};
    for (const Expected &e : backs) {
        SCOPED_TRACE(e.key);
        const auto b = steps.back();
        ASSERT_TRUE(b.has_value());
        EXPECT_EQ(b->note.note, e.key);
        EXPECT_EQ(b->moveMarker, e.moveMarker);
    }
    EXPECT_FALSE(steps.back().has_value());

    // A refused note is no step to go back to.
    marker = 0;
    play(5000, 60);
    steps.refused();
    EXPECT_FALSE(steps.back().has_value());
}
