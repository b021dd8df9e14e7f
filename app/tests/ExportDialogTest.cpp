// The export window's fields and its OK, and the command line's arguments, without a display:
// the window is built but never shown, its messages and questions answered by a responder.
#include "app/ExportDialog.h"
#include "app/ExportCommand.h"
#include "framework/Dialogs.h"
#include "testsupport/NoteMakers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace tw;

namespace {

struct Melody : ScoreModel {
    Melody() { setNotes({tn(60, 0), tn(64, 8)}); }
};

std::string readAll(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Folder {
    std::string path = std::filesystem::temp_directory_path().string() + "/tw-export-dialog-" +
                       std::to_string(::getpid());
    Folder() { std::filesystem::create_directories(path); }
    ~Folder() { std::filesystem::remove_all(path); }
};

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
    Folder folder;
    std::vector<DialogCall> calls;
    int answer = 0;
    ScopedDialogResponder responder([&](const DialogCall &call) {
        calls.push_back(call);
        return answer;
    });
    ExportDialog dialog(melody, folder.path + "/song.mid", ExportInstrument());

    EXPECT_TRUE(dialog.accept());
    EXPECT_EQ(readAll(folder.path + "/song.pdf").substr(0, 4), "%PDF");
    EXPECT_TRUE(calls.empty());

    // An existing file: Cancel keeps it, Replace writes it.
    std::ofstream(folder.path + "/song.pdf") << "kept";
    answer = 0;
    EXPECT_TRUE(dialog.accept());
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(calls[0].question);
    EXPECT_EQ(readAll(folder.path + "/song.pdf"), "kept");
    answer = 1;
    EXPECT_TRUE(dialog.accept());
    EXPECT_EQ(readAll(folder.path + "/song.pdf").substr(0, 4), "%PDF");

    calls.clear();
    dialog.setPath(folder.path + "/missing/song.pdf");
    EXPECT_EQ(dialog.accept().code, errExportCreate);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_FALSE(calls[0].question);
    EXPECT_NE(calls[0].text.find("No such file or directory"), std::string::npos) << calls[0].text;
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
