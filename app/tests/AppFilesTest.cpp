// Open, save, the title and the unsaved-changes question, with real files.
#include <gtest/gtest.h>

#include "AppHarness.h"

#include "app/CommandIds.h"
#include "framework/Flt_Infowin.h"
#include "midifile/MidiFile.h"

#include <deque>
#include <filesystem>
#include <fstream>

using namespace tw;

namespace fs = std::filesystem;

namespace {

class AppFiles : public testing::Test {
protected:
    AppHarness h;
    std::string dir;
    void SetUp() override {
        h.start();
        dir = h.home.path() + "/music";
        fs::create_directories(dir);
    }
    FileChoice answer(const std::string &path) { return FileChoice{true, path}; }
    // A small melody saved under name, then a fresh score.
    std::string savedMelody(const std::string &name) {
        h.tape().addNote(tn(60, 0, 4));
        h.tape().addNote(tn(64, 8, 4));
        const std::string path = dir + "/" + name;
        EXPECT_TRUE(h.app->saveFile(path.c_str()));
        h.app->onCommand(cmdNew);
        h.tape().setDataChanged(false);
        return path;
    }
};

} // namespace

TEST_F(AppFiles, SaveAsAppliesTheMidRule) {
    fs::create_directories(dir + "/music.old");
    const std::pair<std::string, std::string> cases[] = {
        {"tune", "tune.mid"},
        {"tune.MID", "tune.MID.mid"},
        {"tune.mid", "tune.mid"},
        {"music.old/tune", "music.old/tune.mid"},
    };
    h.tape().addNote(tn(60, 0));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.first);
        h.tape().setDataChanged(true);
        h.files = {answer(dir + "/" + c.first)};
        h.app->onCommand(cmdSaveAs);
        EXPECT_EQ(h.fileDialogs.back(), "Save MIDI file");
        EXPECT_TRUE(fs::exists(dir + "/" + c.second));
        EXPECT_EQ(h.app->currentFile(), dir + "/" + c.second);
        EXPECT_EQ(h.title(), titleWith(" - ") + fs::path(c.second).filename().string());
        EXPECT_FALSE(h.tape().dataChanged());
    }
    // tune.mid came first: saving onto it again asks, and the answer 0 replaces it.
    ASSERT_EQ(h.dialogs.size(), 1u);
    EXPECT_EQ(h.dialogs[0].text, "The file " + dir + "/tune.mid exists already. Replace it?");
    EXPECT_EQ(h.dialogs[0].defaultButton, 1);
}

TEST_F(AppFiles, SaveWithoutAFileAsksForOneAndCancelChangesNothing) {
    h.tape().addNote(tn(60, 0));
    h.app->onCommand(cmdSave);
    ASSERT_EQ(h.fileDialogs.size(), 1u);
    EXPECT_TRUE(h.tape().dataChanged());
    EXPECT_EQ(h.title(), tw::identity::title);
}

TEST_F(AppFiles, SaveUnderTheCurrentNameWritesWithoutADialog) {
    const std::string path = savedMelody("a.mid");
    h.app->loadFile(path.c_str());
    h.click(20, 70);
    h.fileDialogs.clear();
    h.app->onCommand(cmdSave);
    EXPECT_TRUE(h.fileDialogs.empty());
    EXPECT_FALSE(h.tape().dataChanged());
    MidiFile file;
    ASSERT_EQ(file.read(path.c_str()), 0);
    EXPECT_EQ(file.format, 0);
    ASSERT_EQ(file.tracks.size(), 1u);
    EXPECT_EQ(file.tracks[0].toneCount, 3);
}

TEST_F(AppFiles, WriteErrorKeepsTheScoreMarkedChanged) {
    h.tape().addNote(tn(60, 0));
    const std::string bad = dir + "/no/such/folder/x.mid";
    EXPECT_FALSE(h.app->saveFile(bad.c_str()));
    ASSERT_EQ(h.dialogs.size(), 1u);
    EXPECT_EQ(h.lastMessage(), "Cannot write MIDI file " + bad + ", error " +
                                   std::to_string(errCannotOpen) + "\nThe folder " + dir +
                                   "/no/such/folder/ does not exist.");
    EXPECT_TRUE(h.dialogs[0].alert);
    EXPECT_TRUE(h.tape().dataChanged());
    EXPECT_EQ(h.app->currentFile(), "");
}

TEST_F(AppFiles, LoadSetsTitleAndAFailedLoadChangesNothing) {
    const std::string good = savedMelody("song.mid");
    h.app->loadFile(good.c_str());
    EXPECT_EQ(h.title(), titleWith(" - song.mid"));
    EXPECT_EQ(h.tape().notes().size(), 2u);
    EXPECT_FALSE(h.tape().dataChanged());

    const std::string broken = dir + "/broken.mid";
    std::ofstream(broken) << "not a MIDI file at all";
    h.app->loadFile(broken.c_str());
    ASSERT_EQ(h.dialogs.size(), 1u);
    EXPECT_EQ(h.lastMessage(), "Cannot read MIDI file " + broken + ", error " +
                                   std::to_string(errHeader) + "\nIt is not a MIDI file.");
    EXPECT_TRUE(h.dialogs[0].alert);
    EXPECT_EQ(h.app->currentFile(), good);
    EXPECT_EQ(h.title(), titleWith(" - song.mid"));
    EXPECT_EQ(h.tape().notes().size(), 2u);

    h.app->loadFile((dir + "/missing.mid").c_str());
    EXPECT_EQ(h.lastMessage(), "Cannot read MIDI file " + dir + "/missing.mid, error " +
                                   std::to_string(errCannotOpen) + "\nThe file was not found.");
    EXPECT_EQ(h.app->currentFile(), good);
}

