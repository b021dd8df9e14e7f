// Timing of playback through a real JACK MIDI port, measured from the receiver's timestamps.
//   bench_playback [notes]   (default 600 notes, 100 ms apart: a 60-second melody)
// Starts its own JACK server (dummy backend, 48 kHz, 64 frames per period, realtime when the
// system allows it) so that the timestamps have a fine grain, and stops it at the end.
#include "JackServer.h"
#include "Percentile.h"
#include "mididevice/tests/JackReceiver.h"
#include "scoretape/ScoreTape.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

using namespace tw;

namespace {

constexpr unsigned period = 64;
constexpr unsigned sampleRate = 48000;
constexpr unsigned ticksPerFrame = 100; // 10 ms per tick
constexpr unsigned noteSpacing = 10;    // ticks: 100 ms
constexpr int stopTrials = 12;

using Clock = std::chrono::steady_clock;

// Note i of the melody: its row and velocity together tell which note it is.
TapeNote melodyNote(unsigned i, unsigned length) {
    TapeNote n{};
    n.note = 30 + i % 60;
    n.start = i * noteSpacing;
    n.length = length;
    n.channel = 0;
    n.velocity = 1 + i / 60;
    return n;
}

int indexOf(const Message &m) {
    return (m[1] - 30) + 60 * (m[2] - 1);
}

struct Errors {
    std::vector<double> absolute; // ms
    double lastNote = 0;          // signed, ms
    double earliest = 0, latest = 0;
    unsigned received = 0;
};

// Error of every note-on against the ideal time (the first note-on plus i * 100 ms).
Errors noteOnErrors(const JackReceiver &receiver, unsigned count) {
    std::vector<double> at(count, -1);
    for (const TimedMessage &m : receiver.received())
        if (m.bytes.size() == 3 && m.bytes[0] == 0x90 && m.bytes[2] != 0) {
            const int i = indexOf(m.bytes);
            if (i >= 0 && unsigned(i) < count && at[i] < 0)
                at[i] = double(m.micros) / 1000.0;
        }
    Errors e;
    if (at[0] < 0)
        return e;
    for (unsigned i = 0; i < count; ++i) {
        if (at[i] < 0)
            continue;
        const double error = at[i] - at[0] - i * 100.0;
        e.absolute.push_back(std::fabs(error));
        e.earliest = std::min(e.earliest, error);
        e.latest = std::max(e.latest, error);
        if (i == count - 1)
            e.lastNote = error;
        ++e.received;
    }
    return e;
}

void report(const char *what, const Errors &e, unsigned count) {
    if (e.absolute.empty()) {
        std::printf("%s: no note-on received\n", what);
        return;
    }
    std::printf("%s: %u of %u note-ons received; |error| median %.3f ms, p99 %.3f ms, max %.3f "
                "ms (earliest %+.3f, latest %+.3f); last note drift %+.3f ms\n",
                what, e.received, count, percentile(e.absolute, 0.5), percentile(e.absolute, 0.99),
                *std::max_element(e.absolute.begin(), e.absolute.end()), e.earliest, e.latest,
                e.lastNote);
}

// Sends a marker after everything else and waits until the receiver has it.
void allArrived(NoxmidiSnd &port, JackReceiver &receiver) {
    const Message marker = nextMarker();
    port.send(marker);
    if (!receiver.waitFor(marker, std::chrono::seconds(5)))
        std::printf("(the receiver missed the end marker)\n");
}

void waitUntilDone(Flt_ScoreTape &tape) {
    while (tape.player().state() == NoxssThread::stateRunning)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

// Plays the melody as the port did before its waits had due times: each event waited its own
// delta after the previous send. A clock that only advances by what was slept makes the
// port's due-time arithmetic come out as plain relative waits.
void playRelative(NoxmidiSnd &port, const NoxmidiTrk &track, double secondsPerTick) {
    int64_t slept = 0;
    NoxmidiSnd::Timing relative{[&slept] { return slept; },
                                [&slept](int64_t ms) {
                                    NoxmidiSnd::Timing::system().sleepMillis(ms);
                                    slept += ms * 1000;
                                }};
    port.play(track, secondsPerTick, {}, relative);
}

} // namespace

int main(int argc, char **argv) {
    const unsigned count = argc > 1 ? unsigned(std::max(2, std::atoi(argv[1]))) : 600;
    JackServer server("tw-bench-playback", period, sampleRate);
    bool realtime = true;
    if (!server.start(true)) {
        realtime = false;
        if (!server.start(false)) {
            std::printf("bench_playback: the JACK server did not start\n");
            return 1;
        }
    }
    std::printf("JACK dummy server, %u Hz, %u frames per period (%.3f ms), %s\n", sampleRate,
                period, period * 1000.0 / sampleRate, realtime ? "realtime" : "not realtime");

    Flt_ScoreTape tape(0, 0, 0, 0);
    tape.setTicksPerFrame(ticksPerFrame);
    NoxmidiSnd port;
    {
        JackReceiver receiver("bench");
        if (receiver.connect(port) < 0) {
            std::printf("bench_playback: cannot reach the receiver\n");
            return 1;
        }
        std::vector<TapeNote> melody;
        for (unsigned i = 0; i < count; ++i)
            melody.push_back(melodyNote(i, noteSpacing / 2));
        tape.setNotes(melody);
        tape.setOutput(&port);
        std::printf("melody: %u notes %u ms apart (%.1f s)\n", count, noteSpacing * 10,
                    (count - 1) * 0.1);
        receiver.clear();
        tape.play(0);
        waitUntilDone(tape);
        allArrived(port, receiver);
        report("due-time playout", noteOnErrors(receiver, count), count);
    }
    if (std::getenv("TW_BENCH_RELATIVE") || (argc > 2 && std::string(argv[2]) == "relative")) {
        JackReceiver receiver("relative");
        if (receiver.connect(port) >= 0) {
            receiver.clear();
            playRelative(port, tape.toTrack(), 1.0 / ticksPerFrame);
            allArrived(port, receiver);
            report("relative waits (as before)", noteOnErrors(receiver, count), count);
        }
    }
    {
        // Stop latency: from the stop command to the last note-off at the receiver. Notes
        // overlap here, so that a note always sounds when the stop comes.
        JackReceiver receiver("stop");
        if (receiver.connect(port) < 0)
            return 1;
        std::vector<TapeNote> melody;
        for (unsigned i = 0; i < 100; ++i)
            melody.push_back(melodyNote(i, noteSpacing + noteSpacing / 2));
        tape.setNotes(melody);
        std::vector<double> latency, blocked;
        for (int trial = 0; trial < stopTrials; ++trial) {
            receiver.clear();
            tape.play(0);
            std::this_thread::sleep_for(std::chrono::milliseconds(300 + 37 * trial));
            const uint64_t stopAt = receiver.nowMicros();
            const Clock::time_point before = Clock::now();
            tape.play(0);
            blocked.push_back(
                std::chrono::duration<double, std::milli>(Clock::now() - before).count());
            allArrived(port, receiver);
            double last = -1;
            for (const TimedMessage &m : receiver.received())
                if (m.bytes.size() == 3 && (m.bytes[0] >> 4) == 8) {
                    const double t = double(m.micros);
                    if (t >= double(stopAt))
                        last = std::max(last, (t - double(stopAt)) / 1000.0);
                }
            if (last >= 0)
                latency.push_back(last);
        }
        if (!latency.empty())
            std::printf("stop latency (%zu stops): to the last note-off median %.1f ms, max %.1f "
                        "ms; the stop command blocked median %.1f ms, max %.1f ms\n",
                        latency.size(), percentile(latency, 0.5),
                        *std::max_element(latency.begin(), latency.end()), percentile(blocked, 0.5),
                        *std::max_element(blocked.begin(), blocked.end()));
    }
    return 0;
}
