#pragma once

#include <functional>
#include <string>

namespace tw {

// The one way the application shows message boxes and asks questions. Normally they are FLTK's
// fl_message and fl_choice; a test installs a responder that sees each call and answers it.
// GUI thread only.

struct DialogCall {
    bool question = false;  // false: information box, true: question with buttons
    bool alert = false;     // an information box that reports a failure
    int defaultButton = 1;  // the button that Return picks in a question
    std::string text;       // the message or the question
    std::string buttons[3]; // a question's button labels, "" where there is no button
    std::string title;      // the box's window title, "" for the default one
};

// Returns the index of the chosen button (ignored for information boxes).
using DialogResponder = std::function<int(const DialogCall &)>;

// An empty responder restores FLTK's boxes.
void setDialogResponder(DialogResponder responder);

// Information box with one button. The text is shown as it is (no format characters).
void showMessage(const char *text);
// printf-style convenience: formats and calls showMessage.
void showMessagef(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Alert box (a failure) with one button; the text is shown as it is.
void showAlert(const char *text);
void showAlertf(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Question with up to three buttons (b1, b2 may be null); returns 0, 1 or 2 for the button
// chosen (Escape or closing the box gives 0, as fl_choice does; b1 is the default button, the
// one Return presses). A title names the box's window.
int askChoice(const char *question, const char *b0, const char *b1, const char *b2,
              const char *title = nullptr);

// Question whose buttons stand left to right in the order given (b2 may be null); Return,
// Escape and closing the box all pick defaultButton, the choice that changes nothing.
int askSafeChoice(const char *question, const char *b0, const char *b1, const char *b2,
                  int defaultButton);

// Installs a responder for the lifetime of the object, then restores the previous one.
class ScopedDialogResponder {
public:
    explicit ScopedDialogResponder(DialogResponder responder);
    ~ScopedDialogResponder();
    ScopedDialogResponder(const ScopedDialogResponder &) = delete;
    ScopedDialogResponder &operator=(const ScopedDialogResponder &) = delete;

private:
    DialogResponder previous;
};

} // namespace tw
