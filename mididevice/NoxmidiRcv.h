// The MIDI input port: port list, open and close, and the messages played into it. Each
// message is stamped on arrival with the steady clock that playback uses (NoxmidiSnd::Timing::
// system) and handed from RtMidi's thread to the GUI thread through a lock-free queue. What
// arrives can go straight on to an output port on one channel (MIDI thru), so that the player
// hears what they play.
//
// Threads: open, close, the settings and take are called on the GUI thread (one thread). The
// library calls back on a thread of its own (the ALSA input thread or the JACK process thread),
// where a message is stamped, queued, sent on through the thru port and the wake-up is called.
#pragma once

#include "mididevice/SpscQueue.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class RtMidiIn;

namespace tw {

class NoxmidiSnd;

// One short MIDI message (note on or off, controller, ...) with its arrival time.
struct InputEvent {
    int64_t micros = 0; // steady clock, microseconds (NoxmidiSnd::Timing::system().nowMicros)
    uint8_t size = 0;   // 1 to 3
    uint8_t bytes[3] = {0, 0, 0};

    bool isNoteOn() const { return size == 3 && (bytes[0] & 0xF0) == 0x90 && bytes[2] != 0; }
    // A note-off, or a note-on with velocity 0.
    bool isNoteOff() const {
        return size == 3 && ((bytes[0] & 0xF0) == 0x80 || ((bytes[0] & 0xF0) == 0x90 && !bytes[2]));
    }
};

class NoxmidiRcv {
public:
    // Results of open: 0 success, otherwise the MIDI library's error type (2 or more).
    static constexpr int resultOk = 0;
    // Messages that may wait in the queue; more are dropped (and counted) until it is drained.
    static constexpr std::size_t queueCapacity = 4096;

    // Names of the ports that send, from the first system that offers any. Our own output
    // port is left out: recording our own playback would feed the thru back into itself.
    static std::vector<std::string> listInputPorts();

    NoxmidiRcv();
    NoxmidiRcv(const NoxmidiRcv &) = delete;
    NoxmidiRcv &operator=(const NoxmidiRcv &) = delete;
    ~NoxmidiRcv();

    // Opens the port of that name (closing an open one first): 0 or the library's error code
    // (INVALID_PARAMETER when no port of that name is there now). Messages waiting from the
    // earlier port stay in the queue.
    int open(const std::string &name);
    void close();
    bool isOpen() const { return in_ != nullptr; }
    // The name of the open port; empty when none is open.
    const std::string &portName() const { return name_; }

    // Called on the library's thread after each message is queued: a wake-up of the GUI
    // thread. Set it while no port is open.
    void setWakeUp(std::function<void()> wakeUp) { wakeUp_ = std::move(wakeUp); }
    // The port that thru sends on (not owned; it must outlive this input or be set back to
    // nullptr), whether thru is on, and the channel (0..15) it sends on. Any thread.
    void setThruPort(NoxmidiSnd *port) { thruPort_.store(port); }
    void setThru(bool on) { thru_.store(on); }
    void setThruChannel(unsigned channel) { thruChannel_.store(channel & 0x0F); }
    bool thru() const { return thru_.load(); }

    // GUI thread: the oldest waiting message; false when none waits.
    bool take(InputEvent &event) { return queue_.pop(event); }
    // Messages lost to a full queue so far.
    uint64_t dropped() const { return dropped_.load(); }

    // The thru message for `event` on `channel`: channel messages other than program changes
    // move to that channel; false for anything else (system messages are not passed on).
    static bool thruMessage(const InputEvent &event, unsigned channel, uint8_t out[3]);

private:
    static void arrived(double deltaSeconds, std::vector<unsigned char> *message, void *self);
    void receive(const std::vector<unsigned char> &message);

    std::unique_ptr<RtMidiIn> in_;
    std::string name_;
    std::function<void()> wakeUp_;
    std::atomic<NoxmidiSnd *> thruPort_{nullptr};
    std::atomic<bool> thru_{true};
    std::atomic<unsigned> thruChannel_{0};
    std::atomic<uint64_t> dropped_{0};
    SpscQueue<InputEvent, queueCapacity> queue_;
};

} // namespace tw
