// The melody and a fixed-note instrument: fitting the notes to what it plays, and finding the
// notes that follow the previous note of their key too closely for a punched tape.
#include "scoremodel/ScoreModel.h"

#include "notes/Instrument.h"
#include "scoremodel/InstrumentFit.h"

#include <algorithm>

namespace tw {

std::vector<TapeNote> ScoreModel::notesToFit() const {
    std::vector<TapeNote> chosen = selectedNotes();
    chosen.erase(std::remove_if(chosen.begin(), chosen.end(),
                                [&](const TapeNote &n) { return !isChannelShown(n); }),
                 chosen.end());
    if (!chosen.empty())
        return chosen;
    for (const TapeNote &n : notes_)
        if (isChannelShown(n))
            chosen.push_back(n);
    return chosen;
}

bool ScoreModel::fitToInstrument(const Instrument &instrument, int shift, bool octaves) {
    const bool anySelected = std::any_of(notes_.begin(), notes_.end(),
                                         [&](const TapeNote &n) { return isSelectedAndShown(n); });
    bool changed = false;
    recordEdit([&] {
        for (TapeNote &n : notes_) {
            if (anySelected ? !isSelectedAndShown(n) : !isChannelShown(n))
                continue;
            const int note = fittedNote(n.note, shift, octaves, instrument.notes);
            if (note < 0 || unsigned(note) == n.note)
                continue;           // a shift that leaves the note range is not offered
            n.note = uint8_t(note); // 0..127: fittedNote gives -1 for any other
            changed = true;
        }
        // A tape has one hole for a key at a time: a note moved onto another becomes one with it.
        if (changed)
            mergeUnisons(notes_);
        return changed;
    });
    return changed;
}

unsigned ScoreModel::selectNotesTooClose(const Instrument &instrument, BoardView &view) {
    touchAllNotes();
    unselectAll();
    std::vector<TapeNote> shown;
    std::vector<std::size_t> index;
    for (std::size_t i = 0; i < notes_.size(); ++i) {
        if (isChannelShown(notes_[i])) {
            shown.push_back(notes_[i]);
            index.push_back(i);
        }
    }
    // The later note of each pair: too little silence, or too little strip between two holes.
    std::vector<std::size_t> found;
    for (const ClosePair &p : pairsTooClose(shown, repeatRuleOf(instrument, ticksPerFrame_)))
        found.push_back(p.later);
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    if (found.empty())
        return 0;
    for (std::size_t i : found)
        notes_[index[i]].selected = true;
    // The first one into view: its start at the left edge, its row in the middle when hidden.
    const TapeNote &first = notes_[index[found.front()]];
    view.firstTick = first.start;
    view.showRow(first.note);
    modelChanged();
    return unsigned(found.size());
}

} // namespace tw
