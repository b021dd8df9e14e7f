// MIDI input in the real main window: a sender on the test JACK server plays into the chosen
// input port while the editor records or steps.
#include <gtest/gtest.h>

#include "AppHarness.h"

#include "app/CommandIds.h"
#include "mididevice/tests/JackSender.h"
#include "testsupport/NoteMakers.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>

using namespace tw;

namespace {

using std::chrono::milliseconds;

int64_t nowMicros() {
    return NoxmidiSnd::Timing::system().nowMicros();
}

// Runs the event loop until `done` or a deadline that only a broken test reaches.
bool runUntil(const std::function<bool()> &done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        Fl::wait(0.005);
    }
    return true;
}

void runFor(milliseconds time) {
    const auto end = std::chrono::steady_clock::now() + time;
    while (std::chrono::steady_clock::now() < end)
        Fl::wait(0.005);
}

int inputIndex(App &app, const std::string &name) {
    const auto &names = app.inputPorts();
    const auto it = std::find(names.begin(), names.end(), name);
    return it == names.end() ? -1 : int(it - names.begin());
}

// A menu toggle as a pick flips it: the mark first, then the command.
void pickToggle(AppHarness &h, int id) {
    h.menu().setValue(id, !h.marked(id));
    h.app->onCommand(id);
}

class AppInput : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("JACK_DEFAULT_SERVER"))
            GTEST_SKIP() << "no JACK test server";
        sender = std::make_unique<JackSender>(
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        ASSERT_TRUE(sender->ok());
    }

    // Starts the editor and chooses the sender's port under "Settings/Select MIDI input/".
    void startWithInput() {
        h.start();
        const int index = inputIndex(*h.app, sender->portName());
        ASSERT_GE(index, 0);
        h.app->onCommand(cmdInputPort + index);
        ASSERT_TRUE(h.app->input().isOpen());
        // The connection is in the graph once a message comes through (looked for here,
        // without the event loop, whose timer would take it first).
        bool through = false;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!through && std::chrono::steady_clock::now() < end) {
            sender->send({0xB0, 0x7F, 0});
            std::this_thread::sleep_for(milliseconds(20));
            InputEvent e;
            while (h.app->input().take(e))
                through = true;
        }
        ASSERT_TRUE(through);
    }

    AppHarness h;
    std::unique_ptr<JackSender> sender;
};

} // namespace

TEST_F(AppInput, MenuItemsAndThePortChoiceAcrossRestarts) {
    startWithInput();
    EXPECT_EQ(h.menu().findItem(cmdNoInput), h.menu().find_item("Settings/Select MIDI input/None"));
    EXPECT_EQ(h.menu().findItem(cmdMidiThru), h.menu().find_item("Settings/MIDI thru"));
    EXPECT_EQ(h.menu().findItem(cmdRecord), h.menu().find_item("Play/Record"));
    EXPECT_EQ(h.menu().shortcutOf(cmdRecord), 'r');
    EXPECT_EQ(h.menu().findItem(cmdStepEntry), h.menu().find_item("Edit/Step entry"));
    EXPECT_TRUE(h.marked(cmdMidiThru)) << "thru is on by default";
    EXPECT_FALSE(h.marked(cmdStepEntry));
    EXPECT_TRUE(h.marked(cmdInputPort + inputIndex(*h.app, sender->portName())));
    pickToggle(h, cmdMidiThru);
    EXPECT_FALSE(h.app->input().thru());
    h.finish();
    EXPECT_EQ(storedString("midiInPort"), sender->portName());
    EXPECT_EQ(storedInt("midiThru"), 0);

    h.start();
    EXPECT_TRUE(h.app->input().isOpen()) << "opened again at the start";
    EXPECT_EQ(h.app->input().portName(), sender->portName());
    EXPECT_TRUE(h.marked(cmdInputPort + inputIndex(*h.app, sender->portName())));
    EXPECT_FALSE(h.marked(cmdMidiThru));
    EXPECT_FALSE(h.app->input().thru());
    h.finish();

    const std::string gone = sender->portName();
    sender.reset();
    h.dialogs.clear();
    h.start();
    EXPECT_FALSE(h.app->input().isOpen());
    EXPECT_TRUE(h.marked(cmdNoInput));
    EXPECT_TRUE(h.dialogs.empty())
        << "a port that is gone is passed over quietly: " << h.lastMessage();
    h.finish();
    EXPECT_EQ(storedString("midiInPort"), gone) << "and stays chosen for a later start";

    h.start();
    h.app->onCommand(cmdRecord);
    EXPECT_FALSE(h.app->isRecording());
    EXPECT_EQ(h.lastMessage(), "No MIDI input port opened yet, see 'Settings/Select MIDI input'");
    EXPECT_FALSE(h.marked(cmdRecord));
}

