#include "safefile/SafeFile.h"

#include "safefile/SafeFileParts.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tw {

namespace {

constexpr std::size_t bufferSize = std::size_t(1) << 16;

const char *kindOf(mode_t mode) {
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    if (S_ISFIFO(mode))
        return "a FIFO (named pipe)";
    if (S_ISSOCK(mode))
        return "a socket";
    return "not a regular file";
}

int64_t nowSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

SafeFile::SafeFile() = default;

SafeFile::~SafeFile() {
    abandon();
}

void SafeFile::closeTemp() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!tempName_.empty())
        ::unlink(tempName_.c_str());
    tempName_.clear();
}

void SafeFile::abandon() {
    closeTemp();
    buffer_.clear();
}

SafeFileStatus SafeFile::failure(int code, const std::string &message) {
    abandon();
    return {code, message};
}

SafeFileStatus SafeFile::describeWriteError(int error) const {
    const std::string tail = exists_ ? " The file is unchanged." : " Nothing was written.";
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return {errSafeFileNoSpace,
                "Cannot write " + path_ + ": there is no space left on the disk." + tail};
    case EFBIG:
        return {errSafeFileNoSpace, "Cannot write " + path_ +
                                        ": it would be larger than the largest file allowed "
                                        "here." +
                                        tail};
    case EROFS:
        return {errSafeFileNoPermission,
                "Cannot write " + path_ + ": the disk is read-only." + tail};
    case EACCES:
    case EPERM:
        return {errSafeFileNoPermission, "There is no permission to write " + path_ + "." + tail};
    default:
        return {errSafeFileWrite,
                "Cannot write " + path_ + ": " + std::strerror(error) + "." + tail};
    }
}

SafeFileStatus SafeFile::writeError(int error) {
    SafeFileStatus s = describeWriteError(error);
    abandon();
    return s;
}

SafeFileStatus SafeFile::writeFailure() const {
    return writeErrno_ == 0 ? SafeFileStatus() : describeWriteError(writeErrno_);
}

SafeFileStatus SafeFile::open(const std::string &path, const SafeFileOptions &options) {
    abandon();
    committed_ = false;
    exists_ = inPlace_ = false;
    writeErrno_ = 0;
    written_ = 0;
    hash_ = safefile::hashStart;
    path_ = path;
    target_.clear();
    if (path.empty())
        return failure(errSafeFileName, "No file name was given.");
    if (!safefile::resolveLinks(path, target_))
        return failure(errSafeFileName,
                       path + " is a loop of symbolic links; nothing was written.");

    struct stat st {};
    if (::lstat(target_.c_str(), &st) == 0) {
        exists_ = true;
    } else if (errno != ENOENT) {
        const int error = errno;
        if (error == EACCES)
            return failure(errSafeFileNoPermission,
                           "There is no permission to open a folder on the path of " + path + ".");
        if (error == ENOTDIR)
            return failure(errSafeFileName, "The folder of " + path + " does not exist.");
        return failure(errSafeFileWrite, "Cannot open " + path + ": " + std::strerror(error) + ".");
    }
    if (exists_) {
        if (!S_ISREG(st.st_mode))
            return failure(errSafeFileNotRegular, path + " is " + kindOf(st.st_mode) +
                                                      ", not a file to write; it is left as it "
                                                      "is.");
        const std::string role = safefile::inputRole(st.st_dev, st.st_ino);
        if (!role.empty() && role != options.ownInput)
            return failure(errSafeFileIsInput, path + " is the file being read (the " + role +
                                                   "); it is not overwritten.");
        if (::access(target_.c_str(), W_OK) != 0) {
            if (errno == EROFS)
                return failure(errSafeFileNoPermission,
                               "Cannot write " + path + ": the disk is read-only.");
            return failure(errSafeFileNoPermission,
                           "There is no permission to write " + path + "; it is left as it is.");
        }
        device_ = st.st_dev;
        inode_ = st.st_ino;
    }
    const std::string folder = safefile::folderOf(target_);
    struct stat folderStat {};
    if (::stat(folder.c_str(), &folderStat) != 0 || !S_ISDIR(folderStat.st_mode))
        return failure(errSafeFileName, "The folder " + folder + " does not exist.");

    inPlace_ = exists_ && (st.st_nlink > 1 || st.st_uid != ::geteuid() ||
                           ::access(folder.c_str(), W_OK | X_OK) != 0);
    if (!inPlace_) {
        safefile::TemporaryNames names(target_);
        names.removeStale();
        fd_ = safefile::createTemporary(folder, names, options.newFileMode, tempName_);
        if (fd_ < 0) {
            const int error = errno;
            if (error == EACCES || error == EPERM)
                return failure(errSafeFileNoPermission,
                               "There is no permission to create a file in " + folder + ".");
            return writeError(error);
        }
        if (exists_) {
            (void)::fchmod(fd_, st.st_mode & 07777);
            if (st.st_gid != ::getegid())
                (void)::fchown(fd_, uid_t(-1), st.st_gid);
        }
    } else {
        // The new content is staged where the kept copy will go, so that a failure while it is
        // made (a drawing error, a full disk) never touches the target.
        const std::string state = stateFolder();
        if (state.empty() || !makeStateFolder(state)) {
            const std::string why = state.empty()
                                        ? "no folder for it is known (HOME is not set)"
                                        : state + " cannot be made (" + std::strerror(errno) + ")";
            return failure(errSafeFileCannotKeep,
                           path +
                               " must be written in place, and its old content cannot be "
                               "kept first: " +
                               why + ". It is left as it is.");
        }
        safefile::TemporaryNames names(state + "/staging");
        names.removeStale();
        fd_ = safefile::createTemporary(state + "/", names, 0600, tempName_);
        if (fd_ < 0)
            return failure(errSafeFileCannotKeep,
                           path +
                               " must be written in place, and its new content cannot be "
                               "prepared in " +
                               state + ": " + std::strerror(errno) + ". It is left as it is.");
    }
    if (options.expectedSize > 0 && !safefile::roomFor(fd_, options.expectedSize, 0))
        return writeError(errno == 0 ? ENOSPC : errno);
    buffer_.reserve(bufferSize);
    return {};
}

