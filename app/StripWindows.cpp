#include "app/StripWindows.h"
#include "framework/WindowScale.h"

#include "framework/Flt_App.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Float_Input.H>
#include <FL/Fl_Return_Button.H>

#include <cmath>
#include <cstdlib>

namespace tw {

FixCounts previewFix(const std::vector<TapeNote> &notes, const RepeatRule &rule,
                     const std::bitset<128> &playable, const FixChoice &choice) {
    std::vector<TapeNote> copy = notes;
    return fixTooClose(copy, rule, playable, choice);
}

std::string fixCountsText(const FixCounts &c) {
    return "Shortened " + std::to_string(c.shortened) + ", moved " + std::to_string(c.moved) +
           ", dropped " + std::to_string(c.dropped) + "; " + std::to_string(c.remaining) +
           " remain";
}

unsigned restsLongerThan(const std::vector<TapeNote> &notes, unsigned maxTicks) {
    std::vector<TapeNote> copy = notes;
    return shortenRests(copy, maxTicks);
}

namespace {

// A modal window centred on the main window, with OK (Return) and Cancel (Escape).
struct Modal {
    Fl_Double_Window window;
    bool ok = false;
    Modal(int w, int h, const char *title) : window(w, h, title) {}
    void buttons(int w, int y) {
        auto *ok = new Fl_Return_Button(w - 210, y, 95, 28, "OK");
        ok->callback(
            [](Fl_Widget *, void *d) {
                auto *m = static_cast<Modal *>(d);
                m->ok = true;
                m->window.hide();
            },
            this);
        auto *cancel = new Fl_Button(w - 105, y, 95, 28, "Cancel");
        const auto close = [](Fl_Widget *, void *d) { static_cast<Modal *>(d)->window.hide(); };
        cancel->callback(close, this);
        window.callback(close, this); // Escape and the close button
    }
    bool run() {
        window.end();
        window.set_modal();
        scaleWindow(window);
        if (Fl_Window *main = Fl::first_window())
            window.position(main->x() + (main->w() - window.w()) / 2,
                            main->y() + (main->h() - window.h()) / 2);
        window.show();
        while (window.shown())
            Fl::wait();
        return ok;
    }
};

struct FixState {
    const std::vector<TapeNote> *notes;
    const RepeatRule *rule;
    const std::bitset<128> *playable;
    Fl_Check_Button *ways[3];
    Fl_Box *counts;
    std::string text;
    FixChoice choice() const {
        return {ways[0]->value() != 0, ways[1]->value() != 0, ways[2]->value() != 0};
    }
    void update() {
        text = fixCountsText(previewFix(*notes, *rule, *playable, choice()));
        counts->label(text.c_str());
        counts->redraw();
    }
};

} // namespace

bool runFixWindow(const std::string &instrument, const std::vector<TapeNote> &notes,
                  const RepeatRule &rule, const std::bitset<128> &playable, FixChoice &choice) {
    const int w = 520, h = 220;
    Modal m(w, h, "Fix notes too close to repeat");
    const std::size_t found = pairsTooClose(notes, rule).size();
    std::string intro = std::to_string(found) + " pair(s) of notes too close to repeat for " +
                        (instrument.empty() ? std::string("the tape") : instrument) +
                        ". Mend them by:";
    Fl_Box introBox(10, 8, w - 20, 24);
    introBox.copy_label(intro.c_str());
    introBox.align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
    FixState state{&notes, &rule, &playable, {}, nullptr, {}};
    const char *labels[3] = {"Shortening the earlier note so that the silence is kept",
                             "Moving the later note an octave where the instrument has it free",
                             "Dropping the later note"};
    const bool values[3] = {choice.shortenEarlier, choice.moveOctave, choice.dropLater};
    for (int i = 0; i < 3; ++i) {
        state.ways[i] = new Fl_Check_Button(20, 38 + 30 * i, w - 40, 25, labels[i]);
        state.ways[i]->value(values[i] ? 1 : 0);
        state.ways[i]->callback([](Fl_Widget *, void *d) { static_cast<FixState *>(d)->update(); },
                                &state);
    }
    Fl_Box counts(10, 136, w - 20, 24);
    counts.align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
    state.counts = &counts;
    state.update();
    m.buttons(w, h - 40);
    if (!m.run())
        return false;
    choice = state.choice();
    return true;
}

namespace {

struct RestState {
    const std::vector<TapeNote> *notes;
    unsigned ticksPerFrame;
    Fl_Float_Input *input;
    Fl_Box *count;
    std::string text;
    // The seconds typed, or -1 when they are no number from 0.1 to the limit.
    double seconds() const {
        char *end = nullptr;
        const double s = std::strtod(input->value(), &end);
        return *input->value() && !*end && s >= 0.1 && s <= maxRestSecondsLimit ? s : -1;
    }
    void update() {
        const double s = seconds();
        text = s < 0 ? "Give seconds from 0.1 to " + std::to_string(int(maxRestSecondsLimit))
                     : std::to_string(
                           restsLongerThan(*notes, unsigned(std::llround(s * ticksPerFrame)))) +
                           " rest(s) are longer";
        count->label(text.c_str());
        count->redraw();
    }
};

} // namespace

bool runShortenRestsWindow(const std::vector<TapeNote> &notes, unsigned ticksPerFrame,
                           double &seconds) {
    const int w = 420, h = 130;
    Modal m(w, h, "Shorten rests");
    Fl_Float_Input input(230, 10, 80, 25, "Longest rest to keep (seconds):");
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    input.value(text);
    input.when(FL_WHEN_CHANGED);
    Fl_Box count(10, 45, w - 20, 24);
    count.align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
    RestState state{&notes, ticksPerFrame, &input, &count, {}};
    input.callback([](Fl_Widget *, void *d) { static_cast<RestState *>(d)->update(); }, &state);
    state.update();
    m.buttons(w, h - 40);
    for (;;) {
        if (!m.run())
            return false;
        if (state.seconds() > 0) {
            seconds = state.seconds();
            return true;
        }
        m.ok = false; // a wrong number: the window stays with its hint
    }
}

namespace {

FixChooser &installedFixChooser() {
    static FixChooser chooser;
    return chooser;
}

RestChooser &installedRestChooser() {
    static RestChooser chooser;
    return chooser;
}

} // namespace

void setFixChooser(FixChooser chooser) {
    installedFixChooser() = std::move(chooser);
}

bool chooseFix(const std::string &instrument, const std::vector<TapeNote> &notes,
               const RepeatRule &rule, const std::bitset<128> &playable, FixChoice &choice) {
    if (installedFixChooser())
        return installedFixChooser()(instrument, notes, rule, playable, choice);
    const bool chosen = runFixWindow(instrument, notes, rule, playable, choice);
    Flt_App::returnFocusToMainWindow();
    return chosen;
}

void setRestChooser(RestChooser chooser) {
    installedRestChooser() = std::move(chooser);
}

bool chooseRests(const std::vector<TapeNote> &notes, unsigned ticksPerFrame, double &seconds) {
    if (installedRestChooser())
        return installedRestChooser()(notes, ticksPerFrame, seconds);
    const bool chosen = runShortenRestsWindow(notes, ticksPerFrame, seconds);
    Flt_App::returnFocusToMainWindow();
    return chosen;
}

} // namespace tw
