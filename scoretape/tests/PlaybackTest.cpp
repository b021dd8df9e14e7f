// Playback of the tape through a real port: a JACK receiver in the test process checks the
// bytes. The tape's operations run on this (the GUI) thread, the playout on the player.
#include "TapeTestSupport.h"

#include "mididevice/tests/JackReceiver.h"
#include "scoretape/PlaybackController.h"

#include <gtest/gtest.h>

#include <thread>

using namespace tw;

namespace {

class TapePlayback : public ::testing::Test {
protected:
    void SetUp() override {
        receiver = std::make_unique<JackReceiver>(
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        ASSERT_GE(receiver->connect(port), 0)
            << "the receiver cannot be reached; is a JACK server running?";
        tape.model().setTicksPerFrame(200); // 5 ms per tick at 100 %
    }
    void TearDown() override { playback.player().stop(); }

    // Everything that the port sent since the last call, in order.
    std::vector<Message> sentSoFar() {
        const Message marker = nextMarker();
        EXPECT_EQ(port.send(marker), 0);
        return receiver->takeUntil(marker);
    }
    // Waits (without a time limit of its own) until a playout has ended by itself.
    void waitForPlayoutEnd() {
        while (playback.player().state() == NoxssThread::stateRunning)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    std::unique_ptr<JackReceiver> receiver;
    NoxmidiSnd port; // declared before the player: it stops before the port goes
    TestWidget tape;
    PlaybackController playback{tape};
};

std::vector<Message> programChanges(const std::vector<int> &programs) {
    std::vector<Message> list;
    for (unsigned c = 0; c < programs.size(); ++c)
        list.push_back({uint8_t(0xC0 + c), uint8_t(programs[c])});
    return list;
}

std::vector<Message> noteOns(const std::vector<Message> &messages) {
    std::vector<Message> ons;
    for (const Message &m : messages)
        if ((m[0] >> 4) == 9 && m[2] != 0)
            ons.push_back(m);
    return ons;
}

} // namespace

TEST_F(TapePlayback, AttachingAPortSendsTheSixteenPrograms) {
    std::vector<int> initial;
    for (int c = 0; c < 16; ++c)
        initial.push_back(c);
    EXPECT_EQ(tape.model().programs(), initial);
    playback.setOutput(&port);
    EXPECT_EQ(sentSoFar(), programChanges(initial));

    std::vector<int> stored = {40, 0, 127, 128, -1, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 99};
    playback.setPrograms(stored); // 128 and -1 are ignored, and so is an entry for channel 16
    std::vector<int> expected = {40, 0, 127, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    EXPECT_EQ(tape.model().programs(), expected);
    sentSoFar();
    playback.sendPrograms();
    EXPECT_EQ(sentSoFar(), programChanges(expected));
}

TEST_F(TapePlayback, SetProgramSendsOnlyValidChanges) {
    playback.setOutput(&port);
    sentSoFar();
    const struct {
        unsigned channel, program;
        std::vector<Message> sent;
        int stored3; // program of channel 3 afterwards
    } cases[] = {
        {3, 5, {{0xC3, 0x05}}, 5},
        {3, 128, {}, 5},
        {16, 5, {}, 5},
        {15, 127, {{0xCF, 127}}, 5},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.channel) + "/" + std::to_string(c.program));
        playback.setProgram(c.channel, c.program);
        EXPECT_EQ(sentSoFar(), c.sent);
        EXPECT_EQ(tape.model().program(3), unsigned(c.stored3));
    }
}

TEST_F(TapePlayback, WithoutAnOpenPortNothingIsSent) {
    tape.model().setNotes({tn(60, 0)});
    EXPECT_FALSE(playback.play(0)) << "no port attached";
    EXPECT_FALSE(playback.playNoteAt(0, 60));
    playback.setOutput(&port);
    sentSoFar();
    port.close();
    EXPECT_FALSE(playback.play(0));
    EXPECT_FALSE(playback.playNoteAt(0, 60));
    playback.setProgram(2, 9); // only stored
    EXPECT_EQ(tape.model().program(2), 9u);
    EXPECT_EQ(playback.player().state(), NoxssThread::stateIdle);
    ASSERT_GE(receiver->connect(port), 0);
    EXPECT_TRUE(sentSoFar().empty());
}

TEST_F(TapePlayback, SpeedFactor) {
    const struct {
        double factor, timeScale;
    } cases[] = {{0, 1}, {2, 0.5}, {0.5, 2}, {1, 1}, {-2, 1}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.factor);
        playback.setSpeed(c.factor);
        EXPECT_DOUBLE_EQ(playback.timeScale(), c.timeScale);
    }
}

