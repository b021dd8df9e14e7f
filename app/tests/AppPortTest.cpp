// Output ports on the test JACK server: the port menu, opening a port, and playback that never
// outlives its port.
#include <gtest/gtest.h>

#include "AppHarness.h"

#include "app/CommandIds.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <cstdio>
#include <thread>

using namespace tw;

namespace {

// A JACK client with `count` MIDI input ports named in00, in01, ...
class JackReceivers {
public:
    explicit JackReceivers(int count) {
        if (!std::getenv("JACK_DEFAULT_SERVER"))
            return;
        jack_status_t status;
        client = jack_client_open("tw-app-test", JackNoStartServer, &status);
        if (!client)
            return;
        for (int i = 0; i < count; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "in%02d", i);
            jack_port_register(client, name, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        }
        jack_activate(client);
    }
    ~JackReceivers() {
        if (client) {
            jack_deactivate(client);
            jack_client_close(client);
        }
    }
    JackReceivers(const JackReceivers &) = delete;
    JackReceivers &operator=(const JackReceivers &) = delete;
    bool ok() const { return client != nullptr; }
    static std::string portName(int i) {
        char name[40];
        std::snprintf(name, sizeof name, "tw-app-test:in%02d", i);
        return name;
    }

private:
    jack_client_t *client = nullptr;
};

int indexOf(const std::vector<std::string> &names, const std::string &name) {
    for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i] == name)
            return int(i);
    return -1;
}

} // namespace

TEST(AppPorts, OnlyTwentyPortsGetMenuItems) {
    JackReceivers receivers(22);
    if (!receivers.ok())
        GTEST_SKIP() << "no JACK test server";
    AppHarness h;
    h.start();
    const std::vector<std::string> &ports = h.app->outputPorts();
    ASSERT_GE(ports.size(), 22u);
    int items = 0;
    for (const std::string &name : ports)
        if (h.menu().find_item(("Settings/Select MIDI output/" + name).c_str()))
            ++items;
    EXPECT_EQ(items, 20);
    EXPECT_EQ(h.menu().findItem(cmdNoteIndicators),
              h.menu().find_item("Settings/Select note indicators/None"));

    // A port past the twentieth still opens (from the settings), without marking another item.
    const std::string late = ports[21];
    EXPECT_TRUE(h.app->selectOutputPort(late));
    EXPECT_TRUE(h.app->output().isOpen());
    EXPECT_TRUE(h.marked(cmdNoteIndicators + 1));
    EXPECT_FALSE(h.marked(cmdNoteIndicators + 0));
    EXPECT_FALSE(h.marked(cmdNoOutput));
}

TEST(AppPorts, ChoosingAPortOpensItAndRemembersIt) {
    JackReceivers receivers(1);
    if (!receivers.ok())
        GTEST_SKIP() << "no JACK test server";
    AppHarness h;
    h.start();
    const int index = indexOf(h.app->outputPorts(), JackReceivers::portName(0));
    ASSERT_GE(index, 0);
    h.app->onCommand(cmdOutputPort + index);
    EXPECT_TRUE(h.app->output().isOpen());
    EXPECT_TRUE(h.marked(cmdOutputPort + index));
    EXPECT_TRUE(h.dialogs.empty());
    h.finish();
    EXPECT_EQ(storedString("midiPort"), JackReceivers::portName(0));

    // The next start opens it again without a word.
    h.start();
    EXPECT_TRUE(h.app->output().isOpen());
    EXPECT_TRUE(h.dialogs.empty());
}

TEST(AppPorts, ChangingThePortStopsARunningPlayout) {
    JackReceivers receivers(2);
    if (!receivers.ok())
        GTEST_SKIP() << "no JACK test server";
    AppHarness h;
    h.start();
    const int index = indexOf(h.app->outputPorts(), JackReceivers::portName(0));
    ASSERT_GE(index, 0);
    ASSERT_TRUE(h.app->selectOutputPort(JackReceivers::portName(0)));
    for (unsigned i = 0; i < 50; ++i)
        h.tape().model().addNote(tn(60 + i % 12, i * 8, 8));
    struct Case {
        const char *what;
        std::function<void()> change;
    };
    const Case cases[] = {
        {"another port", [&] { h.app->selectOutputPort(JackReceivers::portName(1)); }},
        {"no port", [&] { h.app->onCommand(cmdNoOutput); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(h.app->selectOutputPort(JackReceivers::portName(0)));
        h.app->onCommand(cmdPlayAll);
        EXPECT_EQ(h.app->playbackController().player().state(), NoxssThread::stateRunning);
        c.change();
        EXPECT_EQ(h.app->playbackController().player().state(), NoxssThread::stateIdle);
    }
    // Space (from the green marker) plays; the same command stops.
    ASSERT_TRUE(h.app->selectOutputPort(JackReceivers::portName(0)));
    h.app->onCommand(cmdPlayFromMarker);
    EXPECT_EQ(h.app->playbackController().player().state(), NoxssThread::stateRunning);
    h.app->onCommand(cmdPlayFromMarker);
    EXPECT_EQ(h.app->playbackController().player().state(), NoxssThread::stateIdle);
}
