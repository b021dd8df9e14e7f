// The smfinfo command-line tool, run as a real program.
#include "SmfTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sys/wait.h>

using namespace tw;

namespace {

using smftest::Bytes;
using smftest::cat;
using smftest::header;
using smftest::track;

struct ToolRun {
    int status;
    std::string out;
};

ToolRun smfinfo(const std::string &args) {
    std::string command =
        "'" + (smftest::binDir() / "smfinfo").string() + "' " + args + " 2>/dev/null";
    ToolRun run{-1, {}};
    FILE *pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), pipe)) > 0)
        run.out.append(buf, n);
    int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(Smfinfo, PrintsSummariesEventsCopiesAndErrors) {
    smftest::TempDir dir;
    const std::string song = dir.file("song.mid");
    smftest::writeBytes(song,
                        cat({header(1, 2, 96), track({0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}),
                             track({0x00, 0x90, 0x3C, 0x64, 0x60, 0x3C, 0x00, 0x00, 0x90, 0x40,
                                    0x10, 0x81, 0x00, 0x80, 0x40, 0x00, 0x00, 0xFF, 0x2F, 0x00})}));
    smftest::writeBytes(dir.file("bad.mid"), cat({header(1, 1, 96), track({0x00, 0xF7})}));
    const std::string summary = "format=1 division=96 tracks=2\n"
                                "track=0 events=1 tones=0 ticks=0 low=0 high=0\n"
                                "track=1 events=4 tones=2 ticks=224 low=60 high=64\n";
    struct Case {
        std::string args;
        int status;
        std::string out;
    } cases[] = {
        {"'" + song + "'", 0, summary},
        {"--events '" + song + "'", 0,
         "format=1 division=96 tracks=2\n"
         "track=0 events=1 tones=0 ticks=0 low=0 high=0\n"
         "0\tff5107a120\n"
         "track=1 events=4 tones=2 ticks=224 low=60 high=64\n"
         "0\t903c64\n96\t903c00\n0\t904010\n128\t804000\n"},
        {"'" + dir.file("bad.mid") + "'", 1, "error=-99\n"},
        {"'" + dir.file("missing.mid") + "'", 1, "error=-2499\n"},
        {"--copy '" + song + "' '" + dir.file("copy.mid") + "'", 0, ""},
        {"'" + dir.file("copy.mid") + "'", 0, summary},
        {"--copy '" + song + "' '" + dir.file("none/copy.mid") + "'", 1, "error=-2499\n"},
        {"", 2, ""},
        {"--events", 2, ""},
        {"--copy '" + song + "'", 2, ""},
        {"--bogus '" + song + "'", 2, ""},
        {"a b", 2, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args);
        ToolRun run = smfinfo(c.args);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, c.out);
    }
}

} // namespace
