// Two programs of ours exchange notes and large blocks through the clipboard.
#include "ClipTestSupport.h"
#include "clipboard/ClipboardGuard.h"
#include "clipboard/ScoreClipboard.h"

#include <gtest/gtest.h>
#include <sstream>

using namespace tw;

namespace {
std::string describe(const TapeNote &n) {
    std::ostringstream text;
    text << unsigned(n.note) << ' ' << n.start << ' ' << n.length << ' ' << unsigned(n.channel)
         << ' ' << unsigned(n.velocity) << ' ' << int(n.selected);
    return text.str();
}
} // namespace

TEST(ClipboardPeers, SecondProgramPastesOurNotesInOrderWithFlags) {
    auto notes = sampleNotes();
    ASSERT_TRUE(copyNotesToClipboard(notes));
    Peer peer;
    ASSERT_EQ(peer.ask("paste"), "notes 3");
    for (const TapeNote &n : notes)
        EXPECT_EQ(peer.nextLine(), describe(n));
}

TEST(ClipboardPeers, WePasteWhatTheSecondProgramCopied) {
    auto notes = sampleNotes();
    std::string command = "copy";
    for (const TapeNote &n : notes)
        command += " " + describe(n);
    Peer peer;
    ASSERT_EQ(peer.ask(command), "copied 1");
    auto pasted = notesFromClipboard();
    ASSERT_EQ(pasted, notes);
    for (size_t i = 0; i < notes.size(); ++i)
        EXPECT_EQ(pasted[i].selected, notes[i].selected) << i;
}

TEST(ClipboardPeers, MegabyteTravelsIntactBothWays) {
    TempDir dir;
    const std::string block = randomBytes(1 << 20, 17);
    ClipboardGuard guard;
    int32_t format = guard.registerFormat("ScoreTapeFmt");
    Peer peer;

    ASSERT_EQ(guard.setData(format, block.data(), int32_t(block.size())), 0);
    ASSERT_EQ(peer.ask("get ScoreTapeFmt " + dir.path("got")), "rc 0 1048576");
    EXPECT_TRUE(dir.read("got") == block);

    const std::string other = randomBytes(1 << 20, 18);
    ASSERT_EQ(peer.ask("set ScoreTapeFmt " + dir.write("other", other)), "rc 0");
    std::vector<uint8_t> out;
    ASSERT_EQ(guard.getData(format, out), 0);
    EXPECT_TRUE(std::string(out.begin(), out.end()) == other);
}
