// Playback: program changes, the note preview and playouts on the player's worker thread.
#include "scoretape/ScoreTape.h"

#include <algorithm>

namespace tw {

void Flt_ScoreTape::setOutput(NoxmidiSnd *port) {
    output_ = port;
    sendPrograms();
}

void Flt_ScoreTape::sendPrograms() {
    if (!output_ || !output_->isOpen())
        return;
    for (unsigned c = 0; c < 16; ++c)
        output_->programChange(programs_[c], c);
}

void Flt_ScoreTape::setProgram(unsigned channel, unsigned program) {
    if (channel > 15 || program > 127)
        return;
    programs_[channel] = uint8_t(program);
    if (output_ && output_->isOpen())
        output_->programChange(program, channel);
}

void Flt_ScoreTape::setPrograms(const std::vector<int> &values) {
    // Negative values turn into huge unsigned numbers that setProgram ignores.
    for (std::size_t i = 0; i < values.size(); ++i)
        setProgram(unsigned(i), unsigned(values[i]));
}

void Flt_ScoreTape::setSpeed(double factor) {
    // Only a positive factor is a speed; anything else plays at 100 %.
    timeScale_ = factor > 0 ? 1.0 / factor : 1.0;
}

bool Flt_ScoreTape::play(unsigned flags) {
    if (!output_ || !output_->isOpen())
        return false;
    // One command starts and stops: a running playout is stopped (and joined).
    if (player_.state() == NoxssThread::stateRunning) {
        player_.stop();
        stopPlayhead();
        return true;
    }
    player_.stop(); // joins a playout that ended by itself
    const bool loop = (flags & playLoop) != 0;
    const unsigned from = loop ? markers_.first : (flags & playFromPlayMarker) ? playMarker_ : 0;
    const unsigned mask = (flags & playShownChannels) ? channelMask_ : 0xFFFF;
    const bool selectedOnly = (flags & playSelected) != 0;
    const uint64_t loopTicks = loop ? uint64_t(markers_.second) - markers_.first : 0;
    NoxmidiTrk track = loop ? loopTrack(from, markers_.second, mask, selectedOnly)
                            : toTrack(from, noBound, mask, selectedOnly);
    const bool silent = track.events.empty();
    NoxmidiSnd *const port = output_;
    const double secondsPerTick = timeScale_ / ticksPerFrame_;
    std::atomic<int64_t> *const started = &playhead_.startMicros;
    player_.task = [track = std::move(track), port, secondsPerTick, started,
                    loopTicks](const std::atomic<bool> &stop) {
        playTrack(stop, track, port, secondsPerTick, *started, loopTicks);
    };
    // The playout's time 0 is its first note; a loop's is the red marker.
    if (player_.start() && !silent)
        startPlayhead(loop ? from : firstPlayedTick(from, mask, selectedOnly), secondsPerTick,
                      double(loopTicks));
    return true;
}

void Flt_ScoreTape::playTrack(const std::atomic<bool> &stop, const NoxmidiTrk &track,
                              NoxmidiSnd *port, double secondsPerTick,
                              std::atomic<int64_t> &started, uint64_t loopTicks) {
    started.store(NoxmidiSnd::Timing::system().nowMicros());
    // A send error (the port was closed meanwhile) ends the playout early; nobody is told.
    port->playLoop(track, loopTicks, secondsPerTick, [&stop] { return stop.load(); },
                   NoxmidiSnd::Timing::system());
}

unsigned Flt_ScoreTape::firstPlayedTick(unsigned from, unsigned mask, bool selectedOnly) const {
    auto it = std::lower_bound(notes_.begin(), notes_.end(), from,
                               [](const TapeNote &n, unsigned t) { return n.start < t; });
    for (; it != notes_.end(); ++it) {
        const TapeNote &n = *it;
        if (n.channel < 16 && ((mask >> n.channel) & 1u) && (!selectedOnly || n.selected))
            return n.start;
    }
    return from;
}

bool Flt_ScoreTape::playNoteAt(unsigned tick, unsigned note) {
    if (!output_ || !output_->isOpen())
        return false;
    for (const TapeNote &n : notesAt(tick, note)) {
        if (!isChannelShown(n))
            continue;
        // Two ticks on channel 0 whatever the note's channel; the speed does not apply.
        NoxmidiTrk preview;
        preview.appendToneOn(0, n.note, n.velocity, 0);
        preview.appendToneOff(2, n.note, n.velocity, 0);
        output_->play(preview, 1.0 / ticksPerFrame_, {});
        return true;
    }
    return false;
}

} // namespace tw