TEST_F(AppFiles, OpenReadsTheChosenFileAndShowsAllChannels) {
    const std::string path = savedMelody("b.mid");
    h.menu().findItem(cmdShowChannel + 3)->clear();
    h.app->onCommand(cmdShowChannel + 3);
    h.files = {answer(path)};
    h.app->onCommand(cmdOpen);
    EXPECT_EQ(h.fileDialogs.back(), "Open MIDI file");
    EXPECT_EQ(h.app->currentFile(), path);
    EXPECT_EQ(h.tape().channelMask(), 0xFFFF);
    EXPECT_TRUE(h.marked(cmdShowChannel + 3));
    EXPECT_TRUE(h.dialogs.empty()) << "nothing changed: no question";
}

TEST_F(AppFiles, OpenWithUnsavedChangesAsksFirst) {
    const std::string path = savedMelody("c.mid");
    struct Case {
        const char *what;
        int answer;
        std::deque<FileChoice> files;
        bool opened;
        std::vector<std::string> dialogs;
    };
    const std::string saved = dir + "/saved-first";
    const Case cases[] = {
        {"Cancel", 0, {}, false, {}},
        {"No", 2, {answer(path)}, true, {"Open MIDI file"}},
        {"Yes, save dialog cancelled", 1, {}, false, {"Save MIDI file"}},
        {"Yes, saved",
         1,
         {answer(saved), answer(path)},
         true,
         {"Save MIDI file", "Open MIDI file"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        h.app->onCommand(cmdNew);
        h.tape().addNote(tn(50, 2));
        h.app->onCommand(cmdHelp);
        h.dialogs.clear();
        h.fileDialogs.clear();
        h.answers = {c.answer};
        h.files = c.files;
        h.app->onCommand(cmdOpen);
        ASSERT_EQ(h.dialogs.size(), 1u);
        EXPECT_EQ(h.dialogs[0].text, "Data changed - save?");
        EXPECT_EQ(h.fileDialogs, c.dialogs);
        EXPECT_EQ(h.app->currentFile() == path, c.opened);
        EXPECT_EQ(h.app->helpWindow()->shown(), !c.opened) << "the Help window goes when allowed";
    }
    EXPECT_TRUE(fs::exists(saved + ".mid"));
}

TEST_F(AppFiles, PathEndingInASlashGivesTheBareTitle) {
    h.app->setFileName("/some/folder/");
    EXPECT_EQ(h.title(), tw::identity::title);
    h.app->setFileName("/some/x.mid");
    h.app->setFileName("/some/y.mid");
    EXPECT_EQ(h.title(), titleWith(" - y.mid"));
}

// "File/Recent files" lists the files opened and saved, absolute, the most recent first; the list
// is kept for the next start.
TEST_F(AppFiles, RecentFilesFollowOpenAndSave) {
    auto listed = [&] {
        std::vector<std::string> labels;
        for (int i = 0; i < 8; ++i)
            if (const Fl_Menu_Item *item = h.menu().findItem(cmdRecentFile + i))
                labels.push_back(item->label());
        return labels;
    };
    EXPECT_TRUE(listed().empty());
    EXPECT_NE(h.menu().find_item("File/Recent files/(None)"), nullptr) << "an empty list says so";

    const std::string a = savedMelody("a.mid");
    const std::string b = savedMelody("b&c.mid");
    EXPECT_EQ(listed(), (std::vector<std::string>{dir + "/b&&c.mid", a}));
    EXPECT_EQ(h.menu().find_item("File/Recent files/(None)"), nullptr);

    const fs::path cwd = fs::current_path();
    fs::current_path(dir);
    h.app->loadFile("./../music/a.mid");
    fs::current_path(cwd);
    EXPECT_EQ(h.app->recentFileList(), (std::vector<std::string>{a, b})) << "absolute, no repeat";

    const std::vector<std::string> before = h.app->recentFileList();
    h.finish();
    h.start();
    EXPECT_EQ(h.app->recentFileList(), before);
    EXPECT_EQ(listed().size(), 2u);
}

TEST_F(AppFiles, ChoosingARecentFileOpensItOrRemovesAGoneOne) {
    const std::string a = savedMelody("a.mid");
    const std::string b = savedMelody("b.mid");
    h.app->onCommand(cmdRecentFile + 1); // a.mid
    EXPECT_EQ(h.app->currentFile(), a);
    EXPECT_EQ(h.tape().notes().size(), 2u);
    EXPECT_EQ(h.app->recentFileList(), (std::vector<std::string>{a, b}));

    h.tape().addNote(tn(70, 20));
    h.answers = {0}; // Cancel the unsaved-changes question
    h.app->onCommand(cmdRecentFile + 1);
    EXPECT_EQ(h.app->currentFile(), a) << "cancelled";
    EXPECT_EQ(h.tape().notes().size(), 3u);
    h.tape().setDataChanged(false);

    fs::remove(b);
    const std::size_t shown = h.dialogs.size();
    h.app->onCommand(cmdRecentFile + 1); // b.mid, gone
    ASSERT_EQ(h.dialogs.size(), shown + 1);
    EXPECT_EQ(h.lastMessage(), b + " is gone; it is removed from the recent files");
    EXPECT_EQ(h.app->recentFileList(), (std::vector<std::string>{a}));
    EXPECT_EQ(h.app->currentFile(), a);
    EXPECT_EQ(h.menu().findItem(cmdRecentFile + 1), nullptr);
    h.app->onCommand(cmdRecentFile + 5); // no such entry
    EXPECT_EQ(h.dialogs.size(), shown + 1);
}
