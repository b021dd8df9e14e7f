#include "JackSender.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <thread>

namespace tw {

namespace {
int64_t steadyMicros() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}
} // namespace

JackSender::JackSender(const std::string &tag) {
    openTestClient("twsend-", tag, true, &JackSender::process, this, client, port, name);
}

JackSender::~JackSender() {
    closeTestClient(client);
}

void JackSender::send(const Message &message) {
    schedule({{0, message}});
}

void JackSender::schedule(const std::vector<std::pair<int64_t, Message>> &messages) {
    std::lock_guard<std::mutex> lock(mutex);
    pending.insert(pending.end(), messages.begin(), messages.end());
}

bool JackSender::waitAllSent(std::chrono::milliseconds patience) const {
    const auto end = std::chrono::steady_clock::now() + patience;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (pending.empty())
                return true;
        }
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

std::vector<JackSender::Sent> JackSender::sent() const {
    std::lock_guard<std::mutex> lock(mutex);
    return done;
}

int JackSender::process(uint32_t frames, void *self) {
    auto *sender = static_cast<JackSender *>(self);
    void *buffer = jack_port_get_buffer(sender->port, frames);
    jack_midi_clear_buffer(buffer);
    const int64_t now = steadyMicros();
    const uint64_t jackNow = jack_get_time();
    // As the receiver's, a lock in the process callback is harmless on the dummy back end.
    std::lock_guard<std::mutex> lock(sender->mutex);
    std::size_t n = 0;
    for (; n < sender->pending.size() && sender->pending[n].first <= now; ++n) {
        const Message &m = sender->pending[n].second;
        if (jack_midi_event_write(buffer, 0, m.data(), m.size()) != 0)
            break; // the buffer is full: the rest goes in the next cycle
        sender->done.push_back({now, jackNow, m});
    }
    sender->pending.erase(sender->pending.begin(), sender->pending.begin() + long(n));
    return 0;
}

} // namespace tw
