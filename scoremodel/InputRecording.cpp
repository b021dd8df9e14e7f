#include "scoremodel/InputRecording.h"

#include <algorithm>
#include <cmath>

namespace tw {

double TickClock::tickAt(int64_t micros) const {
    const double elapsed = double(micros - startMicros) * 1e-6;
    double tick = startTick;
    if (secondsPerTick > 0 && elapsed > 0)
        tick += elapsed / secondsPerTick;
    return std::min(tick, double(lastTick));
}

namespace {
uint32_t wholeTick(double t) {
    if (t >= double(lastTick))
        return lastTick;
    return t > 0 ? uint32_t(t) : 0;
}
} // namespace

uint32_t TickRounding::tick(double t) const {
    if (!snap)
        return wholeTick(std::floor(t + 0.5));
    // The snap takes whole ticks: of the lines nearest to the ticks on either side, the one
    // nearer to t.
    const uint32_t below = snap(wholeTick(std::floor(t))), above = snap(wholeTick(std::ceil(t)));
    return std::fabs(above - t) < std::fabs(t - below) ? above : below;
}

TapeNote TickRounding::note(double start, double end) const {
    TapeNote n;
    n.start = tick(start);
    const uint32_t stop = tick(end);
    const uint32_t least = std::max<uint32_t>(minLength, 1);
    n.length = stop > n.start ? stop - n.start : 0;
    n.length = std::max(n.length, least);
    if (n.start > lastTick - n.length) // the note ends at the last tick at the latest
        n.start = lastTick - n.length;
    return n;
}

void NoteRecorder::clear() {
    played_.clear();
    sounding_.fill(0);
    lastMicros_ = 0;
    lost_ = 0;
}

void NoteRecorder::feed(int64_t micros, const uint8_t *bytes, std::size_t size) {
    if (size != 3)
        return;
    const uint8_t kind = bytes[0] & 0xF0;
    if (kind != 0x80 && kind != 0x90)
        return;
    lastMicros_ = std::max(lastMicros_, micros);
    const std::size_t slot = std::size_t(bytes[0] & 0x0F) * 128 + (bytes[1] & 0x7F);
    if (std::size_t held = sounding_[slot]) {
        played_[held - 1].offMicros = micros;
        played_[held - 1].ended = true;
        sounding_[slot] = 0;
    }
    if (kind == 0x80 || bytes[2] == 0)
        return;
    if (played_.size() >= maxNotes) {
        ++lost_;
        return;
    }
    Played p;
    p.key = bytes[1] & 0x7F;
    p.velocity = bytes[2] & 0x7F;
    p.onMicros = micros;
    played_.push_back(p);
    sounding_[slot] = played_.size();
}

void NoteRecorder::stop(int64_t micros) {
    lastMicros_ = std::max(lastMicros_, micros);
    for (std::size_t &held : sounding_)
        if (held) {
            played_[held - 1].offMicros = micros;
            played_[held - 1].ended = true;
            held = 0;
        }
}

std::vector<TapeNote> NoteRecorder::notes(const TickClock &clock, unsigned channel,
                                          const TickRounding &rounding, int64_t heldUntil) const {
    std::vector<TapeNote> list;
    list.reserve(played_.size());
    const int64_t held = std::max(lastMicros_, heldUntil);
    for (const Played &p : played_) {
        const int64_t off = p.ended ? p.offMicros : std::max(held, p.onMicros);
        TapeNote n = rounding.note(clock.tickAt(p.onMicros), clock.tickAt(off));
        n.note = p.key;
        n.velocity = p.velocity;
        n.channel = channel & 0x0F;
        list.push_back(n);
    }
    std::stable_sort(list.begin(), list.end(), ByStart());
    return list;
}

bool NoteRecorder::holding() const {
    for (const std::size_t index : sounding_)
        if (index != 0)
            return true;
    return false;
}

StepEntry::Step StepEntry::noteOn(int64_t micros, uint8_t key, uint8_t velocity, uint32_t marker,
                                  uint32_t length, unsigned channel) {
    length = std::max<uint32_t>(length, 1);
    const bool joins = chordOpen_ && micros - chordMicros_ < chordMicros &&
                       micros >= chordMicros_ && marker == chordEnd_;
    if (!joins) {
        chordOpen_ = true;
        chordMicros_ = micros;
        chordTick_ = std::min(marker, lastTick - length);
        chordEnd_ = chordTick_ + length;
    }
    TapeNote n;
    n.note = key & 0x7F;
    n.velocity = velocity & 0x7F;
    n.channel = channel & 0x0F;
    n.start = chordTick_;
    n.length = chordEnd_ - chordTick_;
    steps_.push_back(n);
    return {n, chordEnd_};
}

void StepEntry::refused() {
    if (!steps_.empty())
        steps_.pop_back();
}

std::optional<StepEntry::Back> StepEntry::back() {
    if (steps_.empty())
        return std::nullopt;
    const TapeNote last = steps_.back();
    steps_.pop_back();
    const bool chordLeft = !steps_.empty() && steps_.back().start == last.start;
    chordOpen_ = false; // the next note is a step of its own
    return Back{last, !chordLeft};
}

void StepEntry::clear() {
    steps_.clear();
    chordOpen_ = false;
}

} // namespace tw
