#include "safefile/SafeFileParts.h"

#include "safefile/SafeFile.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <type_traits>
#include <unistd.h>
#include <utility>
#include <vector>

namespace tw {

namespace safefile {

uint64_t hashAdd(uint64_t hash, const unsigned char *p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        hash ^= p[i];
        hash *= 1099511628211ull;
    }
    return hash;
}

std::string folderOf(const std::string &path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

bool resolveLinks(const std::string &path, std::string &target) {
    target = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return true;
        std::string link(std::size_t(std::max<off_t>(st.st_size, 0)) + 4096, '\0');
        const ssize_t n = ::readlink(target.c_str(), link.data(), link.size());
        if (n <= 0 || std::size_t(n) == link.size())
            return false;
        link.resize(std::size_t(n));
        target = link[0] == '/'
                     ? link
                     : (target.find('/') == std::string::npos ? link : folderOf(target) + link);
    }
    return false;
}

bool writeAll(int fd, const void *data, std::size_t n) {
    const auto *p = static_cast<const unsigned char *>(data);
    while (n > 0) {
        const ssize_t done = ::write(fd, p, n);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0) {
            if (done == 0)
                errno = ENOSPC;
            return false;
        }
        p += done;
        n -= std::size_t(done);
    }
    return true;
}

bool copyRange(int from, uint64_t fromOffset, int to, uint64_t toOffset, uint64_t length) {
    std::vector<unsigned char> buffer(std::size_t(1) << 20);
    while (length > 0) {
        const std::size_t chunk = std::size_t(std::min<uint64_t>(length, buffer.size()));
        const ssize_t n = ::pread(from, buffer.data(), chunk, off_t(fromOffset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO; // the source is shorter than it was
            return false;
        }
        std::size_t done = 0;
        while (done < std::size_t(n)) {
            const ssize_t w =
                ::pwrite(to, buffer.data() + done, std::size_t(n) - done, off_t(toOffset + done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0) {
                if (w == 0)
                    errno = ENOSPC;
                return false;
            }
            done += std::size_t(w);
        }
        fromOffset += uint64_t(n);
        toOffset += uint64_t(n);
        length -= uint64_t(n);
    }
    return true;
}

bool roomFor(int fd, uint64_t bytes, uint64_t heldBytes) {
    errno = 0;
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        bytes > uint64_t(limit.rlim_cur)) {
        errno = EFBIG;
        return false;
    }
    if (bytes == 0 || ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, off_t(bytes)) == 0)
        return true;
    if (errno != EOPNOTSUPP && errno != ENOSYS)
        return false; // no space, over quota, or beyond the file system's largest file
    struct statvfs fs {};
    if (::fstatvfs(fd, &fs) != 0)
        return true; // nothing known: the writes will tell
    const uint64_t free = uint64_t(fs.f_bavail) * fs.f_frsize;
    if (bytes <= heldBytes || bytes - heldBytes + 65536 <= free)
        return true;
    errno = ENOSPC;
    return false;
}

void syncFolder(const std::string &folder) {
    const int fd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// ---- The input registry ----

namespace {

// An input is held open while it is registered, so that its inode cannot pass to a new file
// once the input is deleted: the device and inode keep naming the input and nothing else.
struct Identity {
    dev_t device = 0;
    ino_t inode = 0;
    int fd = -1;

    Identity() = default;
    Identity(dev_t d, ino_t i, int f) : device(d), inode(i), fd(f) {}
    Identity(Identity &&other) noexcept : device(other.device), inode(other.inode), fd(other.fd) {
        other.fd = -1;
    }
    Identity &operator=(Identity &&other) noexcept {
        if (this != &other) {
            if (fd >= 0)
                ::close(fd);
            device = other.device;
            inode = other.inode;
            fd = other.fd;
            other.fd = -1;
        }
        return *this;
    }
    ~Identity() {
        if (fd >= 0)
            ::close(fd);
    }
};

std::mutex registryMutex;
std::map<std::string, Identity> &registry() {
    static std::map<std::string, Identity> inputs;
    return inputs;
}

bool lockedByWrite(const std::string &path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno != ENOENT; // not a file this process may judge: kept
    struct stat st {};
    const bool locked =
        ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return locked;
}

} // namespace

std::string inputRole(dev_t device, ino_t inode) {
    std::lock_guard<std::mutex> hold(registryMutex);
    for (const auto &[role, id] : registry())
        if (id.device == device && id.inode == inode)
            return role;
    return "";
}

// ---- Temporary files ----

TemporaryNames::TemporaryNames(const std::string &target)
    : folder_(folderOf(target)),
      prefix_("." +
              target.substr(target.rfind('/') == std::string::npos ? 0 : target.rfind('/') + 1) +
              ".tmp") {}

std::string TemporaryNames::next() {
    static std::atomic<unsigned> counter{0};
    char suffix[48];
    std::snprintf(suffix, sizeof(suffix), "%ld-%u", long(::getpid()), counter++);
    return folder_ + prefix_ + suffix;
}

bool TemporaryNames::parse(const char *name, long &pid) const {
    if (std::strncmp(name, prefix_.c_str(), prefix_.size()) != 0)
        return false;
    const char *p = name + prefix_.size();
    char *end = nullptr;
    errno = 0;
    pid = std::strtol(p, &end, 10);
    if (!std::isdigit(static_cast<unsigned char>(*p)) || *end != '-' || errno != 0 || pid <= 0)
        return false;
    p = end + 1;
    std::strtoul(p, &end, 10);
    return std::isdigit(static_cast<unsigned char>(*p)) && *end == '\0';
}

void TemporaryNames::removeStale() const {
    DIR *dir = ::opendir(folder_.c_str());
    if (!dir)
        return;
    while (const dirent *entry = ::readdir(dir)) {
        long pid = 0;
        if (!parse(entry->d_name, pid))
            continue;
        const std::string path = folder_ + entry->d_name;
        bool stale;
        if (pid == long(::getpid()))
            stale = !lockedByWrite(path);
        else
            stale = ::kill(pid_t(pid), 0) != 0 && errno == ESRCH && !lockedByWrite(path);
        if (stale)
            ::unlink(path.c_str());
    }
    ::closedir(dir);
}

namespace {

int createNamed(TemporaryNames &names, mode_t mode, std::string &name) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = names.next();
        const int fd =
            ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd >= 0) {
            (void)::flock(fd, LOCK_EX | LOCK_NB);
            name = candidate;
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    return -1;
}

} // namespace

