// The main window's key table, the wheel arithmetic and the file name rules, without a display.
#include "app/AppDialogs.h"
#include "app/CommandIds.h"
#include "app/FileNames.h"
#include "app/KeyTable.h"
#include "app/RecentFiles.h"
#include "app/WheelSteps.h"
#include "tw/Identity.h"

#include <FL/Enumerations.H>
#include <FL/filename.H>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

using namespace tw;

TEST(KeyTable, KeysGiveTheirCommands) {
    struct Case {
        const char *what;
        int key;
        int state;
        const char *text;
        int command;
    };
    const Case cases[] = {
        {"Left", FL_Left, 0, "", cmdFrameLeft},
        {"Ctrl+Left", FL_Left, FL_CTRL, "", cmdMoveLeft},
        {"Shift+Left is no key of the window", FL_Left, FL_SHIFT, "", 0},
        {"Left with a mouse button held", FL_Left, FL_BUTTON1, "", 0},
        {"Right", FL_Right, 0, "", cmdFrameRight},
        {"Ctrl+Right", FL_Right, FL_CTRL, "", cmdMoveRight},
        {"Ctrl+Shift+Right", FL_Right, FL_CTRL | FL_SHIFT, "", 0},
        {"Page Up", FL_Page_Up, 0, "", cmdScrollUp},
        {"Page Down", FL_Page_Down, 0, "", cmdScrollDown},
        {"Up", FL_Up, 0, "", cmdNotesHigher},
        {"Down", FL_Down, 0, "", cmdNotesLower},
        {"Ctrl+P is a menu shortcut", 'p', FL_CTRL, "\x10", 0},
        {"Space", ' ', 0, " ", cmdPlayFromMarker},
        {"Shift+Space", ' ', FL_SHIFT, " ", cmdPlayFromMarker},
        {"Ctrl+R is a menu shortcut", 'r', FL_CTRL, "\x12", 0},
        {"Ctrl+S is a menu shortcut", 's', FL_CTRL, "\x13", 0},
        {"Ctrl+A is a menu shortcut", 'a', FL_CTRL, "\x01", 0},
        {"Ctrl+C is a menu shortcut", 'c', FL_CTRL, "\x03", 0},
        {"Ctrl+X is a menu shortcut", 'x', FL_CTRL, "\x18", 0},
        {"Ctrl+V is a menu shortcut", 'v', FL_CTRL, "\x16", 0},
        {"Ctrl+W is a menu shortcut", 'w', FL_CTRL, "\x17", 0},
        {"Ctrl+Z is a menu shortcut", 'z', FL_CTRL, "\x1a", 0},
        {"Ctrl+I is a menu shortcut", 'i', FL_CTRL, "\t", 0},
        {"Tab, whose text Ctrl+I shares", FL_Tab, 0, "\t", 0},
        {"Ctrl+F is a menu shortcut", 'f', FL_CTRL, "\x06", 0},
        {"Ctrl+E is a menu shortcut", 'e', FL_CTRL, "\x05", 0},
        {"Escape", FL_Escape, 0, "\x1b", cmdUnselectAll},
        {"i", 'i', 0, "i", cmdInvertSelection},
        {"q", 'q', 0, "q", cmdExitNow},
        {"F1", FL_F + 1, 0, "", cmdHelp},
        {"Shift+F1", FL_F + 1, FL_SHIFT, "", cmdHelp},
        {"Home", FL_Home, 0, "", cmdToStart},
        {"End", FL_End, FL_CTRL, "", cmdToEnd},
        {"Delete", FL_Delete, 0, "\x7f", cmdRemoveSelected},
        {"BackSpace", FL_BackSpace, 0, "\b", cmdStepBack},
        {"x", 'x', 0, "x", cmdEraseRegion},
        {"m", 'm', 0, "m", cmdSelectRegion},
        {"1", '1', 0, "1", cmdClickLeftMarker},
        {"2", '2', 0, "2", cmdClickRightMarker},
        {"s", 's', 0, "s", cmdClickBlueMarker},
        {"p", 'p', 0, "p", cmdClickPlayMarker},
        {"t is a menu shortcut, not a window key", 't', 0, "t", 0},
        {"capital X is no key", 'x', FL_SHIFT, "X", 0},
        {"no text", 'a', 0, nullptr, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(keyCommand(c.key, c.state, c.text), c.command);
    }
}

TEST(KeyTable, LockKeysDoNotCountAsModifiers) {
    const int state = FL_CAPS_LOCK | FL_NUM_LOCK | FL_SCROLL_LOCK | FL_CTRL;
    EXPECT_EQ(withoutLockBits(state), FL_CTRL);
    EXPECT_EQ(keyCommand(FL_Left, withoutLockBits(FL_NUM_LOCK), ""), cmdFrameLeft);
}

TEST(WheelSteps, StepsBelowZeroAreRefusedWhole) {
    struct Case {
        unsigned a;
        int b;
        unsigned expected;
    };
    const Case cases[] = {
        {3, -4, 3},
        {4, -4, 0},
        {0, -1, 0},
        {10, 3, 13},
        {0, 0, 0},
        {5, -5, 0},
        {0xFFFFFFF0u, 8, 0xFFFFFFF8u},
        {7, -2147483647 - 1, 7},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.a << " + " << c.b);
        EXPECT_EQ(clampedStep(c.a, c.b), c.expected);
    }
}

