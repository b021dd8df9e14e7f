// The clipboard among the other X clients of a desktop: the editor's own display, which only
// answers while the wait hook pumps it, and a clipboard manager at exit.
#include "clipboard/ClipboardSystem.h"
#include "ClipTestSupport.h"
#include "ForeignClients.h"
#include "clipboard/ClipboardGuard.h"
#include "clipboard/ScoreClipboard.h"

#include <gtest/gtest.h>

using namespace tw;

using namespace std::chrono_literals;

TEST(ClipboardSystem, CopyAfterCopyingTextFromOurOwnWidgetKeepsThatText) {
    TextOwnerDisplay application("Text from a widget");
    ASSERT_TRUE(application.owns());
    setClipboardWaitHook({application.fd(), [&] { application.answerRequests(); }});
    auto begin = std::chrono::steady_clock::now();
    bool copied = copyNotesToClipboard(sampleNotes());
    auto took = std::chrono::steady_clock::now() - begin;
    setClipboardWaitHook({});
    ASSERT_TRUE(copied);
    std::printf("copy with the text owner pumped by the hook: %lld ms\n",
                (long long)std::chrono::duration_cast<std::chrono::milliseconds>(took).count());
    int status = 0;
    EXPECT_EQ(xclipOut("", status), "Text from a widget");
    EXPECT_EQ(notesFromClipboard(), sampleNotes());
}

TEST(ClipboardSystem, CopyKeepsTheTextAndTheOtherFormatsOfTheOwner) {
    const std::string png = randomBytes(70000, 7), html = "<b>bold</b>";
    TextOwnerDisplay application("Caption", {{"image/png", png}, {"text/html", html}});
    ASSERT_TRUE(application.owns());
    setClipboardWaitHook({application.fd(), [&] { application.answerRequests(); }});
    bool copied = copyNotesToClipboard(sampleNotes());
    setClipboardWaitHook({});
    ASSERT_TRUE(copied);
    int status = 0;
    EXPECT_EQ(xclipOut("", status), "Caption");
    EXPECT_TRUE(xclipOut("image/png", status) == png);
    EXPECT_EQ(xclipOut("text/html", status), html);
    EXPECT_EQ(notesFromClipboard(), sampleNotes());

    // A second copy of ours keeps them too.
    std::vector<TapeNote> more = sampleNotes();
    more.pop_back();
    ASSERT_TRUE(copyNotesToClipboard(more));
    EXPECT_TRUE(xclipOut("image/png", status) == png);
    EXPECT_EQ(xclipOut("", status), "Caption");
    EXPECT_EQ(notesFromClipboard(), more);
}

TEST(ClipboardSystem, AtExitTheNotesGoToTheClipboardManager) {
    FakeClipboardManager manager;
    ASSERT_TRUE(manager.running());
    Peer peer;
    ASSERT_EQ(peer.ask("copy 72 0 3 0 100 1 48 5 1 15 1 0"), "copied 1");
    peer.quit();
    std::string targets, data;
    ASSERT_TRUE(manager.save("ScoreTapeFmt", targets, data, 5s));
    EXPECT_NE(targets.find("ScoreTapeFmt"), std::string::npos) << targets;
    EXPECT_EQ(targets.find("TARGETS"), std::string::npos) << targets;
    auto notes = decodeNotes(reinterpret_cast<const uint8_t *>(data.data()), data.size());
    std::vector<TapeNote> expected = {sampleNotes()[0], sampleNotes()[1]};
    EXPECT_EQ(notes, expected);
}

TEST(ClipboardSystem, TransfersSurviveANewCopyAndARequestorThatVanishes) {
    const std::string first = randomBytes(1 << 20, 41), second = randomBytes(1 << 20, 42);
    ClipboardGuard guard;
    int32_t format = guard.registerFormat("ScoreTapeFmt");
    ASSERT_EQ(guard.setData(format, first.data(), int32_t(first.size())), 0);

    IncrRequestor reader;
    ASSERT_TRUE(reader.start("ScoreTapeFmt", 5s));
    std::string received, chunk;
    ASSERT_TRUE(reader.readChunk(chunk, 5s));
    received += chunk;
    {
        IncrRequestor gone; // its window is gone when the next chunk is written (BadWindow)
        ASSERT_TRUE(gone.start("ScoreTapeFmt", 5s));
        gone.vanish();
    }
    ASSERT_EQ(guard.setData(format, second.data(), int32_t(second.size())), 0);
    do {
        ASSERT_TRUE(reader.readChunk(chunk, 5s)) << received.size() << " bytes so far";
        received += chunk;
    } while (!chunk.empty());
    EXPECT_TRUE(received == first) << received.size() << " bytes";

    int status = 0;
    EXPECT_TRUE(xclipOut("ScoreTapeFmt", status) == second);
}

TEST(ClipboardSystem, MultipleRequestsAreServedTargetByTarget) {
    ASSERT_TRUE(copyNotesToClipboard(sampleNotes()));
    std::vector<std::string> answers;
    ASSERT_TRUE(convertMultiple({"ScoreTapeFmt", "TwNoSuchTarget", "TIMESTAMP"}, answers, 5s));
    ASSERT_EQ(answers.size(), 3u);
    auto bytes = encodeNotes(sampleNotes());
    EXPECT_TRUE(answers[0] == std::string(bytes.begin(), bytes.end()));
    EXPECT_EQ(answers[1], "<refused>");
    EXPECT_EQ(answers[2].size(), 4u); // the server time at which we took the clipboard
}