TEST_F(TapePlayback, PlaysTheChosenNotes) {
    // Channel 0 at 10 and 20, channel 1 (hidden below) at 12, channel 2 at 30 (selected).
    const std::vector<TapeNote> melody = {tn(60, 10, 2, 0, 100), tn(62, 12, 3, 1, 90),
                                          tn(64, 20, 2, 0, 80), tn(67, 30, 1, 2, 70, true)};
    const struct {
        const char *what;
        unsigned flags;
        std::vector<Message> ons;
    } cases[] = {
        {"all", 0, {{0x90, 60, 100}, {0x91, 62, 90}, {0x90, 64, 80}, {0x92, 67, 70}}},
        {"shown channels", 1, {{0x90, 60, 100}, {0x90, 64, 80}, {0x92, 67, 70}}},
        {"selected", 2, {{0x92, 67, 70}}},
        {"from the green marker", 4, {{0x90, 64, 80}, {0x92, 67, 70}}},
        {"from the marker, shown", 5, {{0x90, 64, 80}, {0x92, 67, 70}}},
        {"selected from the marker", 2 | 4, {{0x92, 67, 70}}},
    };
    tape.model().setNotes(melody);
    tape.model().setChannelMask(0xFFFF & ~0x0002);
    tape.model().setPlayMarker(15);
    // setChannelMask clears the selection; select the last note again.
    tape.model().setSelected(3, true);
    playback.setOutput(&port);
    sentSoFar();
    playback.setSpeed(2);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(playback.play(c.flags));
        waitForPlayoutEnd();
        EXPECT_EQ(playback.player().state(), NoxssThread::stateFinished);
        const std::vector<Message> sent = sentSoFar();
        EXPECT_EQ(noteOns(sent), c.ons);
        EXPECT_TRUE(keysLeftSounding(sent).empty());
        EXPECT_EQ(sent.size(), 2 * c.ons.size()) << "every note-on has its note-off";
    }
}

TEST_F(TapePlayback, NoteOffsComeWithVelocity127) {
    tape.model().setNotes({tn(60, 0, 2, 3, 100), tn(72, 1, 2, 3, 50)});
    playback.setOutput(&port);
    sentSoFar();
    ASSERT_TRUE(playback.play(0));
    waitForPlayoutEnd();
    EXPECT_EQ(sentSoFar(), (std::vector<Message>{
                               {0x93, 60, 100}, {0x93, 72, 50}, {0x83, 60, 127}, {0x83, 72, 127}}));
}

TEST_F(TapePlayback, PlayTogglesAndStoppingSilencesEverySoundingNote) {
    // A chord that lasts a minute, then more notes.
    tape.model().setNotes(
        {tn(60, 0, 12000, 0), tn(64, 0, 12000, 2), tn(55, 0, 12000, 1), tn(70, 10000, 5)});
    playback.setOutput(&port);
    sentSoFar();
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(playback.play(0)); // starts from the beginning every time
        EXPECT_TRUE(receiver->takeUntil({0x91, 55, 100}).size() == 2u)
            << "the chord's other notes come first";
        EXPECT_EQ(playback.player().state(), NoxssThread::stateRunning);
        ASSERT_TRUE(playback.play(0)); // stops
        EXPECT_EQ(playback.player().state(), NoxssThread::stateIdle);
        EXPECT_EQ(sentSoFar(),
                  (std::vector<Message>{{0x80, 60, 127}, {0x81, 55, 127}, {0x82, 64, 127}}));
    }
}

TEST_F(TapePlayback, EmptyPlayoutsFinishAndDoNotToggle) {
    tape.model().setNotes({tn(60, 0, 2)});
    tape.model().setPlayMarker(50); // after the last note
    playback.setOutput(&port);
    sentSoFar();
    ASSERT_TRUE(playback.play(4));
    waitForPlayoutEnd();
    EXPECT_EQ(playback.player().state(), NoxssThread::stateFinished);
    ASSERT_TRUE(playback.play(4)); // a new empty playout, not a stop
    EXPECT_NE(playback.player().state(), NoxssThread::stateIdle);
    waitForPlayoutEnd();
    tape.model().unselectAll();
    ASSERT_TRUE(playback.play(2)); // nothing selected
    waitForPlayoutEnd();
    EXPECT_EQ(playback.player().state(), NoxssThread::stateFinished);
    EXPECT_TRUE(sentSoFar().empty());
}

