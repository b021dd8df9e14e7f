// The playhead as FLTK draws it while a melody plays through a real port to a JACK receiver:
// the line stands where the playback clock (the receiver's arrival time of the first note)
// puts it, within one frame, and it is gone once the playout ends or is stopped.
// GoogleTest comes before FLTK, whose X11 headers define macros such as None.
#include <gtest/gtest.h>

#include "TapeTestSupport.h"

#include "mididevice/tests/JackReceiver.h"
#include "scoretape/PlaybackController.h"

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/fl_draw.H>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>

using namespace tw;

namespace {

// One drawing: the JACK clock when it was made and the playhead's left column, or -1.
struct Frame {
    uint64_t micros = 0;
    int column = -1;
    int width = 0;
};

// A tape that reads back the top row of its grid after every drawing.
class PlayheadTape : public Flt_ScoreTape {
public:
    using Flt_ScoreTape::Flt_ScoreTape;
    std::function<uint64_t()> clock;
    std::vector<Frame> frames;

    void draw() override {
        Flt_ScoreTape::draw();
        Frame frame;
        frame.micros = clock();
        const int row = y() + labelStripHeight() + 3;
        uchar *p = fl_read_image(nullptr, x(), row, w(), 1);
        ASSERT_NE(p, nullptr);
        for (int i = 0; i < w(); ++i) {
            if (p[3 * i] == 255 && p[3 * i + 1] == 140 && p[3 * i + 2] == 0) {
                if (frame.column < 0)
                    frame.column = x() + i;
                ++frame.width;
            }
        }
        delete[] p;
        frames.push_back(frame);
    }
};

class PlayheadDrawing : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY"))
            GTEST_SKIP() << "no X display";
        receiver = std::make_unique<JackReceiver>("playhead");
        ASSERT_GE(receiver->connect(port), 0)
            << "the receiver cannot be reached; is a JACK server running?";
        window = std::make_unique<Fl_Double_Window>(801, 345, "playhead");
        tape = new PlayheadTape(0, 0, 801, 345);
        window->end();
        playback = std::make_unique<PlaybackController>(*tape);
        tape->clock = [this] { return receiver->nowMicros(); };
        tape->setBottomNote(50);
        playback->setOutput(&port);
        window->show();
        pump(0.2);
    }
    void TearDown() override {
        playback.reset();
        if (window)
            window->hide();
        window.reset();
        Fl::check();
    }
    void pump(double seconds) {
        const auto until =
            std::chrono::steady_clock::now() + std::chrono::microseconds(int64_t(seconds * 1e6));
        while (std::chrono::steady_clock::now() < until)
            Fl::wait(0.005);
    }
    // The JACK clock at which the note-on arrived.
    uint64_t arrival(const Message &noteOn) {
        EXPECT_TRUE(receiver->waitFor(noteOn, std::chrono::seconds(5)));
        for (const TimedMessage &m : receiver->received())
            if (m.bytes == noteOn)
                return m.micros;
        ADD_FAILURE() << "no note-on";
        return 0;
    }

    std::unique_ptr<JackReceiver> receiver;
    NoxmidiSnd port; // before the window: the tape's player stops before the port goes
    std::unique_ptr<Fl_Double_Window> window;
    PlayheadTape *tape = nullptr; // a child of the window
    std::unique_ptr<PlaybackController> playback;
};

} // namespace

TEST_F(PlayheadDrawing, TheLineFollowsThePlaybackClock) {
    const struct {
        const char *what;
        unsigned ticksPerFrame;
        double speed;
        bool names;
    } cases[] = {
        {"20 ticks a second at 200 %", 20, 2, false},
        {"40 ticks a second at 84 %, with the note names", 40, 0.84, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        // The playout starts at the first note behind the green marker, tick 12.
        tape->model().setNotes({tn(60, 5, 4), tn(62, 12, 40), tn(64, 50, 2)});
        tape->model().setPlayMarker(10);
        tape->model().setTicksPerFrame(c.ticksPerFrame);
        playback->setSpeed(c.speed);
        tape->setNoteNamesShown(c.names);
        const double secondsPerTick = 1.0 / (c.speed * c.ticksPerFrame);
        pump(0.1);
        receiver->clear();
        ASSERT_TRUE(playback->play(4));
        const uint64_t start = arrival({0x90, 62, 100});
        tape->frames.clear();
        while (playback->player().state() == NoxssThread::stateRunning)
            Fl::wait(0.005);
        pump(0.2);

        ASSERT_GE(tape->frames.size(), 10u) << "at least 30 drawings a second";
        int shown = 0, previous = -1;
        for (const Frame &f : tape->frames) {
            if (f.column < 0)
                continue;
            ++shown;
            EXPECT_EQ(f.width, 2);
            EXPECT_GE(f.column, previous) << "the line moves right";
            previous = f.column;
            const double expected = 12 + (double(f.micros) - double(start)) * 1e-6 / secondsPerTick;
            const double drawn =
                tape->view().firstTick + double(f.column - tape->boardX()) / tape->view().tickWidth;
            const double frameTicks = (1.0 / 30) / secondsPerTick;
            EXPECT_NEAR(drawn, expected, frameTicks + 1.0 / tape->view().tickWidth)
                << "drawn at column " << f.column;
        }
        EXPECT_GE(shown, 10);
        EXPECT_LT(tape->frames.back().column, 0) << "the line is gone after the playout";
        EXPECT_FALSE(tape->frames.front().column < 0 && shown == 0);
    }
}

TEST_F(PlayheadDrawing, StoppingRemovesTheLineAndLeavesTheView) {
    tape->model().setNotes({tn(60, 0, 4000)});
    tape->model().setTicksPerFrame(200); // 5 ms a tick: the view pages within half a second
    ASSERT_TRUE(playback->play(0));
    arrival({0x90, 60, 100});
    pump(0.8);
    double tick = 0;
    ASSERT_TRUE(tape->playheadTick(tick));
    EXPECT_GT(tape->view().firstTick, 0u) << "the view followed";
    EXPECT_GE(tick, tape->view().firstTick);
    EXPECT_LE(tick, tape->view().firstTick + 0.9 * tape->view().visibleTicks + 4);
    ASSERT_TRUE(playback->play(0)); // stops
    const unsigned first = tape->view().firstTick;
    tape->frames.clear();
    pump(0.2);
    EXPECT_FALSE(tape->playheadTick(tick));
    ASSERT_FALSE(tape->frames.empty());
    EXPECT_LT(tape->frames.back().column, 0);
    EXPECT_EQ(tape->view().firstTick, first);
}
