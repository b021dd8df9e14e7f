// A MIDI keyboard for end-to-end tests, on the JACK server of the test run. It offers a port
// to record from ("twsend-<tag>-<pid>:out") and a port to listen on ("twrecv-<tag>-<pid>:in"),
// and takes commands on standard input, one a line:
//   at MS HH [HH [HH]]   queue a message (hex bytes) MS milliseconds after the start
//   go                   start the queued messages now
//   cue                  start them when the next note-on arrives at the listening port
//   quit
// It prints "ready OUT IN" (the two port names) once its ports exist and "sent N" when a start
// has sent its N messages.
//   midi_phrase_player [TAG]
#include "JackReceiver.h"
#include "JackSender.h"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace tw;

namespace {

int64_t steadyMicros() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

bool isNoteOn(const Message &m) {
    return m.size() == 3 && (m[0] & 0xF0) == 0x90 && m[2] != 0;
}

} // namespace

int main(int argc, char **argv) {
    const std::string tag = argc > 1 ? argv[1] : "phrase";
    JackSender sender(tag);
    JackReceiver listener(tag);
    if (!sender.ok() || !listener.ok()) {
        std::cerr << "midi_phrase_player: no JACK server\n";
        return 1;
    }
    std::cout << "ready " << sender.portName() << " " << listener.portName() << std::endl;
    std::vector<std::pair<int64_t, Message>> queue; // offsets in microseconds
    for (std::string line; std::getline(std::cin, line);) {
        std::istringstream words(line);
        std::string command;
        words >> command;
        if (command == "at") {
            double ms = 0;
            words >> ms;
            Message m;
            for (unsigned byte; words >> std::hex >> byte && m.size() < 3;)
                m.push_back(uint8_t(byte));
            if (!m.empty() && ms >= 0 && ms < 3.6e6)
                queue.emplace_back(int64_t(ms * 1000), m);
            else
                std::cerr << "midi_phrase_player: bad line: " << line << "\n";
        } else if (command == "go" || command == "cue") {
            if (command == "cue") {
                listener.clear();
                const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
                bool cued = false;
                while (!cued && std::chrono::steady_clock::now() < end) {
                    for (const TimedMessage &m : listener.received())
                        cued = cued || isNoteOn(m.bytes);
                    if (!cued)
                        std::this_thread::sleep_for(std::chrono::microseconds(500));
                }
                if (!cued) {
                    std::cerr << "midi_phrase_player: no note-on came\n";
                    continue;
                }
            }
            const int64_t start = steadyMicros();
            std::vector<std::pair<int64_t, Message>> timed;
            for (const auto &q : queue)
                timed.emplace_back(start + q.first, q.second);
            sender.schedule(timed);
            sender.waitAllSent(std::chrono::minutes(60));
            std::cout << "sent " << timed.size() << std::endl;
            queue.clear();
        } else if (command == "quit") {
            break;
        }
    }
    return 0;
}
