// The clipboard against xclip, a program we did not write.
#include "ClipTestSupport.h"
#include "clipboard/ClipboardGuard.h"
#include "clipboard/ScoreClipboard.h"

#include <chrono>
#include <csignal>
#include <gtest/gtest.h>

using namespace tw;

namespace {

std::string asString(const std::vector<uint8_t> &bytes) {
    return std::string(bytes.begin(), bytes.end());
}
} // namespace

TEST(ClipboardXclip, CopyOffersNotesAndKeepsTheTextThatWasThere) {
    TempDir dir;
    const std::string text = "Gr\xC3\xBC\xC3\x9F"
                             "e aus dem Editor"; // "Grüße ..."
    XclipOwner xclip(dir.write("text", text));
    ASSERT_TRUE(xclip.ready());
    ASSERT_TRUE(copyNotesToClipboard(sampleNotes()));

    int status = 0;
    std::string notes = xclipOut("ScoreTapeFmt", status);
    EXPECT_EQ(notes.size(), 72u);
    EXPECT_EQ(notes, asString(encodeNotes(sampleNotes())));
    EXPECT_EQ(xclipOut("", status), text);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(xclipOut("STRING", status), "Gr\xFC\xDF"
                                          "e aus dem Editor");
    std::string targets = xclipOut("TARGETS", status);
    for (const char *target :
         {"ScoreTapeFmt", "UTF8_STRING", "TARGETS", "text/plain;charset=utf-8"})
        EXPECT_NE(targets.find(target), std::string::npos) << target << " in " << targets;
}

TEST(ClipboardXclip, ForeignBytesPasteAsWholeRecordsOnly) {
    const struct {
        size_t size, notes;
    } cases[] = {{50, 2}, {20, 0}, {0, 0},     {24, 1},       {1, 0},         {23, 0},
                 {25, 1}, {71, 2}, {1000, 41}, {65539, 2730}, {300007, 12500}};
    TempDir dir;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.size);
        std::string bytes = randomBytes(c.size, unsigned(c.size));
        XclipOwner xclip(dir.write("bytes", bytes), "ScoreTapeFmt");
        ASSERT_TRUE(xclip.ready());
        auto notes = notesFromClipboard();
        ASSERT_EQ(notes.size(), c.notes);
        auto expected = decodeNotes(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
        EXPECT_EQ(notes, expected);
    }
}

TEST(ClipboardXclip, TextAloneGivesNoNotes) {
    TempDir dir;
    XclipOwner xclip(dir.write("text", "60 0 4 0 100 1\n"));
    ASSERT_TRUE(xclip.ready());
    EXPECT_TRUE(notesFromClipboard().empty());
}

TEST(ClipboardXclip, TextGivenForOurFormatIsNoNotes) {
    // xclip answers a request for any target with its text, typed UTF8_STRING.
    TempDir dir;
    for (size_t size : {size_t(99), size_t(1000), size_t(300000)}) {
        SCOPED_TRACE(size);
        std::string text(size, 'x');
        for (size_t i = 0; i < size; i += 10)
            text[i] = '\n';
        XclipOwner xclip(dir.write("text", text));
        ASSERT_TRUE(xclip.ready());
        ClipboardGuard guard;
        std::vector<uint8_t> out;
        EXPECT_EQ(guard.getData(guard.registerFormat("ScoreTapeFmt"), out), clipErrNoData);
        EXPECT_TRUE(out.empty());
        EXPECT_TRUE(notesFromClipboard().empty());
    }
}

TEST(ClipboardXclip, OurCopyKeepsWhatAnotherProgramOffered) {
    const struct {
        const char *target;
        size_t size;
        bool kept;
    } cases[] = {
        {"image/png", 50000, true},
        {"application/x-tw-custom", 3 << 20, true}, // in INCR chunks
        {"image/bmp", 9 << 20, false},              // too large to take along
    };
    TempDir dir;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.target);
        const std::string data = randomBytes(c.size, unsigned(c.size));
        XclipOwner xclip(dir.write("data", data), c.target);
        ASSERT_TRUE(xclip.ready());
        ASSERT_TRUE(copyNotesToClipboard(sampleNotes()));
        int status = 0;
        const std::string targets = xclipOut("TARGETS", status);
        EXPECT_NE(targets.find("ScoreTapeFmt"), std::string::npos) << targets;
        EXPECT_EQ(targets.find(c.target) != std::string::npos, c.kept) << targets;
        EXPECT_EQ(targets.find("UTF8_STRING"), std::string::npos) << "no text was there";
        if (c.kept) {
            const std::string read = xclipOut(c.target, status);
            EXPECT_EQ(read.size(), data.size());
            EXPECT_TRUE(read == data);
        }
        EXPECT_EQ(notesFromClipboard(), sampleNotes());
    }
}

TEST(ClipboardXclip, MegabyteTravelsIntactBothWays) {
    TempDir dir;
    const std::string in = randomBytes(1 << 20, 5);
    {
        XclipOwner xclip(dir.write("in", in), "ScoreTapeFmt");
        ASSERT_TRUE(xclip.ready());
        ClipboardGuard guard;
        std::vector<uint8_t> out;
        ASSERT_EQ(guard.getData(guard.registerFormat("ScoreTapeFmt"), out), 0);
        EXPECT_TRUE(asString(out) == in);
    }
    const std::string back = randomBytes(1 << 20, 6);
    ClipboardGuard guard;
    ASSERT_EQ(
        guard.setData(guard.registerFormat("ScoreTapeFmt"), back.data(), int32_t(back.size())), 0);
    int status = 0;
    std::string read = xclipOut("ScoreTapeFmt", status);
    EXPECT_EQ(read.size(), back.size());
    EXPECT_TRUE(read == back);
}

TEST(ClipboardXclip, FrozenOwnerCostsAboutASecondNotAHang) {
    TempDir dir;
    XclipOwner xclip(dir.write("notes", asString(encodeNotes(sampleNotes()))), "ScoreTapeFmt");
    ASSERT_TRUE(xclip.ready());
    xclip.process().signal(SIGSTOP);
    auto begin = std::chrono::steady_clock::now();
    auto notes = notesFromClipboard();
    auto pasted = std::chrono::steady_clock::now();
    bool copied = copyNotesToClipboard(sampleNotes()); // its text cannot be had either
    auto end = std::chrono::steady_clock::now();
    xclip.process().signal(SIGCONT);
    EXPECT_TRUE(notes.empty());
    EXPECT_TRUE(copied);
    using ms = std::chrono::milliseconds;
    std::printf("paste from a frozen owner returned after %lld ms, copy after %lld ms\n",
                (long long)std::chrono::duration_cast<ms>(pasted - begin).count(),
                (long long)std::chrono::duration_cast<ms>(end - pasted).count());
    EXPECT_EQ(notesFromClipboard(), sampleNotes()); // now ours
}
