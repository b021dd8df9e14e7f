#include "render/ExportFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tw {

namespace {

std::string systemReason(const std::string &what, int error) {
    return what + ": " + std::strerror(error);
}

} // namespace

ExportFile::ExportFile(std::string target) : target_(std::move(target)) {}

ExportFile::~ExportFile() {
    if (fd_ >= 0)
        ::close(fd_);
    if (!temp_.empty())
        ::unlink(temp_.c_str());
}

ExportResult ExportFile::open() {
    const std::string::size_type slash = target_.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target_.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
    std::string pattern = folder + "." + base + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd_ = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd_ < 0)
        return {errExportCreate,
                systemReason("cannot create a file in " + (folder.empty() ? "." : folder), errno)};
    temp_ = name.data();
    // mkostemp makes the file private; an export is an ordinary file of the user.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    (void)::fchmod(fd_, 0666 & ~mask);
    return {};
}

bool ExportFile::write(const void *data, std::size_t length) {
    const char *p = static_cast<const char *>(data);
    while (length > 0 && errno_ == 0) {
        const ssize_t n = ::write(fd_, p, length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            errno_ = n < 0 ? errno : ENOSPC;
            break;
        }
        p += n;
        length -= std::size_t(n);
    }
    return errno_ == 0;
}

ExportResult ExportFile::commit() {
    if (errno_ != 0)
        return {errExportWrite, systemReason("cannot write " + target_, errno_)};
    if (::fsync(fd_) != 0)
        return {errExportWrite, systemReason("cannot write " + target_, errno)};
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0)
        return {errExportWrite, systemReason("cannot write " + target_, errno)};
    if (::rename(temp_.c_str(), target_.c_str()) != 0)
        return {errExportWrite, systemReason("cannot replace " + target_, errno)};
    temp_.clear();
    return {};
}

cairo_status_t ExportFile::cairoWrite(void *closure, const unsigned char *data, unsigned length) {
    return static_cast<ExportFile *>(closure)->write(data, length) ? CAIRO_STATUS_SUCCESS
                                                                   : CAIRO_STATUS_WRITE_ERROR;
}

} // namespace tw
