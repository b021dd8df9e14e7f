#include "clipboard/ClipboardGuard.h"
#include "ClipTestSupport.h"
#include "clipboard/ScoreClipboard.h"

#include <gtest/gtest.h>
#include <thread>

using namespace tw;

TEST(ClipboardGuard, NestedOpensReleaseOnTheLastClose) {
    ClipboardGuard guard;
    ASSERT_TRUE(guard.open());
    ASSERT_TRUE(guard.open());
    EXPECT_EQ(guard.openCount(), 2);
    guard.close();
    EXPECT_EQ(guard.openCount(), 1);
    guard.close();
    EXPECT_EQ(guard.openCount(), 0);
    guard.close();
    EXPECT_EQ(guard.openCount(), 0);
}

TEST(ClipboardGuard, AnotherThreadCannotOpenWhileOneHoldsIt) {
    ClipboardGuard holder;
    ASSERT_TRUE(holder.open());
    int openedThere = -1, getThere = 0, setThere = 0;
    std::thread other([&] {
        ClipboardGuard guard;
        openedThere = guard.open();
        std::vector<uint8_t> out;
        getThere = guard.getData(scoreTapeFormatId >= 0 ? scoreTapeFormatId : 1, out);
        setThere = guard.setData(1, "x", 1);
    });
    other.join();
    EXPECT_EQ(openedThere, 0);
    EXPECT_EQ(getThere, clipErrOpen);
    EXPECT_EQ(setThere, clipErrOpen);
    holder.close();
    std::thread after([&] {
        ClipboardGuard guard;
        openedThere = guard.open();
    });
    after.join();
    EXPECT_EQ(openedThere, 1); // the guard of the other thread released it when it ended
}

TEST(ClipboardGuard, SetDataRefusesBadArgumentsWithoutOpening) {
    ClipboardGuard guard;
    int32_t format = guard.registerFormat("ScoreTapeFmt");
    ASSERT_GT(format, 0);
    const char data[] = "abc";
    const struct {
        const char *what;
        int32_t format;
        const void *data;
        int32_t length;
    } cases[] = {{"no data", format, nullptr, 3},
                 {"length 0", format, data, 0},
                 {"negative length", format, data, -3},
                 {"failed registration", -1, data, 3}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(guard.setData(c.format, c.data, c.length), clipErrArgument);
        EXPECT_EQ(guard.openCount(), 0);
    }
}

TEST(ClipboardGuard, FormatNobodyStoredLeavesOutUnchanged) {
    ASSERT_TRUE(copyNotesToClipboard(sampleNotes()));
    ClipboardGuard guard;
    int32_t unused = guard.registerFormat("TwFormatNobodyStores");
    ASSERT_GT(unused, 0);
    for (int32_t format : {unused, int32_t(987654)}) { // the second was never registered
        SCOPED_TRACE(format);
        std::vector<uint8_t> out = {1, 2, 3};
        EXPECT_EQ(guard.getData(format, out), clipErrNoData);
        EXPECT_EQ(out, (std::vector<uint8_t>{1, 2, 3}));
        EXPECT_EQ(guard.openCount(), 0);
    }
}

TEST(ClipboardGuard, OwnDataComesBackAndOtherFormatsStay) {
    ClipboardGuard guard;
    int32_t first = guard.registerFormat("TwFirstFormat");
    int32_t second = guard.registerFormat("TwSecondFormat");
    ASSERT_EQ(guard.setData(first, "one", 3), 0);
    ASSERT_EQ(guard.setData(second, "two!", 4), 0);
    ASSERT_EQ(guard.setData(first, "uno", 3), 0); // replaces only its own format
    std::vector<uint8_t> out = {'>'};
    ASSERT_EQ(guard.getData(first, out), 0);
    EXPECT_EQ(std::string(out.begin(), out.end()), ">uno");
    out.clear();
    ASSERT_EQ(guard.getData(second, out), 0);
    EXPECT_EQ(std::string(out.begin(), out.end()), "two!");
    int status = 0;
    EXPECT_EQ(xclipOut("TwSecondFormat", status), "two!");
}

TEST(ScoreClipboard, CopyingNothingFailsAndKeepsTheClipboard) {
    ASSERT_TRUE(copyNotesToClipboard(sampleNotes()));
    EXPECT_FALSE(copyNotesToClipboard({}));
    EXPECT_EQ(notesFromClipboard(), sampleNotes());
}

TEST(ScoreClipboard, BothProgramsGetTheSameFormatNumber) {
    ClipboardGuard guard;
    int32_t ours = guard.registerFormat("ScoreTapeFmt");
    Peer peer;
    EXPECT_EQ(peer.ask("register ScoreTapeFmt"), "id " + std::to_string(ours));
}

TEST(ScoreClipboard, WithoutDisplayEverythingFailsQuietly) {
    TempDir dir;
    std::string file = dir.write("data", "123456789012345678901234");
    const struct {
        const char *what;
        std::vector<std::string> unset, set;
    } cases[] = {{"DISPLAY unset", {"DISPLAY"}, {}}, {"no server", {"DISPLAY"}, {"DISPLAY=:4711"}}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Peer peer(c.unset, c.set);
        EXPECT_EQ(peer.ask("register ScoreTapeFmt"), "id -1");
        EXPECT_EQ(peer.ask("get #300 " + dir.path("out")), "rc -8948 0");
        EXPECT_EQ(peer.ask("set #300 " + file), "rc -8948");
        EXPECT_EQ(peer.ask("count"), "notes 0");
        EXPECT_EQ(peer.ask("copy 60 0 4 0 100 1"), "copied 0");
    }
}
