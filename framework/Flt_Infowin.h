#pragma once

#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Text_Buffer.H>

// Include <FL/Fl_Text_Display.H> to use display (it brings in Xlib's macros, so not here).
class Fl_Button;
class Fl_Text_Display;

namespace tw {

// A resizable top-level window that shows a read-only text in a scrolling display, with an
// "OK" button below that hides it. Not modal. Fill it with buffer.text(), pick the face with
// display->textfont(), then show(). GUI thread only.
class Flt_Infowin : public Fl_Double_Window {
public:
    Flt_Infowin(); // 100 x 200, label "Info", cannot be made smaller than that
    ~Flt_Infowin() override;

    // Display above, the button centred in the bottom 30 pixels.
    void resize(int x, int y, int w, int h) override;
    // Keys typed here stay here: a plain key (without Ctrl, Alt or Meta) that the window's
    // widgets leave is taken and does nothing, Escape hides the window. Keys with Ctrl, Alt or
    // Meta go on as shortcuts.
    int handle(int event) override;
    // A key with this modifier state may act outside the window.
    static bool isShortcutState(int state);

    Fl_Text_Buffer buffer;              // the text
    Fl_Text_Display *display = nullptr; // first child
    Fl_Button *okButton = nullptr;      // second child, "OK"

private:
    static void onOk(Fl_Widget *widget, void *window);
};

} // namespace tw