// A phrase played while recording lands on the ticks where it was heard, at 100 % and at 200 %,
// on the channel for new notes, as one edit.
TEST_F(AppInput, RecordingMergesTheTakeAsOneEdit) {
    startWithInput();
    h.app->onCommand(cmdNewNoteChannel + 2);
    struct Case {
        int speedStep;
        double msPerTick; // at 8 ticks a frame
    };
    for (const Case c : {Case{4, 125.0}, Case{8, 62.5}}) {
        SCOPED_TRACE(c.speedStep);
        h.app->onCommand(cmdSpeed + c.speedStep);
        h.tape().model().setPlayMarker(16);
        h.app->onCommand(cmdRecord);
        ASSERT_TRUE(h.app->isRecording());
        EXPECT_TRUE(h.marked(cmdRecord));
        const unsigned undoBefore = h.tape().model().undoPosition();
        // Ten milliseconds into each tick, so that the way through JACK rounds away.
        const int64_t at = nowMicros() + 10000;
        const auto tick = [&](int ticks) { return at + int64_t(ticks * c.msPerTick * 1000); };
        sender->schedule({{tick(0), {0x90, 60, 100}},
                          {tick(2), {0x80, 60, 0}},
                          {tick(2), {0x90, 64, 100}},
                          {tick(4), {0x90, 64, 0}},
                          {tick(4), {0x90, 67, 100}},
                          {tick(4), {0x90, 71, 100}},
                          {tick(8), {0x80, 67, 0}},
                          {tick(8), {0x80, 71, 0}},
                          {tick(8), {0x90, 72, 100}}}); // still held at the stop
        ASSERT_TRUE(runUntil([&] { return sender->waitAllSent(milliseconds(0)); }));
        ASSERT_TRUE(runUntil([&] { return h.tape().takeNotes().size() == 5; }))
            << "the take shows while it is played";
        EXPECT_TRUE(h.tape().model().notes().empty()) << "nothing goes in before the stop";
        EXPECT_EQ(h.tape().takeNotes()[0], tn(60, 16, 2, 2));
        // The held note grows with the playhead.
        const uint32_t held = h.tape().takeNotes()[4].length;
        EXPECT_TRUE(runUntil([&] { return h.tape().takeNotes()[4].length > held + 1; }));
        h.app->onCommand(cmdPlayFromMarker); // Space stops the recording
        EXPECT_TRUE(h.tape().takeNotes().empty());
        EXPECT_FALSE(h.app->isRecording());
        EXPECT_FALSE(h.marked(cmdRecord));

        std::vector<TapeNote> notes = h.tape().model().notes();
        ASSERT_EQ(notes.size(), 5u);
        EXPECT_GE(notes.back().length, 1u);
        notes.back().length = 0;
        EXPECT_EQ(notes,
                  (std::vector<TapeNote>{tn(60, 16, 2, 2), tn(64, 18, 2, 2), tn(67, 20, 4, 2),
                                         tn(71, 20, 4, 2), tn(72, 24, 0, 2)}));
        EXPECT_EQ(h.tape().model().undoPosition(), undoBefore + 1) << "one edit";
        h.app->onCommand(cmdUndo);
        EXPECT_TRUE(h.tape().model().notes().empty());
    }
}

