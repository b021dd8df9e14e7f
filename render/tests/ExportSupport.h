// A private folder for the export tests, and melodies built in one line.
#pragma once

#include "render/TapeExport.h"
#include "testsupport/NoteMakers.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace tw {

struct TempFolder {
    std::string path;
    TempFolder() {
        std::string pattern = std::filesystem::temp_directory_path().string() + "/tw-export-XXXXXX";
        if (char *made = ::mkdtemp(pattern.data()))
            path = made;
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string operator/(const std::string &name) const { return path + "/" + name; }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto &entry : std::filesystem::directory_iterator(path))
            out.push_back(entry.path().filename().string());
        return out;
    }
};

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
