#include "FileStream.h"

#include "MemoryStream.h"
#include "StreamErrors.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvolo::docstore {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = other.Release();
    }
    return *this;
}

UniqueFd::~UniqueFd()
{
    if (fd_ >= 0)
        ::close(fd_);
}

FileStream FileStream::OpenExisting(const std::string& path, Access access)
{
    // Without O_NONBLOCK a FIFO nobody writes to would hold the caller inside open(); the flag
    // is cleared again once the file is known to be a regular one.
    const int flags = (access == Access::ReadOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    const int fd = ::open(path.c_str(), flags);
    if (fd < 0)
        throw EFOpenError(path, SystemErrorText(errno));
    UniqueFd owned(fd);
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        throw EFOpenError(path, SystemErrorText(errno));
    if (S_ISDIR(info.st_mode))
        throw EFOpenError(path, SystemErrorText(EISDIR));
    if (!S_ISREG(info.st_mode))
        throw EFOpenError(path, "Not a regular file");
    const int status = ::fcntl(fd, F_GETFL);
    if (status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0)
        throw EFOpenError(path, SystemErrorText(errno));
    return FileStream(std::move(owned), access, path);
}

std::int64_t FileStream::ReadBytes(void* buffer, std::int64_t count)
{
    std::int64_t done = 0;
    auto* bytes = static_cast<char*>(buffer);
    while (done < count) {
        const ssize_t n = ::pread(fd_.Get(), bytes + done, static_cast<std::size_t>(count - done), position_ + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    position_ += done;
    return done;
}

std::int64_t FileStream::WriteBytes(const void* buffer, std::int64_t count)
{
    writeFailed_ = false;
    writeError_ = 0;
    if (access_ == Access::ReadOnly) {
        writeFailed_ = count > 0;
        writeError_ = writeFailed_ ? EBADF : 0;
        return 0;
    }
    std::int64_t done = 0;
    const auto* bytes = static_cast<const char*>(buffer);
    while (done < count) {
        const ssize_t n = ::pwrite(fd_.Get(), bytes + done, static_cast<std::size_t>(count - done), position_ + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // A full disk or a file size limit usually shows here, after a partial write.
            writeFailed_ = true;
            writeError_ = n < 0 ? errno : 0;
            break;
        }
        done += n;
    }
    position_ += done;
    return done;
}

std::string FileStream::WriteFailure() const
{
    if (!writeFailed_)
        return {};
    std::string reason;
    if (access_ == Access::ReadOnly)
        reason = "opened for reading only";
    else if (writeError_ != 0)
        reason = SystemErrorText(writeError_);
    if (path_.empty())
        return reason;
    return "cannot write " + QuotedPath(path_) + (reason.empty() ? "" : ": " + reason);
}

std::int64_t FileStream::SeekTo(std::int64_t offset, SeekOrigin origin)
{
    std::int64_t size = 0;
    if (origin == SeekOrigin::End) {
        struct stat info {};
        if (::fstat(fd_.Get(), &info) != 0)
            throw EReadError();
        size = info.st_size;
    }
    position_ = ResolveSeek(offset, origin, position_, size);
    return position_;
}

void FileStream::Sync()
{
    if (::fsync(fd_.Get()) != 0) {
        const std::string reason = SystemErrorText(errno);
        throw EWriteError(path_.empty() ? reason : "cannot write " + QuotedPath(path_) + ": " + reason);
    }
}

} // namespace tarvolo::docstore
