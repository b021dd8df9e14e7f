// The MIDI output port: port list, open and close, sending messages, program changes,
// silencing, and real-time playing of a track that a stop predicate can cut short.
#pragma once

#include "midifile/MidiFile.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class RtMidiOut;

namespace tw {

class NoxmidiSnd {
public:
    // Results of open, send and play: 0 success, 1 stopped (play only), otherwise the MIDI
    // library's error type (always 2 or more).
    static constexpr int resultOk = 0;
    static constexpr int resultStopped = 1;

    // Asked before every wait step of play; may be empty (never stop).
    using StopPredicate = std::function<bool()>;

    // The clock and the sleep that play and waitInterruptible use. The real ones are the steady
    // clock and the thread sleep; tests hand in a simulated pair.
    struct Timing {
        std::function<int64_t()> nowMicros;       // microseconds since any fixed origin
        std::function<void(int64_t)> sleepMillis; // sleeps whole milliseconds
        static const Timing &system();
    };

    // Names of the output ports, element i for port number i. Empty when no MIDI system answers.
    static std::vector<std::string> listOutputPorts();

    NoxmidiSnd();
    NoxmidiSnd(const NoxmidiSnd &) = delete;
    NoxmidiSnd &operator=(const NoxmidiSnd &) = delete;
    ~NoxmidiSnd();

    // Every operation may be called from the GUI thread and the playback worker at the same
    // time: the output and the sounding table are guarded by one mutex, which is never held
    // during a wait.

    // Opens port number `port` (closing an open one first): 0 or the library's error code.
    int open(unsigned port);
    // Closes the port; sends nothing. A playout that runs meanwhile ends with a send error.
    void close();
    bool isOpen() const;

    // Sends one message and keeps track of the notes it leaves sounding: 0 or an error code.
    int send(const std::vector<uint8_t> &message);
    // Program change 0xC0+channel, program; nothing when program > 127 or channel > 15.
    void programChange(unsigned program, unsigned channel);
    // A note-off with velocity 127 for every note left sounding, by channel, then note.
    void allNotesOff();

    // Plays the track in real time on the calling thread. Each event is sent at its due time,
    // the sum of the deltas so far times secondsPerTick after the start, so time spent sending
    // or oversleeping never adds up. 0 when done, 1 when stopped (after all notes off), or the
    // code of the first failed send.
    int play(const NoxmidiTrk &track, double secondsPerTick, const StopPredicate &stopRequested);
    int play(const NoxmidiTrk &track, double secondsPerTick, const StopPredicate &stopRequested,
             const Timing &timing);
    // Plays the track over and over until stopped: pass n begins n * loopTicks ticks after the
    // start, every due time still counted from the start, so the seam neither waits nor
    // drifts. The track's events must lie within its first loopTicks ticks. An empty track or a
    // loopTicks of 0 plays once.
    int playLoop(const NoxmidiTrk &track, uint64_t loopTicks, double secondsPerTick,
                 const StopPredicate &stopRequested, const Timing &timing);

    // Waits us microseconds in chunks of at most step, asking stopRequested before each chunk
    // and sleeping each chunk's whole milliseconds. 0 when the time has passed, otherwise the
    // time left when the predicate asked to stop. us <= 0 counts as 1.
    static int64_t waitInterruptible(int64_t us, const StopPredicate &stopRequested, int64_t step);
    static int64_t waitInterruptible(int64_t us, const StopPredicate &stopRequested, int64_t step,
                                     const Timing &timing);

    // Key = channel * 256 + note; true while the last message for it switched the note on.
    std::map<uint16_t, bool> sounding() const;

private:
    int sendLocked(const uint8_t *bytes, std::size_t size);
    int sendFromPlayout(const uint8_t *bytes, std::size_t size, uint64_t generation);
    void allNotesOffLocked();

    mutable std::mutex mutex;
    std::unique_ptr<RtMidiOut> out;
    // Counts opens and closes, so that a playout notices that its port went away.
    uint64_t portGeneration = 0;
    std::map<uint16_t, bool> soundingNotes;
};

} // namespace tw
