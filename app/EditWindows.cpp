#include "app/EditWindows.h"

#include "framework/WindowScale.h"
#include "scoremodel/TimeScale.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_Round_Button.H>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tw {

namespace {

// A whole text as a number; false for anything else (blank, trailing text, not finite).
bool parseNumber(const std::string &text, double &value) {
    const char *begin = text.c_str();
    char *end = nullptr;
    errno = 0;
    value = std::strtod(begin, &end);
    if (end == begin || errno != 0 || !std::isfinite(value))
        return false;
    while (*end == ' ')
        ++end;
    return *end == '\0';
}

bool parseWhole(const std::string &text, double low, double high, long long &value) {
    double v = 0;
    if (!parseNumber(text, v) || v != std::floor(v) || v < low || v > high)
        return false;
    value = (long long)v;
    return true;
}

std::string numberText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

struct WindowState {
    Fl_Double_Window *window = nullptr;
    bool accepted = false;
    std::function<bool()> accept; // false keeps the window open
};

void onOk(Fl_Widget *, void *data) {
    auto *state = static_cast<WindowState *>(data);
    if (state->accept && !state->accept())
        return;
    state->accepted = true;
    state->window->hide();
}

void onCancel(Fl_Widget *, void *data) {
    static_cast<WindowState *>(data)->window->hide();
}

// Runs a window built at the actual size: scaled with the display, modal, until OK or Cancel.
bool runModal(Fl_Double_Window &window, WindowState &state, Fl_Widget &ok, Fl_Widget &cancel) {
    state.window = &window;
    ok.callback(onOk, &state);
    cancel.callback(onCancel, &state);
    window.callback(onCancel, &state); // Escape and the close button
    window.end();
    scaleWindow(window);
    window.set_modal();
    window.show();
    while (window.shown())
        Fl::wait();
    return state.accepted;
}

} // namespace

std::optional<BeatGrid> beatGridFromTexts(const std::string &bpm, const std::string &beatsPerBar,
                                          const std::string &firstBar, bool shown,
                                          unsigned division, const BeatGrid &base,
                                          std::string *error) {
    BeatGrid grid = base;
    long long whole = 0;
    std::string why;
    if (!parseNumber(bpm, grid.bpm) || grid.bpm < BeatGrid::minBpm || grid.bpm > BeatGrid::maxBpm)
        why = "Beats per minute must be a number from " + numberText(BeatGrid::minBpm) + " to " +
              numberText(BeatGrid::maxBpm) + ".";
    else if (!parseWhole(beatsPerBar, 1, BeatGrid::maxBeatsPerBar, whole))
        why = "Beats per bar must be a whole number from 1 to " +
              std::to_string(BeatGrid::maxBeatsPerBar) + ".";
    else if (grid.beatsPerBar = unsigned(whole), !parseWhole(firstBar, 0, 4294967294.0, whole))
        why = "The first bar must be a tick from 0 to 4294967294.";
    if (!why.empty()) {
        if (error)
            *error = why;
        return std::nullopt;
    }
    grid.firstBar = uint32_t(whole);
    grid.shown = shown;
    grid.division = division;
    if (!grid.valid()) {
        if (error)
            *error = "The snap must be 1, 1/2, 1/3 or 1/4 of a beat.";
        return std::nullopt;
    }
    return grid;
}

std::optional<double> scaleFactorFromText(bool byPercent, const std::string &text,
                                          double spanSeconds, std::string *error) {
    double value = 0;
    std::optional<double> factor;
    if (parseNumber(text, value)) {
        if (byPercent)
            factor = value / 100;
        else if (spanSeconds > 0)
            factor = value / spanSeconds;
    }
    if (factor && *factor >= TimeScale::minFactor && *factor <= TimeScale::maxFactor)
        return factor;
    if (error)
        *error = byPercent
                     ? "The percentage must be a number from " + numberText(TimeScale::minPercent) +
                           " to " + numberText(TimeScale::maxPercent) + "."
                     : "The length must be a number of seconds from " +
                           secondsText(spanSeconds * TimeScale::minFactor) + " to " +
                           secondsText(spanSeconds * TimeScale::maxFactor) + ".";
    return std::nullopt;
}

std::string secondsText(double seconds) {
    char text[48];
    std::snprintf(text, sizeof text, "%.2f s", seconds);
    return text;
}