int createTemporary(const std::string &folder, TemporaryNames &names, mode_t mode,
                    std::string &name) {
    name.clear();
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
    if (fd >= 0)
        return fd;
    if (errno == EACCES || errno == EPERM || errno == EROFS || errno == ENOENT ||
        errno == ENOTDIR || errno == ENOSPC || errno == EDQUOT)
        return -1; // a named file would fail alike
    return createNamed(names, mode, name);
}

bool linkUnnamed(int &fd, TemporaryNames &names, std::string &name) {
    char proc[64];
    std::snprintf(proc, sizeof(proc), "/proc/self/fd/%d", fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = names.next();
        if (::linkat(fd, "", AT_FDCWD, candidate.c_str(), AT_EMPTY_PATH) == 0 ||
            ::linkat(AT_FDCWD, proc, AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            name = candidate;
            return true;
        }
        if (errno != EEXIST)
            break;
    }
    // No way to name it: its content goes into a named file.
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return false;
    std::string named;
    const int copy = createNamed(names, st.st_mode & 07777, named);
    if (copy < 0)
        return false;
    if (!copyRange(fd, 0, copy, 0, uint64_t(st.st_size)) || ::fsync(copy) != 0) {
        const int error = errno;
        ::close(copy);
        ::unlink(named.c_str());
        errno = error;
        return false;
    }
    ::close(fd);
    fd = copy;
    name = named;
    return true;
}

// ---- Kept copies ----

std::string keptHeaderText(const KeptHeader &h) {
    return "Tapeworks2 kept copy 1\ntarget " + std::to_string(h.target.size()) + "\n" + h.target +
           "\nkept " + std::to_string(h.keptAt) + "\nold-size " + std::to_string(h.oldSize) +
           "\nnew-size " + std::to_string(h.newSize) + "\nnew-hash " + std::to_string(h.newHash) +
           "\ndata\n";
}

bool readKeptHeader(int fd, KeptHeader &h) {
    char buffer[8192];
    ssize_t n;
    do
        n = ::pread(fd, buffer, sizeof(buffer), 0);
    while (n < 0 && errno == EINTR);
    if (n <= 0)
        return false;
    const std::string text(buffer, std::size_t(n));
    std::size_t pos = 0;
    auto literal = [&](const char *word) {
        const std::size_t len = std::strlen(word);
        if (text.compare(pos, len, word) != 0)
            return false;
        pos += len;
        return true;
    };
    auto number = [&](auto &value) {
        std::size_t end = pos;
        while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])))
            ++end;
        if (end == pos || end - pos > 20)
            return false;
        errno = 0;
        const unsigned long long v = std::strtoull(text.c_str() + pos, nullptr, 10);
        if (errno != 0)
            return false;
        value = static_cast<std::remove_reference_t<decltype(value)>>(v);
        pos = end;
        return true;
    };
    std::size_t nameSize = 0;
    if (!literal("Tapeworks2 kept copy 1\ntarget ") || !number(nameSize) || !literal("\n") ||
        nameSize == 0 || nameSize > 4096 || pos + nameSize > text.size())
        return false;
    h.target = text.substr(pos, nameSize);
    pos += nameSize;
    if (!literal("\nkept ") || !number(h.keptAt) || !literal("\nold-size ") || !number(h.oldSize) ||
        !literal("\nnew-size ") || !number(h.newSize) || !literal("\nnew-hash ") ||
        !number(h.newHash) || !literal("\ndata\n"))
        return false;
    h.dataOffset = pos;
    struct stat st {};
    return h.target[0] == '/' && ::fstat(fd, &st) == 0 &&
           uint64_t(st.st_size) == h.dataOffset + h.oldSize;
}

