#pragma once

#include "ByteStream.h"

#include <string>
#include <utility>

namespace tarvolo::docstore {

// A file descriptor that closes itself.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd();

    int Get() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }
    int Release() { return std::exchange(fd_, -1); }

private:
    int fd_ = -1;
};

// A byte stream over an open file. A read-only stream reports 0 bytes for every write.
class FileStream : public ByteStream {
public:
    enum class Access { ReadOnly, ReadWrite };

    // path, when given, is the name write failures report for this file.
    FileStream(UniqueFd fd, Access access, std::string path = {})
        : fd_(std::move(fd)), access_(access), path_(std::move(path))
    {
    }

    // Opens an existing regular file; fails with "Cannot open file" at once for anything else
    // (a directory, a device, a FIFO without a writer), without waiting on it.
    static FileStream OpenExisting(const std::string& path, Access access);

    std::int64_t ReadBytes(void* buffer, std::int64_t count) override;
    std::int64_t WriteBytes(const void* buffer, std::int64_t count) override;
    std::int64_t SeekTo(std::int64_t offset, SeekOrigin origin) override;
    // "cannot write "<path>": <system reason>" after a short write; the reason alone when the
    // path is not known.
    std::string WriteFailure() const override;

    int Descriptor() const { return fd_.Get(); }
    const std::string& Path() const { return path_; }
    // The errno of the last write when it came up short, else 0.
    int LastWriteError() const { return writeError_; }
    // Forces written data to the disk; fails with "Stream write error".
    void Sync();

private:
    UniqueFd fd_;
    Access access_;
    std::string path_;
    std::int64_t position_ = 0;
    bool writeFailed_ = false;
    int writeError_ = 0;
};

} // namespace tarvolo::docstore
