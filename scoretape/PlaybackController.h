// Playback of the tape's melody: the MIDI output port, the worker thread that plays a copy of
// the melody's track, the speed, program changes, the note preview, and the playhead clock
// whose timer shows the tick being played on the tape. The application owns one beside its tape.
//
// Threads: every operation is called on the GUI thread. Only playTrack runs on the playback
// worker, and it sees nothing of the melody but its own copy of the track.
#pragma once

#include "mididevice/NoxmidiSnd.h"
#include "mididevice/NoxssThread.h"
#include "scoretape/Playhead.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace tw {

class Flt_ScoreTape;

class PlaybackController {
public:
    explicit PlaybackController(Flt_ScoreTape &tape);
    // Stops a playout before the port pointer and the tape go away.
    ~PlaybackController();
    PlaybackController(const PlaybackController &) = delete;
    PlaybackController &operator=(const PlaybackController &) = delete;

    NoxssThread &player() { return player_; }
    NoxmidiSnd *outputPort() const { return output_; }
    double timeScale() const { return timeScale_; }

    // The port to play on (not owned); the melody's programs are sent to it.
    void setOutput(NoxmidiSnd *port);
    void sendPrograms();
    // The melody's program of a channel, sent at once when a port is open.
    void setProgram(unsigned channel, unsigned program);
    void setPrograms(const std::vector<int> &values);
    void setSpeed(double factor);
    // Starts a playout of ScoreModel::PlayFlags, or stops the running one; false without an
    // open port.
    bool play(unsigned flags);
    bool playNoteAt(unsigned tick, unsigned note);
    // Seconds from tick 0 to `tick` at the ticks per frame and the speed.
    double secondsAt(unsigned tick) const;
    // One step of the playhead timer at clock reading nowMicros: shows the playhead on the
    // tape, and hides it once the playout has ended (unless it is held).
    void updatePlayhead(int64_t nowMicros);
    // While recording the playhead runs on until released, past the end of the playout; with
    // nothing playing it runs from the green marker, starting at nowMicros. Releasing hides it.
    void holdPlayhead(bool on, int64_t nowMicros);
    bool playheadHeld() const { return holdPlayhead_; }
    // The clock that the playhead follows (and that recording follows too).
    const tw::PlayheadClock &playheadClock() const { return playhead_; }

    // The body that the player's worker runs; not called directly. It gets the port and the
    // seconds per tick taken on the GUI thread when the playout starts, so that it reads
    // nothing of the tape while the GUI thread changes it, and stores the clock reading at
    // which it begins to play into `started`, the one thing that it writes.
    static void playTrack(const std::atomic<bool> &stop, const NoxmidiTrk &track, NoxmidiSnd *port,
                          double secondsPerTick, std::atomic<int64_t> &started,
                          uint64_t loopTicks = 0);

private:
    // The first tick at which play(flags) begins to sound (the first chosen note).
    unsigned firstPlayedTick(unsigned from, unsigned mask, bool selectedOnly) const;
    void startPlayhead(unsigned tick, double secondsPerTick, double loopTicks = 0);
    void stopPlayhead();
    static void playheadTimer(void *controller);

    Flt_ScoreTape &tape_;
    tw::PlayheadClock playhead_;
    NoxssThread player_;
    NoxmidiSnd *output_ = nullptr; // not owned
    double timeScale_ = 1.0;
    bool holdPlayhead_ = false;
};

} // namespace tw
