#include "framework/Flt_Infowin.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Text_Display.H>

namespace tw {

namespace {
constexpr int minWidth = 100;
constexpr int minHeight = 200;
constexpr int buttonArea = 30; // below the display
constexpr int buttonWidth = 50;
constexpr int buttonHeight = 20;
} // namespace

Flt_Infowin::Flt_Infowin() : Fl_Double_Window(minWidth, minHeight, "Info") {
    size_range(minWidth, minHeight);
    display = new Fl_Text_Display(0, 0, 0, 0);
    display->buffer(&buffer);
    display->clear_visible_focus();
    okButton = new Fl_Button(0, 0, 0, 0, "OK");
    okButton->callback(onOk, this);
    // Space on a focused button would press it: the keyboard stays with the window.
    okButton->clear_visible_focus();
    end();
}

Flt_Infowin::~Flt_Infowin() {
    // The buffer member is destroyed before the display (a child of the window): detach it.
    display->buffer(nullptr);
}

void Flt_Infowin::resize(int x, int y, int w, int h) {
    Fl_Double_Window::resize(x, y, w, h);
    // The children are placed once the window exists on the screen; FLTK resizes a window
    // when it is shown.
    if (!shown())
        return;
    display->resize(0, 0, w, h - buttonArea);
    okButton->resize((w - buttonWidth) / 2, h - 25, buttonWidth, buttonHeight);
}

bool Flt_Infowin::isShortcutState(int state) {
    return (state & (FL_CTRL | FL_ALT | FL_META)) != 0;
}

int Flt_Infowin::handle(int event) {
    if (event != FL_KEYBOARD && event != FL_SHORTCUT)
        return Fl_Double_Window::handle(event);
    if (Fl_Double_Window::handle(event))
        return 1;
    if (isShortcutState(Fl::event_state()))
        return 0;
    if (Fl::event_key() == FL_Escape)
        hide();
    return 1;
}

void Flt_Infowin::onOk(Fl_Widget *widget, void *window) {
    auto *info = static_cast<Flt_Infowin *>(window);
    if (info && widget == info->okButton)
        info->hide();
}

} // namespace tw
