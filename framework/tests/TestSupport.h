#pragma once

#include <FL/Fl.H>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

namespace tw {

// A fresh directory under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tw-framework-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            dir = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!dir.empty())
            std::filesystem::remove_all(dir, ignored);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::string &path() const { return dir; }

private:
    std::string dir;
};

// Points HOME at a temporary folder while it lives, so the user's preferences stay untouched.
class TempHome {
public:
    TempHome() {
        const char *old = std::getenv("HOME");
        hadHome = old != nullptr;
        if (old)
            oldHome = old;
        ::setenv("HOME", dir.path().c_str(), 1);
    }
    ~TempHome() {
        if (hadHome)
            ::setenv("HOME", oldHome.c_str(), 1);
        else
            ::unsetenv("HOME");
    }
    const std::string &path() const { return dir.path(); }
    // The file in which FLTK keeps the user preferences of vendor and application.
    std::string prefsFile(const char *vendor, const char *application) const {
        return dir.path() + "/.fltk/" + vendor + "/" + application + ".prefs";
    }

private:
    TempDir dir;
    std::string oldHome;
    bool hadHome = false;
};

inline std::string readText(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
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
