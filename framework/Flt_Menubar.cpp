#include "framework/Flt_Menubar.h"

#include <FL/fl_draw.H>

Flt_Menubar::Flt_Menubar() : Fl_Menu_Bar(0, 0, 0, 0) {}

void Flt_Menubar::add(const char *path, int id, int shortcut, int flags) {
    const int sizeBefore = size();
    const int index = Fl_Menu_::add(path, shortcut, onPick, this, flags);
    if (index < 0)
        return;
    // FLTK inserts one contiguous block: the new submenu titles, the item, then the closing
    // entries of the new submenus. Items already recorded behind the block move along with it.
    const int inserted = size() - sizeBefore;
    if (inserted > 0 && !itemIds.empty()) {
        const int blockStart = index - (inserted - 1) / 2;
        if (itemIds.rbegin()->first >= blockStart) {
            std::map<int, int> moved;
            for (const auto &[itemIndex, itemId] : itemIds)
                moved[itemIndex >= blockStart ? itemIndex + inserted : itemIndex] = itemId;
            itemIds.swap(moved);
        }
    }
    itemIds[index] = id;
}

Fl_Menu_Item *Flt_Menubar::findItem(int id) {
    for (const auto &[index, itemId] : itemIds) {
        if (itemId != id)
            continue;
        if (!menu() || index < 0 || index >= size())
            return nullptr;
        Fl_Menu_Item *item = const_cast<Fl_Menu_Item *>(menu()) + index;
        return item->label() ? item : nullptr;
    }
    return nullptr;
}

void Flt_Menubar::setValue(int id, bool on) {
    Fl_Menu_Item *item = findItem(id);
    if (!item)
        return;
    if (on && (item->flags & FL_MENU_RADIO))
        item->setonly();
    else if (on)
        item->flags |= FL_MENU_VALUE;
    else
        item->flags &= ~FL_MENU_VALUE;
}

bool Flt_Menubar::value(int id) {
    const Fl_Menu_Item *item = findItem(id);
    if (!item || !(item->flags & FL_MENU_TOGGLE))
        return false;
    return (item->flags & FL_MENU_VALUE) != 0;
}

void Flt_Menubar::onPick(Fl_Widget *, void *data) {
    auto *bar = static_cast<Flt_Menubar *>(data);
    if (!bar || !bar->commandCallback)
        return;
    const Fl_Menu_Item *picked = bar->mvalue();
    if (!picked)
        return;
    const auto found = bar->itemIds.find(bar->find_index(picked));
    if (found == bar->itemIds.end())
        return;
    // A copy, so that the receiver may replace commandCallback while it runs.
    const std::function<void(int)> callback = bar->commandCallback;
    if (callback)
        callback(found->second);
}

void Flt_Menubar::setStatus(const std::string &text) {
    if (text == statusText)
        return;
    statusText = text;
    redraw();
}

int Flt_Menubar::titlesEnd() {
    // As FLTK lays the titles out: each takes its measured width and 16 pixels.
    int right = x() + 6;
    for (const Fl_Menu_Item *item = menu(); item && item->label(); item = item->next()) {
        int height = 0;
        right += item->measure(&height, this) + 16;
    }
    return right;
}

void Flt_Menubar::draw() {
    Fl_Menu_Bar::draw();
    if (statusText.empty())
        return;
    fl_font(textfont(), textsize());
    const int width = int(fl_width(statusText.c_str())) + 6;
    const int left = x() + w() - width - 4;
    if (left < titlesEnd())
        return; // no room beside the titles
    fl_color(labelcolor());
    fl_draw(statusText.c_str(), left, y(), width, h(), FL_ALIGN_RIGHT);
}
