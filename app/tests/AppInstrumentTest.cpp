// Instruments read from files in the running window: the indicator choice, fitting through the
// "Fit to instrument" window's seam, and the notes too close to repeat.
#include <gtest/gtest.h>

#include "AppHarness.h"

#include "app/CommandIds.h"

#include <fstream>

using namespace tw;

namespace {

// Points XDG_CONFIG_HOME at a folder while it lives.
class ConfigHome {
public:
    explicit ConfigHome(const std::string &dir) {
        if (const char *old = std::getenv("XDG_CONFIG_HOME"))
            previous = old;
        had = std::getenv("XDG_CONFIG_HOME") != nullptr;
        ::setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
        std::filesystem::create_directories(dir + "/tapeworks2/instruments");
        folder = dir + "/tapeworks2/instruments/";
    }
    ~ConfigHome() {
        if (had)
            ::setenv("XDG_CONFIG_HOME", previous.c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
    }
    void write(const std::string &file, const std::string &text) {
        std::ofstream(folder + file) << text;
    }

private:
    std::string previous, folder;
    bool had = false;
};

int indexNamed(const App &app, const std::string &name) {
    const std::vector<Instrument> &list = app.fileInstruments();
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i].name == name)
            return int(i);
    return -1;
}

} // namespace

TEST(AppInstruments, ChosenFileInstrumentFitsAndFindsNotesTooClose) {
    AppHarness h;
    ConfigHome config(h.home.path() + "/config");
    config.write("whistle.instrument",
                 "name: Zeta whistle\nnotes: C4 D4 E4 F4 G4 A4 B4 C5\nmin-gap-ms: 250\n");
    config.write("slash.instrument", "name: A/B\nnotes: 60\n");
    h.start();
    const int whistle = indexNamed(*h.app, "Zeta whistle");
    const int slash = indexNamed(*h.app, "A/B");
    ASSERT_GE(whistle, 0);
    ASSERT_GE(slash, 0);
    EXPECT_STREQ(h.menu().findItem(cmdInstrumentFile + slash)->label(), "A/B");

    h.app->onCommand(cmdInstrumentFile + whistle);
    EXPECT_TRUE(h.marked(cmdInstrumentFile + whistle));
    EXPECT_FALSE(h.marked(cmdNoteIndicators + 1));
    int stored = -1;
    h.app->prefs.get("noteIndic", stored, -1);
    EXPECT_EQ(stored, 3 + whistle);
    const RowColours rows = instrumentRowColours(h.app->fileInstruments()[std::size_t(whistle)]);
    EXPECT_EQ(std::memcmp(&h.tape().model().rowColours(), &rows, sizeof rows), 0);

    // A melody a semitone too high: the first line of the window, the best, is taken.
    h.tape().model().setNotes({tn(61, 0), tn(63, 4)});
    std::string asked;
    setFitChooser([&](const std::string &name, const std::vector<FitLine> &lines) {
        asked = name;
        return FitChoice{true, lines.front().shift, false};
    });
    h.app->onCommand(cmdFitToInstrument);
    EXPECT_EQ(asked, "Zeta whistle");
    EXPECT_EQ(h.tape().model().notes(), (std::vector<TapeNote>{tn(60, 0), tn(62, 4)}));
    h.app->onCommand(cmdUndo);
    EXPECT_EQ(h.tape().model().notes()[0].note, 61u);

    // The instrument's gap: 250 ms at 8 ticks per frame are two ticks.
    h.app->onCommand(cmdTicksPerFrame + 8);
    h.tape().model().setNotes({tn(60, 0, 4), tn(60, 5, 4), tn(60, 11, 4)});
    h.app->onCommand(cmdSelectTooClose);
    EXPECT_EQ(h.lastMessage(), "1 notes too close to repeat found");

    // "None" has no notes to fit to: no window.
    h.app->onCommand(cmdNoteIndicators + 0);
    asked.clear();
    h.app->onCommand(cmdFitToInstrument);
    setFitChooser(nullptr);
    EXPECT_EQ(asked, "");
    EXPECT_NE(h.lastMessage().find("instrument must be chosen first"), std::string::npos);
}
