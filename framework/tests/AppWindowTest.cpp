#include <gtest/gtest.h>

#include "framework/Flt_App.h"

#include "TestSupport.h"
#include "tw/Identity.h"

#include <FL/x.H>

#include <cstdio>

#include <memory>
#include <string>

using namespace tw;

namespace {

Flt_AppConfig editorConfig() {
    Flt_AppConfig c(200, 200);
    c.title = tw::identity::title;
    c.vendor = tw::identity::vendor;
    c.application = tw::identity::application;
    return c;
}

// A main window that counts close questions and answers them as told.
struct TestApp : Flt_App {
    explicit TestApp(Flt_AppConfig &c) : Flt_App(c) {}
    int questions = 0;
    bool allowClose = true;
    bool queryClose() override {
        ++questions;
        return allowClose;
    }
};

class AppWindow : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under test-env.sh"; }
    TempHome home;
    std::string prefsFile() const {
        return home.prefsFile(tw::identity::vendor, tw::identity::application);
    }
    void storeGeometry(const std::string &lines) {
        writeText(prefsFile(), std::string("; FLTK preferences file format 1.0\n; vendor: ") +
                                   tw::identity::vendor + "\n; application: " +
                                   tw::identity::application + "\n\n[.]\n\n[./posize]\n\n" + lines);
    }
};

TEST_F(AppWindow, FirstStartUsesTheConfigurationAndWritesTheGeometry) {
    Flt_AppConfig c = editorConfig();
    {
        Flt_App app(c);
        EXPECT_EQ(app.x(), 196);
        EXPECT_EQ(app.y(), 96);
        EXPECT_EQ(app.w(), 508);
        EXPECT_EQ(app.h(), 408);
        EXPECT_STREQ(app.label(), tw::identity::title);
        EXPECT_EQ(app.escapeMode, 0);
        EXPECT_EQ(app.config.x, 200);
        EXPECT_EQ(app.config.w, 500);
        EXPECT_STREQ(app.config.vendor, tw::identity::vendor);
    }
    const std::string text = readText(prefsFile());
    EXPECT_NE(text.find("[./posize]\n\nx:200\ny:100\nw:500\nh:400\n"), std::string::npos) << text;
}

TEST_F(AppWindow, StoredGeometryIsRestoredAndWrittenBackIntoTheConfiguration) {
    storeGeometry("x:300\ny:200\nw:600\nh:500\n");
    Flt_AppConfig c = editorConfig();
    Flt_App app(c);
    EXPECT_EQ(app.x(), 296);
    EXPECT_EQ(app.y(), 196);
    EXPECT_EQ(app.w(), 608);
    EXPECT_EQ(app.h(), 508);
    EXPECT_EQ(c.x, 300);
    EXPECT_EQ(c.y, 200);
    EXPECT_EQ(c.w, 600);
    EXPECT_EQ(c.h, 500);
    EXPECT_EQ(app.config.w, 600);
}

TEST_F(AppWindow, ShownWindowKeepsItsGeometryThroughARun) {
    storeGeometry("x:300\ny:200\nw:600\nh:500\n");
    {
        Flt_AppConfig c = editorConfig();
        Flt_App app(c);
        app.show();
        pumpFor(0.2);
        EXPECT_EQ(app.w(), 608);
        EXPECT_EQ(app.h(), 508);
        app.hide();
    }
    // Written back as it was stored, so the next run shows the same window.
    const std::string text = readText(prefsFile());
    EXPECT_NE(text.find("x:300\ny:200\nw:600\nh:500\n"), std::string::npos) << text;
}

TEST_F(AppWindow, GarbageGeometryGivesASaneWindowAndIsRewritten) {
    storeGeometry("x:99999999999999999999\ny:-5\nw:-2147483648\nh:2147483647\nw:junk\n"
                  "x\n:\n" +
                  std::string(5000, 'z') + "\n");
    {
        Flt_AppConfig c = editorConfig();
        Flt_App app(c);
        EXPECT_EQ(app.w(), 508);
        EXPECT_EQ(app.h(), 408);
        app.show();
        pumpFor(0.2);
        EXPECT_TRUE(app.shown());
        app.hide();
    }
    Fl_Preferences prefs(Fl_Preferences::USER, tw::identity::vendor, tw::identity::application);
    Fl_Preferences posize(prefs, "posize");
    int w = 0, h = 0;
    posize.get("w", w, 0);
    posize.get("h", h, 0);
    EXPECT_EQ(w, 500);
    EXPECT_EQ(h, 400);
}

// The X server holds the window's icon as the desktop reads it.
TEST_F(AppWindow, ShownWindowCarriesTheIcon) {
    Flt_AppConfig c = editorConfig();
    Flt_App app(c);
    app.show();
    ASSERT_TRUE(pumpUntil([&] { return app.shown() && app.visible(); }));
    Fl::check();
    const std::string command = "xprop -id " + std::to_string(fl_xid(&app)) + " _NET_WM_ICON";
    std::string text;
    if (FILE *pipe = ::popen(command.c_str(), "r")) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe) && text.size() < 4096)
            text += buffer;
        ::pclose(pipe);
    }
    EXPECT_NE(text.find("32 x 32"), std::string::npos) << text.substr(0, 300);
    app.hide();
}

