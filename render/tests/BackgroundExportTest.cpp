// The export on a worker thread: it writes from its own copy while the melody is edited, counts
// its tiles or pages, and a cancel (or dropping it) leaves neither the file nor a temporary.
// The strip summary for the export window comes from a worker too. Runs under ThreadSanitizer.
#include <gtest/gtest.h>

#include "ExportSupport.h"

#include "render/BackgroundExport.h"
#include "render/CutPlan.h"

#include <chrono>
#include <thread>

using namespace tw;

namespace {

// Notes over `ticks` ticks: a board picture of several tiles, a PDF of several pages.
std::vector<TapeNote> longMelody(unsigned ticks) {
    std::vector<TapeNote> notes;
    for (unsigned t = 0; t < ticks; t += 2)
        notes.push_back(tn(50 + t % 30, t, 1 + t % 5, t % 16));
    return notes;
}

ExportOptions optionsFor(ExportFormat format, bool trueScale) {
    ExportOptions o;
    o.format = format;
    if (trueScale) {
        for (unsigned n = 50; n < 80; ++n)
            o.instrument.notes.push_back(n);
        o.instrument.geometry = TapeGeometry{70, 2.0, 5, 20, 2};
        o.instrument.geometry->bedLengthMm = 300; // cut files in pieces
    }
    return o;
}

void waitUntilFinished(BackgroundExport &job) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!job.finished() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

struct Case {
    const char *name;
    ExportFormat format;
    bool trueScale;
};
const Case cases[] = {{"png", ExportFormat::png, false},   {"svg", ExportFormat::svg, false},
                      {"pdf", ExportFormat::pdf, false},   {"pdf", ExportFormat::pdf, true},
                      {"svg", ExportFormat::cutSvg, true}, {"dxf", ExportFormat::dxf, true}};

} // namespace

TEST(BackgroundExport, WritesItsCopyWhileTheMelodyIsEdited) {
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << (c.trueScale ? " true scale" : ""));
        TempDir dir;
        Melody melody(longMelody(3000));
        const std::string target = dir / (std::string("tape.") + c.name);
        BackgroundExport job(melody, optionsFor(c.format, c.trueScale), target);
        // The editor goes on: the melody changes while the worker draws.
        melody.setNotes({tn(60, 0)});
        melody.selectAll();
        waitUntilFinished(job);
        ASSERT_TRUE(job.finished());
        const ExportResult &r = job.result();
        ASSERT_TRUE(r) << r.reason;
        EXPECT_GE(r.pages, 1u);
        EXPECT_GT(job.total(), 0u);
        if (c.format != ExportFormat::svg) { // tiles, pages and pieces are counted exactly
            EXPECT_EQ(job.done(), job.total());
        }
        EXPECT_EQ(dir.names(), std::vector<std::string>{std::string("tape.") + c.name});
        // Written from the copy: many notes, not the one of the edited melody.
        EXPECT_GT(std::filesystem::file_size(target), 2000u);
    }
}

TEST(BackgroundExport, CancelledLeavesNoFileAndNoTemporary) {
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << (c.trueScale ? " true scale" : ""));
        TempDir dir;
        Melody melody(longMelody(20000));
        {
            BackgroundExport job(melody, optionsFor(c.format, c.trueScale), dir / "tape.out");
            job.cancel();
            waitUntilFinished(job);
            const ExportResult &r = job.result();
            EXPECT_EQ(r.code, errExportCancelled);
            EXPECT_TRUE(dir.names().empty());
        }
        {
            // Dropped while it runs: the same.
            BackgroundExport job(melody, optionsFor(c.format, c.trueScale), dir / "tape.out");
        }
        EXPECT_TRUE(dir.names().empty());
    }
}

TEST(BackgroundSummary, SaysWhatTheStripWouldSayWhileTheMelodyIsEdited) {
    struct Summary {
        ExportFormat format;
        bool trueScale;
    };
    const Summary summaries[] = {{ExportFormat::pdf, true},
                                 {ExportFormat::cutSvg, true},
                                 {ExportFormat::dxf, true},
                                 {ExportFormat::pdf, false},
                                 {ExportFormat::png, true}};
    for (const Summary &c : summaries) {
        SCOPED_TRACE(testing::Message() << int(c.format) << (c.trueScale ? " true scale" : ""));
        Melody melody(longMelody(3000));
        const ExportOptions options = optionsFor(c.format, c.trueScale);
        const std::string expected = stripSummary(melody, options);
        EXPECT_EQ(makesStrip(options), !expected.empty());
        BackgroundSummary summary(melody, options);
        melody.setNotes({tn(60, 0)});
        ASSERT_TRUE(summary.waitFor(120));
        EXPECT_TRUE(summary.finished());
        EXPECT_EQ(summary.text(), expected);
    }
}

TEST(BackgroundSummary, StopsWhenDropped) {
    Melody melody(longMelody(400000));
    const ExportOptions options = optionsFor(ExportFormat::cutSvg, true);
    const std::atomic<bool> stop{true};
    EXPECT_EQ(stripSummary(melody, options, &stop), "");
    // Dropped at once: the worker stops at its next look instead of planning the whole strip.
    for (int i = 0; i < 5; ++i)
        BackgroundSummary summary(melody, options);
}
