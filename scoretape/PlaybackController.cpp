// Playback: program changes, the note preview, playouts on the player's worker thread and the
// playhead timer on the GUI thread.
#include "scoretape/PlaybackController.h"

#include "scoretape/ScoreTape.h"

#include <FL/Fl.H>

#include <algorithm>

namespace tw {

namespace {

constexpr double timerPeriod = 1.0 / 60; // seconds between two playhead steps

bool isOpen(const NoxmidiSnd *port) {
    return port && port->isOpen();
}

} // namespace

PlaybackController::PlaybackController(Flt_ScoreTape &tape) : tape_(tape) {}

PlaybackController::~PlaybackController() {
    player_.stop();
    Fl::remove_timeout(playheadTimer, this);
}

void PlaybackController::setOutput(NoxmidiSnd *port) {
    output_ = port;
    sendPrograms();
}

void PlaybackController::sendPrograms() {
    if (!isOpen(output_))
        return;
    for (unsigned c = 0; c < 16; ++c)
        output_->programChange(tape_.model().program(c), c);
}

void PlaybackController::setProgram(unsigned channel, unsigned program) {
    if (channel > 15 || program > 127)
        return;
    tape_.model().setProgram(channel, program);
    if (isOpen(output_))
        output_->programChange(program, channel);
}

void PlaybackController::setPrograms(const std::vector<int> &values) {
    // Negative values turn into huge unsigned numbers that setProgram ignores.
    for (std::size_t i = 0; i < values.size(); ++i)
        setProgram(unsigned(i), unsigned(values[i]));
}

void PlaybackController::setSpeed(double factor) {
    // Only a positive factor is a speed; anything else plays at 100 %.
    timeScale_ = factor > 0 ? 1.0 / factor : 1.0;
}

double PlaybackController::secondsAt(unsigned tick) const {
    return double(tick) * timeScale_ / tape_.model().ticksPerFrame();
}

bool PlaybackController::play(unsigned flags) {
    if (!isOpen(output_))
        return false;
    // One command starts and stops: a running playout is stopped (and joined).
    if (player_.state() == NoxssThread::stateRunning) {
        player_.stop();
        stopPlayhead();
        return true;
    }
    player_.stop(); // joins a playout that ended by itself
    const ScoreModel &model = tape_.model();
    const bool loop = (flags & ScoreModel::playLoop) != 0;
    const unsigned from = loop                                       ? model.leftMarker()
                          : (flags & ScoreModel::playFromPlayMarker) ? model.playMarker()
                                                                     : 0;
    const unsigned mask = (flags & ScoreModel::playShownChannels) ? model.channelMask() : 0xFFFF;
    const bool selectedOnly = (flags & ScoreModel::playSelected) != 0;
    const uint64_t loopTicks = loop ? uint64_t(model.rightMarker()) - model.leftMarker() : 0;
    NoxmidiTrk track = loop ? model.loopTrack(from, model.rightMarker(), mask, selectedOnly)
                            : model.toTrack(from, ScoreModel::noBound, mask, selectedOnly);
    const bool silent = track.events.empty();
    NoxmidiSnd *const port = output_;
    const double secondsPerTick = timeScale_ / model.ticksPerFrame();
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

void PlaybackController::playTrack(const std::atomic<bool> &stop, const NoxmidiTrk &track,
                                   NoxmidiSnd *port, double secondsPerTick,
                                   std::atomic<int64_t> &started, uint64_t loopTicks) {
    started.store(NoxmidiSnd::Timing::system().nowMicros());
    // A send error (the port was closed meanwhile) ends the playout early; nobody is told.
    port->playLoop(
        track, loopTicks, secondsPerTick, [&stop] { return stop.load(); },
        NoxmidiSnd::Timing::system());
}

unsigned PlaybackController::firstPlayedTick(unsigned from, unsigned mask,
                                             bool selectedOnly) const {
    const std::vector<TapeNote> &notes = tape_.model().notes();
    auto it = std::lower_bound(notes.begin(), notes.end(), from, ByStart());
    for (; it != notes.end(); ++it) {
        const TapeNote &n = *it;
        if (n.channel < 16 && ((mask >> n.channel) & 1u) && (!selectedOnly || n.selected))
            return n.start;
    }
    return from;
}

bool PlaybackController::playNoteAt(unsigned tick, unsigned note) {
    if (!isOpen(output_))
        return false;
    ScoreModel &model = tape_.model();
    for (const TapeNote &n : model.notesAt(tick, note)) {
        if (!model.isChannelShown(n))
            continue;
        // Two ticks on channel 0 whatever the note's channel; the speed does not apply.
        NoxmidiTrk preview;
        preview.appendToneOn(0, n.note, n.velocity, 0);
        preview.appendToneOff(2, n.note, n.velocity, 0);
        output_->play(preview, 1.0 / model.ticksPerFrame(), {});
        return true;
    }
    return false;
}

void PlaybackController::startPlayhead(unsigned tick, double secondsPerTick, double loopTicks) {
    playhead_.arm(tick, secondsPerTick, loopTicks);
    tape_.hidePlayhead(); // until the worker has begun
    Fl::remove_timeout(playheadTimer, this);
    Fl::add_timeout(timerPeriod, playheadTimer, this);
}

void PlaybackController::stopPlayhead() {
    Fl::remove_timeout(playheadTimer, this);
    if (!playhead_.active)
        return;
    playhead_.active = false;
    tape_.hidePlayhead();
}

void PlaybackController::holdPlayhead(bool on, int64_t nowMicros) {
    holdPlayhead_ = on;
    if (!on) {
        stopPlayhead();
        return;
    }
    if (!playhead_.active) {
        const ScoreModel &model = tape_.model();
        startPlayhead(model.playMarker(), timeScale_ / model.ticksPerFrame());
        playhead_.startMicros.store(nowMicros);
    }
}

void PlaybackController::playheadTimer(void *controller) {
    Fl::repeat_timeout(timerPeriod, playheadTimer, controller);
    static_cast<PlaybackController *>(controller)
        ->updatePlayhead(NoxmidiSnd::Timing::system().nowMicros());
}

void PlaybackController::updatePlayhead(int64_t nowMicros) {
    if (!playhead_.active)
        return;
    if (player_.state() != NoxssThread::stateRunning && !holdPlayhead_) {
        stopPlayhead(); // the view stays where it is
        return;
    }
    double tick = 0;
    if (!playhead_.tickAt(nowMicros, tick))
        return; // the worker has not begun yet
    tape_.showPlayhead(tick);
}

} // namespace tw
