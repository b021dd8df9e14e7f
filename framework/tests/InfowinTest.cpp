#include <gtest/gtest.h>

#include "framework/Flt_Infowin.h"
#include "framework/HelpText.h"

#include "TestSupport.h"

#include <FL/Fl_Button.H>
#include <FL/Fl_Text_Display.H>

#include <cstring>

using namespace tw;

namespace {

class Infowin : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under test-env.sh"; }
};

TEST_F(Infowin, ConstructedHiddenWithDisplayAndButton) {
    Flt_Infowin win;
    EXPECT_STREQ(win.label(), "Info");
    EXPECT_EQ(win.w(), 100);
    EXPECT_EQ(win.h(), 200);
    ASSERT_EQ(win.children(), 2);
    EXPECT_EQ(win.child(0), win.display);
    EXPECT_EQ(win.child(1), win.okButton);
    EXPECT_STREQ(win.okButton->label(), "OK");
    EXPECT_EQ(win.display->buffer(), &win.buffer);
    EXPECT_EQ(win.buffer.length(), 0);
    EXPECT_FALSE(win.display->visible_focus());
    EXPECT_FALSE(win.shown());
}

TEST_F(Infowin, ChildrenAreLaidOutOnceShown) {
    Flt_Infowin win;
    win.resize(20, 20, 600, 600);
    win.buffer.text(helpText);
    win.display->textfont(helpTextFont());
    win.show();
    ASSERT_TRUE(pumpUntil([&] { return win.display->w() == 600; }));
    struct Case {
        int w, h;
        int displayH;
        int buttonX, buttonY;
    };
    const Case cases[] = {
        {600, 600, 570, 275, 575}, {100, 200, 170, 25, 175}, {333, 401, 371, 141, 376}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.w);
        win.resize(win.x(), win.y(), c.w, c.h);
        EXPECT_EQ(win.display->x(), 0);
        EXPECT_EQ(win.display->y(), 0);
        EXPECT_EQ(win.display->w(), c.w);
        EXPECT_EQ(win.display->h(), c.displayH);
        EXPECT_EQ(win.okButton->x(), c.buttonX);
        EXPECT_EQ(win.okButton->y(), c.buttonY);
        EXPECT_EQ(win.okButton->w(), 50);
        EXPECT_EQ(win.okButton->h(), 20);
    }
    EXPECT_EQ(win.buffer.count_lines(0, win.buffer.length()), 73);
    EXPECT_GE(win.display->textfont(), 0);
}

TEST_F(Infowin, OkHidesAndTheWindowShowsAgainUnchanged) {
    Flt_Infowin win;
    win.resize(20, 20, 600, 600);
    win.copy_label("Help");
    win.buffer.text("one\ntwo\n");
    win.show();
    pumpFor(0.05);
    win.okButton->do_callback();
    EXPECT_FALSE(win.shown());
    win.show();
    pumpFor(0.05);
    EXPECT_TRUE(win.shown());
    EXPECT_EQ(win.w(), 600);
    EXPECT_STREQ(win.label(), "Help");
    char *text = win.buffer.text();
    EXPECT_STREQ(text, "one\ntwo\n");
    free(text);
    // A callback from another widget does not hide the window.
    Fl_Widget *display = win.display;
    win.okButton->callback()(display, &win);
    EXPECT_TRUE(win.shown());
}

TEST_F(Infowin, HelpTextFaceIsNeverMinusOne) {
    const int font = helpTextFont();
    EXPECT_GE(font, 0);
    EXPECT_EQ(helpTextFont(), font);
}

} // namespace
