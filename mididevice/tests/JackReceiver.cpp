#include "JackReceiver.h"

#include "mididevice/NoxmidiSnd.h"

#include <gtest/gtest.h>
#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <thread>
#include <unistd.h>

namespace tw {

namespace {
// Far beyond anything a working port needs; only keeps a broken test from hanging.
constexpr std::chrono::seconds deadline(20);

std::vector<Message> withoutMarkers(const std::vector<TimedMessage> &timed) {
    std::vector<Message> plain;
    for (const TimedMessage &m : timed)
        if (!isMarker(m.bytes))
            plain.push_back(m.bytes);
    return plain;
}
} // namespace

Message nextMarker() {
    static std::atomic<unsigned> count{0};
    return {0xBF, 0x77, uint8_t(count++ & 0x7F)};
}

bool isMarker(const Message &message) {
    return message.size() == 3 && message[0] == 0xBF && message[1] == 0x77;
}

void openTestClient(const std::string &prefix, const std::string &tag, bool output,
                    int (*process)(uint32_t, void *), void *self, _jack_client *&client,
                    _jack_port *&port, std::string &portName) {
    const std::string clientName = (prefix + tag).substr(0, 40) + "-" + std::to_string(getpid());
    jack_status_t status;
    // The members are set before the process callback can run and read them.
    client = jack_client_open(clientName.c_str(), JackNoStartServer, &status);
    if (!client)
        return;
    port = jack_port_register(client, output ? "out" : "in", JACK_DEFAULT_MIDI_TYPE,
                              output ? JackPortIsOutput : JackPortIsInput, 0);
    if (!port || jack_set_process_callback(client, process, self) != 0 ||
        jack_activate(client) != 0) {
        jack_client_close(client);
        client = nullptr;
        return;
    }
    portName = jack_port_name(port);
}

void closeTestClient(_jack_client *client) {
    if (!client)
        return;
    jack_deactivate(client); // no process callback runs after this
    jack_client_close(client);
}

JackReceiver::JackReceiver(const std::string &tag) {
    openTestClient("twrecv-", tag, false, &JackReceiver::process, this, client, port, name);
}

JackReceiver::~JackReceiver() {
    closeTestClient(client);
}

unsigned JackReceiver::sampleRate() const {
    return client ? jack_get_sample_rate(client) : 0;
}

uint64_t JackReceiver::nowMicros() const {
    return jack_get_time();
}

int JackReceiver::process(uint32_t frames, void *self) {
    auto *receiver = static_cast<JackReceiver *>(self);
    void *buffer = jack_port_get_buffer(receiver->port, frames);
    const uint32_t count = jack_midi_get_event_count(buffer);
    if (count == 0)
        return 0;
    // JACK's own estimate of the cycle's start time (jack_get_cycle_times) wanders on a busy
    // machine with the dummy back end; the clock read when the cycle runs is what a listener
    // would hear. Frames count from the cycle's first frame.
    const uint64_t cycleFrames = jack_last_frame_time(receiver->client);
    const uint64_t now = jack_get_time();
    const double microsPerFrame = 1e6 / jack_get_sample_rate(receiver->client);
    {
        // A lock in the process callback is no way for real-time audio, but harmless for a
        // test receiver on the dummy backend.
        std::lock_guard<std::mutex> lock(receiver->mutex);
        for (uint32_t i = 0; i < count; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, i) == 0)
                receiver->messages.push_back({cycleFrames + event.time,
                                              now + uint64_t(event.time * microsPerFrame),
                                              Message(event.buffer, event.buffer + event.size)});
        }
    }
    receiver->arrived.notify_all();
    return 0;
}

int JackReceiver::portNumber() const {
    const std::vector<std::string> names = NoxmidiSnd::listOutputPorts();
    const auto it = std::find(names.begin(), names.end(), name);
    return it == names.end() ? -1 : int(it - names.begin());
}

int JackReceiver::connect(NoxmidiSnd &output) {
    for (int attempt = 0; ok() && attempt < 20; ++attempt) {
        const int number = portNumber();
        if (number < 0 || output.open(unsigned(number)) != 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20)); // let the graph settle
            continue;
        }
        // A marker of an earlier attempt may still come in late; only this one counts.
        const Message marker = nextMarker();
        output.send(marker);
        bool found = false;
        takeUntil(marker, std::chrono::milliseconds(1000), found);
        if (found)
            return number;
    }
    return -1;
}

std::vector<Message> JackReceiver::takeUntil(const Message &marker) {
    bool found = false;
    std::vector<Message> before = takeUntil(marker, deadline, found);
    if (!found)
        ADD_FAILURE() << "the marker message never arrived at " << name;
    return before;
}

std::vector<Message> JackReceiver::takeUntil(const Message &marker,
                                             std::chrono::milliseconds patience, bool &found) {
    std::unique_lock<std::mutex> lock(mutex);
    auto find = [&] {
        return std::find_if(messages.begin(), messages.end(),
                            [&](const TimedMessage &m) { return m.bytes == marker; });
    };
    arrived.wait_for(lock, patience, [&] { return find() != messages.end(); });
    const auto end = find();
    found = end != messages.end();
    std::vector<Message> before = withoutMarkers({messages.begin(), end});
    messages.erase(messages.begin(), found ? end + 1 : end);
    return before;
}

bool JackReceiver::waitFor(const Message &marker, std::chrono::milliseconds patience) {
    std::unique_lock<std::mutex> lock(mutex);
    return arrived.wait_for(lock, patience, [&] {
        return std::any_of(messages.begin(), messages.end(),
                           [&](const TimedMessage &m) { return m.bytes == marker; });
    });
}

void JackReceiver::clear() {
    std::lock_guard<std::mutex> lock(mutex);
    messages.clear();
}

std::vector<TimedMessage> JackReceiver::received() const {
    std::lock_guard<std::mutex> lock(mutex);
    return messages;
}

std::vector<int> keysLeftSounding(const std::vector<Message> &messages) {
    std::map<int, bool> on;
    for (const Message &m : messages) {
        const int kind = m.size() == 3 ? m[0] >> 4 : 0;
        if (kind == 8 || kind == 9)
            on[(m[0] & 0x0F) * 256 + m[1]] = kind == 9 && m[2] != 0;
    }
    std::vector<int> keys;
    for (const auto &entry : on)
        if (entry.second)
            keys.push_back(entry.first);
    return keys;
}

} // namespace tw