TEST_F(TapePlayback, PreviewPlaysTheFirstShownNoteOnChannel0) {
    tape.model().setNotes({tn(60, 8, 4, 1, 30), tn(60, 8, 4, 4, 90), tn(62, 8, 4, 5, 70)});
    tape.model().setChannelMask(0xFFFF & ~0x0002); // the note on channel 1 is hidden
    playback.setOutput(&port);
    sentSoFar();
    const struct {
        unsigned tick, note;
        bool played;
        std::vector<Message> sent;
    } cases[] = {
        {8, 60, true, {{0x90, 60, 90}, {0x80, 60, 90}}}, // channel 4's note, velocity 90
        {8, 62, true, {{0x90, 62, 70}, {0x80, 62, 70}}},
        {9, 60, false, {}}, // no note starts there
        {8, 61, false, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.tick) + "/" + std::to_string(c.note));
        EXPECT_EQ(playback.playNoteAt(c.tick, c.note), c.played);
        EXPECT_EQ(sentSoFar(), c.sent);
    }
}

TEST_F(TapePlayback, ClosingThePortEndsAPlayout) {
    tape.model().setNotes({tn(60, 0, 12000), tn(62, 100, 5)});
    playback.setOutput(&port);
    sentSoFar();
    ASSERT_TRUE(playback.play(0));
    EXPECT_TRUE(receiver->takeUntil({0x90, 60, 100}).empty());
    ::testing::internal::CaptureStderr();
    port.close(); // as the application does before it changes the port
    waitForPlayoutEnd();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(playback.player().state(), NoxssThread::stateFinished);
    EXPECT_EQ(err, "Send error the MIDI output port is not open\n");
    EXPECT_FALSE(playback.play(0));
}

// Hundreds of start/stop commands while the GUI thread previews notes and changes programs
// on the same port; run under ThreadSanitizer too.
TEST_F(TapePlayback, TogglingWhilePreviewingAndChangingPrograms) {
    std::vector<TapeNote> melody;
    for (unsigned i = 0; i < 400; ++i)
        melody.push_back(tn(40 + i % 40, i, 1 + i % 3, i % 3, 100));
    tape.model().setNotes(melody);
    playback.setOutput(&port);
    sentSoFar();
    playback.setSpeed(2); // 2.5 ms per tick
    for (unsigned i = 0; i < 300; ++i) {
        ASSERT_TRUE(playback.play(0));
        playback.playNoteAt(i % 400, 40 + i % 40);
        playback.setProgram(i % 16, i % 128);
    }
    if (playback.player().state() != NoxssThread::stateRunning) {
        ASSERT_TRUE(playback.play(0));
    }
    ASSERT_TRUE(playback.play(0)); // the last command stops a running playout
    EXPECT_EQ(playback.player().state(), NoxssThread::stateIdle);
    EXPECT_EQ(keysLeftSounding(sentSoFar()), std::vector<int>{});
    for (const auto &entry : port.sounding())
        EXPECT_FALSE(entry.second) << "key " << entry.first;
}

TEST_F(TapePlayback, ALoopRepeatsBetweenTheMarkersWithoutGapOrDrift) {
    // 5 ms a tick: the loop from tick 10 to 50 lasts 200 ms, with 100 ms of silence at its end
    // that a pass must not skip; the note at 60 lies behind the purple marker.
    playback.setOutput(&port);
    tape.model().setNotes({tn(60, 10, 4), tn(62, 20, 10), tn(64, 60, 4)});
    tape.model().setRightMarker(50);
    tape.model().setLeftMarker(10, tape.view());
    sentSoFar();
    receiver->clear();
    ASSERT_TRUE(playback.play(ScoreModel::playLoop));
    const Message first{0x90, 60, 100}, second{0x90, 62, 100};
    const auto arrivals = [&](const Message &on) {
        std::vector<int64_t> times;
        for (const TimedMessage &m : receiver->received())
            if (m.bytes == on)
                times.push_back(int64_t(m.micros));
        return times;
    };
    // Five passes at least; the deadline only keeps a broken loop from hanging the test.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (arrivals(first).size() < 5 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(playback.player().state(), NoxssThread::stateRunning) << "a loop plays until stopped";
    playback.player().stop();
    const std::vector<int64_t> starts = arrivals(first), seconds = arrivals(second);
    ASSERT_GE(starts.size(), 5u);
    ASSERT_GE(seconds.size(), 4u);
    // Pass n begins n loop lengths after the first: no gap at the seam, and none that adds up.
    // The allowance is two JACK periods of the test server and a few milliseconds of sleep.
    constexpr int64_t loop = 200000, allowance = 15000;
    for (std::size_t n = 1; n < 5; ++n) {
        SCOPED_TRACE(n);
        EXPECT_NEAR(double(starts[n] - starts[0]), double(n * loop), double(allowance));
        EXPECT_NEAR(double(seconds[n - 1] - starts[n - 1]), 50000.0, double(allowance));
    }
    for (const TimedMessage &m : receiver->received())
        EXPECT_FALSE(m.bytes.size() == 3 && m.bytes[0] == 0x90 && m.bytes[1] == 64)
            << "a note behind the purple marker played";
}
