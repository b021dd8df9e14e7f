#include "framework/WindowGeometry.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>

using namespace tw;

namespace {

struct Stored {
    std::optional<int> x, y, w, h;
};

struct Expected {
    bool move;
    int x, y, w, h;     // the window
    int cx, cy, cw, ch; // the configuration afterwards
};

struct Case {
    const char *name;
    Stored stored;
    int minW, minH;
    Expected expected;
};

void store(Fl_Preferences &posize, const char *key, const std::optional<int> &value) {
    if (value)
        posize.set(key, *value);
}

TEST(WindowPlacement, RestoredFromThePosizeGroup) {
    const Case cases[] = {
        {"stored position and size",
         {300, 200, 600, 500},
         200,
         200,
         {true, 296, 196, 608, 508, 300, 200, 600, 500}},
        {"first start takes the defaults the same way",
         {},
         200,
         200,
         {true, 196, 96, 508, 408, 200, 100, 500, 400}},
        {"without a minimum size the stored size is ignored",
         {300, 200, 600, 500},
         0,
         0,
         {true, 296, 196, 508, 408, 300, 200, 500, 400}},
        {"one minimum of 0 counts as none",
         {300, 200, 600, 500},
         200,
         0,
         {true, 296, 196, 508, 408, 300, 200, 500, 400}},
        {"x of 0 leaves the position to FLTK",
         {0, 200, 600, 500},
         200,
         200,
         {false, 0, 0, 608, 508, 200, 100, 600, 500}},
        {"negative y leaves the position to FLTK",
         {300, -20, 600, 500},
         200,
         200,
         {false, 0, 0, 608, 508, 200, 100, 600, 500}},
        {"position 1, 1 is used",
         {1, 1, 200, 200},
         200,
         200,
         {true, -3, -3, 208, 208, 1, 1, 200, 200}},
        {"absurd x counts as missing",
         {INT_MAX, 300, 600, 500},
         200,
         200,
         {true, 196, 296, 608, 508, 200, 300, 600, 500}},
        {"absurd sizes count as missing",
         {300, 200, INT_MAX, INT_MIN},
         200,
         200,
         {true, 296, 196, 508, 408, 300, 200, 500, 400}},
        {"a size below the minimum counts as missing",
         {300, 200, 150, 191},
         200,
         200,
         {true, 296, 196, 508, 408, 300, 200, 500, 400}},
        {"a window at its minimum size comes back at it",
         {300, 200, 192, 192},
         200,
         200,
         {true, 296, 196, 200, 200, 300, 200, 192, 192}},
        {"largest accepted values",
         {maxStoredGeometry, maxStoredGeometry, maxStoredGeometry, maxStoredGeometry},
         200,
         200,
         {true, maxStoredGeometry - 4, maxStoredGeometry - 4, maxStoredGeometry + 8,
          maxStoredGeometry + 8, maxStoredGeometry, maxStoredGeometry, maxStoredGeometry,
          maxStoredGeometry}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        Fl_Preferences prefs(dir.path().c_str(), "brn", "app");
        Fl_Preferences posize(prefs, "posize");
        store(posize, "x", c.stored.x);
        store(posize, "y", c.stored.y);
        store(posize, "w", c.stored.w);
        store(posize, "h", c.stored.h);
        Flt_AppConfig config(c.minW, c.minH);

        const WindowPlacement p = restoreWindowPlacement(posize, config);

        EXPECT_EQ(p.move, c.expected.move);
        if (c.expected.move) {
            EXPECT_EQ(p.x, c.expected.x);
            EXPECT_EQ(p.y, c.expected.y);
        }
        EXPECT_EQ(p.w, c.expected.w);
        EXPECT_EQ(p.h, c.expected.h);
        EXPECT_EQ(config.x, c.expected.cx);
        EXPECT_EQ(config.y, c.expected.cy);
        EXPECT_EQ(config.w, c.expected.cw);
        EXPECT_EQ(config.h, c.expected.ch);
    }
}

// A window saved and restored comes back at the same place with the same size, run after run,
// the smallest window the minimum allows included.
TEST(WindowPlacement, SavedWindowComesBackUnchanged) {
    const struct {
        int w, h;
        const char *stored;
    } cases[] = {
        {608, 508, "[./posize]\n\nx:300\ny:200\nw:600\nh:500\n"},
        {200, 200, "[./posize]\n\nx:300\ny:200\nw:192\nh:192\n"},
        {200, 700, "[./posize]\n\nx:300\ny:200\nw:192\nh:692\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.stored);
        TempDir dir;
        {
            Fl_Preferences prefs(dir.path().c_str(), "brn", "app");
            Fl_Preferences posize(prefs, "posize");
            saveWindowPlacement(posize, 296, 196, c.w, c.h);
        }
        const std::string text = readText(dir.path() + "/app.prefs");
        EXPECT_NE(text.find(c.stored), std::string::npos) << text;
        for (int run = 0; run < 3; ++run) {
            SCOPED_TRACE(run);
            Fl_Preferences prefs(dir.path().c_str(), "brn", "app");
            Fl_Preferences posize(prefs, "posize");
            Flt_AppConfig config(200, 200);
            const WindowPlacement p = restoreWindowPlacement(posize, config);
            EXPECT_TRUE(p.move);
            EXPECT_EQ(p.x, 296);
            EXPECT_EQ(p.y, 196);
            EXPECT_EQ(p.w, c.w);
            EXPECT_EQ(p.h, c.h);
            saveWindowPlacement(posize, p.x, p.y, p.w, p.h);
        }
    }
}

} // namespace
