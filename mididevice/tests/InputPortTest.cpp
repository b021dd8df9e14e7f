// The input port against a sender of the test's own on the JACK server of the test run: the
// list, open and close, arrival with time stamps, and thru to a receiver.
#include "JackSender.h"
#include "PortFixture.h"
#include "mididevice/NoxmidiRcv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

using namespace tw;

namespace {

constexpr std::chrono::seconds patience(20); // only keeps a broken test from hanging

int64_t steadyMicros() {
    return NoxmidiSnd::Timing::system().nowMicros();
}

bool listed(const std::string &name) {
    const auto names = NoxmidiRcv::listInputPorts();
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Takes messages until `count` have come or the patience runs out.
std::vector<InputEvent> takeEvents(NoxmidiRcv &input, std::size_t count) {
    std::vector<InputEvent> events;
    const auto end = std::chrono::steady_clock::now() + patience;
    while (events.size() < count && std::chrono::steady_clock::now() < end) {
        InputEvent e;
        if (input.take(e))
            events.push_back(e);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return events;
}

Message bytesOf(const InputEvent &e) {
    return Message(e.bytes, e.bytes + e.size);
}

// An input opened on a sender of its own; the sender's port is listed once the graph shows it.
class OpenInput : public ::testing::Test {
protected:
    void SetUp() override {
        sender = std::make_unique<JackSender>(
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        ASSERT_TRUE(sender->ok()) << "no JACK server of the test run";
        ASSERT_EQ(input.open(sender->portName()), 0);
        ASSERT_TRUE(input.isOpen());
        EXPECT_EQ(input.portName(), sender->portName());
        // Connections in JACK take a cycle or two: play until something comes through.
        const auto end = std::chrono::steady_clock::now() + patience;
        InputEvent e;
        bool through = false;
        while (!through && std::chrono::steady_clock::now() < end) {
            sender->send({0xB0, 0x7F, 0x00});
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            while (input.take(e))
                through = true;
        }
        ASSERT_TRUE(through) << "nothing arrived from the sender";
        sender->waitAllSent(patience);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        while (input.take(e)) {
        }
    }

    std::unique_ptr<JackSender> sender;
    NoxmidiRcv input;
};

} // namespace

TEST(InputPortList, ListsSendersButNotOurOwnOutputAndRefusesUnknownNames) {
    JackSender sender("list");
    ASSERT_TRUE(sender.ok());
    EXPECT_TRUE(listed(sender.portName()));
    JackReceiver receiver("list");
    NoxmidiSnd output;
    ASSERT_GE(receiver.connect(output), 0);
    for (const std::string &name : NoxmidiRcv::listInputPorts())
        EXPECT_NE(name.rfind("RtMidi Output Client", 0), 0u) << name;

    NoxmidiRcv input;
    ::testing::internal::CaptureStderr();
    EXPECT_GE(input.open("no such port"), 2);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("no MIDI input port 'no such port'"), std::string::npos) << said;
    EXPECT_FALSE(input.isOpen());
    EXPECT_EQ(input.portName(), "");
}

TEST_F(OpenInput, MessagesArriveInOrderWithTheirArrivalTimes) {
    std::atomic<int> wakeUps{0};
    input.close();
    input.setWakeUp([&wakeUps] { ++wakeUps; });
    ASSERT_EQ(input.open(sender->portName()), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(50)); // the new connection settles

    const std::vector<Message> phrase = {{0x90, 60, 100}, {0xF8},        {0x80, 60, 0},
                                         {0x91, 64, 90},  {0x91, 64, 0}, {0xE1, 0, 64}};
    const int64_t start = steadyMicros();
    std::vector<std::pair<int64_t, Message>> timed;
    for (std::size_t i = 0; i < phrase.size(); ++i)
        timed.emplace_back(start + int64_t(i) * 30000, phrase[i]);
    sender->schedule(timed);
    ASSERT_TRUE(sender->waitAllSent(patience));
    const std::vector<InputEvent> events = takeEvents(input, phrase.size() - 1);
    const std::vector<JackSender::Sent> sent = sender->sent();

    ASSERT_EQ(events.size(), phrase.size() - 1) << "the clock message is left out";
    std::size_t s = sent.size() - phrase.size();
    for (std::size_t i = 0; i < events.size(); ++i, ++s) {
        SCOPED_TRACE(i);
        if (sent[s].bytes == Message{0xF8})
            ++s;
        EXPECT_EQ(bytesOf(events[i]), sent[s].bytes);
        EXPECT_GE(events[i].micros, sent[s].steadyMicros);
        EXPECT_LT(events[i].micros, sent[s].steadyMicros + 1000000) << "stamped on arrival";
        if (i > 0) {
            EXPECT_GE(events[i].micros, events[i - 1].micros);
        }
    }
    EXPECT_TRUE(events[0].isNoteOn());
    EXPECT_TRUE(events[1].isNoteOff());
    EXPECT_TRUE(events[3].isNoteOff()) << "a note-on with velocity 0";
    EXPECT_EQ(wakeUps.load(), int(events.size()));
    EXPECT_EQ(input.dropped(), 0u);
}

TEST_F(OpenInput, NothingArrivesAfterCloseAndAgainAfterReopen) {
    input.close();
    EXPECT_FALSE(input.isOpen());
    sender->send({0x90, 61, 1});
    ASSERT_TRUE(sender->waitAllSent(patience));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    InputEvent e;
    EXPECT_FALSE(input.take(e));

    ASSERT_EQ(input.open(sender->portName()), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    sender->send({0x90, 62, 2});
    const auto events = takeEvents(input, 1);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(bytesOf(events[0]), (Message{0x90, 62, 2}));
}

TEST_F(OpenInput, ThruSendsOnTheChannelForNewNotesOnlyWhileOn) {
    JackReceiver receiver("thru");
    NoxmidiSnd output;
    ASSERT_GE(receiver.connect(output), 0);
    input.setThruPort(&output);
    input.setThruChannel(5);
    EXPECT_TRUE(input.thru()) << "on by default";

    const std::vector<Message> played = {
        {0x90, 60, 100}, {0xC0, 7}, {0xB3, 64, 127}, {0x80, 60, 0}};
    for (const Message &m : played)
        sender->send(m);
    ASSERT_TRUE(sender->waitAllSent(patience));
    EXPECT_EQ(takeEvents(input, played.size()).size(), played.size());
    const auto heardSoFar = [&] {
        const Message marker = nextMarker();
        output.send(marker);
        return receiver.takeUntil(marker);
    };
    EXPECT_EQ(heardSoFar(), (std::vector<Message>{{0x95, 60, 100}, {0xB5, 64, 127}, {0x85, 60, 0}}))
        << "program changes stay at home";

    input.setThru(false);
    sender->send({0x90, 67, 100});
    ASSERT_TRUE(sender->waitAllSent(patience));
    EXPECT_EQ(takeEvents(input, 1).size(), 1u) << "recorded all the same";
    EXPECT_TRUE(heardSoFar().empty()) << "thru is off";

    input.setThru(true);
    output.close(); // thru to a closed port is quietly nothing
    ::testing::internal::CaptureStderr();
    sender->send({0x90, 68, 100});
    EXPECT_EQ(takeEvents(input, 1).size(), 1u);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    input.setThruPort(nullptr);
}

TEST(InputThruMessage, MovesChannelMessagesAndLeavesTheRest) {
    struct Case {
        Message in;
        bool passed;
        Message out;
    };
    const Case cases[] = {
        {{0x90, 60, 100}, true, {0x9A, 60, 100}},
        {{0x8F, 60, 0}, true, {0x8A, 60, 0}},
        {{0xA0, 60, 3}, true, {0xAA, 60, 3}},
        {{0xB2, 64, 127}, true, {0xBA, 64, 127}},
        {{0xD2, 50}, true, {0xDA, 50}},
        {{0xE0, 0, 64}, true, {0xEA, 0, 64}},
        {{0xC0, 5}, false, {}},
        {{0xF8}, false, {}},
        {{0x90, 60}, false, {}},
        {{0xFA}, false, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.in));
        InputEvent e;
        e.size = uint8_t(c.in.size());
        std::copy(c.in.begin(), c.in.end(), e.bytes);
        uint8_t out[3] = {};
        ASSERT_EQ(NoxmidiRcv::thruMessage(e, 10, out), c.passed);
        if (c.passed) {
            EXPECT_EQ(Message(out, out + c.in.size()), c.out);
        }
    }
}
