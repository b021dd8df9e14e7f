// The windows that make a melody fit a punched strip: "Fix notes too close to repeat" (a choice
// per way of mending, with how many pairs each would mend and how many remain) and "Shorten
// rests" (the longest rest to keep, with how many rests are longer). GUI thread only.
#pragma once

#include "scoremodel/TapeFixes.h"

#include <functional>
#include <string>
#include <vector>

namespace tw {

// What the fix window would do with the choice: its counts, worked out on a copy.
FixCounts previewFix(const std::vector<TapeNote> &notes, const RepeatRule &rule,
                     const std::bitset<128> &playable, const FixChoice &choice);
// The window's line of counts: "Shortened 2, moved 1, dropped 0; 3 remain".
std::string fixCountsText(const FixCounts &counts);

// Shows the fix window for the shown notes; false when it was cancelled.
bool runFixWindow(const std::string &instrument, const std::vector<TapeNote> &notes,
                  const RepeatRule &rule, const std::bitset<128> &playable, FixChoice &choice);

// How many rests between the notes are longer than `maxTicks`.
unsigned restsLongerThan(const std::vector<TapeNote> &notes, unsigned maxTicks);
// Shows the rest window; false when it was cancelled, else `seconds` holds the longest rest.
bool runShortenRestsWindow(const std::vector<TapeNote> &notes, unsigned ticksPerFrame,
                           double &seconds);

// The seams the app goes through, so that tests answer in place of the windows; an empty
// chooser restores the window.
using FixChooser = std::function<bool(const std::string &instrument,
                                      const std::vector<TapeNote> &notes, const RepeatRule &rule,
                                      const std::bitset<128> &playable, FixChoice &choice)>;
void setFixChooser(FixChooser chooser);
bool chooseFix(const std::string &instrument, const std::vector<TapeNote> &notes,
               const RepeatRule &rule, const std::bitset<128> &playable, FixChoice &choice);
using RestChooser = std::function<bool(const std::vector<TapeNote> &notes, unsigned ticksPerFrame,
                                       double &seconds)>;
void setRestChooser(RestChooser chooser);
bool chooseRests(const std::vector<TapeNote> &notes, unsigned ticksPerFrame, double &seconds);

} // namespace tw
