// Unsaved work kept and offered again by the real main window, and a cut that the clipboard
// refuses. The recovery files lie in the harness's temporary HOME.
#include <gtest/gtest.h>

#include "AppHarness.h"

#include "app/CommandIds.h"
#include "app/RecoveryKeeper.h"
#include "clipboard/ClipboardGuard.h"
#include "recovery/Recovery.h"

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

using namespace tw;
namespace fs = std::filesystem;

namespace {

// Work left by an editor that ended without saving (its lock file is gone with it).
RecoveryData leftWork(const std::string &fileName) {
    RecoveryData d;
    d.fileName = fileName;
    d.changedAt = 1700000000;
    for (unsigned c = 0; c < 16; ++c)
        d.programs[c] = uint8_t(40 + c);
    d.notes = {tn(60, 0, 4, 0, 100), tn(60, 2, 8, 0, 90), tn(72, 9, 1, 5, 1)};
    return d;
}

std::string leaveWork(const RecoveryData &data) {
    const std::string folder = recoveryFolder();
    fs::create_directories(folder);
    const std::string path = folder + "/editor-1-1.recovery";
    EXPECT_EQ(writeRecoveryFile(path, data), recoveryOk);
    return path;
}

} // namespace

TEST(AppRecovery, OffersWorkLeftByAnEndedEditor) {
    struct Case {
        const char *what;
        int answer;
        bool restored, fileStays;
    };
    const Case cases[] = {
        {"Restore (the default button)", 1, true, false},
        {"Discard", 2, false, false},
        {"Later (also Escape)", 0, false, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        AppHarness h;
        const RecoveryData data = leftWork(h.home.path() + "/music/song.mid");
        const std::string orphan = leaveWork(data);
        h.answers = {c.answer};
        h.start();
        ASSERT_EQ(h.dialogs.size(), 1u);
        const DialogCall &q = h.dialogs[0];
        EXPECT_TRUE(q.question);
        EXPECT_EQ(q.title, "Restore unsaved work");
        EXPECT_NE(q.text.find(data.fileName), std::string::npos) << q.text;
        EXPECT_NE(q.text.find(recoveryTimeText(data.changedAt)), std::string::npos) << q.text;
        EXPECT_EQ(q.buttons[0], "Later");
        EXPECT_EQ(q.buttons[1], "Restore");
        EXPECT_EQ(q.buttons[2], "Discard");

        EXPECT_EQ(fs::exists(orphan), c.fileStays);
        EXPECT_EQ(h.tape().model().dataChanged(), c.restored);
        if (c.restored) {
            EXPECT_EQ(h.tape().model().notes(), data.notes);
            for (unsigned ch = 0; ch < 16; ++ch)
                EXPECT_EQ(h.tape().model().program(ch), data.programs[ch]);
            EXPECT_TRUE(h.marked(cmdProgram + 40)); // channel 0's instrument
            EXPECT_EQ(h.app->currentFile(), data.fileName);
            EXPECT_EQ(h.title(), titleWith(" - song.mid"));
            // This editor keeps it now.
            RecoveryData kept;
            ASSERT_EQ(readRecoveryFile(h.app->recovery().slot().dataPath(), kept), recoveryOk);
            EXPECT_EQ(kept.notes, data.notes);
            EXPECT_EQ(kept.fileName, data.fileName);
        } else {
            EXPECT_TRUE(h.tape().model().notes().empty());
            EXPECT_EQ(h.app->currentFile(), "");
        }
    }
}

TEST(AppRecovery, AnEmptyUntitledMelodyIsNotOffered) {
    AppHarness h;
    const std::string orphan = leaveWork(RecoveryData{});
    h.start();
    EXPECT_TRUE(h.dialogs.empty());
    EXPECT_FALSE(fs::exists(orphan));
}

TEST(AppRecovery, KeepsUnsavedWorkUntilSavedOrLetGo) {
    AppHarness h;
    h.start();
    RecoveryKeeper &keeper = h.app->recovery();
    const std::string data = keeper.slot().dataPath();
    ASSERT_FALSE(data.empty());
    const std::string song = h.home.path() + "/song.mid";

    h.click(4, 60);
    EXPECT_TRUE(keeper.pending());
    ASSERT_EQ(keeper.update(), recoveryOk);
    EXPECT_TRUE(fs::exists(data));
    ASSERT_TRUE(h.app->saveFile(song.c_str()));
    EXPECT_FALSE(fs::exists(data)) << "saved work is not kept";

    h.click(8, 62);
    h.app->onCommand(cmdUndo); // back to the saved notes, but still unsaved as far as we know
    ASSERT_EQ(keeper.update(), recoveryOk);
    RecoveryData kept;
    ASSERT_EQ(readRecoveryFile(data, kept), recoveryOk);
    EXPECT_EQ(kept.notes, std::vector<TapeNote>{tn(60, 4, 4, 0, 127)});
    EXPECT_EQ(kept.fileName, song);

    // q: the newest state is written on the way out, even before the debounce ran.
    h.click(12, 64);
    h.app->onCommand(cmdExitNow);
    h.finish();
    ASSERT_EQ(readRecoveryFile(data, kept), recoveryOk);
    EXPECT_EQ(kept.notes.size(), 2u);

    // The next start offers it; "Later" keeps it. Then "No" on the way out lets this
    // editor's own changes go, and nothing unsaved leaves nothing behind.
    h.answers = {0, 2};
    h.start();
    ASSERT_EQ(h.dialogs.size(), 1u);
    EXPECT_EQ(h.dialogs[0].title, "Restore unsaved work");
    const std::string own = h.app->recovery().slot().dataPath();
    h.click(20, 70);
    ASSERT_EQ(h.app->recovery().update(), recoveryOk);
    EXPECT_TRUE(fs::exists(own));
    h.app->onCommand(cmdExit);
    h.finish();
    EXPECT_FALSE(fs::exists(own));
    EXPECT_TRUE(fs::exists(data)) << "the work left for later is still there";
    EXPECT_EQ(std::distance(fs::directory_iterator(recoveryFolder()), fs::directory_iterator()), 2)
        << "its data and lock file, nothing of the editor that ended cleanly";
}

TEST(AppRecovery, WritesAFewSecondsAfterTheLastChange) {
    AppHarness h;
    h.start();
    const std::string data = h.app->recovery().slot().dataPath();
    const auto start = std::chrono::steady_clock::now();
    h.click(4, 60);
    auto waited = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    while (!fs::exists(data) && waited() < 10)
        Fl::wait(0.1);
    ASSERT_TRUE(fs::exists(data));
    EXPECT_GE(waited(), RecoveryKeeper::writeDelaySeconds - 0.1);
}

TEST(AppCut, RemovesOnlyWhatReachedTheClipboard) {
    AppHarness h;
    h.start();
    Flt_ScoreTape &t = h.tape();
    t.model().addNote(tn(60, 2));
    t.model().addNote(tn(64, 6));
    t.model().selectAll();
    t.model().setDataChanged(false);

    // Another thread of the editor holds the clipboard: the copy cannot have it.
    std::mutex m;
    std::condition_variable cv;
    bool holding = false, done = false;
    std::thread holder([&] {
        ClipboardGuard guard;
        const bool opened = guard.open();
        std::unique_lock<std::mutex> lock(m);
        holding = opened;
        done = !opened;
        cv.notify_all();
        cv.wait(lock, [&] { return done; });
    });
    {
        std::unique_lock<std::mutex> lock(m);
        cv.wait(lock, [&] { return holding || done; });
    }
    ASSERT_TRUE(holding) << "no X clipboard to hold";
    h.app->onCommand(cmdCut);
    {
        std::lock_guard<std::mutex> lock(m);
        done = true;
    }
    cv.notify_all();
    holder.join();
    EXPECT_EQ(t.model().notes().size(), 2u) << "nothing is removed";
    EXPECT_EQ(t.model().selectedNotes().size(), 2u);
    EXPECT_FALSE(t.model().dataChanged());
    ASSERT_EQ(h.dialogs.size(), 1u);
    EXPECT_EQ(h.lastMessage(), "Cannot put the 2 selected notes on the clipboard; nothing was cut");

    // With the clipboard free again the same cut goes through.
    h.app->onCommand(cmdCut);
    EXPECT_TRUE(t.model().notes().empty());
    EXPECT_EQ(h.dialogs.size(), 1u);
}

// A recovery folder removed while the editor runs is made again; one that cannot be made is
// said once in the window, and q then asks before unsaved work goes.
TEST(AppRecovery, NeverFailsSilently) {
    AppHarness h;
    h.start();
    RecoveryKeeper &keeper = h.app->recovery();
    h.click(4, 60);
    fs::remove_all(recoveryFolder());
    ASSERT_EQ(keeper.update(), recoveryOk);
    EXPECT_TRUE(fs::exists(keeper.slot().dataPath())) << "the folder was not made again";
    EXPECT_FALSE(keeper.cannotKeep());
    EXPECT_TRUE(h.dialogs.empty());

    fs::remove_all(recoveryFolder());
    { std::ofstream(recoveryFolder()) << "a file where the folder belongs"; }
    h.click(8, 62);
    EXPECT_NE(keeper.update(), recoveryOk);
    EXPECT_TRUE(keeper.cannotKeep());
    ASSERT_EQ(h.dialogs.size(), 1u);
    EXPECT_EQ(h.dialogs[0].text.rfind("Unsaved work cannot be kept: ", 0), 0u) << h.dialogs[0].text;
    h.click(12, 64);
    EXPECT_NE(keeper.update(), recoveryOk);
    EXPECT_EQ(h.dialogs.size(), 1u) << "said once";

    h.answers = {0}; // Cancel: the editor stays
    h.app->onCommand(cmdExitNow);
    ASSERT_EQ(h.dialogs.size(), 2u);
    EXPECT_EQ(h.dialogs[1].text, "Data changed - save?");
    EXPECT_TRUE(h.app->shown());
    fs::remove(recoveryFolder());
    h.app->onCommand(cmdExitNow); // keeping works again: q leaves at once
    EXPECT_EQ(h.dialogs.size(), 2u);
    h.finish();
}
