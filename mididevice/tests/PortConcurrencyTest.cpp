// The GUI thread and the playback worker share the port: previews, program changes, opening
// and closing go on while a playout runs. Also run under ThreadSanitizer.
#include "PortFixture.h"

#include "mididevice/NoxssThread.h"

#include <rtmidi/RtMidi.h>

#include <condition_variable>
#include <thread>

using namespace tw;

namespace {

// Timing whose first sleep blocks until the test lets it go, so that the test can act while a
// playout is certainly inside a wait.
class HeldSleep {
public:
    NoxmidiSnd::Timing timing() {
        return {[] { return int64_t(0); },
                [this](int64_t) {
                    std::unique_lock<std::mutex> lock(mutex);
                    sleeping = true;
                    changed.notify_all();
                    changed.wait(lock, [&] { return released; });
                }};
    }
    void awaitSleeping() {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return sleeping; });
    }
    void release() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            released = true;
        }
        changed.notify_all();
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    bool sleeping = false;
    bool released = false;
};

// Notes 1 ms apart, each held for one tick, on channel `channel`.
NoxmidiTrk fastMelody(int notes, unsigned channel) {
    NoxmidiTrk track;
    for (int i = 0; i < notes; ++i) {
        track.appendToneOn(i == 0 ? 0 : 1, 40 + i % 40, 100, channel);
        track.appendToneOff(1, 40 + i % 40, 127, channel);
    }
    return track;
}

} // namespace

// Closing or reopening the port under a waiting playout used to leave the worker with a freed
// output; now the playout ends with a send error at its next event.
TEST_F(OpenPort, ChangingThePortEndsARunningPlayout) {
    enum Change { closeOnly, closeAndOpen, openAgain };
    const struct {
        const char *what;
        Change change;
        std::string line;
    } cases[] = {
        {"close", closeOnly, "Send error the MIDI output port is not open\n"},
        {"close and open", closeAndOpen,
         "Send error the MIDI output port was changed during the playout\n"},
        {"open again", openAgain,
         "Send error the MIDI output port was changed during the playout\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        if (!port.isOpen()) {
            reopen();
        }
        HeldSleep held;
        const NoxmidiTrk track = trackOf({{0, {0x90, 60, 100}}, {10, {0x80, 60, 127}}});
        int result = -1;
        std::thread worker([&] { result = port.play(track, 0.001, {}, held.timing()); });
        held.awaitSleeping();
        // The note-on is out; see it arrive before the port goes away (closing may drop what
        // the back end has not passed on yet).
        EXPECT_TRUE(receiver->takeUntil({0x90, 60, 100}).empty());
        if (c.change != openAgain)
            port.close();
        if (c.change != closeOnly) {
            reopen();
        }
        ::testing::internal::CaptureStderr();
        held.release();
        worker.join();
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.line);
        EXPECT_EQ(result, int(RtMidiError::INVALID_USE));
        EXPECT_TRUE(port.sounding().at(60)) << "the note-off was not sent";
        if (!port.isOpen()) {
            reopen();
        }
        port.allNotesOff();
        EXPECT_EQ(sentSoFar(), (std::vector<Message>{{0x80, 60, 0x7F}}));
    }
}

// The player is toggled hundreds of times while the GUI thread previews notes and changes
// programs on the same port; a stopped playout leaves nothing sounding.
TEST_F(OpenPort, TogglingPlaybackWhilePreviewing) {
    NoxssThread player;
    const NoxmidiTrk melody = fastMelody(400, 1);
    NoxmidiTrk preview;
    preview.appendToneOn(0, 72, 80, 0);
    preview.appendToneOff(2, 72, 80, 0);
    std::atomic<int> playouts{0};
    for (int i = 0; i < 300; ++i) {
        if (player.state() == NoxssThread::stateRunning) {
            player.stop();
        } else {
            player.stop();
            player.task = [&, melody](const std::atomic<bool> &stop) {
                ++playouts;
                port.play(melody, 0.001, [&stop] { return stop.load(); });
            };
            ASSERT_TRUE(player.start());
        }
        port.programChange(unsigned(i % 128), unsigned(i % 16));
        port.play(preview, 0.0005, {});
    }
    if (player.state() != NoxssThread::stateRunning) {
        player.stop();
        ASSERT_TRUE(player.start());
    }
    player.stop();
    EXPECT_GE(playouts.load(), 150);
    for (const auto &entry : port.sounding())
        EXPECT_FALSE(entry.second) << "key " << entry.first << " left sounding";
    EXPECT_EQ(keysLeftSounding(sentSoFar()), std::vector<int>{}) << "sounding at the receiver";
}

// Opening and closing from the GUI thread while playouts run must neither crash nor race.
TEST_F(OpenPort, ReopeningWhilePlaying) {
    NoxssThread player;
    const NoxmidiTrk melody = fastMelody(200, 2);
    player.task = [&](const std::atomic<bool> &stop) {
        port.play(melody, 0.001, [&stop] { return stop.load(); });
    };
    for (int i = 0; i < 20; ++i) {
        player.stop();
        ASSERT_TRUE(player.start());
        port.programChange(1, 2);
        if (i % 2 == 0)
            port.close();
        reopen();
    }
    player.stop();
    port.allNotesOff();
    for (const auto &entry : port.sounding())
        EXPECT_FALSE(entry.second) << "key " << entry.first << " left sounding";
}
