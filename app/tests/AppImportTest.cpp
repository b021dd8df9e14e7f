// Import of the tracks of MIDI files that the tape does not hold whole, and saves that would
// replace more than the tape shows, with real files.
#include <gtest/gtest.h>

#include "AppHarness.h"

#include "app/CommandIds.h"
#include "midifile/MidiFile.h"

#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace tw;

namespace fs = std::filesystem;

namespace {

class AppImport : public testing::Test {
protected:
    AppHarness h;
    std::string dir;
    std::string multi; // a tempo track at 90 bpm and two parts of 3 and 2 notes
    std::string plain; // one track, no tempo: held whole by the tape
    void SetUp() override {
        h.start();
        dir = h.home.path() + "/music";
        fs::create_directories(dir);
        MidiFile file;
        file.format = 1;
        file.timeUnit = 96;
        file.tracks.emplace_back(std::vector<MidiEvent>{{0, {0xFF, 0x51, 0x0A, 0x2C, 0x2B}}});
        file.tracks.emplace_back(std::vector<MidiEvent>{{0, {0xFF, 0x03, 'L', 'e', 'a', 'd'}},
                                                        {0, {0x90, 60, 100}},
                                                        {96, {0x80, 60, 0}},
                                                        {0, {0x90, 62, 100}},
                                                        {96, {0x80, 62, 0}},
                                                        {0, {0x90, 64, 100}},
                                                        {96, {0x80, 64, 0}}});
        file.tracks.emplace_back(std::vector<MidiEvent>{
            {48, {0x91, 40, 90}}, {192, {0x81, 40, 0}}, {0, {0x91, 43, 90}}, {96, {0x81, 43, 0}}});
        multi = dir + "/multi.mid";
        EXPECT_EQ(file.write(multi.c_str()), 0);
        file.format = 0;
        file.tracks.erase(file.tracks.begin());
        file.tracks.resize(1);
        plain = dir + "/plain.mid";
        EXPECT_EQ(file.write(plain.c_str()), 0);
    }
    ImportChoice accept(std::vector<unsigned> tracks, bool follow = true) {
        return ImportChoice{true, std::move(tracks), follow};
    }
};

} // namespace

TEST_F(AppImport, OpenOffersTheTracksOfAFileTheTapeDoesNotHold) {
    h.app->loadFile(plain.c_str());
    EXPECT_TRUE(h.importWindows.empty()) << "one track at 120 bpm opens directly";
    ASSERT_EQ(h.tape().model().notes().size(), 3u);

    h.imports = {accept({1, 2})};
    h.app->loadFile(multi.c_str());
    ASSERT_EQ(h.importWindows.size(), 1u);
    EXPECT_EQ(h.importWindows[0].first, multi);
    const auto &tracks = h.importWindows[0].second;
    ASSERT_EQ(tracks.size(), 2u);
    EXPECT_EQ(tracks[0].name, "Lead");
    EXPECT_EQ(tracks[1].channels, 0x2);
    // 90 bpm, 32 ticks a second: a beat is 21.33 ticks.
    const std::vector<TapeNote> expected{tn(60, 0, 21, 0, 100), tn(40, 11, 42, 1, 90),
                                         tn(62, 21, 22, 0, 100), tn(64, 43, 21, 0, 100),
                                         tn(43, 53, 22, 1, 90)};
    h.tape().model().setTicksPerFrame(32);
    h.imports = {accept({1, 2})};
    h.app->loadFile(multi.c_str());
    EXPECT_EQ(h.tape().model().notes(), expected);
    EXPECT_EQ(h.app->currentFile(), "");
    EXPECT_EQ(h.title(), titleWith(" - multi.mid (imported)"));
    EXPECT_TRUE(h.tape().model().dataChanged());
    ASSERT_TRUE(h.tape().model().undo());
    EXPECT_EQ(h.tape().model().notes().size(), 5u) << "undo gives the melody before the import";

    // Cancel reads the first track as before: here the tempo track, without notes.
    h.app->loadFile(multi.c_str());
    EXPECT_TRUE(h.tape().model().notes().empty());
    EXPECT_EQ(h.app->currentFile(), multi);
    EXPECT_EQ(h.title(), titleWith(" - multi.mid"));
    EXPECT_FALSE(h.tape().model().dataChanged());
}

