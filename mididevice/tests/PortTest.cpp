#include "PortFixture.h"

#include <rtmidi/RtMidi.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <unistd.h>

using namespace tw;

namespace {

// Sets an environment variable for the scope of a test and puts the old value back.
class EnvOverride {
public:
    EnvOverride(const char *name, const std::string &value) : name(name) {
        if (const char *old = std::getenv(name))
            previous = old, hadValue = true;
        setenv(name, value.c_str(), 1);
    }
    ~EnvOverride() {
        if (hadValue)
            setenv(name, previous.c_str(), 1);
        else
            unsetenv(name);
    }

private:
    const char *name;
    std::string previous;
    bool hadValue = false;
};

// The lines of captured standard error that begin with prefix.
std::vector<std::string> linesStartingWith(const std::string &text, const std::string &prefix) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0)
            lines.push_back(line);
    return lines;
}

// Everything that the action writes to standard error.
std::string stderrOf(const std::function<void()> &action) {
    ::testing::internal::CaptureStderr();
    action();
    return ::testing::internal::GetCapturedStderr();
}

const std::string absenceLine = "RtMidi error no MIDI output system found\n";

} // namespace

TEST(PortList, WithoutAnySystemTheProgramAloneSpeaksAndOnlyOnce) {
    const char *testServer = std::getenv("JACK_DEFAULT_SERVER");
    // An ALSA configuration that knows no sequencer and a JACK server name that nobody uses.
    const std::string alsaConfig = ::testing::TempDir() + "tw-no-sequencer.conf";
    std::ofstream(alsaConfig).flush();
    EnvOverride alsa("ALSA_CONFIG_PATH", alsaConfig);
    EnvOverride noStart("JACK_NO_START_SERVER", "1");
    auto server = std::make_unique<EnvOverride>("JACK_DEFAULT_SERVER",
                                                "tw-no-server-" + std::to_string(getpid()));
    const auto list = [] { EXPECT_TRUE(NoxmidiSnd::listOutputPorts().empty()); };

    const std::string first = stderrOf(list); // an earlier test may have told it already
    EXPECT_TRUE(first.empty() || first == absenceLine) << first;
    EXPECT_EQ(stderrOf(list), "") << "a second list";
    NoxmidiSnd port;
    EXPECT_EQ(stderrOf([&] { EXPECT_GE(port.open(0), 2); }),
              "RtMidi instantiation error no MIDI output system found\n");
    EXPECT_EQ(stderrOf(list), "") << "a list after the failed open";

    if (!testServer)
        GTEST_SKIP() << "no JACK server of the test run: the return of a system is not tried";
    server.reset();
    EnvOverride back("JACK_DEFAULT_SERVER", testServer);
    EXPECT_EQ(stderrOf([] { NoxmidiSnd::listOutputPorts(); }), "") << "the system came back";
    EnvOverride gone("JACK_DEFAULT_SERVER", "tw-no-server-" + std::to_string(getpid()));
    EXPECT_EQ(stderrOf(list), absenceLine) << "gone again after it was there";
}

TEST(PortList, EmptyWithoutAServerAndOpenFails) {
    EnvOverride server("JACK_DEFAULT_SERVER", "tw-no-server-" + std::to_string(getpid()));
    EnvOverride noStart("JACK_NO_START_SERVER", "1");
    EXPECT_TRUE(NoxmidiSnd::listOutputPorts().empty());

    NoxmidiSnd port;
    ::testing::internal::CaptureStderr();
    const int result = port.open(0);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_GE(result, 2);
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(linesStartingWith(err, "RtMidi instantiation error ").size(), 1u) << err;
}

TEST_F(OpenPort, ListsTheReceiverAndOpensIt) {
    const std::vector<std::string> names = NoxmidiSnd::listOutputPorts();
    ASSERT_LT(portNumber, names.size());
    EXPECT_EQ(names[portNumber], receiver->portName());
    EXPECT_TRUE(port.isOpen());
    port.close();
    EXPECT_FALSE(port.isOpen());
    port.close(); // closing a closed port is harmless
    EXPECT_FALSE(port.isOpen());
}

TEST_F(OpenPort, ListingOpeningAndSendingWriteNothing) {
    EXPECT_EQ(stderrOf([&] {
                  NoxmidiSnd::listOutputPorts();
                  reopen();
                  EXPECT_EQ(port.send({0x90, 60, 1}), 0);
                  port.close();
              }),
              "");
}

TEST_F(OpenPort, NumberPastTheLastPortFailsWithOneLine) {
    const unsigned past = unsigned(NoxmidiSnd::listOutputPorts().size()) + 3;
    ::testing::internal::CaptureStderr();
    const int result = port.open(past);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, int(RtMidiError::INVALID_PARAMETER));
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(linesStartingWith(err, "RtMidi instantiation error "),
              std::vector<std::string>{"RtMidi instantiation error the 'portNumber' argument (" +
                                       std::to_string(past) + ") is invalid."});
}

