// Edit/Fix notes too close to repeat... and Edit/Shorten rests... in the running window, through
// the seams that stand for their windows: what the windows are given, one edit each, the message.
#include <gtest/gtest.h>

#include "AppHarness.h"

#include "app/CommandIds.h"
#include "app/StripWindows.h"

using namespace tw;

TEST(AppStrip, FixAndShortenAreOneEditEach) {
    AppHarness h;
    h.start();
    h.app->onCommand(cmdTicksPerFrame + 8);
    h.app->onCommand(cmdNoteIndicators + 2); // Deleika-26: no gap given, notes may not touch
    // C4 twice without a gap, then a rest of 4 s.
    h.tape().model().setNotes({tn(60, 0, 4), tn(60, 4, 4), tn(64, 40, 4)});
    std::size_t offered = 0;
    setFixChooser([&](const std::string &, const std::vector<TapeNote> &notes, const RepeatRule &,
                      const std::bitset<128> &, FixChoice &choice) {
        offered = notes.size();
        choice = FixChoice{false, false, true};
        return true;
    });
    h.app->onCommand(cmdFixTooClose);
    EXPECT_EQ(offered, 3u);
    EXPECT_EQ(h.lastMessage(), "Shortened 0, moved 0, dropped 1; 0 remain");
    EXPECT_EQ(h.tape().model().notes().size(), 2u);
    h.app->onCommand(cmdUndo);
    EXPECT_EQ(h.tape().model().notes().size(), 3u);

    setRestChooser([](const std::vector<TapeNote> &, unsigned ticksPerFrame, double &seconds) {
        EXPECT_EQ(ticksPerFrame, 8u);
        seconds = 1;
        return true;
    });
    h.app->onCommand(cmdShortenRests);
    EXPECT_EQ(h.lastMessage(), "1 rest(s) shortened to 1 s");
    EXPECT_EQ(h.tape().model().notes().back().start, 16u); // the rest of 32 ticks became 8
    h.app->onCommand(cmdUndo);
    EXPECT_EQ(h.tape().model().notes().back().start, 40u);

    // Cancelled windows change nothing; nothing too close asks nothing.
    setRestChooser([](const std::vector<TapeNote> &, unsigned, double &) { return false; });
    h.app->onCommand(cmdShortenRests);
    EXPECT_EQ(h.tape().model().notes().back().start, 40u);
    h.tape().model().setNotes({tn(60, 0, 4), tn(60, 8, 4)});
    offered = 0;
    h.app->onCommand(cmdFixTooClose);
    EXPECT_EQ(offered, 0u);
    EXPECT_EQ(h.lastMessage(), "No notes too close to repeat found");
    setFixChooser(nullptr);
    setRestChooser(nullptr);
}
