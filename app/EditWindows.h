// The "Beat grid" and "Scale time" windows, and the arithmetic behind them that runs without a
// display. GUI thread only.
#pragma once

#include "scoremodel/BeatGrid.h"

#include <functional>
#include <optional>
#include <string>

namespace tw {

// The grid that the "Beat grid" window's texts give, or nothing with the reason in *error.
std::optional<BeatGrid> beatGridFromTexts(const std::string &bpm, const std::string &beatsPerBar,
                                          const std::string &firstBar, bool shown,
                                          unsigned division, const BeatGrid &base,
                                          std::string *error);

// The factor of a percentage (byPercent) or of a target length in seconds for notes that span
// spanSeconds now; nothing with the reason in *error when the text is no number in range.
std::optional<double> scaleFactorFromText(bool byPercent, const std::string &text,
                                          double spanSeconds, std::string *error);

// A length in seconds as the "Scale time" window shows it: "12.5 s".
std::string secondsText(double seconds);

// Shows "Beat grid" modally; the grid chosen, or nothing for Cancel.
std::optional<BeatGrid> runBeatGridWindow(const BeatGrid &grid);

// What the "Scale time" window shows and asks: the span of the notes it scales and the length
// of the melody, in seconds, and the melody's length after a factor (negative when refused).
struct ScaleTimeQuestion {
    bool selectionOnly = false;
    double spanSeconds = 0;
    double lengthSeconds = 0;
    std::function<double(double factor)> lengthAfter;
};
// Shows "Scale time" modally; the factor chosen, or nothing for Cancel.
std::optional<double> runScaleTimeWindow(const ScaleTimeQuestion &question);

} // namespace tw
