// Temporary folders for tests: a folder of its own that is removed with everything in it, and a
// HOME (with its XDG state folder) that points to one while it lives, so that the user's
// preferences and recovery files stay untouched.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace tw {

// The whole content of a file ("" when it cannot be read).
inline std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

inline void writeFile(const std::string &path, const std::string &content) {
    std::ofstream(path, std::ios::binary) << content;
}

class TempDir {
public:
    explicit TempDir(const char *prefix = "tw-test") {
        std::string pattern =
            (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()))
            path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::string &path() const { return path_; }
    // The path of a file in the folder.
    std::string path(const std::string &name) const { return path_ + "/" + name; }
    std::string file(const std::string &name) const { return path(name); }
    // Writes a file in the folder and returns its path.
    std::string write(const std::string &name, const std::string &content) const {
        std::ofstream(path(name), std::ios::binary) << content;
        return path(name);
    }
    std::string read(const std::string &name) const { return readFile(path(name)); }
    std::string operator/(const std::string &name) const { return path(name); }
    // The names of the files in the folder.
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto &entry : std::filesystem::directory_iterator(path_))
            out.push_back(entry.path().filename().string());
        return out;
    }

private:
    std::string path_;
};

class TempHome {
public:
    TempHome() : dir("tw-home") {
        remember("HOME", oldHome, hadHome);
        remember("XDG_STATE_HOME", oldState, hadState);
        ::setenv("HOME", dir.path().c_str(), 1);
        ::setenv("XDG_STATE_HOME", (dir.path() + "/.local/state").c_str(), 1);
    }
    ~TempHome() {
        restore("HOME", oldHome, hadHome);
        restore("XDG_STATE_HOME", oldState, hadState);
    }
    TempHome(const TempHome &) = delete;
    TempHome &operator=(const TempHome &) = delete;

    const std::string &path() const { return dir.path(); }
    // The file in which FLTK keeps the user preferences of vendor and application.
    std::string prefsFile(const char *vendor, const char *application) const {
        return dir.path() + "/.fltk/" + vendor + "/" + application + ".prefs";
    }

private:
    static void remember(const char *name, std::string &value, bool &had) {
        const char *old = std::getenv(name);
        had = old != nullptr;
        if (old)
            value = old;
    }
    static void restore(const char *name, const std::string &value, bool had) {
        if (had)
            ::setenv(name, value.c_str(), 1);
        else
            ::unsetenv(name);
    }

    TempDir dir;
    std::string oldHome, oldState;
    bool hadHome = false, hadState = false;
};

} // namespace tw
