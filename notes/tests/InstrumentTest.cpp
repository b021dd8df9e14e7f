// Instrument files: the parser, the folders they come from and the loading of a folder.
#include "notes/Instrument.h"

#include "notes/NoteSets.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

using namespace tw;

namespace {

std::vector<int> members(const Instrument &ins) {
    std::vector<int> out;
    for (int n = 0; n < 128; ++n)
        if (ins.notes.test(std::size_t(n)))
            out.push_back(n);
    return out;
}

} // namespace

TEST(Instrument, NoteNames) {
    const struct {
        const char *text;
        int note;
    } cases[] = {
        {"C4", 60},   {"c4", 60},       {"C#4", 61},         {"C\u266F4", 61},
        {"Db4", 61},  {"D\u266D4", 61}, {"bb3", 58},         {"B3", 59},
        {"A0", 21},   {"C-1", 0},       {"G9", 127},         {"0", 0},
        {"127", 127}, {"60", 60},       {"G#9", -1},         {"Cb-1", -1},
        {"128", -1},  {"H4", -1},       {"C", -1},           {"C#", -1},
        {"4C", -1},   {"C4x", -1},      {"C100", -1},        {"", -1},
        {"-1", -1},   {"C##4", -1},     {"99999999999", -1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(parseNote(c.text), c.note) << c.text;
}

TEST(Instrument, GoodFiles) {
    const struct {
        const char *text;
        std::vector<int> notes;
    } cases[] = {
        {"name: x\nnotes: C4 E4, G4\n", {60, 64, 67}},
        {"name: x\nnotes: C4-D4 70-71\n", {60, 61, 62, 70, 71}},
        {"name: x\nnotes: C4-62\n", {60, 61, 62}},
        {"name: x\nnotes: C-1-C#-1 F#4\n", {0, 1, 66}},
        {"name: x\nnotes: C4\nnotes: 62 # a second line adds\n", {60, 62}},
        {"# a comment\n  name :  x  \n\n\tnotes:F#4,,G4\t# comment\n", {66, 67}},
        {"\xEF\xBB\xBFname: x\r\nnotes: 60 # C4\r\n", {60}},
    };
    for (const auto &c : cases) {
        InstrumentError error;
        std::optional<Instrument> ins = parseInstrument(c.text, error);
        ASSERT_TRUE(ins) << c.text << ": line " << error.line << ": " << error.what;
        EXPECT_EQ(ins->name, "x");
        EXPECT_EQ(members(*ins), c.notes) << c.text;
        EXPECT_FALSE(ins->minGapMs);
    }
}

TEST(Instrument, OptionalKeys) {
    InstrumentError error;
    std::optional<Instrument> ins = parseInstrument("name: Tape one\nnotes: C4-C5\n"
                                                    "min-gap-ms: 120\ntape-width-mm: 70\n"
                                                    "track-pitch-mm: 2.5\nfirst-track-mm: 0\n"
                                                    "mm-per-second: 30\nhole-length-min-mm: 1.5\n",
                                                    error);
    ASSERT_TRUE(ins) << error.what;
    EXPECT_EQ(ins->name, "Tape one");
    EXPECT_EQ(ins->minGapMs, 120u);
    EXPECT_EQ(ins->tapeWidthMm, 70.0);
    EXPECT_EQ(ins->trackPitchMm, 2.5);
    EXPECT_EQ(ins->firstTrackMm, 0.0);
    EXPECT_EQ(ins->mmPerSecond, 30.0);
    EXPECT_EQ(ins->holeLengthMinMm, 1.5);
}

TEST(Instrument, BadFilesNameTheLineAndTheFault) {
    const struct {
        const char *text;
        unsigned line;
        const char *what; // a part of the message
    } cases[] = {
        {"name: x\nnotes: C4 H4\n", 2, "\"H4\" is not a note"},
        {"name: x\nnotes: 128\n", 2, "outside 0..127"},
        {"name: x\nnotes: C4,#4\n", 2, "\"#4\" is not"}, // '#' after a comma is no comment
        {"name: x\nnotes: C4-G#9\n", 2, "\"G#9\" lies outside"},
        {"name: x\nnotes: C5-C4\n", 2, "runs downwards"},
        {"name: x\nnotes: C4\ncolour: red\n", 3, "unknown key \"colour\""},
        {"name: x\nnotes: C4\nthis line has no colon\n", 3, "key: value"},
        {"name: x\nname: y\nnotes: C4\n", 2, "given twice"},
        {"name:\nnotes: C4\n", 1, "has no value"},
        {"name: x\nnotes: # only a comment\n", 2, "has no value"},
        {"notes: C4\n", 2, "no name"},
        {"# nothing\n\n", 3, "no name"},
        {"", 2, "no name"},
        {"name: x\n", 2, "no notes"},
        {"name: x\nnotes: C4\nmin-gap-ms: -5\n", 3, "whole number"},
        {"name: x\nnotes: C4\nmin-gap-ms: 60001\n", 3, "whole number"},
        {"name: x\nnotes: C4\ntape-width-mm: 0\n", 3, "from 1 to 1000, not \"0\""},
        {"name: x\nnotes: C4\ntrack-pitch-mm: 2,5\n", 3, "from 0.5 to 50"},
        {"name: x\nnotes: C4\nmm-per-second: nan\n", 3, "from 1 to 1000"},
        {"name: x\nnotes: C4\nmm-per-second: 0.000000001\n", 3,
         "mm-per-second needs a number from 1 to 1000, not \"0.000000001\""},
        {"name: x\nnotes: C4\ntrack-pitch-mm: 0.01\n", 3, "from 0.5 to 50"},
        {"name: x\nnotes: C4\nhole-length-min-mm: 25\n", 3, "from 0.2 to 20"},
        {"name: x\nnotes: C4\ntape-width-mm: 1000.5\n", 3, "from 1 to 1000"},
        {"name: a\x1b[2Jb\nnotes: C4\n", 1, "control character"},
        {"name: x\nnotes: C4\nNAME: y\n", 3, "unknown key \"NAME\""},
    };
    for (const auto &c : cases) {
        InstrumentError error;
        EXPECT_FALSE(parseInstrument(c.text, error)) << c.text;
        EXPECT_EQ(error.line, c.line) << c.text;
        EXPECT_NE(error.what.find(c.what), std::string::npos) << c.text << " -> " << error.what;
    }
    InstrumentError error;
    EXPECT_FALSE(parseInstrument("name: " + std::string(81, 'n') + "\nnotes: 1\n", error));
    EXPECT_TRUE(parseInstrument("name: " + std::string(80, 'n') + "\nnotes: 1\n", error));
}

TEST(Instrument, FoldersFollowTheXdgRuleAndTheExecutable) {
    using V = std::vector<std::string>;
    EXPECT_EQ(instrumentFolders("/cfg", "/home/u", "/opt/tw/bin/tapeworks2", "/usr/share"),
              (V{"/cfg/tapeworks2/instruments", "/opt/tw/share/tapeworks2/instruments",
                 "/usr/share/tapeworks2/instruments"}));
    // A relative or empty XDG_CONFIG_HOME counts as unset; one data folder is listed once.
    EXPECT_EQ(instrumentFolders("cfg", "/home/u", "/usr/bin/tapeworks2", "/usr/share"),
              (V{"/home/u/.config/tapeworks2/instruments", "/usr/share/tapeworks2/instruments"}));
    EXPECT_EQ(instrumentFolders("", nullptr, "", "/usr/share/"),
              (V{"/usr/share/tapeworks2/instruments"}));
}

TEST(Instrument, LoadingSortsByNameAndSkipsBadFiles) {
    namespace fs = std::filesystem;
    const fs::path root =
        fs::temp_directory_path() / ("tw-instruments-" + std::to_string(getpid()));
    const fs::path user = root / "user", data = root / "data";
    fs::create_directories(user);
    fs::create_directories(data);
    const auto write = [](const fs::path &path, const char *text) { std::ofstream(path) << text; };
    write(user / "b.instrument", "name: beta\nnotes: 60\n");
    write(user / "b2.instrument", "name: Beta\nnotes: 64\n"); // the same name in one folder
    write(user / "bad.instrument", "name: broken\nnotes: C4 X9\n");
    write(user / "ignored.txt", "name: not an instrument file\nnotes: 60\n");
    write(data / "a.instrument", "name: Alpha\nnotes: 61\n");
    write(data / "c.instrument", "name: BETA\nnotes: 62\n"); // the user's "beta" stands for it
    write(data / "z.instrument", "name: _gamma\nnotes: 63\n");
    write(data / "d.instrument", "name: deleika-26\nnotes: 63\n"); // a built-in one's name
    // Entries that are no files are each named: a link that leads nowhere, a folder, a FIFO.
    fs::create_symlink("nowhere", user / "lost.instrument");
    fs::create_directory(user / "folder.instrument");
    ::mkfifo((user / "pipe.instrument").c_str(), 0600);

    std::ostringstream log;
    const std::vector<Instrument> list =
        loadInstruments({user.string(), (root / "missing").string(), data.string()}, log);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].name, "_gamma"); // '_' comes before the letters, ignoring case
    EXPECT_EQ(list[1].name, "Alpha");
    EXPECT_EQ(list[2].name, "beta");
    EXPECT_EQ(list[2].path, (user / "b.instrument").string());

    const std::string lines = log.str();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 6) << lines;
    for (const char *entry : {"lost.instrument: it is a link that leads nowhere",
                              "folder.instrument: it is a folder", "pipe.instrument: it is a FIFO"})
        EXPECT_NE(lines.find(entry), std::string::npos) << entry << "\n" << lines;
    EXPECT_EQ(lines.find("c.instrument"), std::string::npos) << lines;
    EXPECT_NE(lines.find((user / "bad.instrument").string() + ", line 2: \"X9\""),
              std::string::npos)
        << lines;
    EXPECT_NE(
        lines.find((user / "b2.instrument").string() + ", line 1: the name \"Beta\" is taken"),
        std::string::npos)
        << lines;
    EXPECT_NE(lines.find((data / "d.instrument").string() + ", line 1: the name \"deleika-26\""),
              std::string::npos)
        << lines;
    fs::remove_all(root);
}

TEST(Instrument, RowsAndBuiltIns) {
    InstrumentError error;
    const Instrument ins = *parseInstrument("name: x\nnotes: 60 62\n", error);
    RowColours deleika;
    ASSERT_TRUE(indicatorRowColours(indicatorDeleika26, deleika));
    const RowColours rows = instrumentRowColours(ins);
    EXPECT_EQ(rows.colours[60], deleika.colours[60]);
    EXPECT_EQ(rows.colours[61], deleika.colours[61]);
    EXPECT_EQ(rows.colours[61], rows.special);
    EXPECT_NE(rows.colours[62], rows.special);

    EXPECT_FALSE(builtinInstrument(indicatorNone));
    EXPECT_FALSE(builtinInstrument(3));
    EXPECT_EQ(builtinInstrument(indicatorPiano)->notes.count(), 88u);
    EXPECT_EQ(builtinInstrument(indicatorDeleika26)->notes, NoteSet(deleika26Notes).members);
}
