// The View menu in the real main window: its place and keys, the crosshair of an armed click,
// the pointer's status line and the settings kept in the preferences file.
#include <gtest/gtest.h>

#include "AppHarness.h"

#include "app/CommandIds.h"
#include "app/ViewOptions.h"

#include <string>
#include <vector>

using namespace tw;

namespace {

// Sends a key press to the main window as FLTK would.
void pressKey(App &app, int key, int state, const char *text) {
    Fl::e_keysym = key;
    Fl::e_state = state;
    Fl::e_text = const_cast<char *>(text);
    Fl::e_length = int(std::string(text).size());
    app.handle(FL_KEYDOWN);
}

// Sends a pointer event at (x, y) to the tape.
void pointer(Flt_ScoreTape &tape, int event, int x, int y, int state = 0) {
    Fl::e_x = x;
    Fl::e_y = y;
    Fl::e_state = state;
    tape.handle(event);
}

} // namespace

TEST(AppView, TheViewMenuComesAfterScroll) {
    AppHarness h;
    h.start();
    std::vector<std::string> titles;
    for (const Fl_Menu_Item *m = h.menu().menu(); m && m->label(); m = m->next())
        titles.push_back(m->label());
    EXPECT_EQ(titles, (std::vector<std::string>{"File", "Select", "Edit", "Play", "Scroll", "View",
                                                "Settings", "Help"}));
    // The toggles' first marks; the zoom items carry their keys.
    EXPECT_TRUE(h.marked(cmdFollowPlayback));
    EXPECT_FALSE(h.marked(cmdShowNoteNames));
    ASSERT_NE(h.menu().find_item("View/Zoom in"), nullptr);
    EXPECT_EQ(h.menu().find_item("View/Zoom in"), h.menu().findItem(cmdZoomIn));
    EXPECT_EQ(h.menu().shortcutOf(cmdZoomIn), FL_CTRL + '+');
}

TEST(AppView, ZoomKeys) {
    const struct {
        int key, state, command;
    } keys[] = {
        {'=', FL_CTRL, cmdZoomIn},
        {'=', FL_CTRL | FL_SHIFT, cmdZoomIn},
        {'+', FL_CTRL, cmdZoomIn},
        {FL_KP + '+', FL_CTRL, cmdZoomIn},
        {'-', FL_CTRL, cmdZoomOut},
        {FL_KP + '-', FL_CTRL, cmdZoomOut},
        {'0', FL_CTRL, cmdActualSize},
        {FL_KP + '0', FL_CTRL, cmdActualSize},
        {'=', 0, 0},
        {'0', 0, 0},
        {'-', FL_CTRL | FL_ALT, 0},
        {'p', FL_CTRL, 0},
    };
    for (const auto &k : keys)
        EXPECT_EQ(viewKeyCommand(k.key, k.state), k.command) << k.key << " / " << k.state;

    AppHarness h;
    h.start();
    const struct {
        int key, state;
        const char *text;
        int step;
    } presses[] = {
        {'=', FL_CTRL, "=", 3}, {'=', FL_CTRL | FL_SHIFT, "+", 4},
        {'-', FL_CTRL, "-", 3}, {'0', FL_CTRL, "0", 2},
        {'-', FL_CTRL, "-", 1}, {'-', FL_CTRL, "-", 0},
        {'-', FL_CTRL, "-", 0}, {'0', FL_CTRL, "0", 2},
    };
    for (const auto &p : presses) {
        pressKey(*h.app, p.key, p.state, p.text);
        EXPECT_EQ(h.tape().zoomStep(), p.step) << p.text;
    }
}

