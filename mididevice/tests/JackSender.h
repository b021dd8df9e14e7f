// Test helper: a MIDI sender on the JACK server of the test environment, the keyboard that a
// test plays. It registers an output port "out" that an input port can list and open, sends
// each message in the first JACK cycle at or after its time, and keeps the moment at which it
// sent it.
#pragma once

#include "JackReceiver.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace tw {

class JackSender {
public:
    struct Sent {
        int64_t steadyMicros; // the steady clock in the cycle that sent it (as NoxmidiRcv stamps)
        uint64_t jackMicros;  // the same moment on JACK's clock (as JackReceiver stamps)
        Message bytes;
    };

    // A client named after `tag` and the process id with one MIDI output port "out".
    explicit JackSender(const std::string &tag);
    ~JackSender();
    JackSender(const JackSender &) = delete;
    JackSender &operator=(const JackSender &) = delete;

    bool ok() const { return client != nullptr; }
    // The name under which the port appears in NoxmidiRcv::listInputPorts.
    const std::string &portName() const { return name; }

    // Sends in the next cycle.
    void send(const Message &message);
    // Sends each message in the first cycle that runs at or after its steady-clock time;
    // messages keep their order.
    void schedule(const std::vector<std::pair<int64_t, Message>> &messages);
    // Waits until everything given has been sent; false after `patience`.
    bool waitAllSent(std::chrono::milliseconds patience) const;
    std::vector<Sent> sent() const;

private:
    static int process(uint32_t frames, void *self);

    std::string name;
    _jack_client *client = nullptr;
    _jack_port *port = nullptr;
    mutable std::mutex mutex;
    std::vector<std::pair<int64_t, Message>> pending; // in order of time
    std::vector<Sent> done;
};

} // namespace tw
