// Timing of waits and playouts on a simulated clock: the arithmetic is checked exactly, and
// nothing depends on how fast the machine is.
#include "PortFixture.h"

using namespace tw;

namespace {

// A clock that moves only when the code under test sleeps or looks at it.
struct SimulatedTime {
    int64_t now = 0;
    int64_t oversleep = 0; // added to every sleep of at least one millisecond
    int64_t lookCost = 0;  // time that passes after every look at the clock (sending, work)
    std::vector<int64_t> sleeps;

    NoxmidiSnd::Timing timing() {
        return {[this] {
                    const int64_t t = now;
                    now += lookCost;
                    return t;
                },
                [this](int64_t ms) {
                    sleeps.push_back(ms);
                    now += ms * 1000 + (ms > 0 ? oversleep : 0);
                }};
    }
};

// A predicate that answers true from its `from`-th question on (counting from 1).
struct CountingPredicate {
    int from;
    int asked = 0;
    NoxmidiSnd::StopPredicate predicate() {
        return [this] { return ++asked >= from; };
    }
};

NoxmidiTrk evenNotes(int count, uint32_t delta) {
    NoxmidiTrk track;
    for (int i = 0; i < count; ++i)
        track.appendToneOn(i == 0 ? 0 : delta, 60 + i % 12, 100, 0),
            track.appendToneOff(0, 60 + i % 12, 127, 0);
    return track;
}

} // namespace

TEST(WaitInterruptible, ChunksAndPredicateQuestions) {
    const struct {
        const char *what;
        int64_t us, step;
        int stopFrom; // 0: never stop
        int64_t result;
        std::vector<int64_t> sleeps;
        int asked;
    } cases[] = {
        {"250 ms", 250000, 100000, 0, 0, {100, 100, 50}, 3},
        {"exactly one step", 100000, 100000, 0, 0, {100}, 1},
        {"1500 us", 1500, 100000, 0, 0, {1}, 1},
        {"below a millisecond", 999, 100000, 0, 0, {0}, 1},
        {"zero is one microsecond", 0, 100000, 0, 0, {0}, 1},
        {"negative is one microsecond", -40, 100000, 0, 0, {0}, 1},
        {"sub-millisecond part of each chunk", 2500, 1500, 0, 0, {1, 1}, 2},
        {"stop at once", 250000, 100000, 1, 250000, {}, 1},
        {"stop at the second question", 250000, 100000, 2, 150000, {100}, 2},
        {"stop at the third question", 250000, 100000, 3, 50000, {100, 100}, 3},
        {"stop asked for zero", 0, 100000, 1, 1, {}, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        SimulatedTime time;
        CountingPredicate stop{c.stopFrom == 0 ? 1 << 30 : c.stopFrom};
        EXPECT_EQ(NoxmidiSnd::waitInterruptible(c.us, stop.predicate(), c.step, time.timing()),
                  c.result);
        EXPECT_EQ(time.sleeps, c.sleeps);
        EXPECT_EQ(stop.asked, c.asked);
    }
}

TEST(WaitInterruptible, EmptyPredicateWaitsTheFullTime) {
    SimulatedTime time;
    EXPECT_EQ(NoxmidiSnd::waitInterruptible(320000, {}, 100000, time.timing()), 0);
    EXPECT_EQ(time.sleeps, (std::vector<int64_t>{100, 100, 100, 20}));
}

// Sending and oversleeping used to add up from event to event: 200 events 10 ms apart came
// out tens of milliseconds late. Each event now waits for its own due time.
TEST_F(OpenPort, SendingAndOversleepingDoNotAddUp) {
    SimulatedTime time;
    time.oversleep = 700;
    time.lookCost = 300;
    const NoxmidiTrk track = evenNotes(201, 1); // 200 waits of one tick
    ASSERT_EQ(port.play(track, 0.01, {}, time.timing()), NoxmidiSnd::resultOk);
    // The last note was due at 2 s; it went out when the last sleep ended.
    EXPECT_GE(time.now, 2000000 - 1000);
    EXPECT_LE(time.now, 2000000 + 700 + 300);
    EXPECT_EQ(sentSoFar().size(), 402u);
}

TEST_F(OpenPort, EventsThatAreDueAlreadyGoOutAtOnce) {
    SimulatedTime time;
    NoxmidiSnd::Timing timing = time.timing();
    bool first = true;
    const auto sleep = timing.sleepMillis;
    timing.sleepMillis = [&](int64_t ms) {
        sleep(ms);
        if (first && ms > 0)
            time.now += 50000, first = false; // one sleep ends 50 ms late
    };
    const NoxmidiTrk track = evenNotes(11, 1); // notes 10 ms apart
    ASSERT_EQ(port.play(track, 0.01, {}, timing), NoxmidiSnd::resultOk);
    // Notes due at 20..60 ms are late after the long sleep and follow without sleeping; the
    // one due at 70 ms waits only until 70 ms.
    EXPECT_EQ(time.sleeps, (std::vector<int64_t>{10, 0, 0, 0, 0, 0, 10, 10, 10, 10}));
    EXPECT_EQ(time.now, 100000);
    EXPECT_EQ(sentSoFar().size(), 22u);
}

TEST_F(OpenPort, WaitsFollowSecondsPerTick) {
    const struct {
        double secondsPerTick;
        uint32_t delta;
        std::vector<int64_t> sleeps;
    } cases[] = {
        {1.0 / 32, 32, {100, 100, 100, 100, 100, 100, 100, 100, 100, 100}}, // one frame
        {0.5 / 32, 32, {100, 100, 100, 100, 100}},                          // at 200 %
        {1.0 / 32, 2, {62}},  // a preview's two ticks: 62.5 ms
        {1.0 / 1024, 1, {0}}, // 976 us: below a millisecond
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.secondsPerTick);
        SimulatedTime time;
        const NoxmidiTrk track = trackOf({{0, {0x90, 60, 100}}, {c.delta, {0x80, 60, 127}}});
        EXPECT_EQ(port.play(track, c.secondsPerTick, {}, time.timing()), NoxmidiSnd::resultOk);
        EXPECT_EQ(time.sleeps, c.sleeps);
    }
    sentSoFar();
}

