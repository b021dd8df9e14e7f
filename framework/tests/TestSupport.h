#pragma once

#include "testsupport/TempFiles.h"

#include <FL/Fl.H>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

namespace tw {

inline std::string readText(const std::string &path) {
    return readFile(path);
}

inline void writeText(const std::string &path, const std::string &text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// Runs the FLTK loop until done() holds or the time is up; returns done().
inline bool pumpUntil(const std::function<bool()> &done, double seconds = 5.0) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        Fl::wait(0.02);
    }
    return true;
}

// Lets pending events through for a moment.
inline void pumpFor(double seconds) {
    pumpUntil([] { return false; }, seconds);
}

} // namespace tw