TEST_F(AppInput, StepEntryPlacesNotesAndChordsAndBackSpaceTakesThemBack) {
    startWithInput();
    h.tape().model().setPlayMarker(8);
    sender->send({0x90, 50, 90}); // before step entry is on: no step
    runFor(milliseconds(100));
    pickToggle(h, cmdStepEntry);
    ASSERT_TRUE(h.app->stepEntry());
    const unsigned undoBefore = h.tape().model().undoPosition();

    const auto play = [&](std::vector<Message> keys, std::size_t expectNotes) {
        runFor(milliseconds(2 * StepEntry::chordMicros / 1000)); // a step, not a chord
        for (const Message &k : keys)
            sender->send(k);
        EXPECT_TRUE(runUntil([&] { return h.tape().model().notes().size() == expectNotes; }));
    };
    play({{0x90, 60, 100}, {0x80, 60, 0}}, 1);
    play({{0x90, 62, 100}}, 2);
    play({{0x90, 64, 100}, {0x90, 67, 100}}, 4); // a chord: sent in one JACK cycle
    EXPECT_EQ(h.tape().model().notes(),
              (std::vector<TapeNote>{tn(60, 8, 4, 0), tn(62, 12, 4, 0), tn(64, 16, 4, 0),
                                     tn(67, 16, 4, 0)}));
    EXPECT_EQ(h.tape().model().playMarker(), 20u);
    EXPECT_EQ(h.tape().model().undoPosition(), undoBefore + 4) << "each step is an edit";

    h.app->onCommand(cmdStepBack);
    EXPECT_EQ(h.tape().model().notes().size(), 3u);
    EXPECT_EQ(h.tape().model().playMarker(), 20u) << "a note of the chord is left";
    h.app->onCommand(cmdStepBack);
    EXPECT_EQ(h.tape().model().notes().size(), 2u);
    EXPECT_EQ(h.tape().model().playMarker(), 16u);
    h.app->onCommand(cmdUndo); // the BackSpace edit: the chord note comes back
    EXPECT_EQ(h.tape().model().notes().size(), 3u);

    pickToggle(h, cmdStepEntry);
    h.app->onCommand(cmdStepBack);
    EXPECT_EQ(h.tape().model().notes().size(), 3u) << "BackSpace does nothing without step entry";
    play({{0x90, 70, 100}}, 3);
    runFor(milliseconds(100));
    EXPECT_EQ(h.tape().model().notes().size(), 3u);
}

// With snap on, recorded starts and ends go to the beat grid's lines and a step is one division.
TEST_F(AppInput, SnapShapesRecordedAndSteppedNotes) {
    startWithInput();
    BeatGrid grid; // 120 beats a minute at 8 ticks a frame: a beat is 4 ticks
    grid.snap = true;
    grid.division = 2;
    ASSERT_TRUE(h.tape().model().setBeatGrid(grid));
    h.tape().model().setPlayMarker(0);
    h.app->onCommand(cmdRecord);
    const int64_t at = nowMicros();
    // A start at 1.3 ticks goes to 2, an end at 2.6 also to 2: one step long.
    sender->schedule({{at + 162500, {0x90, 60, 100}}, {at + 325000, {0x80, 60, 0}}});
    ASSERT_TRUE(runUntil([&] { return sender->waitAllSent(milliseconds(0)); }));
    runFor(milliseconds(100));
    h.app->onCommand(cmdRecord);
    EXPECT_EQ(h.tape().model().notes(), (std::vector<TapeNote>{tn(60, 2, 2)}));

    h.tape().model().setPlayMarker(10);
    pickToggle(h, cmdStepEntry);
    sender->send({0x90, 62, 100});
    EXPECT_TRUE(runUntil([&] { return h.tape().model().notes().size() == 2; }));
    EXPECT_EQ(h.tape().model().notes().back(), tn(62, 10, 2));
    EXPECT_EQ(h.tape().model().playMarker(), 12u);
}
