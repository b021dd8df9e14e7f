// The program's command line: "tapeworks2 [FILE.mid]" opens the editor, "--export" writes a tape
// without a window (ExportCommand.h), "--help" and "--version" print and end. Plain code: nothing
// here touches FLTK or X, so the answers come without a display.
#pragma once

#include <string>

namespace tw {

// Exit codes of the command line besides the export's own (ExportCommand.h).
constexpr int commandLineExitOk = 0;
constexpr int commandLineExitUsage = 2; // an unknown option, a missing or wrong value

enum class CommandAction {
    edit,       // open the editor, with `file` when one is given
    help,       // print commandLineHelp() and end
    version,    // print commandLineVersion() and end
    exportTape, // hand the arguments to runExportCommand
    usageError, // print `error` with the hint to --help and end with commandLineExitUsage
};

struct CommandLine {
    CommandAction action = CommandAction::edit;
    std::string file;  // edit: the file to open, empty for the last session's
    std::string error; // usageError: what is wrong, in words
};

// Reads the arguments after the program name. "--help" and "--version" win over everything else
// before a "--"; after "--" every argument is a file. The export's own options are checked by
// the export; without --export they are a usage error.
CommandLine parseCommandLine(int argc, char **argv);

// The text of --help: the usage of every option, the export's included, and the exit codes.
const char *commandLineHelp();
// The line of --version: the program's name and version.
std::string commandLineVersion();
// The line after a usage error that points to --help.
const char *commandLineHelpHint();

} // namespace tw
