// The command line: what each argument list asks for, the texts of --help and --version, and the
// export's reading of "--".
#include "app/CommandLine.h"
#include "app/ExportCommand.h"
#include "tw/Identity.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

using namespace tw;

namespace {

std::vector<char *> argvOf(const std::vector<const char *> &args) {
    std::vector<char *> argv{const_cast<char *>("tapeworks2")};
    for (const char *a : args)
        argv.push_back(const_cast<char *>(a));
    argv.push_back(nullptr);
    return argv;
}

CommandLine parse(const std::vector<const char *> &args) {
    std::vector<char *> argv = argvOf(args);
    return parseCommandLine(int(argv.size()) - 1, argv.data());
}

std::string joined(const std::vector<const char *> &args) {
    std::string text;
    for (const char *a : args)
        text += std::string(text.empty() ? "" : " ") + "[" + a + "]";
    return text;
}

} // namespace

TEST(CommandLine, Actions) {
    using A = CommandAction;
    const struct {
        std::vector<const char *> args;
        CommandAction action;
        const char *file;  // edit
        const char *error; // usageError: a part of the message
    } cases[] = {
        {{}, A::edit, "", ""},
        {{"song.mid"}, A::edit, "song.mid", ""},
        {{"-"}, A::edit, "-", ""},
        {{"--", "-odd.mid"}, A::edit, "-odd.mid", ""},
        {{"--", "--help"}, A::edit, "--help", ""},
        {{"--help"}, A::help, "", ""},
        {{"song.mid", "--help"}, A::help, "", ""},
        {{"--bogus", "--help"}, A::help, "", ""},
        {{"--version"}, A::version, "", ""},
        {{"--version", "--help"}, A::version, "", ""},
        {{"--export", "a.pdf", "--help"}, A::help, "", ""},
        {{"--export", "a.pdf", "in.mid"}, A::exportTape, "", ""},
        // The export reports its own wrong usage, with its usage line.
        {{"in.mid", "--export"}, A::exportTape, "", ""},
        {{"--export", "a.pdf", "--zoom", "in.mid"}, A::exportTape, "", ""},
        {{"--bogus"}, A::usageError, "", "unknown option --bogus"},
        {{"-x", "song.mid"}, A::usageError, "", "unknown option -x"},
        {{"song.mid", "--Help"}, A::usageError, "", "unknown option --Help"},
        // Two or more files open the last session's file, as the editor always did.
        {{"a.mid", "b.mid"}, A::edit, "", ""},
        {{"--", "a.mid", "b.mid"}, A::edit, "", ""},
        {{"--holes", "song.mid"}, A::usageError, "", "--holes works only with --export"},
        {{"--paper", "a4", "song.mid"}, A::usageError, "", "--paper works only with --export"},
        // A value is the option's, even one that looks like an option.
        {{"--instrument", "--version"}, A::usageError, "", "--instrument works only"},
        {{"--", "--export", "a.pdf"}, A::edit, "", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(joined(c.args));
        const CommandLine line = parse(c.args);
        EXPECT_EQ(int(line.action), int(c.action));
        EXPECT_EQ(line.file, c.file);
        if (c.action == A::usageError) {
            EXPECT_NE(line.error.find(c.error), std::string::npos) << line.error;
        } else {
            EXPECT_EQ(line.error, "");
        }
    }
}

TEST(CommandLine, HelpNamesEveryOptionAndVersionTheProgram) {
    const std::string help = commandLineHelp();
    EXPECT_EQ(help.rfind("Usage: tapeworks2", 0), 0u) << help;
    for (const char *option : {"--help", "--version", "--export OUT", "--instrument NAME",
                               "--ticks-per-frame N", "--paper a4|letter", "--holes", "  --  "}) {
        SCOPED_TRACE(option);
        EXPECT_NE(help.find(option), std::string::npos);
    }
    // Every option of the export's own usage line appears in the help.
    std::vector<char *> argv = argvOf({"--export"});
    std::ostringstream out, err;
    EXPECT_EQ(runExportCommand(int(argv.size()) - 1, argv.data(), out, err), exportExitUsage);
    std::istringstream usage(err.str().substr(err.str().find("usage:")));
    for (std::string word; usage >> word;) {
        const std::string::size_type dash = word.find("--");
        if (dash == std::string::npos)
            continue;
        const std::string option = word.substr(dash, word.find_first_of("] ", dash) - dash);
        EXPECT_NE(help.find("  " + option + " "), std::string::npos) << option;
    }
    std::istringstream lines(help); // a terminal's 80 columns hold every line
    for (std::string line; std::getline(lines, line);)
        EXPECT_LE(line.size(), 80u) << line;
    EXPECT_EQ(commandLineVersion(), std::string(identity::name) + " " + identity::version);
}

TEST(ExportCommand, FilesAfterTwoDashes) {
    const struct {
        std::vector<const char *> args;
        bool ok;
        const char *input;
    } cases[] = {
        {{"--export", "a.pdf", "--", "-in.mid"}, true, "-in.mid"},
        {{"--export", "a.pdf", "--", "--holes"}, true, "--holes"},
        {{"--export", "a.pdf", "-", "--holes"}, true, "-"},
        {{"--export", "a.pdf", "--", "a.mid", "b.mid"}, false, ""},
        {{"--", "--export", "a.pdf", "in.mid"}, false, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(joined(c.args));
        std::vector<char *> argv = argvOf(c.args);
        ExportRequest request;
        std::string error;
        EXPECT_EQ(parseExportArguments(int(argv.size()) - 1, argv.data(), request, error), c.ok)
            << error;
        if (c.ok) {
            EXPECT_EQ(request.input, c.input);
        }
    }
}
