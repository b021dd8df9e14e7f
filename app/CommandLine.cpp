#include "app/CommandLine.h"

#include "tw/Identity.h"

#include <cstring>

namespace tw {

namespace {

// The export's options that take a value; the export reads them, and they skip their value here.
bool exportOptionWithValue(const char *arg) {
    return std::strcmp(arg, "--export") == 0 || std::strcmp(arg, "--instrument") == 0 ||
           std::strcmp(arg, "--ticks-per-frame") == 0 || std::strcmp(arg, "--paper") == 0 ||
           std::strcmp(arg, "--max-rest") == 0;
}

bool isOption(const char *arg) {
    return arg[0] == '-' && arg[1] != '\0'; // "-" alone is a file name
}

} // namespace

CommandLine parseCommandLine(int argc, char **argv) {
    CommandLine line;
    bool exporting = false;
    bool filesOnly = false;
    int files = 0;
    std::string problem; // the first thing wrong for the editor; the export checks its own
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (filesOnly || !isOption(arg)) {
            // One file is opened; with two or more the editor reopens the last session's file,
            // as it always has.
            if (++files == 1)
                line.file = arg;
            continue;
        }
        if (std::strcmp(arg, "--") == 0) {
            filesOnly = true;
        } else if (std::strcmp(arg, "--help") == 0) {
            return CommandLine{CommandAction::help, "", ""};
        } else if (std::strcmp(arg, "--version") == 0) {
            return CommandLine{CommandAction::version, "", ""};
        } else if (exportOptionWithValue(arg)) {
            exporting = exporting || std::strcmp(arg, "--export") == 0;
            if (problem.empty() && std::strcmp(arg, "--export") != 0)
                problem = std::string(arg) + " works only with --export";
            ++i; // its value; a missing one is the export's to report
        } else if (std::strcmp(arg, "--holes") == 0 || std::strcmp(arg, "--cut") == 0) {
            if (problem.empty())
                problem = std::string(arg) + " works only with --export";
        } else if (problem.empty()) {
            problem = std::string("unknown option ") + arg;
        }
    }
    if (files > 1)
        line.file.clear();
    if (exporting) {
        line.action = CommandAction::exportTape;
        line.file.clear();
    } else if (!problem.empty()) {
        line.action = CommandAction::usageError;
        line.error = problem;
        line.file.clear();
    }
    return line;
}

const char *commandLineHelp() {
    return "Usage: tapeworks2 [FILE.mid]\n"
           "  or:  tapeworks2 --export OUT [EXPORT OPTION]... IN.mid\n"
           "Edit MIDI melodies note by note on a piano-roll score tape.\n"
           "\n"
           "Without --export the editor opens its window with FILE.mid, or with the file of\n"
           "the last session when no file or more than one is given. With --export it writes\n"
           "the tape of IN.mid to OUT without a window or an X server.\n"
           "\n"
           "Options:\n"
           "  --help                 print this help and exit\n"
           "  --version              print the program's name and version and exit\n"
           "  --export OUT           write the tape to OUT: a PDF, SVG, PNG or DXF file, as\n"
           "                         OUT's extension says; the options below go with it\n"
           "  --instrument NAME      the instrument of the tape: \"88-key Piano\",\n"
           "                         \"Deleika-26\", the name of a file from the instrument\n"
           "                         folders, or the path of a .instrument file\n"
           "  --ticks-per-frame N    the ticks of one frame (a second), 2 to 200, for\n"
           "                         reading IN.mid (default 8)\n"
           "  --paper a4|letter      the paper of a PDF, landscape (default a4)\n"
           "  --holes                round holes instead of bars on a true-scale tape\n"
           "  --cut                  with OUT.svg: the strip for a cutter (cut paths in red,\n"
           "                         marks in blue), as OUT.dxf always is\n"
           "  --max-rest SECONDS     shorten every longer rest to SECONDS (0.1 to 3600)\n"
           "  --                     every later argument is a file, even one that begins\n"
           "                         with -\n"
           "\n"
           "Exit status:\n"
           "  0   the editor ended, or the tape was written\n"
           "  1   the export could not read IN.mid or write OUT\n"
           "  2   wrong usage: an unknown option, a missing or wrong value\n";
}

std::string commandLineVersion() {
    return std::string(identity::name) + " " + identity::version;
}

const char *commandLineHelpHint() {
    return "Try 'tapeworks2 --help' for more information.";
}

} // namespace tw
