#pragma once

#include <FL/Fl_Menu_Bar.H>

#include <functional>
#include <map>
#include <string>

namespace tw {

// A menu bar whose items carry integer command ids. Every pick of any item (mouse or shortcut)
// arrives at commandCallback with the item's id. GUI thread only.
//
// Items should be added in final menu order (each new item after every item already added).
// If an add still inserts in front of added items, the recorded indices are moved along.
//
// The bar keeps the items' keyboard shortcuts itself and draws them in full, right-aligned in the
// item ("Ctrl+S", "Page Up"); FLTK's own shortcut column stays empty. The shortcuts fire through
// FL_SHORTCUT, that is from any window of the application, wherever the keyboard focus is.
class Flt_Menubar : public Fl_Menu_Bar {
public:
    Flt_Menubar(); // at 0, 0 with size 0, 0; the owner lays it out
    ~Flt_Menubar() override;
    Flt_Menubar(const Flt_Menubar &) = delete;
    Flt_Menubar &operator=(const Flt_Menubar &) = delete;

    // Adds the item at the slash-separated path (submenus created as needed) with a command id,
    // an FLTK shortcut and FLTK item flags (FL_MENU_TOGGLE, FL_MENU_RADIO, FL_MENU_VALUE,
    // FL_MENU_DIVIDER). Ids need not be unique. A control character as shortcut (19) stands for
    // Ctrl and its letter (FL_CTRL + 's').
    void add(const char *path, int id, int shortcut, int flags);

    // Removes every item of the submenu at path ("File/Recent files"); the submenu itself stays.
    // Does nothing when path names no submenu.
    void clearSubmenu(const char *path);

    // The item with the lowest index that carries id, or null.
    Fl_Menu_Item *findItem(int id);
    // The shortcut of the item findItem(id) finds (as FL_CTRL + 's'), 0 when it has none.
    int shortcutOf(int id);
    // Sets or clears the mark; setting a radio item clears the rest of its group.
    // Does nothing for an id that no item carries.
    void setValue(int id, bool on);
    // The mark of a toggle item; false for unknown ids and for items that are not toggles.
    bool value(int id);

    // A line of text at the right end of the bar, drawn where the menu titles leave room.
    void setStatus(const std::string &text);
    const std::string &status() const { return statusText; }
    // Shows `text` in the status line for `seconds`; what setStatus brings meanwhile waits and
    // shows after it (the pointer's cell would otherwise replace it at the next move).
    void showNotice(const std::string &text, double seconds);
    // Draws the bar and then the status line.
    void draw() override;
    // The x where the free room right of the menu titles begins.
    int titlesEnd();
    // FL_SHORTCUT picks the first active item whose shortcut matches the key.
    int handle(int event) override;

    // The FLTK callback of every item; data is the menu bar.
    static void onPick(Fl_Widget *widget, void *data);

    std::function<void(int)> commandCallback; // receives the id of each picked item
    std::map<int, int> itemIds;               // menu array index -> command id
    std::map<int, int> itemShortcuts;         // menu array index -> shortcut (items with one)
    std::string statusText;
    bool noticeShown = false;
    std::string statusAfterNotice; // the status setStatus gave while a notice showed
    static void endNotice(void *data);
};

} // namespace tw
