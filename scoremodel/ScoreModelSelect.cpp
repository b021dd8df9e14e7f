// Selection: the `selected` flag of each note. Selecting looks at shown notes only; clearing
// clears every note. Nothing here changes the melody or the undo history.
#include "scoremodel/ScoreModel.h"

#include <cmath>

namespace tw {

void ScoreModel::selectAll() {
    touchAllNotes();
    bool any = false;
    for (TapeNote &n : notes_) {
        if (isChannelShown(n)) {
            n.selected = true;
            any = true;
        }
    }
    if (any)
        modelChanged();
}

void ScoreModel::unselectAll() {
    touchAllNotes();
    bool any = false;
    for (TapeNote &n : notes_) {
        any = any || n.selected;
        n.selected = false;
    }
    if (any)
        modelChanged();
}

void ScoreModel::invertSelection() {
    touchAllNotes();
    bool any = false;
    for (TapeNote &n : notes_) {
        if (n.selected) {
            n.selected = false;
            any = true;
        } else if (isChannelShown(n)) {
            n.selected = true;
            any = true;
        }
    }
    if (any)
        modelChanged();
}

void ScoreModel::selectBetweenMarkers() {
    touchAllNotes();
    if (markers_.first >= markers_.second)
        return;
    bool any = false;
    for (TapeNote &n : notes_) {
        if (isChannelShown(n) && n.start >= markers_.first && n.start < markers_.second) {
            n.selected = true;
            any = true;
        }
    }
    if (any)
        modelChanged();
}

void ScoreModel::selectFrom(unsigned tick) {
    touchAllNotes();
    bool any = false;
    for (TapeNote &n : notes_) {
        if (isChannelShown(n) && !n.selected && n.start >= tick) {
            n.selected = true;
            any = true;
        }
    }
    if (any)
        modelChanged();
}

void ScoreModel::setSelected(unsigned index, bool on) {
    if (index < notes_.size() && isChannelShown(notes_[index])) {
        touchNotes(index, index + 1);
        notes_[index].selected = on;
    }
}

bool ScoreModel::toggleSelectionAt(unsigned tick, unsigned note) {
    touchAllNotes();
    bool any = false;
    for (TapeNote &n : notes_) {
        if (n.start == tick && n.note == note && isChannelShown(n)) {
            n.selected = !n.selected;
            any = true;
        }
    }
    if (any)
        modelChanged();
    return any;
}

unsigned ScoreModel::selectLoudest(unsigned percent) {
    touchAllNotes();
    unsigned histogram[128] = {};
    unsigned total = 0;
    for (const TapeNote &n : notes_) {
        if (isChannelShown(n) && n.velocity < 128) {
            ++histogram[n.velocity];
            ++total;
        }
    }
    const double share = std::floor(double(total) / 100.0 * percent + 0.5);
    const unsigned wanted = share < double(total) ? unsigned(share) : total;
    unsigned threshold = 128, sum = 0;
    while (threshold > 0 && sum < wanted)
        sum += histogram[--threshold];

    unsigned count = 0;
    for (TapeNote &n : notes_) {
        if (isChannelShown(n) && n.velocity >= threshold) {
            n.selected = true;
            ++count;
        }
    }
    if (count != 0)
        modelChanged();
    return count;
}

unsigned ScoreModel::selectSpecialNotes(BoardView &view) {
    touchAllNotes();
    unselectAll();
    unsigned count = 0, firstStart = 0;
    for (TapeNote &n : notes_) {
        if (isChannelShown(n) && n.note < 128 &&
            rowColours_.colours[n.note] == rowColours_.special) {
            if (count++ == 0)
                firstStart = n.start;
            n.selected = true;
        }
    }
    if (count != 0) {
        view.firstTick = firstStart;
        modelChanged();
    }
    return count;
}

std::vector<TapeNote> ScoreModel::selectedNotes() const {
    std::vector<TapeNote> list;
    for (const TapeNote &n : notes_)
        if (n.selected)
            list.push_back(n);
    return list;
}

} // namespace tw
