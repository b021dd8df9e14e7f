#include "mididevice/NoxmidiSnd.h"

#include "mididevice/MidiSystems.h"

#include <atomic>
#include <chrono>
#include <exception>
#include <iostream>
#include <thread>

namespace tw {

namespace {

const char *const clientName = tw::outputClientName;
const char *const portName = "RtMidi Output";
constexpr int64_t waitStep = 100000; // a stop request is seen within 100 ms

// One whole line on standard error, so that lines of two threads do not interleave.
void logLine(const char *prefix, const std::string &message) {
    std::cerr << (prefix + message + '\n') << std::flush;
}

// Truncates toward zero; times beyond any sensible wait are clamped rather than overflowing.
int64_t toMicros(double us) {
    constexpr double limit = 4.0e18;
    if (!(us < limit))
        return static_cast<int64_t>(limit);
    if (us < -limit)
        return -static_cast<int64_t>(limit);
    return static_cast<int64_t>(us);
}

// Destroys an output. RtMidi's JACK back end frees its message buffer in the destructor while
// its process callback may still be reading it (a crash now and then on close). Closing the
// port first makes later callbacks return at once; the pause lets one already under way end
// before the buffer goes.
void destroyOutput(std::unique_ptr<RtMidiOut> &out) {
    if (!out)
        return;
    if (out->getCurrentApi() == RtMidi::UNIX_JACK && out->isPortOpen()) {
        try {
            out->closePort();
            tw::takeLibraryReport();
        } catch (const RtMidiError &) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    out.reset();
    tw::discardLibraryReport(); // whatever the library said while it closed
}

RtMidiError portClosedError() {
    return RtMidiError("the MIDI output port is not open", RtMidiError::INVALID_USE);
}

} // namespace

const NoxmidiSnd::Timing &NoxmidiSnd::Timing::system() {
    static const Timing timing{
        [] {
            using namespace std::chrono;
            return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
        },
        [](int64_t ms) {
            if (ms > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        }};
    return timing;
}

std::vector<std::string> NoxmidiSnd::listOutputPorts() {
    // A machine without any MIDI system stays without one for a while: say so once, not each
    // time the list is built.
    static std::atomic<bool> absenceReported{false};
    std::vector<std::string> names;
    try {
        std::unique_ptr<RtMidiOut> probe = tw::createQuietOutput(clientName);
        absenceReported = false;
        const unsigned count = probe->getPortCount();
        tw::takeLibraryReport();
        for (unsigned i = 0; i < count; ++i) {
            std::string name = probe->getPortName(i);
            tw::takeLibraryReport();
            names.push_back(std::move(name));
        }
    } catch (const RtMidiError &e) {
        const bool absent = e.getMessage() == tw::noMidiSystemMessage;
        if (!absent || !absenceReported.exchange(true))
            logLine("RtMidi error ", e.getMessage());
    } catch (const std::exception &e) {
        logLine("RtMidi error ", e.what());
    }
    return names;
}

NoxmidiSnd::NoxmidiSnd() = default;

NoxmidiSnd::~NoxmidiSnd() {
    std::lock_guard<std::mutex> lock(mutex);
    destroyOutput(out);
    soundingNotes.clear();
}

int NoxmidiSnd::open(unsigned port) {
    std::lock_guard<std::mutex> lock(mutex);
    destroyOutput(out);
    ++portGeneration;
    try {
        out = tw::createQuietOutput(clientName);
        // Some back ends accept any number and connect to nothing; refuse it here.
        const unsigned count = out->getPortCount();
        tw::takeLibraryReport();
        if (port >= count)
            throw RtMidiError("the 'portNumber' argument (" + std::to_string(port) +
                                  ") is invalid.",
                              RtMidiError::INVALID_PARAMETER);
        out->openPort(port, portName);
        tw::takeLibraryReport();
        return resultOk;
    } catch (const RtMidiError &e) {
        logLine("RtMidi instantiation error ", e.getMessage());
        destroyOutput(out);
        return e.getType();
    } catch (const std::exception &e) {
        logLine("RtMidi instantiation error ", e.what());
        destroyOutput(out);
        return RtMidiError::UNSPECIFIED;
    }
}

void NoxmidiSnd::close() {
    std::lock_guard<std::mutex> lock(mutex);
    destroyOutput(out);
    ++portGeneration;
}

bool NoxmidiSnd::isOpen() const {
    std::lock_guard<std::mutex> lock(mutex);
    return out != nullptr;
}

int NoxmidiSnd::send(const std::vector<uint8_t> &message) {
    std::lock_guard<std::mutex> lock(mutex);
    return sendLocked(message.data(), message.size());
}

int NoxmidiSnd::sendLocked(const uint8_t *bytes, std::size_t size) {
    try {
        if (!out)
            throw portClosedError();
        out->sendMessage(bytes, size);
        // The library only warns when a message cannot be delivered (ALSA) and goes on: that
        // is a failed send like any other, so that a playout ends with it.
        const std::string warning = tw::takeLibraryReport();
        if (!warning.empty()) {
            logLine("Send error ", warning);
            return RtMidiError::DRIVER_ERROR;
        }
    } catch (const RtMidiError &e) {
        logLine("Send error ", e.getMessage());
        return e.getType();
    } catch (const std::exception &e) {
        logLine("Send error ", e.what());
        return RtMidiError::UNSPECIFIED;
    }
    if (size >= 3) {
        const uint8_t kind = bytes[0] >> 4;
        if (kind == 0x8 || kind == 0x9) {
            const uint16_t key = static_cast<uint16_t>((bytes[0] & 0x0F) * 256 + bytes[1]);
            soundingNotes[key] = kind == 0x9 && bytes[2] != 0;
        }
    }
    return resultOk;
}

int NoxmidiSnd::sendFromPlayout(const uint8_t *bytes, std::size_t size, uint64_t generation) {
    std::lock_guard<std::mutex> lock(mutex);
    if (out && generation != portGeneration) {
        // The port was changed under the playout: end it rather than play on elsewhere.
        const RtMidiError e("the MIDI output port was changed during the playout",
                            RtMidiError::INVALID_USE);
        logLine("Send error ", e.getMessage());
        return e.getType();
    }
    return sendLocked(bytes, size);
}

void NoxmidiSnd::programChange(unsigned program, unsigned channel) {
    if (program > 127 || channel > 15)
        return;
    const uint8_t message[2] = {static_cast<uint8_t>(0xC0 + channel),
                                static_cast<uint8_t>(program)};
    std::lock_guard<std::mutex> lock(mutex);
    sendLocked(message, sizeof message);
}

void NoxmidiSnd::allNotesOff() {
    std::lock_guard<std::mutex> lock(mutex);
    allNotesOffLocked();
}

void NoxmidiSnd::allNotesOffLocked() {
    // Ascending keys: channel by channel, note by note. A failed send does not end the walk.
    for (const auto &entry : soundingNotes) {
        if (!entry.second)
            continue;
        const uint8_t message[3] = {static_cast<uint8_t>(0x80 + entry.first / 256),
                                    static_cast<uint8_t>(entry.first & 0x7F), 0x7F};
        sendLocked(message, sizeof message);
    }
}

std::map<uint16_t, bool> NoxmidiSnd::sounding() const {
    std::lock_guard<std::mutex> lock(mutex);
    return soundingNotes;
}

int NoxmidiSnd::play(const NoxmidiTrk &track, double secondsPerTick,
                     const StopPredicate &stopRequested) {
    return play(track, secondsPerTick, stopRequested, Timing::system());
}

int NoxmidiSnd::play(const NoxmidiTrk &track, double secondsPerTick,
                     const StopPredicate &stopRequested, const Timing &timing) {
    return playLoop(track, 0, secondsPerTick, stopRequested, timing);
}

int NoxmidiSnd::playLoop(const NoxmidiTrk &track, uint64_t loopTicks, double secondsPerTick,
                         const StopPredicate &stopRequested, const Timing &timing) {
    uint64_t generation;
    {
        std::lock_guard<std::mutex> lock(mutex);
        generation = portGeneration;
    }
    const int64_t start = timing.nowMicros();
    uint64_t passStart = 0; // ticks from the start to this pass
    uint64_t waited = 0;    // the tick whose due time was waited for last
    for (;;) {
        uint64_t ticks = passStart; // sum of the deltas so far
        for (const MidiEvent &event : track.events) {
            ticks += event.dTime;
            if (ticks != waited) {
                waited = ticks;
                // Every event waits for its own due time since the start, so that the time
                // spent in sending and any oversleeping never add up; an event that is due
                // already goes out at once (the wait of 0 or less still asks the predicate).
                const int64_t due = toMicros((double(ticks) * 1000000.0) * secondsPerTick);
                const int64_t wait = due - (timing.nowMicros() - start);
                if (waitInterruptible(wait, stopRequested, waitStep, timing) != 0) {
                    allNotesOff();
                    return resultStopped;
                }
            }
            const int result = sendFromPlayout(event.bytes.data(), event.bytes.size(), generation);
            if (result != resultOk)
                return result;
        }
        if (loopTicks == 0 || track.events.empty())
            return resultOk;
        passStart += loopTicks;
    }
}

int64_t NoxmidiSnd::waitInterruptible(int64_t us, const StopPredicate &stopRequested,
                                      int64_t step) {
    return waitInterruptible(us, stopRequested, step, Timing::system());
}

int64_t NoxmidiSnd::waitInterruptible(int64_t us, const StopPredicate &stopRequested, int64_t step,
                                      const Timing &timing) {
    int64_t remaining = us <= 0 ? 1 : us;
    if (step <= 0)
        step = remaining;
    for (;;) {
        if (stopRequested && stopRequested())
            return remaining;
        const int64_t chunk = remaining <= step ? remaining : step;
        timing.sleepMillis(chunk / 1000);
        remaining -= chunk;
        if (remaining == 0)
            return 0;
    }
}

} // namespace tw