std::optional<BeatGrid> runBeatGridWindow(const BeatGrid &grid) {
    constexpr int w = 360, h = 230, field = 100, left = 180;
    WindowState state;
    Fl_Double_Window window(w, h, "Beat grid");
    Fl_Input bpm(left, 10, field, 25, "Beats per minute:");
    bpm.value(numberText(grid.bpm).c_str());
    Fl_Input perBar(left, 40, field, 25, "Beats per bar:");
    perBar.value(std::to_string(grid.beatsPerBar).c_str());
    Fl_Input first(left, 70, field, 25, "First bar at tick:");
    first.value(std::to_string(grid.firstBar).c_str());
    Fl_Choice snap(left, 100, field, 25, "Snap to:");
    snap.add("1 beat|1/2 beat|1/3 beat|1/4 beat");
    snap.value(int(grid.division) - 1);
    Fl_Check_Button shown(10, 130, w - 20, 25, "Draw beat and bar lines");
    shown.value(grid.shown ? 1 : 0);
    Fl_Box message(10, 158, w - 20, 25);
    message.align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
    message.labelcolor(FL_RED);
    Fl_Return_Button ok(w - 210, h - 38, 95, 28, "OK");
    Fl_Button cancel(w - 105, h - 38, 95, 28, "Cancel");
    std::optional<BeatGrid> chosen;
    std::string error;
    state.accept = [&] {
        chosen = beatGridFromTexts(bpm.value(), perBar.value(), first.value(), shown.value() != 0,
                                   unsigned(snap.value() + 1), grid, &error);
        if (!chosen)
            message.copy_label(error.c_str());
        return chosen.has_value();
    };
    if (!runModal(window, state, ok, cancel))
        return std::nullopt;
    return chosen;
}

std::optional<double> runScaleTimeWindow(const ScaleTimeQuestion &question) {
    constexpr int w = 420, h = 230, field = 100, left = 230;
    WindowState state;
    Fl_Double_Window window(w, h, "Scale time");
    Fl_Box what(10, 8, w - 20, 22,
                question.selectionOnly ? "The selected notes, around the red marker:"
                                       : "All notes, around the red marker:");
    what.align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
    Fl_Round_Button byPercent(10, 36, left - 15, 25, "By percentage:");
    byPercent.type(FL_RADIO_BUTTON);
    byPercent.value(1);
    Fl_Input percent(left, 36, field, 25);
    percent.value("100");
    Fl_Round_Button byLength(10, 66, left - 15, 25, "To a length in seconds:");
    byLength.type(FL_RADIO_BUTTON);
    Fl_Input seconds(left, 66, field, 25);
    seconds.value(numberText(std::round(question.spanSeconds * 100) / 100).c_str());
    const std::string before = "Melody length before: " + secondsText(question.lengthSeconds);
    Fl_Box beforeBox(10, 100, w - 20, 22, before.c_str());
    beforeBox.align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
    Fl_Box afterBox(10, 124, w - 20, 22);
    afterBox.align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
    Fl_Box message(10, 150, w - 20, 25);
    message.align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
    message.labelcolor(FL_RED);
    Fl_Return_Button ok(w - 210, h - 38, 95, 28, "OK");
    Fl_Button cancel(w - 105, h - 38, 95, 28, "Cancel");

    std::optional<double> factor;
    std::string error;
    auto update = [&] {
        // Typing into a field chooses its way of scaling.
        if (Fl::focus() == &percent)
            byPercent.setonly();
        else if (Fl::focus() == &seconds)
            byLength.setonly();
        const bool percentChosen = byPercent.value() != 0;
        factor =
            scaleFactorFromText(percentChosen, percentChosen ? percent.value() : seconds.value(),
                                question.spanSeconds, &error);
        std::string after = "Melody length after: ";
        const double length = factor ? question.lengthAfter(*factor) : -1;
        after += length >= 0 ? secondsText(length) : std::string("-");
        afterBox.copy_label(after.c_str());
        message.copy_label(factor ? (length >= 0 ? "" : "The notes would pass the last tick.")
                                  : error.c_str());
        return factor.has_value() && length >= 0;
    };
    using Update = decltype(update);
    const auto changed = [](Fl_Widget *, void *data) { (*static_cast<const Update *>(data))(); };
    for (Fl_Widget *input :
         {static_cast<Fl_Widget *>(&percent), static_cast<Fl_Widget *>(&seconds),
          static_cast<Fl_Widget *>(&byPercent), static_cast<Fl_Widget *>(&byLength)}) {
        input->callback(changed, &update);
        input->when(FL_WHEN_CHANGED);
    }
    update();
    state.accept = update;
    if (!runModal(window, state, ok, cancel))
        return std::nullopt;
    return factor;
}

} // namespace tw
