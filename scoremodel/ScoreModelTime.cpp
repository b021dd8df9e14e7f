// The beat grid's settings, the scaling of the melody's time, a drag's preview and the track
// of a loop.
#include "scoremodel/ScoreModel.h"

#include "scoremodel/TimeScale.h"

#include <algorithm>

namespace tw {

NoxmidiTrk ScoreModel::loopTrack(unsigned from, unsigned to, unsigned channelMask,
                                 bool selectedOnly) const {
    if (from >= to)
        return NoxmidiTrk();
    // toTrack times its events from the first note it takes: find that note's start.
    uint64_t first = UINT64_MAX;
    for (auto it = std::lower_bound(notes_.begin(), notes_.end(), uint64_t(from), ByStart());
         it != notes_.end() && it->start < to; ++it)
        if (it->channel < 16 && ((channelMask >> it->channel) & 1u) &&
            (!selectedOnly || it->selected)) {
            first = it->start;
            break;
        }
    if (first == UINT64_MAX)
        return NoxmidiTrk();
    const NoxmidiTrk whole = toTrack(from, to, channelMask, selectedOnly);
    struct Timed {
        uint64_t tick;
        const MidiEvent *event;
    };
    std::vector<Timed> timed;
    timed.reserve(whole.events.size());
    uint64_t tick = first;
    for (const MidiEvent &e : whole.events) {
        tick += e.dTime;
        // A note that lasts beyond the loop ends with it.
        timed.push_back({e.isToneOn() ? tick : std::min<uint64_t>(tick, to), &e});
    }
    // At one tick the note-offs first, as in toTrack.
    std::stable_sort(timed.begin(), timed.end(), [](const Timed &a, const Timed &b) {
        return a.tick < b.tick || (a.tick == b.tick && !a.event->isToneOn() && b.event->isToneOn());
    });
    std::vector<MidiEvent> events;
    events.reserve(timed.size());
    uint64_t previous = from;
    for (const Timed &t : timed) {
        events.emplace_back(uint32_t(t.tick - previous), t.event->bytes);
        previous = t.tick;
    }
    NoxmidiTrk track;
    track.setEvents(std::move(events));
    return track;
}

bool ScoreModel::setBeatGrid(const BeatGrid &grid) {
    if (!grid.valid())
        return false;
    beatGrid_ = grid;
    modelChanged();
    return true;
}

bool ScoreModel::anySelectedShown() const {
    return std::any_of(notes_.begin(), notes_.end(),
                       [&](const TapeNote &n) { return isSelectedAndShown(n); });
}

bool ScoreModel::scalesNote(const TapeNote &note, bool anySelected) const {
    return anySelected ? isSelectedAndShown(note) : isChannelShown(note);
}

uint64_t ScoreModel::scaleTimeSpan() const {
    const bool anySelected = anySelectedShown();
    return spanOf(notes_, [&](const TapeNote &n) { return scalesNote(n, anySelected); });
}

unsigned ScoreModel::endTickAfterScale(double factor) const {
    std::vector<TapeNote> copy = notes_;
    const bool anySelected = anySelectedShown();
    if (!scaleNoteTimes(copy, leftMarker(), factor,
                        [&](const TapeNote &n) { return scalesNote(n, anySelected); }))
        return 0;
    unsigned end = 0;
    for (const TapeNote &n : copy)
        end = std::max(end, n.start + n.length);
    return end;
}

bool ScoreModel::scaleTime(double factor) {
    bool changed = false;
    recordEdit([&] {
        const bool anySelected = anySelectedShown();
        std::vector<TapeNote> list = notes_;
        if (!scaleNoteTimes(list, leftMarker(), factor,
                            [&](const TapeNote &n) { return scalesNote(n, anySelected); }))
            return false;
        changed = list != notes_;
        if (changed)
            notes_.swap(list);
        return changed;
    });
    return changed;
}

void ScoreModel::previewNotes(std::vector<TapeNote> list) {
    replaceNotes(std::move(list));
    if (!std::is_sorted(notes_.begin(), notes_.end(), ByStart()))
        sortNotes();
    modelChanged();
}

bool ScoreModel::endPreview(std::vector<TapeNote> original, std::vector<TapeNote> final) {
    replaceNotes(std::move(original));
    bool changed = false;
    recordEdit([&] {
        changed = final != notes_;
        if (changed)
            notes_.swap(final);
        return changed;
    });
    modelChanged();
    return changed;
}

} // namespace tw