TEST_F(OpenPort, SendKeepsTheSoundingTable) {
    struct Case {
        const char *what;
        Message message;
        std::map<uint16_t, bool> after; // the whole table afterwards
    };
    // One port, one table: each case builds on the ones before it.
    const Case cases[] = {
        {"note-on sounds", {0x92, 60, 100}, {{0x23C, true}}},
        {"other channel", {0x90, 61, 1}, {{0x03D, true}, {0x23C, true}}},
        {"velocity 0 is an off", {0x92, 60, 0}, {{0x03D, true}, {0x23C, false}}},
        {"note-off", {0x80, 61, 64}, {{0x03D, false}, {0x23C, false}}},
        {"program change leaves it", {0xC5, 7}, {{0x03D, false}, {0x23C, false}}},
        {"controller leaves it", {0xB0, 64, 127}, {{0x03D, false}, {0x23C, false}}},
        {"highest key", {0x9F, 127, 5}, {{0x03D, false}, {0x23C, false}, {0xF7F, true}}},
    };
    std::vector<Message> sent;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(port.send(c.message), 0);
        EXPECT_EQ(port.sounding(), c.after);
        sent.push_back(c.message);
    }
    EXPECT_EQ(sentSoFar(), sent);
}

TEST_F(OpenPort, AllNotesOffSendsVelocity127ChannelByChannel) {
    port.allNotesOff(); // empty table
    EXPECT_TRUE(sentSoFar().empty());

    port.send({0x92, 70, 90});
    port.send({0x90, 64, 90});
    port.send({0x90, 50, 90});
    port.send({0x92, 71, 90});
    port.send({0x92, 71, 0}); // ended again: no note-off for it
    sentSoFar();
    port.allNotesOff();
    EXPECT_EQ(sentSoFar(),
              (std::vector<Message>{{0x80, 50, 0x7F}, {0x80, 64, 0x7F}, {0x82, 70, 0x7F}}));
    for (const auto &entry : port.sounding())
        EXPECT_FALSE(entry.second) << entry.first;

    port.allNotesOff(); // all false now
    EXPECT_TRUE(sentSoFar().empty());
}

TEST_F(OpenPort, ProgramChangeInRangeOnly) {
    const struct {
        unsigned program, channel;
        std::vector<Message> sent;
    } cases[] = {
        {5, 3, {{0xC3, 0x05}}},   {128, 0, {}},           {0, 16, {}},
        {127, 15, {{0xCF, 127}}}, {0, 0, {{0xC0, 0x00}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.program) + " on " + std::to_string(c.channel));
        port.programChange(c.program, c.channel);
        EXPECT_EQ(sentSoFar(), c.sent);
    }
}

TEST_F(OpenPort, ClosedPortReportsSendErrors) {
    port.close();
    ::testing::internal::CaptureStderr();
    const int result = port.send({0x90, 60, 100});
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, int(RtMidiError::INVALID_USE));
    EXPECT_EQ(err, "Send error the MIDI output port is not open\n");
    EXPECT_TRUE(port.sounding().empty());
}

TEST_F(OpenPort, SoundingNotesSurviveAChangeOfPort) {
    port.send({0x91, 60, 100});
    sentSoFar();
    JackReceiver other("other");
    port.close();
    ASSERT_GE(other.connect(port), 0);
    port.allNotesOff();
    const Message marker = nextMarker();
    port.send(marker);
    EXPECT_EQ(other.takeUntil(marker), (std::vector<Message>{{0x81, 60, 0x7F}}));
}

TEST_F(OpenPort, PlaysAMelodyInOrder) {
    NoxmidiTrk track;
    track.appendToneOn(0, 60, 100, 0);
    track.appendToneOff(2, 60, 127, 0);
    track.appendToneOn(0, 64, 90, 1);
    track.appendToneOff(3, 64, 127, 1);
    EXPECT_EQ(port.play(track, 0.001, {}), NoxmidiSnd::resultOk);
    EXPECT_EQ(sentSoFar(), (std::vector<Message>{
                               {0x90, 60, 100}, {0x80, 60, 127}, {0x91, 64, 90}, {0x81, 64, 127}}));
}

TEST_F(OpenPort, StopBeforeTheFirstWaitSilencesWhatSounds) {
    const NoxmidiTrk track = trackOf(
        {{0, {0x90, 60, 100}}, {0, {0x93, 64, 80}}, {5, {0x90, 67, 70}}, {5, {0x80, 60, 127}}});
    int asked = 0;
    EXPECT_EQ(port.play(track, 0.001,
                        [&] {
                            ++asked;
                            return true;
                        }),
              NoxmidiSnd::resultStopped);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(sentSoFar(),
              (std::vector<Message>{
                  {0x90, 60, 100}, {0x93, 64, 80}, {0x80, 60, 0x7F}, {0x83, 64, 0x7F}}));
}

TEST_F(OpenPort, EventsWithoutDeltaCannotBeStopped) {
    const NoxmidiTrk track = trackOf({{0, {0x90, 60, 100}}, {0, {0xC1, 9}}, {0, {0x80, 60, 127}}});
    int asked = 0;
    EXPECT_EQ(port.play(track, 0.5,
                        [&] {
                            ++asked;
                            return true;
                        }),
              NoxmidiSnd::resultOk);
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(sentSoFar(), (std::vector<Message>{{0x90, 60, 100}, {0xC1, 9}, {0x80, 60, 127}}));
}

TEST_F(OpenPort, EmptyTrackPlaysNothing) {
    EXPECT_EQ(port.play(NoxmidiTrk(), 0.01, {}), NoxmidiSnd::resultOk);
    EXPECT_TRUE(sentSoFar().empty());
}
