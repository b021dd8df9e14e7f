// The beat grid's settings, the scaling of the melody's time and a drag's preview.
#include "scoremodel/ScoreModel.h"

#include "scoremodel/TimeScale.h"

#include <algorithm>

namespace tw {

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
