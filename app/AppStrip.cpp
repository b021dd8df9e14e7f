// Edit/Fix notes too close to repeat... and Edit/Shorten rests...: the melody made fit for a
// punched strip, each as one edit that undo takes back.
#include "app/App.h"

#include "app/StripWindows.h"
#include "framework/Dialogs.h"
#include "scoretape/ScoreTape.h"

namespace tw {

void App::fixNotesTooClose() {
    // Without an instrument no gap is given: notes of one key must not touch, and any note may
    // move an octave.
    const tw::Instrument instrument = chosenInstrument().value_or(tw::Instrument{});
    const RepeatRule rule = repeatRuleOf(instrument, tape->model().ticksPerFrame());
    std::vector<TapeNote> shown;
    for (const TapeNote &n : tape->model().notes())
        if (tape->model().isChannelShown(n))
            shown.push_back(n);
    if (pairsTooClose(shown, rule).empty()) {
        showMessagef("No notes too close to repeat found");
        return;
    }
    std::bitset<128> playable = instrument.notes;
    if (playable.none())
        playable.set();
    FixChoice choice;
    if (!chooseFix(instrument.name, shown, rule, playable, choice))
        return;
    const FixCounts c = tape->model().fixNotesTooClose(rule, playable, choice);
    showMessagef("%s", fixCountsText(c).c_str());
}

void App::shortenRests() {
    static double lastSeconds = 2; // the window offers what was given last in this run
    double seconds = lastSeconds;
    if (!chooseRests(tape->model().notes(), tape->model().ticksPerFrame(), seconds))
        return;
    lastSeconds = seconds;
    const unsigned n = tape->model().shortenRests(seconds);
    if (n > 0)
        showMessagef("%u rest(s) shortened to %g s", n, seconds);
    else
        showMessagef("No rest is longer than %g s", seconds);
}

} // namespace tw