TEST_F(OpenPort, LongestDeltaIsNotNegative) {
    // 4294967295 ticks of one microsecond: read as -1 the note would go out at once.
    SimulatedTime time;
    CountingPredicate stop{2};
    const NoxmidiTrk track = trackOf({{0xFFFFFFFFu, {0x90, 60, 100}}});
    EXPECT_EQ(port.play(track, 0.000001, stop.predicate(), time.timing()),
              NoxmidiSnd::resultStopped);
    EXPECT_EQ(time.sleeps, std::vector<int64_t>{100});
    EXPECT_TRUE(sentSoFar().empty());
}

TEST_F(OpenPort, StopDuringALaterWaitSilencesOnlyWhatSounds) {
    SimulatedTime time;
    CountingPredicate stop{4}; // asked before each 100 ms chunk
    // A note of 150 ms, then a second one 500 ms later.
    const NoxmidiTrk track = trackOf(
        {{0, {0x90, 60, 100}}, {15, {0x80, 60, 127}}, {0, {0x91, 62, 100}}, {50, {0x81, 62, 127}}});
    EXPECT_EQ(port.play(track, 0.01, stop.predicate(), time.timing()), NoxmidiSnd::resultStopped);
    EXPECT_EQ(time.sleeps, (std::vector<int64_t>{100, 50, 100}));
    EXPECT_EQ(sentSoFar(),
              (std::vector<Message>{
                  {0x90, 60, 100}, {0x80, 60, 127}, {0x91, 62, 100}, {0x81, 62, 0x7F}}));
}
