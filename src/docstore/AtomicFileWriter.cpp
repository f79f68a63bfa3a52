#include "AtomicFileWriter.h"

#include "StreamErrors.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvolo::docstore {

AtomicFileWriter::AtomicFileWriter(std::string target) : target_(std::move(target))
{
    const std::filesystem::path targetPath(target_);
    if (targetPath.filename().empty())
        throw EFCreateError(target_, SystemErrorText(EISDIR));
    const std::filesystem::path folder = targetPath.parent_path();

    // A new file gets the permissions an ordinary create would give it; a replaced one keeps its own.
    mode_t mode = 0666;
    struct stat existing {};
    const bool replacing = ::stat(target_.c_str(), &existing) == 0;
    if (replacing && S_ISDIR(existing.st_mode))
        throw EFCreateError(target_, SystemErrorText(EISDIR));

    std::mt19937 random(static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count() ^ ::getpid()));
    int lastError = EEXIST;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".%08x.part", static_cast<unsigned>(random()));
        std::string name = ".";
        name += targetPath.filename().string();
        name += suffix;
        const std::filesystem::path candidate = folder / name;
        const int fd = ::open(candidate.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd >= 0) {
            temporaryPath_ = candidate.string();
            stream_ = std::make_unique<FileStream>(UniqueFd(fd), FileStream::Access::ReadWrite);
            if (replacing)
                ::fchmod(fd, existing.st_mode & 07777);
            return;
        }
        lastError = errno;
        if (lastError != EEXIST)
            break;
    }
    throw EFCreateError(target_, SystemErrorText(lastError));
}

AtomicFileWriter::~AtomicFileWriter()
{
    stream_.reset();
    if (!committed_ && !temporaryPath_.empty())
        ::unlink(temporaryPath_.c_str());
}

void AtomicFileWriter::Commit()
{
    try {
        stream_->Sync();
    } catch (const EWriteError&) {
        throw EFCreateError(target_, SystemErrorText(errno));
    }
    stream_.reset();
    if (::rename(temporaryPath_.c_str(), target_.c_str()) != 0)
        throw EFCreateError(target_, SystemErrorText(errno));
    committed_ = true;
}

} // namespace tarvolo::docstore