bool SafeFile::flushBuffer() {
    if (writeErrno_ == 0 && fd_ >= 0 && !buffer_.empty()) {
        if (!safefile::writeAll(fd_, buffer_.data(), buffer_.size()))
            writeErrno_ = errno == 0 ? EIO : errno;
    }
    buffer_.clear();
    return writeErrno_ == 0 && fd_ >= 0;
}

bool SafeFile::write(const void *data, std::size_t length) {
    if (fd_ < 0)
        return false;
    if (writeErrno_ != 0)
        return false;
    const auto *p = static_cast<const unsigned char *>(data);
    if (inPlace_)
        hash_ = safefile::hashAdd(hash_, p, length);
    written_ += length;
    if (buffer_.size() + length > bufferSize && !flushBuffer())
        return false;
    if (length >= bufferSize) {
        if (!safefile::writeAll(fd_, p, length)) {
            writeErrno_ = errno == 0 ? EIO : errno;
            return false;
        }
        return true;
    }
    buffer_.insert(buffer_.end(), p, p + length);
    return true;
}

bool SafeFile::writeTo(void *closure, const void *data, std::size_t length) {
    return static_cast<SafeFile *>(closure)->write(data, length);
}

SafeFileStatus SafeFile::commit() {
    if (committed_)
        return {};
    if (fd_ < 0)
        return {errSafeFileAbandoned, "Nothing was written to " + path_ + "."};
    if (!flushBuffer())
        return writeError(writeErrno_);
    SafeFileStatus result = inPlace_ ? writeInPlace() : replaceTarget();
    abandon();
    committed_ = bool(result);
    return result;
}

SafeFileStatus SafeFile::replaceTarget() {
    if (::fsync(fd_) != 0)
        return writeError(errno);
    if (tempName_.empty()) {
        safefile::TemporaryNames names(target_);
        if (!safefile::linkUnnamed(fd_, names, tempName_))
            return writeError(errno);
    }
    // The target may have become something else meanwhile: that is still not replaced.
    struct stat st {};
    if (::lstat(target_.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        return failure(errSafeFileNotRegular, path_ + " is " + kindOf(st.st_mode) +
                                                  ", not a file to write; it is left "
                                                  "as it is.");
    if (::rename(tempName_.c_str(), target_.c_str()) != 0)
        return writeError(errno);
    tempName_.clear();
    safefile::syncFolder(safefile::folderOf(target_));
    return {};
}

SafeFileStatus SafeFile::writeInPlace() {
    const int target = ::open(target_.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (target < 0)
        return writeError(errno);
    struct CloseAtEnd {
        int fd;
        ~CloseAtEnd() { ::close(fd); }
    } closeTarget{target};
    struct stat st {};
    if (::fstat(target, &st) != 0 || !S_ISREG(st.st_mode) || st.st_dev != device_ ||
        st.st_ino != inode_)
        return failure(errSafeFileWrite,
                       path_ + " was replaced by another file while it was written; that one "
                               "is left as it is.");
    if (!safefile::roomFor(target, written_, st.st_blocks * 512))
        return writeError(errno == 0 ? ENOSPC : errno);

    // The old content goes to the state folder before the first byte of the target changes.
    safefile::KeptWriter kept;
    const std::string state = stateFolder();
    if (!kept.keep(state, target_, target, uint64_t(st.st_size), written_, hash_, nowSeconds())) {
        const int error = errno;
        const std::string why = error == ENOSPC || error == EDQUOT
                                    ? "there is no space left on the disk"
                                    : std::strerror(error);
        return failure(errSafeFileCannotKeep,
                       path_ +
                           " must be written in place, and its old content cannot be kept "
                           "in " +
                           state + " first: " + why + ". The file is unchanged.");
    }
    if (safefile::copyRange(fd_, 0, target, 0, written_) &&
        ::ftruncate(target, off_t(written_)) == 0 && ::fsync(target) == 0) {
        kept.remove();
        return {};
    }
    const int error = errno == 0 ? EIO : errno;
    // The old content goes back where the new one failed; the copy stays if that fails too.
    if (kept.restoreInto(target)) {
        kept.remove();
        return writeError(error);
    }
    const std::string copy = kept.path();
    kept.leave();
    return failure(error == ENOSPC || error == EDQUOT ? errSafeFileNoSpace : errSafeFileWrite,
                   "Cannot write " + path_ + ": " +
                       (error == ENOSPC || error == EDQUOT
                            ? std::string("no space left on the disk")
                            : std::string(std::strerror(error))) +
                       ". Its old content is kept in " + copy + " and offered at the next start.");
}

SafeFileStatus writeFileSafely(const std::string &path, const void *data, std::size_t length,
                               const SafeFileOptions &options) {
    SafeFileOptions sized = options;
    sized.expectedSize = length;
    SafeFile file;
    if (SafeFileStatus s = file.open(path, sized); !s)
        return s;
    file.write(data, length);
    return file.commit();
}

} // namespace tw