TEST_F(AppImport, ImportCommandAlwaysOffersTheTracksAndSaveAsksForAName) {
    h.tape().model().setTicksPerFrame(8);
    h.files = {FileChoice{true, plain}};
    h.imports = {accept({0}, false)};
    h.app->onCommand(cmdImport);
    EXPECT_EQ(h.fileDialogs, std::vector<std::string>{"Import MIDI file"});
    ASSERT_EQ(h.importWindows.size(), 1u);
    EXPECT_EQ(h.tape().model().notes().size(), 3u);
    EXPECT_EQ(h.tape().model().notes()[1].start, 4u) << "at 120 bpm a beat is half a second";

    const std::string before = readFile(plain);
    h.app->onCommand(cmdSave);
    EXPECT_EQ(h.fileDialogs.back(), "Save MIDI file");
    EXPECT_EQ(readFile(plain), before);
    EXPECT_TRUE(h.tape().model().dataChanged());
}

TEST_F(AppImport, SaveOntoAFileWithMoreAsksFirst) {
    struct Case {
        const char *what;
        int answer;
        bool replaced;
        std::vector<std::string> fileDialogs;
    };
    const Case cases[] = {
        {"Cancel", 2, false, {}},
        {"Save As..., cancelled", 0, false, {"Save MIDI file"}},
        {"Replace", 1, true, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        h.app->loadFile(multi.c_str()); // cancelled import: the first track, no notes
        ASSERT_EQ(h.app->currentFile(), multi);
        h.tape().model().addNote(tn(70, 4));
        const std::string before = readFile(multi);
        h.dialogs.clear();
        h.fileDialogs.clear();
        h.answers = {c.answer};
        h.app->onCommand(cmdSave);
        ASSERT_EQ(h.dialogs.size(), 1u);
        EXPECT_EQ(h.dialogs[0].text,
                  "The file multi.mid holds 2 more tracks with 5 notes, a tempo map and text or "
                  "other meta events.\nSaving replaces it with the melody alone, and that would "
                  "be lost.");
        EXPECT_EQ(h.dialogs[0].buttons[0], "Save As...");
        EXPECT_EQ(h.dialogs[0].buttons[1], "Replace");
        EXPECT_EQ(h.dialogs[0].buttons[2], "Cancel");
        EXPECT_EQ(h.dialogs[0].defaultButton, 2);
        EXPECT_EQ(h.fileDialogs, c.fileDialogs);
        EXPECT_EQ(readFile(multi) != before, c.replaced);
        EXPECT_EQ(h.tape().model().dataChanged(), !c.replaced);
    }
    // What the tape wrote itself is saved again without a question.
    h.dialogs.clear();
    h.tape().model().addNote(tn(72, 8));
    h.app->onCommand(cmdSave);
    EXPECT_TRUE(h.dialogs.empty());
}

TEST_F(AppImport, SaveAsAsksBeforeReplacingAndPathsAreRememberedAbsolute) {
    h.app->loadFile(plain.c_str());
    h.tape().model().addNote(tn(70, 40));
    const std::string other = dir + "/other.mid";
    std::ofstream(other) << "keep me";
    h.files = {FileChoice{true, other}};
    h.answers = {1}; // Cancel, the default
    h.app->onCommand(cmdSaveAs);
    ASSERT_EQ(h.dialogs.size(), 1u);
    EXPECT_EQ(h.dialogs[0].buttons[0], "Replace");
    EXPECT_EQ(h.dialogs[0].defaultButton, 1);
    EXPECT_EQ(readFile(other), "keep me");

    const fs::path old = fs::current_path();
    fs::current_path(dir);
    h.app->loadFile("./../music/plain.mid");
    fs::current_path(old);
    EXPECT_EQ(h.app->currentFile(), plain);
    h.finish();
    EXPECT_EQ(storedString("fname"), plain);
}

TEST_F(AppImport, FollowingTheTempoSetsTheBeatGrid) {
    // The file's tempo is 90 bpm, without a time signature: 4 beats a bar. Snap stays as set.
    h.menu().setValue(cmdSnapToBeat, true);
    h.app->onCommand(cmdSnapToBeat);
    h.imports = {accept({1}, false)};
    h.app->loadFile(multi.c_str());
    EXPECT_EQ(h.tape().model().beatGrid().bpm, 120) << "at 120 bpm the grid stays";
    h.imports = {accept({1})};
    h.app->loadFile(multi.c_str());
    EXPECT_NEAR(h.tape().model().beatGrid().bpm, 90, 1e-3);
    EXPECT_EQ(h.tape().model().beatGrid().beatsPerBar, 4u);
    EXPECT_TRUE(h.tape().model().beatGrid().snap);
}