TEST(WheelSteps, DirectionFollowsTheMotion) {
    const struct {
        int dx, dy, expected;
    } cases[] = {
        {0, 1, 1},   {0, -1, -1}, {0, 3, 1},  {1, 0, 1},   {-1, 0, -1},
        {-5, 0, -1}, {0, 0, 0},   {-1, 1, 1}, {1, -1, -1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.dx << ", " << c.dy);
        EXPECT_EQ(wheelDirection(c.dx, c.dy), c.expected);
    }
}

TEST(WheelSteps, EventsWithin2msOfTheLastAcceptedOneAreDropped) {
    uint64_t last = 0;
    EXPECT_TRUE(acceptWheelEvent(last, 1000000));
    EXPECT_FALSE(acceptWheelEvent(last, 1000000 + 2000)); // exactly 2 ms: dropped
    EXPECT_EQ(last, 1000000u);                            // a dropped event is not recorded
    EXPECT_TRUE(acceptWheelEvent(last, 1000000 + 2001));
    EXPECT_EQ(last, 1002001u);
    const uint64_t a = wheelClockMicros(), b = wheelClockMicros();
    EXPECT_LE(a, b);
}

TEST(FileNames, SaveDialogAnswersGetTheMidExtension) {
    const std::pair<const char *, const char *> cases[] = {
        {"tune", "tune.mid"},
        {"tune.MID", "tune.MID.mid"},
        {"tune.mid", "tune.mid"},
        {"music.old/tune", "music.old/tune.mid"},
        {"/tmp/a.b.mid", "/tmp/a.b.mid"},
        {"tune.", "tune..mid"},
        {"", ".mid"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.first);
        EXPECT_EQ(withMidExtension(c.first), c.second);
    }
}

TEST(FileNames, TitleShowsTheBaseName) {
    const std::pair<const char *, const char *> cases[] = {
        {"C:\\music\\song.mid", " - song.mid"},
        {"/home/me/song.mid", " - song.mid"},
        {"song.mid", " - song.mid"},
        {"/home/me/", ""},
        {"", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.first);
        EXPECT_EQ(titleSuffixFor(c.first), c.second);
    }
}

// Every user's settings are kept under the vendor and application names, so these stay; the title
// shows the version that project() gives.
TEST(Identity, PreferencesNamesStayAndTheTitleShowsTheVersion) {
    EXPECT_STREQ(tw::identity::vendor, "brn");
    EXPECT_STREQ(tw::identity::application, "Tapeworker2");
    // Digits, one dot, digits.
    const std::string version = tw::identity::version;
    const std::size_t dot = version.find('.');
    EXPECT_TRUE(dot != std::string::npos && dot > 0 && dot + 1 < version.size() &&
                version.find_first_not_of("0123456789.") == std::string::npos &&
                version.find('.', dot + 1) == std::string::npos)
        << tw::identity::version;
    EXPECT_EQ(tw::identity::title, std::string("Tapeworks2 V") + tw::identity::version);
}

