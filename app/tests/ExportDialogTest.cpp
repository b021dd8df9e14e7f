// The export window's fields and its OK, and the command line's arguments, without a display:
// the window is built but never shown, its messages and questions answered by a responder.
#include "app/ExportDialog.h"
#include "commandline/ExportCommand.h"
#include "framework/Dialogs.h"
#include "render/CutPlan.h"
#include "testsupport/NoteMakers.h"
#include "testsupport/TempFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace tw;

namespace {

struct Melody : ScoreModel {
    Melody() { setNotes({tn(60, 0), tn(64, 8)}); }
};

// OK, and the export it started run to its end.
ExportResult okAndWait(ExportDialog &dialog) {
    const ExportResult started = dialog.accept();
    return dialog.exporting() ? dialog.finishExport() : started;
}

} // namespace

TEST(ExportDialog, FileNameFollowsTheFormat) {
    Melody melody;
    ExportDialog dialog(melody, "/music/song.mid", ExportInstrument());
    EXPECT_EQ(dialog.label(), std::string("Export tape"));
    EXPECT_EQ(dialog.path(), "/music/song.pdf");
    dialog.setFormat(ExportFormat::png);
    EXPECT_EQ(dialog.path(), "/music/song.png");
    dialog.setPath("/music/other.name.svg");
    dialog.setFormat(ExportFormat::svg);
    EXPECT_EQ(dialog.path(), "/music/other.name.svg");
    EXPECT_EQ(dialog.options().format, ExportFormat::svg);
    dialog.setPaper(Paper::letter);
    dialog.setHoles(true);
    EXPECT_EQ(dialog.options().paper, Paper::letter);
    EXPECT_TRUE(dialog.options().holes);
    EXPECT_EQ(dialog.options().sourceName, "song.mid");

    ExportDialog untitled(melody, "", ExportInstrument());
    EXPECT_EQ(untitled.path(), "tape.pdf");
}

TEST(ExportDialog, OkWritesOrShowsTheReason) {
    Melody melody;
    TempDir folder("tw-export-dialog");
    std::vector<DialogCall> calls;
    int answer = 0;
    ScopedDialogResponder responder([&](const DialogCall &call) {
        calls.push_back(call);
        return answer;
    });
    ExportDialog dialog(melody, folder.path() + "/song.mid", ExportInstrument());
    std::vector<std::string> notices;
    dialog.onExported = [&](const std::string &notice) { notices.push_back(notice); };

    EXPECT_TRUE(okAndWait(dialog));
    EXPECT_EQ(readFile(folder.path() + "/song.pdf").substr(0, 4), "%PDF");
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(notices, std::vector<std::string>{"Exported song.pdf (1 pages)"});

    // An existing file: Cancel keeps it, Replace writes it.
    std::ofstream(folder.path() + "/song.pdf") << "kept";
    answer = 0;
    EXPECT_TRUE(okAndWait(dialog));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(calls[0].question);
    EXPECT_EQ(readFile(folder.path() + "/song.pdf"), "kept");
    answer = 1;
    EXPECT_TRUE(okAndWait(dialog));
    EXPECT_EQ(readFile(folder.path() + "/song.pdf").substr(0, 4), "%PDF");

    calls.clear();
    dialog.setPath(folder.path() + "/missing/song.pdf");
    EXPECT_EQ(okAndWait(dialog).code, errExportCreate);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_FALSE(calls[0].question);
    EXPECT_NE(calls[0].text.find("missing/ does not exist"), std::string::npos) << calls[0].text;
}

TEST(ExportDialog, CancelStopsTheExportAndLeavesNoFile) {
    // Long enough that the worker is still drawing when Cancel comes.
    struct Long : ScoreModel {
        Long() {
            std::vector<TapeNote> notes;
            for (unsigned t = 0; t < 100000; t += 2)
                notes.push_back(tn(50 + t % 30, t, 2, t % 16));
            setNotes(notes);
        }
    } melody;
    TempDir folder("tw-export-dialog");
    ExportDialog dialog(melody, folder.path() + "/long.mid", ExportInstrument());
    std::vector<std::string> notices;
    dialog.onExported = [&](const std::string &notice) { notices.push_back(notice); };
    EXPECT_TRUE(dialog.accept());
    EXPECT_TRUE(dialog.exporting());
    dialog.cancel();
    EXPECT_FALSE(dialog.exporting());
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
    EXPECT_TRUE(notices.empty());
}

TEST(ExportDialog, NoticeNamesTheFileAndItsPages) {
    EXPECT_EQ(exportedNotice("/music/song.pdf", 12), "Exported song.pdf (12 pages)");
    EXPECT_EQ(exportedNotice("tape.png", 1), "Exported tape.png (1 pages)");
}

TEST(ExportDialog, ShowsTheStripSummaryOfItsOptions) {
    ExportInstrument instrument;
    instrument.name = "Box";
    for (unsigned n = 50; n < 80; ++n)
        instrument.notes.push_back(n);
    instrument.geometry = TapeGeometry{70, 2.0, 5, 20, 2};
    // A short melody's summary comes with the window; a long one's when its worker is done.
    for (const unsigned count : {2u, 300000u}) {
        SCOPED_TRACE(count);
        std::vector<TapeNote> notes;
        for (unsigned i = 0; i < count; ++i)
            notes.push_back(tn(50 + i % 30, i / 10 * 4, 2));
        ScoreModel melody;
        melody.setNotes(notes);
        ExportDialog dialog(melody, "song.mid", instrument);
        if (count == 2) {
            EXPECT_FALSE(dialog.summarizing());
        }
        for (const ExportFormat format : {ExportFormat::dxf, ExportFormat::pdf}) {
            dialog.setFormat(format);
            dialog.finishSummary();
            EXPECT_FALSE(dialog.summarizing());
            const std::string summary = stripSummary(melody, dialog.options());
            ASSERT_NE(summary.find("Strip "), std::string::npos) << summary;
            const std::string text = dialog.noteText();
            ASSERT_GE(text.size(), summary.size());
            EXPECT_EQ(text.substr(text.size() - summary.size()), summary);
        }
        dialog.setFormat(ExportFormat::png);
        EXPECT_FALSE(dialog.summarizing());
        EXPECT_EQ(dialog.noteText(), "The whole melody as the board draws it.");
    }
}

