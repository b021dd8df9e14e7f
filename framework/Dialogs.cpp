#include "framework/Dialogs.h"

#include "framework/WindowScale.h"

#include "framework/Flt_App.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_Window.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <utility>
#include <vector>

namespace tw {

namespace {

DialogResponder &currentResponder() {
    static DialogResponder responder;
    return responder;
}

// Asks the installed responder; the copy keeps it alive should it replace itself.
int respond(const DialogCall &call) {
    DialogResponder responder = currentResponder();
    return responder(call);
}

} // namespace

void setDialogResponder(DialogResponder responder) {
    currentResponder() = std::move(responder);
}

void showMessage(const char *text) {
    const char *shown = text ? text : "";
    if (currentResponder()) {
        DialogCall call;
        call.text = shown;
        respond(call);
        return;
    }
    fl_message("%s", shown);
    Flt_App::returnFocusToMainWindow();
}

namespace {

// Formats printf-style and shows the text through `show`.
void showFormatted(void (*show)(const char *), const char *format, va_list args) {
    if (!format) {
        show("");
        return;
    }
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::vector<char> text(length > 0 ? static_cast<size_t>(length) + 1 : 1, '\0');
    if (length > 0)
        std::vsnprintf(text.data(), text.size(), format, args);
    show(text.data());
}

} // namespace

void showMessagef(const char *format, ...) {
    va_list args;
    va_start(args, format);
    showFormatted(showMessage, format, args);
    va_end(args);
}

void showAlertf(const char *format, ...) {
    va_list args;
    va_start(args, format);
    showFormatted(showAlert, format, args);
    va_end(args);
}

void showAlert(const char *text) {
    const char *shown = text ? text : "";
    if (currentResponder()) {
        DialogCall call;
        call.alert = true;
        call.text = shown;
        respond(call);
        return;
    }
    fl_alert("%s", shown);
}

namespace {

// The question box of askSafeChoice: the text above a row of buttons, the default one marked.
int runSafeChoice(const char *question, const char *const labels[3], int defaultButton) {
    // The text is measured at the scaled font; the margins and buttons grow with the scale.
    const auto px = [](int v) { return int(std::lround(v * windowScale())); };
    fl_font(FL_HELVETICA, FL_NORMAL_SIZE);
    int textW = px(360), textH = 0;
    fl_measure(question, textW, textH);
    const int w = std::max(textW, px(330)) + px(30), h = textH + px(75);
    Fl_Window window(w, h, "Question");
    Fl_Box text(px(15), px(15), w - px(30), textH, question);
    text.align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_WRAP | FL_ALIGN_TOP);
    int chosen = defaultButton;
    Fl_Widget *defaultWidget = nullptr;
    int count = labels[2] && *labels[2] ? 3 : 2;
    int x = w - px(15) - count * px(100) + px(10);
    for (int i = 0; i < count; ++i, x += px(100)) {
        Fl_Button *b = i == defaultButton ? new Fl_Return_Button(x, h - px(40), px(90), px(25))
                                          : new Fl_Button(x, h - px(40), px(90), px(25));
        b->copy_label(labels[i]);
        if (i == defaultButton)
            defaultWidget = b;
        b->callback(
            [](Fl_Widget *button, void *data) {
                Fl_Window *win = button->window();
                *static_cast<int *>(data) = win->find(button) - 1; // the text box comes first
                win->hide();
            },
            &chosen);
    }
    window.end();
    window.set_modal();
    window.hotspot(&window);
    window.show();
    if (defaultWidget)
        defaultWidget->take_focus(); // Space presses the same button as Return
    while (window.shown())
        Fl::wait();
    return chosen;
}

} // namespace

int askSafeChoice(const char *question, const char *b0, const char *b1, const char *b2,
                  int defaultButton) {
    const char *shown = question ? question : "";
    const char *const labels[3] = {b0 ? b0 : "", b1 ? b1 : "", b2 ? b2 : ""};
    if (currentResponder()) {
        DialogCall call;
        call.question = true;
        call.text = shown;
        call.defaultButton = defaultButton;
        for (int i = 0; i < 3; ++i)
            call.buttons[i] = labels[i];
        return std::clamp(respond(call), 0, 2);
    }
    return runSafeChoice(shown, labels, defaultButton);
}

int askChoice(const char *question, const char *b0, const char *b1, const char *b2,
              const char *title) {
    const char *shown = question ? question : "";
    if (currentResponder()) {
        DialogCall call;
        call.question = true;
        call.text = shown;
        call.buttons[0] = b0 ? b0 : "";
        call.buttons[1] = b1 ? b1 : "";
        call.buttons[2] = b2 ? b2 : "";
        call.title = title ? title : "";
        return std::clamp(respond(call), 0, 2);
    }
    if (title)
        fl_message_title(title); // for this box only
    const int choice = fl_choice("%s", b0, b1, b2, shown);
    Flt_App::returnFocusToMainWindow();
    return choice;
}

ScopedDialogResponder::ScopedDialogResponder(DialogResponder responder)
    : previous(std::move(currentResponder())) {
    currentResponder() = std::move(responder);
}

ScopedDialogResponder::~ScopedDialogResponder() {
    currentResponder() = std::move(previous);
}

} // namespace tw
