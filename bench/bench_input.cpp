// Timing of the MIDI input through a real JACK port: a sender client plays notes at known times
// into the input port, whose recorder turns them into starts on the playback clock, and thru
// sends them on through the output port to a receiver.
//   bench_input [notes]   (default 400 notes, 50 ms apart)
// Starts its own JACK server (dummy backend, 48 kHz, 64 frames per period, realtime when the
// system allows it) and stops it at the end. Figures:
//   recorded start: the start that the recorder gives each note on the playback clock at 1x,
//     before it is rounded to ticks, against the time at which the sender sent it;
//   thru delivery: from the sender's cycle to the receiver's, through input and output.
#include "JackServer.h"
#include "Percentile.h"
#include "mididevice/NoxmidiRcv.h"
#include "mididevice/NoxmidiSnd.h"
#include "mididevice/tests/JackReceiver.h"
#include "mididevice/tests/JackSender.h"
#include "scoremodel/InputRecording.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <thread>
#include <vector>

using namespace tw;

namespace {

constexpr unsigned period = 64;
constexpr unsigned sampleRate = 48000;
constexpr int64_t spacingMicros = 50000;
constexpr unsigned ticksPerFrame = 100; // 10 ms a tick
constexpr double recordTargetMs = 2.0;  // p99 of the recorded start
constexpr double thruTargetMs = 3.0;    // p99 of the thru delivery

// Note i: its key and velocity together tell which it is.
Message noteOn(unsigned i) {
    return {0x90, uint8_t(30 + i % 60), uint8_t(1 + i / 60 % 127)};
}
Message noteOff(unsigned i) {
    return {0x80, uint8_t(30 + i % 60), 0};
}
unsigned indexOf(const Message &m) {
    return (m[1] - 30) + 60 * (m[2] - 1);
}

void report(const char *what, const std::vector<double> &ms, unsigned count, double target,
            const char *targetText) {
    if (ms.empty()) {
        std::printf("%s: nothing measured\n", what);
        return;
    }
    const double p99 = percentile(ms, 0.99);
    std::printf("%s: %zu of %u notes; median %.3f ms, p99 %.3f ms, max %.3f ms; target p99 %s "
                "%.0f ms: %s\n",
                what, ms.size(), count, percentile(ms, 0.5), p99,
                *std::max_element(ms.begin(), ms.end()), targetText, target,
                p99 <= target ? "met" : "NOT MET");
}

// Takes everything that has arrived at the input into the recorder.
void drain(NoxmidiRcv &input, NoteRecorder &recorder) {
    InputEvent e;
    while (input.take(e))
        recorder.feed(e.micros, e.bytes, e.size);
}

} // namespace

int main(int argc, char **argv) {
    const unsigned count = argc > 1 ? unsigned(std::max(2, std::atoi(argv[1]))) : 400;
    JackServer server("tw-bench-input", period, sampleRate);
    bool realtime = true;
    if (!server.start(true)) {
        realtime = false;
        if (!server.start(false)) {
            std::printf("bench_input: the JACK server did not start\n");
            return 1;
        }
    }
    std::printf("JACK dummy server, %u Hz, %u frames per period (%.3f ms), %s\n", sampleRate,
                period, period * 1000.0 / sampleRate, realtime ? "realtime" : "not realtime");

    JackSender sender("bench");
    JackReceiver receiver("bench");
    NoxmidiSnd output;
    NoxmidiRcv input;
    if (!sender.ok() || receiver.connect(output) < 0 || input.open(sender.portName()) != 0) {
        std::printf("bench_input: cannot connect the sender, the input, the output and the "
                    "receiver\n");
        return 1;
    }
    input.setThruPort(&output);
    input.setThruChannel(0);
    // Until something comes through, the new connection is not yet in the graph.
    for (int i = 0; i < 250; ++i) {
        sender.send({0xB0, 0x7F, 0});
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        InputEvent e;
        bool through = false;
        while (input.take(e))
            through = true;
        if (through)
            break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    {
        InputEvent e;
        while (input.take(e)) {
        }
    }
    receiver.clear();
    const size_t sentBefore = sender.sent().size();

    // The take: the playback clock starts now, at tick 0, at 1x.
    const int64_t start = NoxmidiSnd::Timing::system().nowMicros() + 200000;
    const TickClock clock{start, 0, 1.0 / ticksPerFrame};
    std::vector<std::pair<int64_t, Message>> phrase;
    for (unsigned i = 0; i < count; ++i) {
        phrase.emplace_back(start + int64_t(i) * spacingMicros, noteOn(i));
        phrase.emplace_back(start + int64_t(i) * spacingMicros + spacingMicros / 2, noteOff(i));
    }
    std::printf("phrase: %u notes %lld ms apart (%.1f s)\n", count,
                (long long)(spacingMicros / 1000), count * spacingMicros * 1e-6);
    NoteRecorder recorder;
    sender.schedule(phrase);
    while (!sender.waitAllSent(std::chrono::milliseconds(10)))
        drain(input, recorder); // as the GUI thread does: now and then
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    drain(input, recorder);
    const Message marker = nextMarker();
    output.send(marker);
    receiver.waitFor(marker, std::chrono::seconds(5));

    std::map<unsigned, JackSender::Sent> sentOn;
    const std::vector<JackSender::Sent> sent = sender.sent();
    for (std::size_t k = sentBefore; k < sent.size(); ++k)
        if (sent[k].bytes.size() == 3 && sent[k].bytes[0] == 0x90)
            sentOn[indexOf(sent[k].bytes)] = sent[k];

    std::vector<double> recorded;
    for (const NoteRecorder::Played &p : recorder.played()) {
        const auto it = sentOn.find(indexOf({0x90, p.key, p.velocity}));
        if (it == sentOn.end())
            continue;
        const double tick = clock.tickAt(p.onMicros); // before rounding to ticks
        const double atMicros = double(clock.startMicros) + tick * clock.secondsPerTick * 1e6;
        recorded.push_back(std::abs(atMicros - double(it->second.steadyMicros)) / 1000.0);
    }
    std::vector<double> thru;
    for (const TimedMessage &m : receiver.received()) {
        if (m.bytes.size() != 3 || m.bytes[0] != 0x90)
            continue;
        const auto it = sentOn.find(indexOf(m.bytes));
        if (it != sentOn.end())
            thru.push_back((double(m.micros) - double(it->second.jackMicros)) / 1000.0);
    }
    report("recorded start vs sent (1x, before rounding to ticks)", recorded, count, recordTargetMs,
           "<=");
    report("thru delivery", thru, count, thruTargetMs, "<");
    if (input.dropped() > 0)
        std::printf("(the input queue dropped %llu messages)\n",
                    (unsigned long long)input.dropped());
    input.setThruPort(nullptr);
    return 0;
}