KeptWriter::~KeptWriter() {
    leave();
}

bool KeptWriter::keep(const std::string &stateFolder, const std::string &target, int targetFd,
                      uint64_t oldSize, uint64_t newSize, uint64_t newHash, int64_t now) {
    TemporaryNames names(stateFolder + "/kept");
    names.removeStale();
    std::string temp;
    fd_ = createTemporary(stateFolder + "/", names, 0600, temp);
    if (fd_ < 0)
        return false;
    KeptHeader h;
    const std::size_t slash = target.rfind('/');
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    char absolute[PATH_MAX];
    h.target = target[0] == '/' || !::realpath(folderOf(target).c_str(), absolute)
                   ? target
                   : std::string(absolute) + "/" + base;
    h.keptAt = now;
    h.oldSize = oldSize;
    h.newSize = newSize;
    h.newHash = newHash;
    const std::string header = keptHeaderText(h);
    dataOffset_ = header.size();
    oldSize_ = oldSize;
    bool ok = writeAll(fd_, header.data(), header.size()) &&
              copyRange(targetFd, 0, fd_, dataOffset_, oldSize) && ::fsync(fd_) == 0 &&
              ::flock(fd_, LOCK_EX | LOCK_NB) == 0;
    // Into place under a name of its own: linked, never renamed over another copy.
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; ok && attempt < 100; ++attempt) {
        const std::string name = stateFolder + "/kept-" + std::to_string(::getpid()) + "-" +
                                 std::to_string(now) + "-" + std::to_string(counter++) + keptSuffix;
        bool linked;
        if (temp.empty()) {
            char proc[64];
            std::snprintf(proc, sizeof(proc), "/proc/self/fd/%d", fd_);
            linked = ::linkat(fd_, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0 ||
                     ::linkat(AT_FDCWD, proc, AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
        } else {
            linked = ::link(temp.c_str(), name.c_str()) == 0;
        }
        if (linked) {
            path_ = name;
            break;
        }
        if (errno != EEXIST)
            ok = false;
    }
    const int error = errno;
    if (!temp.empty())
        ::unlink(temp.c_str());
    if (!ok || path_.empty()) {
        ::close(fd_);
        fd_ = -1;
        errno = error == 0 ? EIO : error;
        return false;
    }
    syncFolder(stateFolder);
    return true;
}

bool KeptWriter::restoreInto(int targetFd) {
    return fd_ >= 0 && copyRange(fd_, dataOffset_, targetFd, 0, oldSize_) &&
           ::ftruncate(targetFd, off_t(oldSize_)) == 0 && ::fsync(targetFd) == 0;
}

void KeptWriter::remove() {
    if (fd_ >= 0 && !path_.empty()) {
        ::unlink(path_.c_str());
        syncFolder(folderOf(path_));
    }
    path_.clear();
    leave();
}

void KeptWriter::leave() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

} // namespace safefile

using namespace safefile;

void setInputFile(const std::string &role, const std::string &path) {
    struct stat st {};
    int fd = path.empty() ? -1 : ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0 && ::fstat(fd, &st) != 0) {
        ::close(fd);
        fd = -1;
    }
    // A file that cannot be opened (no read permission) is still known by its inode.
    const bool found = fd >= 0 || (!path.empty() && ::stat(path.c_str(), &st) == 0);
    std::lock_guard<std::mutex> hold(registryMutex);
    if (found)
        registry()[role] = Identity(st.st_dev, st.st_ino, fd);
    else
        registry().erase(role);
}

void clearInputFiles() {
    std::lock_guard<std::mutex> hold(registryMutex);
    registry().clear();
}

std::string inputRoleOf(const std::string &path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? inputRole(st.st_dev, st.st_ino) : std::string();
}

std::string stateFolder() {
    const char *state = std::getenv("XDG_STATE_HOME");
    if (state && state[0] == '/')
        return std::string(state) + "/tapeworks2";
    const char *home = std::getenv("HOME");
    if (home && home[0] == '/')
        return std::string(home) + "/.local/state/tapeworks2";
    return "";
}

bool makeStateFolder(const std::string &folder) {
    // Each missing parent is made in turn (only the last one is private to this user).
    for (std::size_t pos = 1; pos <= folder.size(); ++pos) {
        if (pos != folder.size() && folder[pos] != '/')
            continue;
        const std::string part = folder.substr(0, pos);
        if (::mkdir(part.c_str(), pos == folder.size() ? 0700 : 0755) != 0 && errno != EEXIST)
            return false;
    }
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0)
        return false;
    if (!S_ISDIR(st.st_mode)) {
        errno = ENOTDIR;
        return false;
    }
    return true;
}

} // namespace tw
