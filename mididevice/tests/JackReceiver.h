// Test helper: a MIDI receiver on the JACK server of the test environment. It registers an
// input port that the port under test can list and open, and collects every message it gets
// with the JACK frame at which it arrived.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

struct _jack_client;
struct _jack_port;

namespace tw {

class NoxmidiSnd;

using Message = std::vector<uint8_t>;

struct TimedMessage {
    uint64_t frame;  // JACK frame time at which the message arrived
    uint64_t micros; // the same moment on JACK's clock (microseconds, as nowMicros)
    Message bytes;
};

class JackReceiver {
public:
    // A client named after `tag` and the process id with one MIDI input port "in".
    explicit JackReceiver(const std::string &tag);
    ~JackReceiver();
    JackReceiver(const JackReceiver &) = delete;
    JackReceiver &operator=(const JackReceiver &) = delete;

    bool ok() const { return client != nullptr; }
    // The name under which the port appears in NoxmidiSnd::listOutputPorts.
    const std::string &portName() const { return name; }
    unsigned sampleRate() const;
    // JACK's clock in microseconds.
    uint64_t nowMicros() const;
    // Position of this receiver in NoxmidiSnd::listOutputPorts, or -1.
    int portNumber() const;
    // Opens `port` on this receiver and makes sure that messages arrive: JACK shows ports of
    // clients that just went away for a moment, so a number can be stale when it is used.
    // Returns the port number that worked, or -1.
    int connect(NoxmidiSnd &port);

    // Waits until `marker` arrives (giving up after a generous deadline, so that a broken
    // test fails instead of hanging) and returns the messages before it, removing them and the
    // marker from the collection: everything sent before the marker has been received then.
    std::vector<Message> takeUntil(const Message &marker);
    // As takeUntil, but gives up quietly after `patience`; found tells whether it came.
    std::vector<Message> takeUntil(const Message &marker, std::chrono::milliseconds patience,
                                   bool &found);
    // Waits, like takeUntil, until `marker` has arrived, but keeps every message.
    bool waitFor(const Message &marker, std::chrono::milliseconds patience);
    std::vector<TimedMessage> received() const;
    void clear();

private:
    static int process(uint32_t frames, void *self);

    std::string name;
    _jack_client *client = nullptr;
    _jack_port *port = nullptr;
    mutable std::mutex mutex;
    std::condition_variable arrived;
    std::vector<TimedMessage> messages;
};

// Opens and activates a client "<prefix><tag>-<pid>" with one MIDI port ("out" when output,
// else "in") whose process callback is process(frames, self). client and port are set before
// the callback can run; client is nullptr when the server refuses it.
void openTestClient(const std::string &prefix, const std::string &tag, bool output,
                    int (*process)(uint32_t, void *), void *self, _jack_client *&client,
                    _jack_port *&port, std::string &portName);
void closeTestClient(_jack_client *client);

// Marker messages that the port under test sends after the bytes that a test checks: a
// controller change that nothing else sends, with a value that differs from call to call.
// takeUntil leaves every marker out of the messages that it returns.
Message nextMarker();
bool isMarker(const Message &message);

// Keys (channel * 256 + note) that the messages leave sounding, in ascending order; a note-on
// with velocity 0 counts as a note-off.
std::vector<int> keysLeftSounding(const std::vector<Message> &messages);

} // namespace tw
