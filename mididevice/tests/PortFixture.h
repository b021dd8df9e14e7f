// A NoxmidiSnd opened on a receiver of the test's own, on the JACK server of the test run.
#pragma once

#include "JackReceiver.h"
#include "mididevice/NoxmidiSnd.h"

#include <gtest/gtest.h>

#include <memory>

namespace tw {

class OpenPort : public ::testing::Test {
protected:
    void SetUp() override {
        receiver = std::make_unique<JackReceiver>(
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        const int number = receiver->connect(port);
        ASSERT_GE(number, 0) << "the receiver cannot be reached; is a JACK server running?";
        portNumber = unsigned(number);
    }

    // Everything that the port sent since the last call, in order.
    std::vector<Message> sentSoFar() {
        const Message marker = nextMarker();
        EXPECT_EQ(port.send(marker), 0);
        return receiver->takeUntil(marker);
    }

    // Opens the port on the receiver again (as the GUI does after a close).
    void reopen() { ASSERT_GE(receiver->connect(port), 0); }

    std::unique_ptr<JackReceiver> receiver;
    unsigned portNumber = 0;
    NoxmidiSnd port;
};

inline NoxmidiTrk trackOf(std::vector<MidiEvent> events) {
    return NoxmidiTrk(std::move(events));
}

} // namespace tw
