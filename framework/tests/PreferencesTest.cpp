#include "framework/Preferences.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <optional>

using namespace tw;

namespace {

// A preferences file in a temporary folder: "<dir>/app.prefs".
struct PrefsFile {
    TempDir dir;
    std::string file() const { return dir.path() + "/app.prefs"; }
    // Writes a file in FLTK's text format with the given entry lines in the root group.
    void write(const std::string &rootLines, const std::string &more = "") const {
        writeText(file(),
                  "; FLTK preferences file format 1.0\n; vendor: brn\n; application: app\n\n"
                  "[.]\n\n" +
                      rootLines + "\n" + more);
    }
};

TEST(PrefGetInt, StoredValuesAndDefaults) {
    struct Case {
        const char *name;
        std::optional<int> stored;
        int def;
        int expected;
    };
    const Case cases[] = {
        {"negative gives the default", -1, 8, 8},
        {"large negative gives the default", -2147483647, 8, 8},
        {"zero is a value", 0, 8, 0},
        {"positive", 17, 8, 17},
        {"missing gives the default", std::nullopt, 43, 43},
        {"missing with a negative default", std::nullopt, -5, -5},
    };
    PrefsFile f;
    Fl_Preferences prefs(f.dir.path().c_str(), "brn", "app");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        prefs.deleteEntry("k");
        if (c.stored)
            prefs.set("k", *c.stored);
        EXPECT_EQ(prefGetInt(prefs, "k", c.def), c.expected);
    }
}

TEST(PrefGetString, TellsWhetherTheEntryExists) {
    PrefsFile f;
    Fl_Preferences prefs(f.dir.path().c_str(), "brn", "app");
    prefs.set("port", "Synth input port (128:0)");
    prefs.set("empty", "");

    std::string out = "untouched";
    EXPECT_FALSE(prefGetString(prefs, "missing", out));
    EXPECT_EQ(out, "untouched");
    EXPECT_TRUE(prefGetString(prefs, "port", out));
    EXPECT_EQ(out, "Synth input port (128:0)");
    EXPECT_TRUE(prefGetString(prefs, "empty", out));
    EXPECT_EQ(out, "");

    prefGetString(prefs, "missing", out, "fallback");
    EXPECT_EQ(out, "fallback");
    prefGetString(prefs, "port", out, "fallback");
    EXPECT_EQ(out, "Synth input port (128:0)");
}

TEST(PrefGetString, LongAndOddTextSurvivesTheFile) {
    PrefsFile f;
    std::string longText(100000, 'a');
    longText += "/path with blanks/\xc3\xa4 \\ \"quoted\" [group] key:value";
    {
        Fl_Preferences prefs(f.dir.path().c_str(), "brn", "app");
        prefs.set("fname", longText.c_str());
    }
    Fl_Preferences prefs(f.dir.path().c_str(), "brn", "app");
    std::string out;
    ASSERT_TRUE(prefGetString(prefs, "fname", out));
    EXPECT_EQ(out, longText);
}

TEST(PrefIntArray, RoundTripsThroughTheFileUnderNumberedKeys) {
    PrefsFile f;
    const std::vector<int> programs = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 127};
    {
        Fl_Preferences prefs(f.dir.path().c_str(), "brn", "app");
        prefSetIntArray(prefs, "MIDIpgms", programs);
    }
    const std::string text = readText(f.file());
    EXPECT_NE(text.find("MIDIpgms3:3\n"), std::string::npos) << text;
    EXPECT_NE(text.find("MIDIpgms15:127\n"), std::string::npos) << text;

    Fl_Preferences prefs(f.dir.path().c_str(), "brn", "app");
    EXPECT_EQ(prefGetIntArray(prefs, "MIDIpgms"), programs);
    EXPECT_TRUE(prefGetIntArray(prefs, "other").empty());
}

TEST(PrefIntArray, ReadingStopsAtTheFirstGap) {
    struct Case {
        const char *name;
        std::vector<int> indexes;
        size_t expectedCount;
    };
    const Case cases[] = {
        {"gap after three", {0, 1, 2, 4}, 3},
        {"no first entry", {1, 2, 3}, 0},
        {"seventeen entries", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}, 17},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        PrefsFile f;
        Fl_Preferences prefs(f.dir.path().c_str(), "brn", "app");
        for (int i : c.indexes)
            prefs.set(prefArrayKey("MIDIpgms", i).c_str(), i * 2);
        const std::vector<int> values = prefGetIntArray(prefs, "MIDIpgms");
        ASSERT_EQ(values.size(), c.expectedCount);
        for (size_t i = 0; i < values.size(); ++i)
            EXPECT_EQ(values[i], static_cast<int>(i) * 2);
    }
}

TEST(PrefIntArray, AHugeArrayInTheFileIsCutAtTheLimit) {
    PrefsFile f;
    std::string lines;
    for (int i = 0; i < prefArrayLimit + 200; ++i)
        lines += "MIDIpgms" + std::to_string(i) + ":1\n";
    f.write(lines);
    Fl_Preferences prefs(f.dir.path().c_str(), "brn", "app");
    EXPECT_EQ(prefGetIntArray(prefs, "MIDIpgms").size(), static_cast<size_t>(prefArrayLimit));
}

// A hand-edited file: the helpers still give sane values.
TEST(PreferenceHelpers, GarbageInTheFile) {
    PrefsFile f;
    f.write("bottomNote:99999999999999999999999\n"
            "marker1:-7\n"
            "midiChan:3\n"
            "midiChan:12\n"
            "no colon on this line\n"
            ":value without key\n"
            "TicksPerFrame:twelve\n"
            "fname:" +
                std::string(200000, 'x') +
                "\n"
                "MIDIpgms0:5\nMIDIpgms0:6\nMIDIpgms1:-300\n",
            "[./posize]\n\nx:-99999999999\nw:\n[broken group\n");
    Fl_Preferences prefs(f.dir.path().c_str(), "brn", "app");
    const int bottom = prefGetInt(prefs, "bottomNote", 43);
    EXPECT_TRUE(bottom == 43 || bottom >= 0);
    EXPECT_EQ(prefGetInt(prefs, "marker1", 0), 0);
    const int channel = prefGetInt(prefs, "midiChan", 0);
    EXPECT_TRUE(channel == 3 || channel == 12);
    EXPECT_GE(prefGetInt(prefs, "TicksPerFrame", 8), 0);
    std::string name;
    ASSERT_TRUE(prefGetString(prefs, "fname", name));
    EXPECT_FALSE(name.empty()); // FLTK reads a hand-written line in pieces
    const std::vector<int> programs = prefGetIntArray(prefs, "MIDIpgms");
    ASSERT_EQ(programs.size(), 2u);
    EXPECT_EQ(programs[1], -300);
    Fl_Preferences posize(prefs, "posize");
    EXPECT_EQ(prefGetInt(posize, "x", 200), 200);
}

} // namespace
