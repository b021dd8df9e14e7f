#include "app/FitWindow.h"
#include "framework/WindowScale.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Return_Button.H>

namespace tw {

namespace {

constexpr int windowWidth = 580; // the check box label fits at every display scale
constexpr int windowHeight = 340;
const int columnWidths[] = {100, 150, 0};

// Return belongs to the OK button, not to the list.
class FitList : public Fl_Hold_Browser {
public:
    using Fl_Hold_Browser::Fl_Hold_Browser;
    int handle(int event) override {
        if ((event == FL_KEYBOARD || event == FL_SHORTCUT) &&
            (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter))
            return 0;
        return Fl_Hold_Browser::handle(event);
    }
};

struct FitState {
    Fl_Double_Window *window = nullptr;
    bool ok = false;
};

void onOk(Fl_Widget *, void *data) {
    auto *state = static_cast<FitState *>(data);
    state->ok = true;
    state->window->hide();
}

void onCancel(Fl_Widget *, void *data) {
    static_cast<FitState *>(data)->window->hide();
}

// A double click on a line chooses it.
void onList(Fl_Widget *widget, void *data) {
    if (Fl::event_clicks() > 0 && static_cast<Fl_Hold_Browser *>(widget)->value() > 0)
        onOk(widget, data);
}

// '@' starts a symbol in an FLTK label; "@@" shows the character itself.
std::string plainLabel(const std::string &text) {
    std::string label;
    for (char c : text) {
        if (c == '@')
            label += '@';
        label += c;
    }
    return label;
}

} // namespace

std::string fitLineText(const tw::FitLine &line) {
    const std::string shift = (line.shift > 0 ? "+" : "") + std::to_string(line.shift);
    return shift + '\t' + std::to_string(line.unplayable) + '\t' + std::to_string(line.byOctaves);
}

FitChoice runFitWindow(const std::string &instrument, const std::vector<tw::FitLine> &lines) {
    FitState state;
    Fl_Double_Window window(windowWidth, windowHeight, "Fit to instrument");
    state.window = &window;
    Fl_Box intro(10, 8, windowWidth - 20, 22);
    intro.copy_label(plainLabel("Transpositions for " + instrument + ", best first:").c_str());
    intro.align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
    const char *headers[] = {"Shift", "Unplayable notes", "Of them by octaves"};
    for (int i = 0, x = 12; i < 3; x += columnWidths[i++]) {
        auto *header = new Fl_Box(x, 32, i < 2 ? columnWidths[i] : 160, 20, headers[i]);
        header->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
        header->labelfont(FL_BOLD);
    }
    FitList list(10, 54, windowWidth - 20, 200);
    list.column_widths(columnWidths);
    list.column_char('\t');
    for (const tw::FitLine &line : lines)
        list.add(fitLineText(line).c_str());
    if (!lines.empty())
        list.value(1);
    list.callback(onList, &state);
    Fl_Check_Button octaves(10, 262, windowWidth - 20, 25,
                            "Move the remaining notes by octaves where that makes them playable");
    Fl_Return_Button ok(windowWidth - 210, 300, 95, 28, "OK");
    ok.callback(onOk, &state);
    Fl_Button cancel(windowWidth - 105, 300, 95, 28, "Cancel");
    cancel.callback(onCancel, &state);
    window.callback(onCancel, &state); // Escape and the close button
    window.end();
    window.set_modal();
    scaleWindow(window);
    if (Fl_Window *main = Fl::first_window())
        window.position(main->x() + (main->w() - windowWidth) / 2,
                        main->y() + (main->h() - windowHeight) / 2);
    window.show();
    list.take_focus();
    while (window.shown())
        Fl::wait();

    FitChoice choice;
    const int picked = list.value();
    if (state.ok && picked > 0 && std::size_t(picked) <= lines.size()) {
        choice.chosen = true;
        choice.shift = lines[std::size_t(picked - 1)].shift;
        choice.octaves = octaves.value() != 0;
    }
    return choice;
}

} // namespace tw
