#include "framework/Flt_Menubar.h"
#include "framework/ShortcutLabel.h"

#include <FL/Fl.H>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

using namespace tw;

namespace {

// A menu bar that records the ids it delivers.
struct Bar : Flt_Menubar {
    std::vector<int> picked;
    Bar() {
        commandCallback = [this](int id) { picked.push_back(id); };
    }
    std::string labelOf(int id) {
        const Fl_Menu_Item *item = findItem(id);
        return item && item->label() ? item->label() : "";
    }
    // What FLTK does when the user picks the item with the mouse.
    void pick(int id) { Flt_Menubar::picked(findItem(id)); }
    // The item of id has the label and delivers id when picked.
    void expectItem(int id, const char *label) {
        SCOPED_TRACE(id);
        EXPECT_EQ(labelOf(id), label);
        picked.clear();
        pick(id);
        EXPECT_EQ(picked, (std::vector<int>{id}));
    }
};

TEST(Menubar, ItemsAreFoundByTheirIds) {
    Bar bar;
    bar.add("File/New", 13, 0, 0);
    bar.add("File/Save", 4, 19, 0);
    bar.add("Select/Select loudest notes/10%", 378, 0, 0);
    bar.add("Help/Contents", 5, FL_F + 1, 0);
    EXPECT_EQ(bar.labelOf(13), "New");
    EXPECT_EQ(bar.labelOf(4), "Save");
    EXPECT_EQ(bar.shortcutOf(4), FL_CTRL + 's') << "a stored control character means Ctrl";
    EXPECT_EQ(bar.shortcutOf(13), 0);
    EXPECT_EQ(bar.shortcutOf(99), 0);
    EXPECT_EQ(bar.labelOf(378), "10%");
    EXPECT_EQ(bar.labelOf(5), "Contents");
    EXPECT_EQ(bar.findItem(99), nullptr);
    EXPECT_EQ(bar.itemIds.size(), 4u);
}

TEST(Menubar, MarksOfUnknownIdsAreIgnored) {
    Bar bar;
    bar.add("Play/Play inserted note", 25, 0, FL_MENU_TOGGLE);
    bar.setValue(112 + 300, true);
    bar.setValue(-1, false);
    EXPECT_FALSE(bar.value(112 + 300));
    EXPECT_FALSE(bar.value(25));
    Flt_Menubar empty;
    EXPECT_EQ(empty.findItem(1), nullptr);
    empty.setValue(1, true);
    EXPECT_FALSE(empty.value(1));
}

TEST(Menubar, ToggleMarks) {
    Bar bar;
    bar.add("Settings/Show MIDI channels/Channel 0", 64, 0, FL_MENU_TOGGLE | FL_MENU_VALUE);
    bar.add("Play/Play inserted note", 25, 0, FL_MENU_TOGGLE);
    EXPECT_TRUE(bar.value(64));
    EXPECT_FALSE(bar.value(25));
    bar.setValue(25, true);
    bar.setValue(64, false);
    EXPECT_TRUE(bar.value(25));
    EXPECT_FALSE(bar.value(64));
}

TEST(Menubar, RadioGroups) {
    Bar bar;
    const int ids[] = {469, 470, 471, 472, 473};
    for (int i = 0; i < 5; ++i)
        bar.add(("Play/Speed adjustment/" + std::to_string(i)).c_str(), ids[i], 0, FL_MENU_RADIO);
    bar.add("Play/Other", 500, 0, 0);
    bar.add("Settings/Select note indicators/None", 101, 0, FL_MENU_RADIO | FL_MENU_VALUE);
    bar.add("Settings/Select note indicators/88-key Piano", 102, 0, FL_MENU_RADIO);

    auto marked = [&](int id) { return (bar.findItem(id)->flags & FL_MENU_VALUE) != 0; };
    bar.setValue(473, true);
    bar.setValue(470, true);
    for (int id : ids) {
        SCOPED_TRACE(id);
        EXPECT_EQ(marked(id), id == 470);
        EXPECT_FALSE(bar.value(id)) << "radio items read false";
    }
    EXPECT_TRUE(marked(101)) << "another group keeps its mark";
    bar.setValue(470, false);
    for (int id : ids)
        EXPECT_FALSE(marked(id));
    bar.setValue(102, true);
    EXPECT_FALSE(marked(101));
    EXPECT_TRUE(marked(102));
}

TEST(Menubar, TheFirstItemOfAnIdWins) {
    Bar bar;
    bar.add("A/First", 7, 0, FL_MENU_TOGGLE);
    bar.add("A/Second", 7, 0, FL_MENU_TOGGLE);
    EXPECT_EQ(bar.labelOf(7), "First");
    bar.setValue(7, true);
    EXPECT_TRUE(bar.value(7));
    const Fl_Menu_Item *second = bar.menu() + bar.find_index("A/Second");
    EXPECT_FALSE(second->value());
    bar.Flt_Menubar::picked(second);
    bar.pick(7);
    EXPECT_EQ(bar.picked, (std::vector<int>{7, 7}));
}

TEST(Menubar, PickDeliversTheIdAfterFltkFlippedTheMark) {
    Bar bar;
    std::vector<bool> seen;
    bar.add("Play/Play inserted note", 25, 0, FL_MENU_TOGGLE);
    bar.add("Play/Speed adjustment/50%", 469, 0, FL_MENU_RADIO);
    bar.add("Play/Speed adjustment/100%", 473, 0, FL_MENU_RADIO | FL_MENU_VALUE);
    bar.commandCallback = [&](int id) {
        bar.picked.push_back(id);
        seen.push_back(bar.value(25));
    };
    bar.pick(25);
    bar.pick(25);
    bar.pick(469);
    EXPECT_EQ(bar.picked, (std::vector<int>{25, 25, 469}));
    EXPECT_EQ(seen, (std::vector<bool>{true, false, false}));
    EXPECT_TRUE(bar.findItem(469)->value());
    EXPECT_FALSE(bar.findItem(473)->value());
}

TEST(Menubar, PicksWithoutReceiverOrWithoutIdAreIgnored) {
    Bar bar;
    bar.add("File/New", 13, 0, 0);
    bar.add("Play/Play inserted note", 25, 0, FL_MENU_TOGGLE);
    bar.Fl_Menu_::add("Tools/Foreign", 0, Flt_Menubar::onPick, &bar, 0);
    bar.Flt_Menubar::picked(bar.menu() + bar.find_index("Tools/Foreign"));
    EXPECT_TRUE(bar.picked.empty());

    bar.commandCallback = nullptr;
    bar.pick(25);
    EXPECT_TRUE(bar.value(25)) << "FLTK still flips the mark";
    Flt_Menubar::onPick(&bar, nullptr);
}

TEST(Menubar, AReceiverMayReplaceItselfDuringAPick) {
    Bar bar;
    bar.add("File/New", 13, 0, 0);
    int later = 0;
    bar.commandCallback = [&](int id) {
        bar.picked.push_back(id);
        bar.commandCallback = [&](int) { ++later; };
    };
    bar.pick(13);
    bar.pick(13);
    EXPECT_EQ(bar.picked, (std::vector<int>{13}));
    EXPECT_EQ(later, 1);
}

// Items added in front of items already added (a new item in an earlier submenu, a new submenu
// inside an earlier one) keep every id on its own item.
TEST(Menubar, IdsStayWithTheirItemsWhenAddedOutOfOrder) {
    Bar bar;
    bar.add("File/New", 13, 0, 0);
    bar.add("File/Open", 8, 0, 0);
    bar.add("Edit/Undo", 32, 0, 0);
    bar.add("Settings/Select MIDI output/(None)", 80, 0, FL_MENU_RADIO | FL_MENU_VALUE);
    bar.add("Help/Contents", 5, 0, 0);
    bar.add("File/Save", 4, 0, 0);
    bar.add("File/Recent/a.mid", 200, 0, 0);
    bar.add("Edit/Deep/er/still", 201, 0, 0);
    bar.add("Settings/Select MIDI output/Port A", 81, 0, FL_MENU_RADIO);
    const std::pair<int, const char *> expected[] = {
        {13, "New"}, {8, "Open"},    {32, "Undo"},   {80, "(None)"}, {5, "Contents"},
        {4, "Save"}, {200, "a.mid"}, {201, "still"}, {81, "Port A"},
    };
    for (const auto &[id, label] : expected)
        bar.expectItem(id, label);
    bar.setValue(81, true);
    EXPECT_FALSE(bar.findItem(80)->value());
}

// A submenu emptied and filled again in the middle of the menu: every other id and shortcut
// stays on its item.
TEST(Menubar, ClearingASubmenuKeepsTheOtherItems) {
    Bar bar;
    bar.add("File/Open", 8, FL_CTRL + 'o', 0);
    bar.add("File/Recent/(None)", 908, 0, FL_MENU_INACTIVE);
    bar.add("File/Save", 4, FL_CTRL + 's', 0);
    bar.add("Help/Contents", 5, FL_F + 1, 0);
    bar.clearSubmenu("File/Recent");
    EXPECT_EQ(bar.findItem(908), nullptr);
    bar.add("File/Recent//home/a.mid", 900, 0, 0);
    bar.add("File/Recent//home/b/c.mid", 901, 0, 0);
    bar.clearSubmenu("File/Nothing");
    bar.clearSubmenu("File/Save"); // an item, not a submenu
    bar.clearSubmenu(nullptr);
    const std::pair<int, const char *> expected[] = {
        {8, "Open"}, {900, "/home/a.mid"}, {901, "/home/b/c.mid"}, {4, "Save"}, {5, "Contents"},
    };
    for (const auto &[id, label] : expected)
        bar.expectItem(id, label);
    EXPECT_EQ(bar.shortcutOf(4), FL_CTRL + 's');
    EXPECT_EQ(bar.shortcutOf(5), FL_F + 1);
    bar.clearSubmenu("File/Recent");
    EXPECT_EQ(bar.findItem(900), nullptr);
    EXPECT_EQ(bar.labelOf(4), "Save");
    EXPECT_EQ(bar.itemIds.size(), 3u);
}

TEST(Menubar, AddingAPathAgainReplacesItsId) {
    Bar bar;
    bar.add("File/New", 13, 0, 0);
    bar.add("File/New", 14, 0, 0);
    EXPECT_EQ(bar.itemIds.size(), 1u);
    EXPECT_EQ(bar.findItem(13), nullptr);
    EXPECT_EQ(bar.labelOf(14), "New");
}

// Keyboard shortcuts as FLTK's shortcut dispatch delivers them to the menu bar.
TEST(Menubar, ShortcutsPickTheirItems) {
    Bar bar;
    bar.add("File/Save", 4, 19, 0); // a control character, as typed with Ctrl
    bar.add("File/Save As...", 9, FL_CTRL + FL_SHIFT + 's', 0);
    bar.add("File/EXIT WITHOUT ASKING!", 34, 'q', 0);
    bar.add("Edit/Undo", 32, FL_CTRL + 'z', 0);
    bar.add("Edit/Disabled", 40, FL_CTRL + 'd', FL_MENU_INACTIVE);
    bar.add("Help/Contents", 5, FL_F + 1, 0);
    bar.add("Edit/Inserted in front of Help", 41, FL_Page_Up, 0);
    struct Case {
        const char *name;
        int key;
        int state;
        const char *text;
        int expected; // 0: nothing picked
    };
    const Case cases[] = {
        {"q", 'q', 0, "q", 34},
        {"ctrl z", 'z', FL_CTRL, "\x1a", 32},
        {"F1", FL_F + 1, 0, "", 5},
        {"z alone", 'z', 0, "z", 0},
        {"alt q", 'q', FL_ALT, "q", 0},
        {"ctrl s", 's', FL_CTRL, "\x13", 4},
        {"ctrl shift s", 's', FL_CTRL | FL_SHIFT, "\x13", 9},
        {"shift s", 's', FL_SHIFT, "S", 0},
        {"inactive item", 'd', FL_CTRL, "\x04", 0},
        {"moved along", FL_Page_Up, 0, "", 41},
        {"F1 behind the moved item", FL_F + 1, 0, "", 5},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        bar.picked.clear();
        Fl::e_keysym = c.key;
        Fl::e_state = c.state;
        Fl::e_text = const_cast<char *>(c.text);
        Fl::e_length = static_cast<int>(std::char_traits<char>::length(c.text));
        const int taken = bar.handle(FL_SHORTCUT);
        EXPECT_EQ(taken != 0, c.expected != 0);
        EXPECT_EQ(bar.picked, c.expected ? std::vector<int>{c.expected} : std::vector<int>{});
    }
    static char empty[] = "";
    Fl::e_text = empty;
    Fl::e_length = 0;
    Fl::e_state = 0;
}

// What the menu shows beside an item: the key in full, never a control character or an X
// key name.
TEST(Menubar, ShortcutLabels) {
    const std::pair<int, const char *> cases[] = {
        {0, ""},
        {19, "Ctrl+S"},
        {16, "Ctrl+P"},
        {FL_CTRL + 's', "Ctrl+S"},
        {FL_CTRL + FL_SHIFT + 's', "Ctrl+Shift+S"},
        {'S', "Shift+S"},
        {'s', "s"},
        {'t', "t"},
        {'1', "1"},
        {' ', "Space"},
        {FL_Page_Up, "Page Up"},
        {FL_Page_Down, "Page Down"},
        {FL_Delete, "Delete"},
        {FL_Escape, "Esc"},
        {FL_CTRL + FL_Left, "Ctrl+Left"},
        {FL_Up, "Up"},
        {FL_Home, "Home"},
        {FL_F + 1, "F1"},
        {FL_ALT + FL_F + 12, "Alt+F12"},
        {FL_CTRL + FL_ALT + FL_META + 'x', "Ctrl+Alt+Meta+X"},
        {0xe4, "\xc3\xa4"},
    };
    for (const auto &[shortcut, label] : cases) {
        SCOPED_TRACE(label);
        EXPECT_EQ(tw::shortcutLabel(shortcut), label);
    }
}

} // namespace

TEST(Menubar, NoticeHoldsTheStatusLineForItsTime) {
    Bar bar;
    bar.setStatus("C4 tick 3");
    bar.showNotice("Exported song.pdf (3 pages)", 0.2);
    EXPECT_EQ(bar.status(), "Exported song.pdf (3 pages)");
    // The pointer moves meanwhile: its cell waits for the notice to end.
    bar.setStatus("D4 tick 5");
    EXPECT_EQ(bar.status(), "Exported song.pdf (3 pages)");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (bar.status() != "D4 tick 5" && std::chrono::steady_clock::now() < deadline)
        Fl::wait(0.05);
    EXPECT_EQ(bar.status(), "D4 tick 5");
    bar.setStatus("E4 tick 6");
    EXPECT_EQ(bar.status(), "E4 tick 6");
}
