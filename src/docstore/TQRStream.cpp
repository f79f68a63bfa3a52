#include "TQRStream.h"

#include "StreamErrors.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvolo::docstore {

namespace {

std::string TemporaryFolder()
{
    const char* folder = std::getenv("TMPDIR");
    std::string path = (folder && *folder) ? folder : "/tmp";
    if (path.back() != '/')
        path += '/';
    return path;
}

} // namespace

std::shared_ptr<TQRStream> TQRStream::CreateInMemory(std::int64_t limit)
{
    std::shared_ptr<TQRStream> stream(new TQRStream);
    stream->MemoryBuffer_ = std::make_unique<MemoryStream>();
    stream->MemoryBacked_ = true;
    stream->SpillLimit_ = limit;
    return stream;
}

std::shared_ptr<TQRStream> TQRStream::OpenOnFile(const std::string& path)
{
    std::shared_ptr<TQRStream> stream(new TQRStream);
    stream->FileBacking_ = std::make_unique<FileStream>(FileStream::OpenExisting(path, FileStream::Access::ReadOnly));
    struct stat info {};
    if (::fstat(stream->FileDescriptor(), &info) != 0)
        throw EFOpenError(path, SystemErrorText(errno));
    // Absolute now, so that a later change of the working folder cannot make errors name another file.
    stream->sourcePath_ = ExpandedPath(path);
    stream->sourceVersion_ = {info.st_size, info.st_mtim.tv_sec, info.st_mtim.tv_nsec};
    return stream;
}

TQRStream::~TQRStream()
{
    std::lock_guard guard(StreamLock_);
    FileBacking_.reset();
    MemoryBuffer_.reset();
    if (!SpillFileName_.empty())
        ::unlink(SpillFileName_.c_str());
}

std::string TQRStream::MakeSpillFileName()
{
    const std::string folder = TemporaryFolder();
    // Like GetTempFileName: start from a clock-derived number and take the first free name.
    const auto seed = static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count() ^ ::getpid());
    int lastError = EEXIST;
    for (unsigned attempt = 0; attempt < 0x10000; ++attempt) {
        const unsigned number = (seed + attempt) & 0xFFFF;
        if (number == 0)
            continue;
        char name[16];
        std::snprintf(name, sizeof name, "QRP%04X.TMP", number);
        const std::string path = folder + name;
        const int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        lastError = errno;
        if (lastError != EEXIST)
            break;
    }
    throw EFCreateError(folder + "QRP????.TMP", SystemErrorText(lastError));
}

void TQRStream::Spill()
{
    const std::string name = MakeSpillFileName();
    const int fd = ::open(name.c_str(), O_RDWR | O_TRUNC | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        const int error = errno;
        ::unlink(name.c_str());
        throw EFCreateError(name, SystemErrorText(error));
    }
    auto file = std::make_unique<FileStream>(UniqueFd(fd), FileStream::Access::ReadWrite, name);
    const auto& data = MemoryBuffer_->Data();
    if (file->WriteBytes(data.data(), static_cast<std::int64_t>(data.size())) != static_cast<std::int64_t>(data.size())) {
        const int error = file->LastWriteError() ? file->LastWriteError() : ENOSPC;
        file.reset();
        ::unlink(name.c_str());
        throw EFCreateError(name, SystemErrorText(error));
    }
    file->SetPosition(MemoryBuffer_->Position());
    SpillFileName_ = name;
    FileBacking_ = std::move(file);
    MemoryBuffer_.reset();
    MemoryBacked_ = false;
}

std::int64_t TQRStream::ReadBytes(void* buffer, std::int64_t count)
{
    std::lock_guard guard(StreamLock_);
    return MemoryBacked_ ? MemoryBuffer_->ReadBytes(buffer, count) : FileBacking_->ReadBytes(buffer, count);
}

std::int64_t TQRStream::WriteBytes(const void* buffer, std::int64_t count)
{
    std::lock_guard guard(StreamLock_);
    if (!MemoryBacked_)
        return FileBacking_->WriteBytes(buffer, count);
    const std::int64_t written = MemoryBuffer_->WriteBytes(buffer, count);
    if (static_cast<std::int64_t>(MemoryBuffer_->Data().size()) > SpillLimit_)
        Spill();
    return written;
}

std::int64_t TQRStream::SeekTo(std::int64_t offset, SeekOrigin origin)
{
    std::lock_guard guard(StreamLock_);
    return MemoryBacked_ ? MemoryBuffer_->SeekTo(offset, origin) : FileBacking_->SeekTo(offset, origin);
}

std::string TQRStream::WriteFailure() const
{
    std::lock_guard guard(StreamLock_);
    return MemoryBacked_ ? MemoryBuffer_->WriteFailure() : FileBacking_->WriteFailure();
}

TQRStream::FileVersion TQRStream::SourceVersionNow() const
{
    struct stat info {};
    if (::fstat(FileBacking_->Descriptor(), &info) != 0)
        throw EReadError(QuotedPath(sourcePath_) + ": " + SystemErrorText(errno));
    return {info.st_size, info.st_mtim.tv_sec, info.st_mtim.tv_nsec};
}

void TQRStream::CheckSourceUnchanged() const
{
    const FileVersion now = SourceVersionNow();
    if (now == sourceVersion_)
        return;
    const std::string then = std::to_string(sourceVersion_.size) + " bytes";
    throw EReadError(QuotedPath(sourcePath_) + " changed after it was opened (" +
                     (now.size != sourceVersion_.size ? then + " then, " + std::to_string(now.size) + " now"
                                                      : then + " then and now, modified since") +
                     ")");
}

void TQRStream::CopyTo(ByteStream& destination)
{
    std::lock_guard guard(StreamLock_);
    // Another program may have cut or rewritten the opened file; a copy of that would pass for
    // the report that was loaded.
    const bool opened = !sourcePath_.empty();
    if (opened)
        CheckSourceUnchanged();
    SetPosition(0);
    std::vector<std::uint8_t> buffer(kCopyChunk);
    std::int64_t copied = 0;
    for (;;) {
        const std::int64_t n = ReadBytes(buffer.data(), kCopyChunk);
        if (n == 0)
            break;
        destination.WriteExact(buffer.data(), n);
        copied += n;
    }
    if (opened) {
        CheckSourceUnchanged();
        if (copied != sourceVersion_.size)
            throw EReadError(QuotedPath(sourcePath_) + " changed after it was opened (" +
                             std::to_string(sourceVersion_.size) + " bytes then, only " +
                             std::to_string(copied) + " could be read)");
    }
}

} // namespace tarvolo::docstore
