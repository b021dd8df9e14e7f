// Edits of the melody. Each recorded edit takes an undo snapshot first and withdraws it when
// nothing changed. Shifts of time never let a start or an end pass the last tick.
#include "scoremodel/ScoreModel.h"

#include "scoremodel/NoteBuffers.h"

#include <algorithm>

namespace tw {

namespace {

// The start of `note` moved by delta, or -1 when the note would leave the tick range.
long long shiftedStart(const TapeNote &note, long long delta) {
    const long long start = (long long)note.start + delta;
    if (start < 0 || start + note.length > lastTick)
        return -1;
    return start;
}

// The first start and the span of a list of notes to paste, in the list's own order; a span
// of 0 or less means there is nothing to paste.
long long pasteSpan(const std::vector<TapeNote> &list, unsigned &first) {
    if (list.empty())
        return 0;
    first = list.front().start;
    return (long long)list.back().start + list.back().length - first;
}

// Runs `change` on every note; true when it changed at least one.
template <class Change> bool changeNotes(std::vector<TapeNote> &notes, Change change) {
    bool changed = false;
    for (TapeNote &n : notes)
        changed = change(n) || changed;
    return changed;
}

} // namespace

bool ScoreModel::isSelectedAndShown(const TapeNote &note) const {
    return note.selected && isChannelShown(note);
}

void ScoreModel::recordEdit(const std::function<bool()> &change, bool narrow) {
    const bool pushed = pushUndo();
    if (!narrow)
        touchAllNotes();
    if (!change()) {
        if (pushed)
            popUndo();
        return;
    }
    melodyEdited();
}

template <class Pick> unsigned ScoreModel::shiftStarts(long long delta, Pick pick) {
    unsigned moved = 0;
    for (TapeNote &n : notes_) {
        if (!pick(n))
            continue;
        const long long start = shiftedStart(n, delta);
        if (start < 0)
            continue;
        n.start = unsigned(start);
        ++moved;
    }
    if (moved != 0 && !std::is_sorted(notes_.begin(), notes_.end(), ByStart()))
        sortNotes();
    return moved;
}

bool ScoreModel::insertNote(const TapeNote &note) {
    bool added = false;
    recordEdit([&] { return added = addNote(note); }, true);
    return added;
}

bool ScoreModel::removeNotesAt(unsigned tick, unsigned note) {
    bool removed = false;
    recordEdit([&] {
        const auto gone = [&](const TapeNote &n) {
            return n.start == tick && n.note == note && isChannelShown(n);
        };
        auto end = std::remove_if(notes_.begin(), notes_.end(), gone);
        removed = end != notes_.end();
        notes_.erase(end, notes_.end());
        return removed;
    });
    return removed;
}

unsigned ScoreModel::changeNoteLength(unsigned tick, unsigned note, unsigned channel,
                                      std::optional<std::size_t> *index) {
    for (std::size_t i = notes_.size(); i-- > 0;) {
        TapeNote &n = notes_[i];
        if (n.note != note || n.channel != channel || n.start >= tick)
            continue;
        const unsigned length = tick - n.start;
        // Recorded even when the length stays the same.
        pushUndo();
        touchNotes(i, i + 1);
        n.length = length;
        if (index)
            *index = i;
        melodyEdited();
        return length;
    }
    return 0;
}

void ScoreModel::setSelectedLength(unsigned ticks) {
    if (ticks == 0)
        return;
    recordEdit([&] {
        return changeNotes(notes_, [&](TapeNote &n) {
            // A length that would carry the end past the last tick is refused.
            if (!isSelectedAndShown(n) || n.length == ticks ||
                (long long)n.start + ticks > lastTick)
                return false;
            n.length = ticks;
            return true;
        });
    });
}

void ScoreModel::setSelectedVelocity(unsigned velocity) {
    if (velocity > 127)
        return;
    recordEdit([&] {
        return changeNotes(notes_, [&](TapeNote &n) {
            if (!isSelectedAndShown(n) || n.velocity == velocity)
                return false;
            n.velocity = uint8_t(velocity);
            return true;
        });
    });
}

void ScoreModel::setSelectedChannel(unsigned channel) {
    if (channel > 15)
        return;
    recordEdit([&] {
        return changeNotes(notes_, [&](TapeNote &n) {
            if (!isSelectedAndShown(n) || n.channel == channel)
                return false;
            n.channel = uint8_t(channel);
            return true;
        });
    });
}

void ScoreModel::selectedNotesHigher() {
    recordEdit([&] {
        return changeNotes(notes_, [](TapeNote &n) {
            if (!n.selected || n.note >= 127)
                return false;
            ++n.note;
            return true;
        });
    });
}

void ScoreModel::selectedNotesLower() {
    recordEdit([&] {
        return changeNotes(notes_, [](TapeNote &n) {
            if (!n.selected || n.note == 0 || n.note > 127)
                return false;
            --n.note;
            return true;
        });
    });
}

void ScoreModel::moveSelected(int ticks) {
    if (ticks == 0)
        return;
    recordEdit([&] {
        // Shifting re-sorts the melody when a note passes another.
        return shiftStarts(ticks, [&](const TapeNote &n) { return isSelectedAndShown(n); }) != 0;
    });
}

void ScoreModel::removeSelected() {
    recordEdit([&] {
        auto end = std::remove_if(notes_.begin(), notes_.end(),
                                  [](const TapeNote &n) { return n.selected; });
        const bool removed = end != notes_.end();
        notes_.erase(end, notes_.end());
        return removed;
    });
}

void ScoreModel::insertTime(unsigned tick, int ticks) {
    insertTimeBy(tick, ticks);
}

void ScoreModel::insertTimeBy(unsigned tick, long long ticks) {
    if (ticks == 0)
        return;
    recordEdit([&] {
        return shiftStarts(ticks, [&](const TapeNote &n) { return n.start >= tick; }) != 0;
    });
}

void ScoreModel::eraseRegion() {
    const unsigned left = markers_.first, right = markers_.second;
    if (left >= right)
        return;
    recordEdit([&] {
        bool changed = false;
        std::vector<TapeNote> kept;
        kept.reserve(notes_.size());
        for (TapeNote n : notes_) {
            if (n.start >= left && n.start < right) {
                changed = true;
                continue;
            }
            if (n.start >= right) {
                n.start -= right - left;
                changed = true;
            }
            kept.push_back(n);
        }
        if (changed)
            notes_.swap(kept);
        return changed;
    });
}

void ScoreModel::insertRegionLength() {
    const unsigned left = markers_.first, right = markers_.second;
    if (left >= right)
        return;
    insertTimeBy(left, (long long)right - left);
}

void ScoreModel::pasteNotesWithTime(unsigned tick, const std::vector<TapeNote> &list) {
    unsigned first = 0;
    const long long span = pasteSpan(list, first);
    if (span <= 0)
        return;
    // The only snapshot of the paste: when no note moves, the paste itself is not recorded.
    insertTimeBy(tick, span);
    const bool added = addShifted(list, (long long)tick - first);
    // Redo states no longer follow from the melody once notes came in.
    if (added)
        history_.truncateRedo();
    longestNote_ = 0;
    modelChanged();
}

void ScoreModel::pasteNotes(unsigned tick, const std::vector<TapeNote> &list) {
    unsigned first = 0;
    if (pasteSpan(list, first) == 0)
        return;
    recordEdit([&] { return addShifted(list, (long long)tick - first); }, true);
}

bool ScoreModel::addShifted(const std::vector<TapeNote> &list, long long delta) {
    bool added = false;
    for (TapeNote n : list) {
        const long long start = shiftedStart(n, delta);
        if (start < 0)
            continue;
        n.start = unsigned(start);
        added = addNote(n) || added;
    }
    return added;
}

void ScoreModel::clear() {
    if (!notes_.empty()) {
        recordEdit([&] {
            notes_.clear();
            return true;
        });
    }
    channelMask_ = 0xFFFF;
    modelChanged();
}

void ScoreModel::setNotes(const std::vector<TapeNote> &list) {
    // Room to spare, so that the next insertions do not move the whole melody.
    takeNotes(copyNotes(list, list.size() / 8 + 64));
}

void ScoreModel::setNotes(std::vector<TapeNote> &&list) {
    takeNotes(std::move(list));
}

void ScoreModel::takeNotes(std::vector<TapeNote> &&list) {
    clear();
    replaceNotes(std::move(list));
    // Every operation relies on the order by start.
    if (!std::is_sorted(notes_.begin(), notes_.end(), ByStart()))
        sortNotes();
    dataChanged_ = false;
    modelChanged();
}

void ScoreModel::sortNotes() {
    touchAllNotes();
    // Stable, so that notes of equal start keep their order.
    std::stable_sort(notes_.begin(), notes_.end(), ByStart());
}

std::vector<std::reference_wrapper<TapeNote>> ScoreModel::notesAt(unsigned tick, unsigned note) {
    // The caller may change the notes through what it gets.
    touchAllNotes();
    std::vector<std::reference_wrapper<TapeNote>> found;
    for (std::size_t i = upperBound(tick); i-- > 0 && notes_[i].start == tick;)
        if (notes_[i].note == note)
            found.push_back(notes_[i]);
    std::reverse(found.begin(), found.end());
    return found;
}

} // namespace tw