TEST(AppView, AnArmedClickShowsACrosshairUntilTheClickOrEscape) {
    AppHarness h;
    h.start();
    Flt_ScoreTape &tape = h.tape();
    const int x = tape.x() + 100, y = tape.y() + 60;
    pointer(tape, FL_ENTER, x, y);
    EXPECT_FALSE(tape.crosshair());
    // Keys p, 1, 2, s and the two paste commands (from the menu) arm a click.
    const struct {
        int key;
        const char *text;
        int menuCommand;
    } arming[] = {
        {'p', "p", 0},    {'1', "1", 0}, {'2', "2", 0}, {'s', "s", 0}, {0, "", cmdPasteWithTime},
        {0, "", cmdPaste}};
    for (const auto &a : arming) {
        SCOPED_TRACE(a.menuCommand ? std::to_string(a.menuCommand) : a.text);
        for (bool byEscape : {false, true}) {
            if (a.menuCommand)
                h.menu().commandCallback(a.menuCommand);
            else
                pressKey(*h.app, a.key, 0, a.text);
            EXPECT_TRUE(tape.crosshair());
            if (byEscape) {
                pressKey(*h.app, FL_Escape, 0, "\x1b");
            } else {
                pointer(tape, FL_PUSH, x, y, FL_BUTTON1);
                pointer(tape, FL_RELEASE, x, y, 0);
            }
            EXPECT_FALSE(tape.crosshair());
            EXPECT_FALSE(h.app->pendingClickAction());
        }
    }
    pressKey(*h.app, 'i', 0, "i"); // a command that arms nothing
    EXPECT_FALSE(tape.crosshair());
}

TEST(AppView, ThePointerStatusInTheMenuBar) {
    AppHarness h;
    h.start();
    Flt_ScoreTape &tape = h.tape();
    EXPECT_EQ(h.menu().status(), "");
    for (bool names : {false, true}) {
        SCOPED_TRACE(names ? "with note names" : "without");
        if (names != h.menu().value(cmdShowNoteNames)) {
            h.menu().setValue(cmdShowNoteNames, names);
            h.app->onCommand(cmdShowNoteNames);
        }
        EXPECT_EQ(tape.noteNamesShown(), names);
        // Tick 12 of the board, 5 pixels into the row of the note below the top row.
        const int x = tape.boardX() + 12 * 8 + 3;
        const int y = tape.y() + 11 + 11 + 5;
        const unsigned note = tape.view().bottomNote + tape.view().visibleRows - 2;
        pointer(tape, FL_ENTER, x, y);
        EXPECT_EQ(h.menu().status(), tw::pointerStatus(note, 12, 1.5)) << "8 ticks a second";
        pointer(tape, FL_MOVE, x + 8, y + 11);
        EXPECT_EQ(h.menu().status(), tw::pointerStatus(note - 1, 13, 13 / 8.0));
        pointer(tape, FL_MOVE, x, tape.y() + 3); // the label strip
        EXPECT_EQ(h.menu().status(), "");
        pointer(tape, FL_MOVE, x, y);
        pointer(tape, FL_LEAVE, -5, -5);
        EXPECT_EQ(h.menu().status(), "");
    }
}

TEST(AppView, SettingsAreKeptInThePreferences) {
    AppHarness h;
    h.start();
    EXPECT_TRUE(h.tape().followsPlayback());
    EXPECT_FALSE(h.tape().noteNamesShown());
    EXPECT_EQ(h.tape().zoomStep(), 2);
    h.menu().setValue(cmdFollowPlayback, false);
    h.app->onCommand(cmdFollowPlayback);
    h.menu().setValue(cmdShowNoteNames, true);
    h.app->onCommand(cmdShowNoteNames);
    h.app->onCommand(cmdZoomIn);
    h.app->onCommand(cmdZoomIn);
    h.finish();
    EXPECT_EQ(storedInt("followPlay"), 0);
    EXPECT_EQ(storedInt("noteNames"), 1);
    EXPECT_EQ(storedInt("zoom"), 200);

    const struct { int zoom, step; } stored[] = {{200, 4}, {50, 0}, {400, 6}, {123, 2}, {-1, 2}};
    for (const auto &c : stored) {
        SCOPED_TRACE(c.zoom);
        {
            Fl_Preferences p = editorPrefs();
            p.set("zoom", c.zoom);
            p.set("bottomNote", 40);
            p.flush();
        }
        h.start();
        EXPECT_FALSE(h.tape().followsPlayback());
        EXPECT_FALSE(h.marked(cmdFollowPlayback));
        EXPECT_TRUE(h.tape().noteNamesShown());
        EXPECT_TRUE(h.marked(cmdShowNoteNames));
        EXPECT_EQ(h.tape().zoomStep(), c.step);
        EXPECT_EQ(h.tape().view().bottomNote, 40u) << "the stored view at any zoom";
        h.finish();
    }
}
