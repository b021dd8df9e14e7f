// The command line's cutter files and shortened rests, end to end through runExportCommand.
#include "app/CommandLine.h"
#include "app/ExportCommand.h"
#include "testsupport/TempFiles.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace tw;

namespace {

int run(std::vector<std::string> args, std::string &out, std::string &err) {
    std::vector<char *> argv{const_cast<char *>("tapeworks2")};
    for (std::string &a : args)
        argv.push_back(a.data());
    std::ostringstream o, e;
    const int rc = runExportCommand(int(argv.size()), argv.data(), o, e);
    out = o.str();
    err = e.str();
    return rc;
}

} // namespace

TEST(CutCommand, WritesCutFilesAndShortensRests) {
    TempDir dir("tw-cut-command");
    const std::string box = TW_SOURCE_DIR "/data/instruments/music-box-30.instrument";
    const std::string tune = TW_SOURCE_DIR "/docs/clementi.mid";
    const struct {
        std::vector<std::string> args;
        int rc;
        const char *said; // a part of what it prints
    } cases[] = {
        {{"--export", dir.path("a.svg"), "--cut", "--instrument", box, tune}, 0, "wrote"},
        {{"--export", dir.path("a.dxf"), "--instrument", box, "--max-rest", "0.5", tune},
         0,
         "wrote"},
        {{"--export", dir.path("b.dxf"), tune}, 1, "needs an instrument with a tape geometry"},
        {{"--export", dir.path("a.pdf"), "--cut", tune}, 2, "--cut writes .svg or .dxf"},
        {{"--export", dir.path("a.dxf"), "--max-rest", "0", tune}, 2, "0.1 to 3600"},
        {{"--export", dir.path("a.dxf"), "--max-rest", "1s", tune}, 2, "not 1s"},
        {{"--export", dir.path("a.dxf"), "--max-rest"}, 2, "needs a value"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.args[1] + " " + c.args[2]);
        std::string out, err;
        EXPECT_EQ(run(c.args, out, err), c.rc) << err;
        EXPECT_NE((out + err).find(c.said), std::string::npos) << out << err;
    }
    EXPECT_NE(dir.read("a.svg").find("<g id=\"cut\""), std::string::npos);
    EXPECT_NE(dir.read("a.dxf").find("MARK"), std::string::npos);
    // The editor's own command line leaves these to the export.
    std::vector<char *> argv;
    for (const char *a : {"tapeworks2", "--export", "x.svg", "--cut", "--max-rest", "2", "in.mid"})
        argv.push_back(const_cast<char *>(a));
    EXPECT_EQ(parseCommandLine(int(argv.size()), argv.data()).action, CommandAction::exportTape);
}
