// The model's construction, its marker state, and the gate through which notes enter.
#include "scoremodel/ScoreModel.h"

#include "notes/NoteSets.h"
#include "scoremodel/NoteBuffers.h"

#include <algorithm>

namespace tw {

ScoreModel::ScoreModel() {
    rowColours_ = pianoRowColours();
    for (unsigned c = 0; c < 16; ++c)
        programs_[c] = uint8_t(c);
}

void ScoreModel::copyShownFrom(const ScoreModel &other) {
    ticksPerFrame_ = other.ticksPerFrame_;
    markers_ = other.markers_;
    playMarker_ = other.playMarker_;
    sectionMarkers_ = other.sectionMarkers_;
    channelMask_ = other.channelMask_;
    rowColours_ = other.rowColours_;
    programs_ = other.programs_;
    beatGrid_ = other.beatGrid_;
    replaceNotes(std::vector<TapeNote>(other.notes_));
}

std::vector<int> ScoreModel::programs() const {
    return std::vector<int>(programs_.begin(), programs_.end());
}

void ScoreModel::setProgram(unsigned channel, unsigned program) {
    if (channel > 15 || program > 127)
        return;
    programs_[channel] = uint8_t(program);
}

bool ScoreModel::addNote(TapeNote note) {
    note.selected = false;
    // A note that would end beyond the last tick could not be saved: its end would wrap.
    if (note.note > 127 || note.length == 0 || note.velocity > 127 || note.channel > 15 ||
        uint64_t(note.start) + note.length > lastTick)
        return false;
    // Notes with the same start stay in the order they were added: insert after them. The
    // melody is ordered by start, so only the notes of that start can be duplicates.
    auto pos = std::lower_bound(notes_.begin(), notes_.end(), note.start, ByStart());
    for (; pos != notes_.end() && pos->start == note.start; ++pos) {
        if (pos->channel == note.channel && pos->note == note.note)
            return false;
    }
    if (notes_.size() == notes_.capacity()) {
        const std::size_t index = std::size_t(pos - notes_.begin());
        reserveNotes(notes_, notes_.size() * 2 + 64);
        pos = notes_.begin() + std::ptrdiff_t(index);
    }
    touchNotes(std::size_t(pos - notes_.begin()), std::size_t(pos - notes_.begin()));
    notes_.insert(pos, note);
    dataChanged_ = true;
    longestNote_ = 0;
    if (isChannelShown(note))
        modelChanged();
    return true;
}

void ScoreModel::melodyEdited() {
    history_.forgetDroppedRedo();
    dataChanged_ = true;
    longestNote_ = 0;
    modelChanged();
}

void ScoreModel::replaceNotes(std::vector<TapeNote> &&list) {
    touchAllNotes();
    notes_ = std::move(list);
    longestNote_ = 0;
}

std::size_t ScoreModel::upperBound(unsigned tick) const {
    auto it = std::upper_bound(notes_.begin(), notes_.end(), tick, ByStart());
    return std::size_t(it - notes_.begin());
}

unsigned ScoreModel::longestNote() const {
    if (longestNote_ == 0) {
        unsigned longest = 1;
        for (const TapeNote &n : notes_)
            longest = std::max(longest, n.length);
        longestNote_ = longest;
    }
    return longestNote_;
}

void ScoreModel::setTicksPerFrame(unsigned ticks) {
    if (ticks < minTicksPerFrame || ticks > maxTicksPerFrame)
        return;
    ticksPerFrame_ = ticks;
    modelChanged();
}

unsigned ScoreModel::endTick() const {
    if (notes_.empty())
        return 0;
    return notes_.back().start + notes_.back().length;
}

void ScoreModel::setPlayMarker(unsigned tick) {
    if (tick == playMarker_)
        return;
    playMarker_ = tick;
    modelChanged();
}

void ScoreModel::setLeftMarker(unsigned tick, BoardView &view) {
    view.showTick(tick, ticksPerFrame_);
    markers_.first = tick;
    if (markers_.second < tick)
        markers_.second = tick;
    modelChanged();
}

void ScoreModel::setRightMarker(unsigned tick) {
    markers_.second = tick;
    if (markers_.first > tick)
        markers_.first = tick;
    modelChanged();
}

void ScoreModel::toggleSectionMarker(unsigned tick) {
    if (!sectionMarkers_.erase(tick))
        sectionMarkers_.insert(tick);
    modelChanged();
}

void ScoreModel::clearSectionMarkers() {
    if (sectionMarkers_.empty())
        return;
    sectionMarkers_.clear();
    modelChanged();
}

void ScoreModel::setRowColours(const RowColours &colours) {
    rowColours_ = colours;
    modelChanged();
}

void ScoreModel::setChannelMask(unsigned short mask) {
    if (mask == channelMask_)
        return;
    touchAllNotes();
    for (TapeNote &n : notes_)
        n.selected = false;
    channelMask_ = mask;
    modelChanged();
}

std::pair<std::size_t, std::size_t> ScoreModel::candidateNotes(const BoardView &view) const {
    return candidateNotes(view.firstTick, uint64_t(view.firstTick) + view.visibleTicks);
}

std::pair<std::size_t, std::size_t> ScoreModel::candidateNotes(uint64_t from, uint64_t to) const {
    // Ordered by start: notes that start at or after `to` are never drawn, and a note that
    // starts more than the longest length before `from` ends before it.
    const std::size_t last =
        std::size_t(std::lower_bound(notes_.begin(), notes_.end(), to, ByStart()) - notes_.begin());
    const unsigned longest = longestNote();
    const uint64_t low = from >= longest ? from - longest + 1 : 0;
    const std::size_t first = std::size_t(
        std::lower_bound(notes_.begin(), notes_.begin() + last, low, ByStart()) - notes_.begin());
    return {first, last};
}

} // namespace tw
