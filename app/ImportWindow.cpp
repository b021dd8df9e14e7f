// The "Import MIDI tracks" window: the tracks that hold notes, each with a check box, the
// choice to follow the file's tempo, OK (Return) and Cancel (Escape).
#include "app/AppDialogs.h"
#include "commandline/FileNames.h"
#include "framework/WindowScale.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Browser.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Return_Button.H>

namespace tw {

namespace {

struct WindowState {
    bool accepted = false;
};

void closeWith(Fl_Widget *widget, bool accepted) {
    Fl_Window *window = widget->window() ? widget->window() : widget->as_window();
    static_cast<WindowState *>(window->user_data())->accepted = accepted;
    window->hide();
}

} // namespace

ImportChoice runImportWindow(const std::string &path, const std::vector<tw::TrackSummary> &tracks) {
    constexpr int w = 620, h = 340;
    WindowState state;
    Fl_Double_Window window(w, h, "Import MIDI tracks");
    window.user_data(&state);
    const std::string heading = "Tracks of " + baseName(path) + " that hold notes:";
    Fl_Box label(10, 8, w - 20, 22);
    label.copy_label(heading.c_str());
    label.align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
    Fl_Check_Browser list(10, 32, w - 20, h - 112);
    list.visible_focus(0); // Return stays with the OK button
    for (const tw::TrackSummary &t : tracks)
        list.add(tw::describeTrack(t).c_str(), 1);
    Fl_Check_Button follow(10, h - 75, w - 20, 25, "Follow the file's tempo (a frame is a second)");
    follow.value(1);
    Fl_Return_Button ok(w - 210, h - 38, 95, 28, "OK");
    ok.callback([](Fl_Widget *b, void *) { closeWith(b, true); });
    Fl_Button cancel(w - 105, h - 38, 95, 28, "Cancel");
    cancel.callback([](Fl_Widget *b, void *) { closeWith(b, false); });
    window.end();
    window.callback([](Fl_Widget *win, void *) { closeWith(win, false); }); // Escape, close
    window.user_data(&state);
    window.set_modal();
    scaleWindow(window);
    window.show();
    ok.take_focus();
    while (window.shown())
        Fl::wait();

    ImportChoice choice;
    choice.accepted = state.accepted;
    choice.followTempo = follow.value() != 0;
    for (std::size_t i = 0; i < tracks.size(); ++i)
        if (list.checked(int(i) + 1))
            choice.tracks.push_back(tracks[i].index);
    return choice;
}

} // namespace tw