TEST(ExportCommand, Arguments) {
    const struct {
        std::vector<const char *> args;
        bool ok;
        const char *output, *input;
    } cases[] = {
        {{"--export", "a.pdf", "in.mid"}, true, "a.pdf", "in.mid"},
        {{"in.mid", "--paper", "letter", "--holes", "--export", "b.PNG"}, true, "b.PNG", "in.mid"},
        {{"--export", "a.pdf", "--ticks-per-frame", "12", "in.mid"}, true, "a.pdf", "in.mid"},
        {{"--export", "a.jpg", "in.mid"}, false, "", ""},
        {{"--export", "a.pdf"}, false, "", ""},
        {{"--export", "a.pdf", "in.mid", "more.mid"}, false, "", ""},
        {{"--export", "a.pdf", "--paper", "a3", "in.mid"}, false, "", ""},
        {{"--export", "a.pdf", "--ticks-per-frame", "1", "in.mid"}, false, "", ""},
        {{"--export", "a.pdf", "--ticks-per-frame", "8x", "in.mid"}, false, "", ""},
        {{"--export", "a.pdf", "--zoom", "in.mid"}, false, "", ""},
        {{"in.mid", "--export"}, false, "", ""},
    };
    for (const auto &c : cases) {
        std::vector<char *> argv{const_cast<char *>("tapeworks2")};
        for (const char *a : c.args)
            argv.push_back(const_cast<char *>(a));
        SCOPED_TRACE(c.args.size());
        ExportRequest request;
        std::string error;
        EXPECT_EQ(parseExportArguments(int(argv.size()), argv.data(), request, error), c.ok)
            << error;
        if (c.ok) {
            EXPECT_EQ(request.output, c.output);
            EXPECT_EQ(request.input, c.input);
        } else {
            EXPECT_FALSE(error.empty());
        }
    }
    ExportInstrument deleika;
    RowColours colours;
    ASSERT_TRUE(findExportInstrument("Deleika-26", deleika, colours));
    EXPECT_EQ(deleika.notes.size(), 26u);
    EXPECT_FALSE(findExportInstrument("Harp", deleika, colours));
}

TEST(ExportCommand, InstrumentFilesGiveTheirTape) {
    InstrumentError why;
    const auto parse = [&](const std::string &text) {
        const std::optional<Instrument> ins = parseInstrument(text, why);
        EXPECT_TRUE(ins) << why.what;
        return ins.value_or(Instrument());
    };
    const std::string base = "name: Box\nnotes: C4 E4 G4 D4\n";
    const std::string tape = "tape-width-mm: 70\ntrack-pitch-mm: 2.5\nfirst-track-mm: 6\n";
    const struct {
        std::string extra;
        bool geometry;
        double holeMm;
    } cases[] = {
        {tape + "mm-per-second: 20\n", true, 0},
        {tape + "mm-per-second: 20\nhole-length-min-mm: 3\n", true, 3},
        {tape, false, 0}, // no speed: no tape to draw
        {"mm-per-second: 20\n", false, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.extra);
        const ExportInstrument e = exportInstrumentOf(parse(base + c.extra));
        EXPECT_EQ(e.name, "Box");
        EXPECT_EQ(e.notes, (std::vector<unsigned>{60, 62, 64, 67}));
        ASSERT_EQ(e.geometry.has_value(), c.geometry);
        if (c.geometry) {
            EXPECT_EQ(e.geometry->tapeWidthMm, 70);
            EXPECT_EQ(e.geometry->trackPitchMm, 2.5);
            EXPECT_EQ(e.geometry->firstTrackMm, 6);
            EXPECT_EQ(e.geometry->mmPerSecond, 20);
            EXPECT_EQ(e.geometry->holeLengthMinMm, c.holeMm);
        }
    }

    // By name among the files, by the path of a file, and the built-in ones before both.
    TempDir folder("tw-export-dialog");
    const std::string path = folder.path() + "/box.instrument";
    std::ofstream(path) << base << tape << "mm-per-second: 20\n";
    std::ofstream(folder.path() + "/broken.instrument") << "notes: C4\n";
    const std::vector<Instrument> files = {parse(base + tape + "mm-per-second: 20\n")};
    const struct {
        std::string name;
        bool found;
        std::size_t notes;
        bool geometry;
        std::string error;
    } finds[] = {
        {"Box", true, 4, true, ""},
        {path, true, 4, true, ""},
        {"88-key Piano", true, 88, false, ""},
        {"box", false, 0, false, "\"Box\""}, // names are exact; the error lists the known ones
        {folder.path() + "/broken.instrument", false, 0, false, "broken.instrument, line"},
        {folder.path() + "/none.instrument", false, 0, false, "cannot read"},
    };
    for (const auto &f : finds) {
        SCOPED_TRACE(f.name);
        ExportInstrument e;
        RowColours colours;
        std::string error;
        ASSERT_EQ(findExportInstrument(f.name, files, e, colours, error), f.found) << error;
        EXPECT_EQ(e.notes.size(), f.notes);
        EXPECT_EQ(e.geometry.has_value(), f.geometry);
        EXPECT_NE(error.find(f.error), std::string::npos) << error;
    }
}
