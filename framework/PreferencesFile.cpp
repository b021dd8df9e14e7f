#include "framework/PreferencesFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace tw {

namespace {

// A preferences file larger than this is not ours: FLTK's own files are a few kilobytes.
constexpr off_t preferencesSizeLimit = 16 * 1024 * 1024;

// The content of a regular file of at most preferencesSizeLimit bytes; false when there is
// none or it cannot be read (links are followed, a FIFO does not block).
bool readSmallFile(const std::string &path, std::string &out) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= preferencesSizeLimit;
    out.clear();
    char chunk[8192];
    while (ok) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        out.append(chunk, static_cast<size_t>(n));
        ok = out.size() <= static_cast<size_t>(preferencesSizeLimit);
    }
    ::close(fd);
    return ok;
}

bool writeWholeFile(const std::string &path, const std::string &content) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    return ::close(fd) == 0 && done == content.size();
}

std::string parentFolder(const std::string &path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

} // namespace

std::string userPreferencesPath(const char *vendor, const char *application) {
    std::string base = "/etc/fltk/";
    const char *home = std::getenv("HOME");
    if (home && *home) {
        base = home;
        if (base.back() != '/')
            base += '/';
        base += ".fltk/";
    }
    return base + (vendor ? vendor : "unknown") + "/" + (application ? application : "unknown") +
           ".prefs";
}

PreferencesFile::PreferencesFile(const std::string &realPath, const char *application)
    : realPath_(realPath) {
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string pattern = (runtime && *runtime == '/') ? runtime : "/tmp";
    pattern += "/tapeworks2-settings-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        stagingProblem_ = std::string("no staging folder in ") + parentFolder(pattern) + ": " +
                          std::strerror(errno);
        folder_ = parentFolder(realPath_);
        return;
    }
    folder_ = pattern;
    stagedFile_ = folder_ + "/" + (application ? application : "unknown") + ".prefs";
    std::string content;
    if (readSmallFile(realPath_, content)) {
        published_ = content;
        if (!writeWholeFile(stagedFile_, content)) {
            stagingProblem_ = "cannot copy " + realPath_ + " to " + folder_;
            std::error_code ignored;
            std::filesystem::remove_all(folder_, ignored);
            folder_ = parentFolder(realPath_);
            return;
        }
    }
    staged_ = true;
}

PreferencesFile::~PreferencesFile() {
    if (!staged_)
        return;
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

SafeFileStatus PreferencesFile::publish() {
    if (!staged_)
        return {};
    std::string content;
    if (!readSmallFile(stagedFile_, content))
        return {}; // FLTK has written nothing yet: there is nothing to keep
    if (content == published_)
        return {};
    std::error_code error;
    std::filesystem::create_directories(parentFolder(realPath_), error);
    SafeFileOptions options;
    options.newFileMode = 0644;
    SafeFileStatus status = writeFileSafely(realPath_, content.data(), content.size(), options);
    if (status)
        published_ = std::move(content);
    return status;
}

} // namespace tw
