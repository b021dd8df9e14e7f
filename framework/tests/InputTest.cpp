// Real key presses and clicks, sent by xdotool to windows on the test X server.
#include <gtest/gtest.h>

#include "framework/Flt_App.h"
#include "framework/Flt_Infowin.h"
#include "framework/Flt_Menubar.h"

#include "TestSupport.h"

#include <FL/Fl_Button.H>
#include <FL/x.H>

#include <cstdlib>
#include <string>
#include <vector>

using namespace tw;

namespace {

Flt_AppConfig testConfig() {
    Flt_AppConfig c(200, 200);
    c.title = "Framework input test";
    c.vendor = "brn";
    c.application = "FrameworkInputTest";
    // The bottom right of the screen, away from the windows of tests that run meanwhile.
    c.x = 964;
    c.y = 704;
    c.w = 300;
    return c;
}

// A main window with a menu bar along the top that records the ids it receives.
struct MenuApp : Flt_App {
    Flt_Menubar *menubar;
    std::vector<int> ids;
    int questions = 0;
    explicit MenuApp(Flt_AppConfig &c) : Flt_App(c) {
        menubar = new Flt_Menubar();
        menubar->commandCallback = [this](int id) { ids.push_back(id); };
        end();
    }
    bool queryClose() override {
        ++questions;
        return true;
    }
    void resize(int x, int y, int w, int h) override {
        Flt_App::resize(x, y, w, h);
        if (shown())
            menubar->resize(0, 0, w, 25);
    }
};

// Runs xdotool with the window's id in place of WID; true when it succeeded.
bool xdotool(const Fl_Window &window, const std::string &args) {
    std::string command = "xdotool " + args;
    const std::string id = std::to_string(static_cast<unsigned long>(fl_xid(&window)));
    for (size_t at; (at = command.find("WID")) != std::string::npos;)
        command.replace(at, 3, id);
    return std::system(command.c_str()) == 0;
}

// Shows the window and waits until the X server has mapped it.
void showAndWait(Fl_Window &window) {
    window.show();
    ASSERT_TRUE(pumpUntil([&] { return window.shown() && window.visible(); }));
    pumpFor(0.2);
}

class Input : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under test-env.sh"; }
    TempHome home;
};

TEST_F(Input, EscapeAsksAndClosesTheMainWindow) {
    Flt_AppConfig c = testConfig();
    MenuApp app(c);
    showAndWait(app);
    ASSERT_TRUE(xdotool(app, "windowfocus --sync WID key Escape"));
    EXPECT_TRUE(pumpUntil([&] { return !app.shown(); }));
    EXPECT_EQ(app.questions, 1);
}

TEST_F(Input, MenuShortcutsDeliverTheirIds) {
    Flt_AppConfig c = testConfig();
    MenuApp app(c);
    app.escapeMode = 2;
    app.menubar->add("File/EXIT WITHOUT ASKING!", 34, 'q', 0);
    app.menubar->add("Edit/Undo", 32, FL_CTRL + 'z', 0);
    app.menubar->add("Play/Play inserted note", 25, 't', FL_MENU_TOGGLE);
    app.menubar->add("Help/Contents", 5, FL_F + 1, 0);
    showAndWait(app);
    ASSERT_TRUE(xdotool(app, "windowfocus --sync WID key q ctrl+z t F1 Escape"));
    EXPECT_TRUE(pumpUntil([&] { return app.ids.size() >= 4; }));
    pumpFor(0.1);
    EXPECT_EQ(app.ids, (std::vector<int>{34, 32, 25, 5}));
    EXPECT_TRUE(app.menubar->value(25));
    EXPECT_TRUE(app.shown()) << "Escape does nothing with escape mode 2";
    EXPECT_EQ(app.questions, 0);
}

TEST_F(Input, APickWithTheMouseDeliversTheId) {
    Flt_AppConfig c = testConfig();
    MenuApp app(c);
    app.escapeMode = 2;
    app.menubar->add("File/New", 13, 0, 0);
    app.menubar->add("File/Open", 8, 0, 0);
    showAndWait(app);
    // Open "File" with a click on its title, then choose the second item with the keyboard.
    // The menu runs its own event loop, so xdotool works in the background meanwhile.
    ASSERT_TRUE(xdotool(app, "windowfocus --sync WID mousemove --window WID 15 12 click 1 "
                             "sleep 0.5 key Down Down Return &"));
    EXPECT_TRUE(pumpUntil([&] { return !app.ids.empty(); }));
    EXPECT_EQ(app.ids, (std::vector<int>{8}));
}

TEST_F(Input, OkButtonHidesTheInfoWindow) {
    Flt_Infowin win;
    win.resize(960, 700, 300, 300);
    win.buffer.text("text\n");
    showAndWait(win);
    ASSERT_EQ(win.okButton->x(), 125);
    ASSERT_EQ(win.okButton->y(), 275);
    ASSERT_TRUE(xdotool(win, "mousemove --window WID 150 285 click 1"));
    EXPECT_TRUE(pumpUntil([&] { return !win.shown(); }));
    // Shown again, Escape hides it through FLTK's window callback.
    showAndWait(win);
    ASSERT_TRUE(xdotool(win, "windowfocus --sync WID key Escape"));
    EXPECT_TRUE(pumpUntil([&] { return !win.shown(); }));
}

} // namespace
