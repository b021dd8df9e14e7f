#include "framework/Dialogs.h"

#include <FL/fl_ask.H>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <utility>
#include <vector>

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
}

void showMessagef(const char *format, ...) {
    if (!format) {
        showMessage("");
        return;
    }
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::vector<char> text(length > 0 ? static_cast<size_t>(length) + 1 : 1, '\0');
    if (length > 0)
        std::vsnprintf(text.data(), text.size(), format, args);
    va_end(args);
    showMessage(text.data());
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
    return fl_choice("%s", b0, b1, b2, shown);
}

ScopedDialogResponder::ScopedDialogResponder(DialogResponder responder)
    : previous(std::move(currentResponder())) {
    currentResponder() = std::move(responder);
}

ScopedDialogResponder::~ScopedDialogResponder() {
    currentResponder() = std::move(previous);
}
