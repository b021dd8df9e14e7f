// Kept copies left by in-place writes that were stopped: found, checked and put back.
#include "safefile/SafeFile.h"
#include "safefile/SafeFileParts.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tw {

using namespace safefile;

namespace {

bool endsWith(const std::string &s, const std::string &suffix) {
    return s.size() >= suffix.size() &&
           s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Whether the file at path holds exactly size bytes with the given hash: the write that the
// copy belongs to completed.
bool holds(const std::string &path, uint64_t size, uint64_t hash) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    bool same = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && uint64_t(st.st_size) == size;
    uint64_t h = hashStart;
    std::vector<unsigned char> buffer(std::size_t(1) << 20);
    while (same) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            same = false;
        if (n <= 0)
            break;
        h = hashAdd(h, buffer.data(), std::size_t(n));
    }
    ::close(fd);
    return same && h == hash;
}

} // namespace

KeptCopy::KeptCopy(KeptCopy &&other) noexcept
    : fd_(other.fd_), copyPath_(std::move(other.copyPath_)), target_(std::move(other.target_)),
      keptAt_(other.keptAt_), size_(other.size_), dataOffset_(other.dataOffset_) {
    other.fd_ = -1;
}

KeptCopy &KeptCopy::operator=(KeptCopy &&other) noexcept {
    if (this != &other) {
        keep();
        fd_ = other.fd_;
        copyPath_ = std::move(other.copyPath_);
        target_ = std::move(other.target_);
        keptAt_ = other.keptAt_;
        size_ = other.size_;
        dataOffset_ = other.dataOffset_;
        other.fd_ = -1;
    }
    return *this;
}

KeptCopy::~KeptCopy() {
    keep();
}

void KeptCopy::keep() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void KeptCopy::discard() {
    if (fd_ >= 0) {
        ::unlink(copyPath_.c_str());
        syncFolder(folderOf(copyPath_));
    }
    keep();
}

SafeFileStatus KeptCopy::putBack(const SafeFileOptions &options) {
    if (fd_ < 0)
        return {errSafeFileAbandoned, "The kept copy of " + target_ + " is no longer held."};
    SafeFile file;
    SafeFileOptions sized = options;
    sized.expectedSize = size_;
    if (SafeFileStatus s = file.open(target_, sized); !s)
        return s;
    std::vector<unsigned char> buffer(std::size_t(1) << 20);
    uint64_t offset = dataOffset_, left = size_;
    while (left > 0) {
        const ssize_t n =
            ::pread(fd_, buffer.data(), std::size_t(std::min<uint64_t>(left, buffer.size())),
                    off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return {errSafeFileWrite, "The kept copy " + copyPath_ + " cannot be read."};
        if (!file.write(buffer.data(), std::size_t(n)))
            break;
        offset += uint64_t(n);
        left -= uint64_t(n);
    }
    SafeFileStatus s = file.commit();
    if (s)
        discard();
    return s;
}

std::vector<KeptCopy> claimKeptCopies(const std::string &folder,
                                      std::vector<std::string> *unreadable) {
    std::vector<KeptCopy> found;
    DIR *dir = folder.empty() ? nullptr : ::opendir(folder.c_str());
    if (!dir)
        return found;
    std::vector<std::string> names;
    while (const dirent *entry = ::readdir(dir))
        if (endsWith(entry->d_name, keptSuffix))
            names.emplace_back(entry->d_name);
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string &name : names) {
        const std::string path = folder + "/" + name;
        const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            if (errno != ENOENT && unreadable)
                unreadable->push_back(path);
            continue;
        }
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            if (unreadable)
                unreadable->push_back(path);
            continue;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd); // a write under way holds it
            continue;
        }
        KeptHeader header;
        if (!readKeptHeader(fd, header)) {
            ::close(fd);
            if (unreadable)
                unreadable->push_back(path);
            continue;
        }
        KeptCopy copy;
        copy.fd_ = fd;
        copy.copyPath_ = path;
        copy.target_ = header.target;
        copy.keptAt_ = header.keptAt;
        copy.size_ = header.oldSize;
        copy.dataOffset_ = header.dataOffset;
        if (holds(header.target, header.newSize, header.newHash)) {
            copy.discard(); // stopped after the new content was complete
            continue;
        }
        found.push_back(std::move(copy));
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const KeptCopy &a, const KeptCopy &b) { return a.keptAt() < b.keptAt(); });
    return found;
}

} // namespace tw