// The shell scripts' copy, sourced as they source it, says the same.
TEST(Identity, ScriptsReadTheSameNames) {
    const std::string command = std::string("bash -c '. \"$0\" && printf \"%s|\" \"$TW_VERSION\" "
                                            "\"$TW_TITLE\" \"$TW_VENDOR\" \"$TW_APPLICATION\"' ") +
                                TW_IDENTITY_ENV;
    std::string text;
    if (FILE *pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe))
            text += buffer;
        EXPECT_EQ(::pclose(pipe), 0);
    }
    EXPECT_EQ(text, std::string(tw::identity::version) + "|" + tw::identity::title + "|" +
                        tw::identity::vendor + "|" + tw::identity::application + "|");
}

TEST(FileNames, TheDialogFilterTakesMidiFilesInEitherCase) {
    const std::string pattern = std::strchr(midiFilePattern, '\t') + 1;
    for (const char *name : {"a.mid", "B.MID", "c.Midi", "d.kar", "e.KAR"})
        EXPECT_TRUE(fl_filename_match(name, pattern.c_str())) << name;
    for (const char *name : {"f.txt", "g.midx", "h.mi", "mid"})
        EXPECT_FALSE(fl_filename_match(name, pattern.c_str())) << name;
}

TEST(RecentFiles, TheLastEightMostRecentFirst) {

    using List = std::vector<std::string>;
    const struct {
        const char *what;
        List before;
        std::string path;
        List after;
    } cases[] = {
        {"first", {}, "/a", {"/a"}},
        {"a new one goes first", {"/a", "/b"}, "/c", {"/c", "/a", "/b"}},
        {"a listed one moves first", {"/a", "/b", "/c"}, "/c", {"/c", "/a", "/b"}},
        {"the oldest drops out",
         {"/1", "/2", "/3", "/4", "/5", "/6", "/7", "/8"},
         "/9",
         {"/9", "/1", "/2", "/3", "/4", "/5", "/6", "/7"}},
        {"an empty path changes nothing", {"/a"}, "", {"/a"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(withRecentFile(c.before, c.path), c.after);
    }
    EXPECT_EQ(withoutRecentFile({"/a", "/b", "/c"}, "/b"), (List{"/a", "/c"}));
    EXPECT_EQ(withoutRecentFile({"/a"}, "/x"), (List{"/a"}));
    EXPECT_EQ(recentFileLabel("/m/R&B & more.mid"), "/m/R&&B && more.mid");
    EXPECT_EQ(absoluteFilePath("/m/./x/../a.mid"), "/m/a.mid");
    EXPECT_EQ(absoluteFilePath("a.mid"), (std::filesystem::current_path() / "a.mid").string());
    EXPECT_EQ(absoluteFilePath(""), "");
}

// What a hand-edited preferences file holds is read sanely; storing drops keys no longer used.
TEST(RecentFiles, StoredInThePreferences) {

    const std::string dir =
        (std::filesystem::temp_directory_path() / ("tw-recent-" + std::to_string(::getpid())))
            .string();
    std::filesystem::create_directories(dir);
    {
        Fl_Preferences prefs(dir.c_str(), "brn", "test");
        prefs.set("recentFile0", "/a.mid");
        prefs.set("recentFile1", "relative.mid");
        prefs.set("recentFile3", "/a.mid");
        prefs.set("recentFile4", "");
        prefs.set("recentFile5", "/b.mid");
        prefs.set("recentFile8", "/beyond.mid");
        EXPECT_EQ(readRecentFiles(prefs), (std::vector<std::string>{"/a.mid", "/b.mid"}));
        storeRecentFiles(prefs, {"/c.mid"});
        EXPECT_EQ(readRecentFiles(prefs), (std::vector<std::string>{"/c.mid"}));
        EXPECT_FALSE(prefs.entryExists("recentFile5"));
    }
    std::filesystem::remove_all(dir);
}
