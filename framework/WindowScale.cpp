#include "framework/WindowScale.h"

#include <FL/Fl.H>
#include <FL/Fl_Browser_.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Input_.H>
#include <FL/Fl_Light_Button.H>
#include <FL/Fl_Menu_.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>

#include <cmath>

namespace tw {

namespace {

double scale = 1;
std::function<void(Fl_Window &)> &inspector() {
    static std::function<void(Fl_Window &)> function;
    return function;
}

int scaled(int v) {
    return int(std::lround(v * scale));
}

// Positions are relative to the window, also in groups inside it, so each widget scales on
// its own; Fl_Widget::resize leaves a group's children where they are.
void scaleChildren(Fl_Group &group) {
    for (int i = 0; i < group.children(); ++i) {
        Fl_Widget *child = group.child(i);
        child->Fl_Widget::resize(scaled(child->x()), scaled(child->y()), scaled(child->w()),
                                 scaled(child->h()));
        if (Fl_Group *inner = child->as_group())
            if (!inner->as_window())
                scaleChildren(*inner);
    }
}

void collectCut(Fl_Group &group, std::vector<std::string> &cut) {
    for (int i = 0; i < group.children(); ++i) {
        Fl_Widget *w = group.child(i);
        if (Fl_Group *inner = w->as_group())
            if (!inner->as_window())
                collectCut(*inner, cut);
        const char *label = w->label();
        if (!label || !*label || !w->visible() || (w->align() & (FL_ALIGN_WRAP | FL_ALIGN_CLIP)))
            continue;
        fl_font(w->labelfont(), w->labelsize());
        int needW = 0, needH = 0;
        fl_measure(label, needW, needH, 0);
        int room = w->w();
        const bool inside = (w->align() & FL_ALIGN_INSIDE) != 0;
        if (dynamic_cast<Fl_Light_Button *>(w))
            room = w->w() - w->labelsize() - 4; // the check box or light left of the label
        else if (dynamic_cast<Fl_Button *>(w))
            room = w->w() - 4;
        else if ((dynamic_cast<Fl_Input_ *>(w) || dynamic_cast<Fl_Menu_ *>(w) ||
                  dynamic_cast<Fl_Browser_ *>(w)) &&
                 !inside)
            room = w->x() - 2; // a label left of the field, from the window's edge
        else if (!inside)
            continue;
        if (needW > room)
            cut.push_back(std::string(label) + ": needs " + std::to_string(needW) +
                          " pixels, has " + std::to_string(room));
    }
}

struct Pending {
    std::string title;
    int triesLeft = 0;
};

void lookForWindow(void *data) {
    auto *pending = static_cast<Pending *>(data);
    for (Fl_Window *w = Fl::first_window(); w; w = Fl::next_window(w))
        if (w->shown() && w->label() && pending->title == w->label()) {
            scaleShownWindow(*w);
            delete pending;
            return;
        }
    if (--pending->triesLeft <= 0) {
        delete pending;
        return;
    }
    Fl::repeat_timeout(0.02, lookForWindow, pending);
}

} // namespace

void setWindowScale(double value) {
    scale = value >= 0.5 && value <= 4 ? value : 1;
}

double windowScale() {
    return scale;
}

void scaleWindow(Fl_Window &window) {
    if (scale != 1 && !window.shown()) {
        scaleChildren(window);
        window.Fl_Widget::resize(window.x(), window.y(), scaled(window.w()), scaled(window.h()));
        window.init_sizes();
    }
    if (inspector())
        inspector()(window);
}

void scaleShownWindow(Fl_Window &window) {
    if (scale == 1)
        return;
    // With the window itself resizable, every child grows in proportion.
    Fl_Widget *const resizable = window.resizable();
    window.init_sizes();
    window.resizable(&window);
    window.size(scaled(window.w()), scaled(window.h()));
    window.resizable(resizable);
    window.init_sizes();
}

void scaleWindowWhenShown(const std::string &title) {
    if (scale == 1)
        return;
    Fl::add_timeout(0.0, lookForWindow, new Pending{title, 150});
}

void setWindowInspector(std::function<void(Fl_Window &)> function) {
    inspector() = std::move(function);
}

std::vector<std::string> cutLabels(Fl_Window &window) {
    std::vector<std::string> cut;
    collectCut(window, cut);
    return cut;
}

} // namespace tw
