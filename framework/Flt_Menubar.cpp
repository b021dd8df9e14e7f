#include "framework/Flt_Menubar.h"

#include "framework/ShortcutLabel.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <string>

namespace tw {

namespace {

// Items with a shortcut are drawn by this label type: the item's text on the left, the
// shortcut's name right-aligned. FLTK hands the label type only the item's text, so the names
// are kept by the text's address (each item owns a copy of its text).
constexpr Fl_Labeltype shortcutLabelType = FL_FREE_LABELTYPE;
constexpr int shortcutGap = 24; // pixels between an item's text and its shortcut at the least

std::map<const char *, std::string> &shortcutNames() {
    static std::map<const char *, std::string> names;
    return names;
}

const std::string &shortcutNameOf(const char *text) {
    static const std::string none;
    const auto found = shortcutNames().find(text);
    return found == shortcutNames().end() ? none : found->second;
}

void measureShortcutLabel(const Fl_Label *label, int &w, int &h) {
    fl_font(label->font, label->size);
    fl_measure(label->value, w, h);
    const std::string &name = shortcutNameOf(label->value);
    if (!name.empty())
        w += shortcutGap + int(fl_width(name.c_str()));
}

void drawShortcutLabel(const Fl_Label *label, int x, int y, int w, int h, Fl_Align align) {
    fl_font(label->font, label->size);
    fl_color(label->color);
    const std::string &name = shortcutNameOf(label->value);
    const int nameWidth = name.empty() ? 0 : int(fl_width(name.c_str()));
    fl_draw(label->value, x, y, w - nameWidth, h, align);
    if (!name.empty())
        fl_draw(name.c_str(), x, y, w, h, Fl_Align((align & ~FL_ALIGN_LEFT) | FL_ALIGN_RIGHT));
}

// Moves the recorded indexes at or behind blockStart along by inserted.
void moveIndexes(std::map<int, int> &byIndex, int blockStart, int inserted) {
    if (byIndex.empty() || byIndex.rbegin()->first < blockStart)
        return;
    std::map<int, int> moved;
    for (const auto &[index, value] : byIndex)
        moved[index >= blockStart ? index + inserted : index] = value;
    byIndex.swap(moved);
}

// Forgets the indexes in [first, first + removed) and moves the later ones back by removed.
void dropIndexes(std::map<int, int> &byIndex, int first, int removed) {
    std::map<int, int> kept;
    for (const auto &[index, value] : byIndex) {
        if (index < first)
            kept[index] = value;
        else if (index >= first + removed)
            kept[index - removed] = value;
    }
    byIndex.swap(kept);
}

} // namespace

Flt_Menubar::Flt_Menubar() : Fl_Menu_Bar(0, 0, 0, 0) {
    Fl::set_labeltype(shortcutLabelType, drawShortcutLabel, measureShortcutLabel);
}

Flt_Menubar::~Flt_Menubar() {
    Fl::remove_timeout(endNotice, this);
    for (const auto &entry : itemShortcuts)
        if (menu() && entry.first < size())
            shortcutNames().erase(menu()[entry.first].label());
}

void Flt_Menubar::add(const char *path, int id, int shortcut, int flags) {
    const int sizeBefore = size();
    const int index = Fl_Menu_::add(path, 0, onPick, this, flags);
    if (index < 0)
        return;
    // FLTK inserts one contiguous block: the new submenu titles, the item, then the closing
    // entries of the new submenus. Items already recorded behind the block move along with it.
    const int inserted = size() - sizeBefore;
    if (inserted > 0) {
        const int blockStart = index - (inserted - 1) / 2;
        moveIndexes(itemIds, blockStart, inserted);
        moveIndexes(itemShortcuts, blockStart, inserted);
    }
    itemIds[index] = id;

    Fl_Menu_Item *item = const_cast<Fl_Menu_Item *>(menu()) + index;
    const int normalised = tw::normalisedShortcut(shortcut);
    if (normalised != 0) {
        itemShortcuts[index] = normalised;
        shortcutNames()[item->label()] = tw::shortcutLabel(normalised);
        item->labeltype(shortcutLabelType);
    } else if (itemShortcuts.erase(index) > 0) {
        shortcutNames().erase(item->label());
        item->labeltype(FL_NORMAL_LABEL);
    }
}

void Flt_Menubar::clearSubmenu(const char *path) {
    const int title = path ? find_index(path) : -1;
    if (title < 0 || !menu()[title].submenu())
        return;
    // The items of the submenu: from behind its title up to its closing entry.
    int end = title + 1;
    for (int depth = 0; end < size() && (depth > 0 || menu()[end].label()); ++end) {
        if (menu()[end].submenu())
            ++depth;
        else if (!menu()[end].label())
            --depth;
    }
    for (auto it = itemShortcuts.lower_bound(title + 1);
         it != itemShortcuts.end() && it->first < end; ++it)
        shortcutNames().erase(menu()[it->first].label());
    const int sizeBefore = size();
    if (clear_submenu(title) != 0)
        return;
    const int removed = sizeBefore - size();
    dropIndexes(itemIds, title + 1, removed);
    dropIndexes(itemShortcuts, title + 1, removed);
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

int Flt_Menubar::shortcutOf(int id) {
    const Fl_Menu_Item *item = findItem(id);
    if (!item)
        return 0;
    const auto found = itemShortcuts.find(int(item - menu()));
    return found == itemShortcuts.end() ? 0 : found->second;
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

int Flt_Menubar::handle(int event) {
    if (event == FL_SHORTCUT && menu()) {
        const Fl_Menu_Item *match = nullptr;
        for (const auto &[index, shortcut] : itemShortcuts) {
            if (index >= size())
                break;
            const Fl_Menu_Item *item = menu() + index;
            if (item->label() && item->active() && item->visible() &&
                Fl::test_shortcut(unsigned(shortcut))) {
                match = item;
                break;
            }
        }
        if (match) {
            picked(match); // the command may add items: nothing of the loop is used afterwards
            return 1;
        }
    }
    return Fl_Menu_Bar::handle(event);
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
    if (noticeShown) {
        statusAfterNotice = text;
        return;
    }
    if (text == statusText)
        return;
    statusText = text;
    redraw();
}

void Flt_Menubar::showNotice(const std::string &text, double seconds) {
    if (!noticeShown)
        statusAfterNotice = statusText;
    Fl::remove_timeout(endNotice, this);
    noticeShown = false;
    setStatus(text);
    noticeShown = true;
    Fl::add_timeout(seconds, endNotice, this);
}

void Flt_Menubar::endNotice(void *data) {
    auto *bar = static_cast<Flt_Menubar *>(data);
    bar->noticeShown = false;
    bar->setStatus(bar->statusAfterNotice);
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

} // namespace tw
