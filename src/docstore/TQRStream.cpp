#include "TQRStream.h"

#include "StreamErrors.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
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
    stream->MemoryBuffer = std::make_unique<MemoryStream>();
    stream->MemoryBacked = true;
    stream->SpillLimit = limit;
    return stream;
}

std::shared_ptr<TQRStream> TQRStream::OpenOnFile(const std::string& path)
{
    std::shared_ptr<TQRStream> stream(new TQRStream);
    stream->FileBacking = std::make_unique<FileStream>(FileStream::OpenExisting(path, FileStream::Access::ReadOnly));
    return stream;
}

TQRStream::~TQRStream()
{
    std::lock_guard guard(StreamLock);
    FileBacking.reset();
    MemoryBuffer.reset();
    if (!SpillFileName.empty())
        ::unlink(SpillFileName.c_str());
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
    auto file = std::make_unique<FileStream>(UniqueFd(fd), FileStream::Access::ReadWrite);
    const auto& data = MemoryBuffer->Data();
    if (file->WriteBytes(data.data(), static_cast<std::int64_t>(data.size())) != static_cast<std::int64_t>(data.size())) {
        const int error = errno ? errno : ENOSPC;
        file.reset();
        ::unlink(name.c_str());
        throw EFCreateError(name, SystemErrorText(error));
    }
    file->SetPosition(MemoryBuffer->Position());
    SpillFileName = name;
    FileBacking = std::move(file);
    MemoryBuffer.reset();
    MemoryBacked = false;
}

std::int64_t TQRStream::ReadBytes(void* buffer, std::int64_t count)
{
    std::lock_guard guard(StreamLock);
    return MemoryBacked ? MemoryBuffer->ReadBytes(buffer, count) : FileBacking->ReadBytes(buffer, count);
}

std::int64_t TQRStream::WriteBytes(const void* buffer, std::int64_t count)
{
    std::lock_guard guard(StreamLock);
    if (!MemoryBacked)
        return FileBacking->WriteBytes(buffer, count);
    const std::int64_t written = MemoryBuffer->WriteBytes(buffer, count);
    if (static_cast<std::int64_t>(MemoryBuffer->Data().size()) > SpillLimit)
        Spill();
    return written;
}

std::int64_t TQRStream::SeekTo(std::int64_t offset, SeekOrigin origin)
{
    std::lock_guard guard(StreamLock);
    return MemoryBacked ? MemoryBuffer->SeekTo(offset, origin) : FileBacking->SeekTo(offset, origin);
}

void TQRStream::CopyTo(ByteStream& destination)
{
    std::lock_guard guard(StreamLock);
    SetPosition(0);
    std::vector<std::uint8_t> buffer(kCopyChunk);
    for (;;) {
        const std::int64_t n = ReadBytes(buffer.data(), kCopyChunk);
        if (n == 0)
            break;
        destination.WriteExact(buffer.data(), n);
    }
}

} // namespace tarvolo::docstore