TEST_F(AppWindow, TitleIsABaseAndASuffix) {
    Flt_AppConfig c = editorConfig();
    Flt_App app(c);
    struct Step {
        const char *suffix;
        const char *shown; // after the base title
    };
    const Step steps[] = {
        {" - melody.mid", " - melody.mid"},
        {" - other.mid", " - other.mid"},
        {"", ""},
        {nullptr, ""},
    };
    for (const Step &s : steps) {
        SCOPED_TRACE(s.shown);
        app.setTitleSuffix(s.suffix);
        EXPECT_EQ(app.label(), tw::identity::title + std::string(s.shown));
    }
    app.setTitle("Base");
    EXPECT_EQ(app.titleLength, 4);
    app.setTitleSuffix("+x");
    EXPECT_STREQ(app.label(), "Base+x");
    app.setTitle(nullptr);
    EXPECT_STREQ(app.label(), "");
    app.setTitleSuffix("only");
    EXPECT_STREQ(app.label(), "only");
}

TEST_F(AppWindow, MissingTitleFallsBackToTheApplicationName) {
    const char *titles[] = {nullptr, ""};
    for (const char *title : titles) {
        Flt_AppConfig c = editorConfig();
        c.title = title;
        Flt_App app(c);
        EXPECT_STREQ(app.label(), tw::identity::application);
    }
}

TEST_F(AppWindow, WithoutMinimumSizeTheStoredSizeIsIgnored) {
    storeGeometry("x:300\ny:200\nw:600\nh:500\n");
    Flt_AppConfig c = editorConfig();
    c.minW = 0;
    c.border = false;
    c.console = true;
    Flt_App app(c);
    EXPECT_EQ(app.w(), 508);
    EXPECT_EQ(app.h(), 408);
    EXPECT_EQ(app.border(), 0);
}

TEST_F(AppWindow, EscapeFollowsTheEscapeMode) {
    struct Case {
        const char *name;
        int mode;
        bool allow;
        int questions;
        bool shownAfter;
    };
    const Case cases[] = {
        {"mode 0, close allowed", 0, true, 1, false},
        {"mode 0, close refused", 0, false, 1, true},
        {"mode 2 does nothing", 2, true, 0, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Flt_AppConfig config = editorConfig();
        TestApp app(config);
        app.escapeMode = c.mode;
        app.allowClose = c.allow;
        app.show();
        pumpFor(0.05);
        Fl::e_keysym = FL_Escape;
        EXPECT_EQ(app.handle(FL_KEYDOWN), 1);
        EXPECT_EQ(app.questions, c.questions);
        EXPECT_EQ(app.shown() != 0, c.shownAfter);
        // An Escape that no widget takes: FLTK's default calls the window's callback.
        app.show();
        pumpFor(0.05);
        Fl::belowmouse(nullptr);
        Fl::handle(FL_SHORTCUT, &app);
        EXPECT_EQ(app.questions, 2 * c.questions);
        EXPECT_EQ(app.shown() != 0, c.shownAfter);
        app.hide();
    }
    Fl::e_keysym = 0;
}

TEST_F(AppWindow, CloseButtonAsksFirst) {
    Flt_AppConfig config = editorConfig();
    TestApp app(config);
    app.show();
    pumpFor(0.05);
    app.allowClose = false;
    app.do_callback();
    EXPECT_TRUE(app.shown());
    app.allowClose = true;
    app.do_callback();
    EXPECT_FALSE(app.shown());
    EXPECT_EQ(app.questions, 2);
    Flt_App::closeCallback(&app, nullptr);
}

// run() shows the window, makes it the running application, calls start() with the command line
// and returns when the window is hidden.
TEST_F(AppWindow, RunCallsStartAndEndsWhenTheWindowIsHidden) {
    struct Starting : TestApp {
        using TestApp::TestApp;
        bool wasShown = false;
        bool wasCurrent = false;
        std::string argument;
        void start(int argc, char **argv) override {
            wasShown = shown();
            wasCurrent = theApp == this;
            if (argc == 2)
                argument = argv[1];
            Fl::add_timeout(
                0.1, [](void *app) { static_cast<Starting *>(app)->hide(); }, this);
        }
    };
    char name[] = "tapeworks2";
    char file[] = "song.mid";
    char *argv[] = {name, file, nullptr};
    {
        Flt_AppConfig config = editorConfig();
        Starting app(config);
        EXPECT_EQ(app.run(2, argv), 0);
        EXPECT_TRUE(app.wasShown);
        EXPECT_TRUE(app.wasCurrent);
        EXPECT_EQ(app.argument, "song.mid");
        EXPECT_EQ(theApp, &app);
    }
    EXPECT_EQ(theApp, nullptr);
}

} // namespace
