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
    const int flags = (access == Access::ReadOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC;
    const int fd = ::open(path.c_str(), flags);
    if (fd < 0)
        throw EFOpenError(path, SystemErrorText(errno));
    UniqueFd owned(fd);
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        throw EFOpenError(path, SystemErrorText(errno));
    if (S_ISDIR(info.st_mode))
        throw EFOpenError(path, SystemErrorText(EISDIR));
    return FileStream(std::move(owned), access);
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
    if (access_ == Access::ReadOnly)
        return 0;
    std::int64_t done = 0;
    const auto* bytes = static_cast<const char*>(buffer);
    while (done < count) {
        const ssize_t n = ::pwrite(fd_.Get(), bytes + done, static_cast<std::size_t>(count - done), position_ + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    position_ += done;
    return done;
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
    if (::fsync(fd_.Get()) != 0)
        throw EWriteError();
}

} // namespace tarvolo::docstore
