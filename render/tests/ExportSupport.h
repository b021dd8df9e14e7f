// Melodies built in one line and shell commands for the export tests.
#pragma once

#include "render/TapeExport.h"
#include "testsupport/NoteMakers.h"
#include "testsupport/TempFiles.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace tw {

// What a shell command prints.
inline std::string run(const std::string &command) {
    std::string out;
    std::unique_ptr<FILE, int (*)(FILE *)> pipe(popen(command.c_str(), "r"), pclose);
    char buffer[512];
    while (pipe && fgets(buffer, sizeof buffer, pipe.get()))
        out += buffer;
    return out;
}

struct Melody : tw::ScoreModel {
    explicit Melody(const std::vector<TapeNote> &notes, unsigned ticksPerFrame = 8) {
        setTicksPerFrame(ticksPerFrame);
        setNotes(notes);
    }
};

} // namespace tw
