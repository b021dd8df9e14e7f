// The menu bar's shortcut column as the display measures it.
#include "framework/Flt_Menubar.h"

#include <FL/Fl.H>
#include <gtest/gtest.h>

using namespace tw;

namespace {

// An item with a shortcut is measured with its shortcut's name, so the menu is wide enough to
// show both; the item's text stays as it was added.
TEST(Menubar, ItemsWithShortcutsAreMeasuredWithTheirNames) {
    Flt_Menubar bar;
    bar.add("File/Save", 4, FL_CTRL + 's', 0);
    bar.add("File/Safe", 5, 0, 0);
    bar.add("File/Sav2", 6, FL_CTRL + 's', 0);
    int h = 0;
    EXPECT_GT(bar.findItem(4)->measure(&h, &bar), bar.findItem(5)->measure(&h, &bar) + 40);
    const int before = bar.findItem(6)->measure(&h, &bar);
    bar.add("File/Sav2", 6, 0, 0); // added again without a shortcut
    EXPECT_GT(before, bar.findItem(6)->measure(&h, &bar) + 40);
    EXPECT_STREQ(bar.findItem(4)->label(), "Save");
    EXPECT_EQ(bar.shortcutOf(6), 0);
}

} // namespace
