#include "AtomicFileWriter.h"

#include "StreamErrors.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tarvolo::docstore {

namespace {

namespace fs = std::filesystem;

// The kernel follows at most this many links in one lookup; a longer chain is a loop to it.
constexpr int kMostLinks = 40;
// "." before the name and ".xxxxxxxx.part" after it.
constexpr std::size_t kTemporaryNameExtra = 1 + 14;

struct ResolvedTarget {
    fs::path path;
    bool exists = false;
    struct stat info {};
};

// Follows the chain of symbolic links that starts at target to the file it names, as open()
// would; relative links count from the folder of the link. A dangling link resolves to the name
// it holds, which the save then creates.
ResolvedTarget ResolveLinks(const std::string& target)
{
    ResolvedTarget resolved;
    resolved.path = target;
    for (int hops = 0;; ++hops) {
        if (::lstat(resolved.path.c_str(), &resolved.info) != 0) {
            if (errno != ENOENT)
                throw EFCreateError(target, SystemErrorText(errno));
            resolved.exists = false;
            return resolved;
        }
        if (!S_ISLNK(resolved.info.st_mode)) {
            resolved.exists = true;
            return resolved;
        }
        if (hops == kMostLinks)
            throw EFCreateError(target, SystemErrorText(ELOOP));
        std::error_code error;
        const fs::path link = fs::read_symlink(resolved.path, error);
        if (error)
            throw EFCreateError(target, SystemErrorText(error.value()));
        resolved.path = link.is_absolute() ? link : resolved.path.parent_path() / link;
    }
}

bool InCallerGroups(gid_t group)
{
    if (group == ::getegid())
        return true;
    const int count = ::getgroups(0, nullptr);
    if (count <= 0)
        return false;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    const int found = ::getgroups(count, groups.data());
    return found > 0 && std::find(groups.begin(), groups.begin() + found, group) != groups.begin() + found;
}

// 0 when the caller may write the existing file, else the errno that refuses it. Replacing a file
// needs only the folder's permission, so the file's own is checked here. Root passes access(),
// yet a file whose mode denies its class writing was marked read-only on purpose: the mode bits
// of the caller's class decide as well.
int WriteRefusal(const fs::path& path, const struct stat& info)
{
    if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0)
        return errno;
    mode_t allowed = S_IWOTH;
    if (info.st_uid == ::geteuid())
        allowed = S_IWUSR;
    else if (InCallerGroups(info.st_gid))
        allowed = S_IWGRP;
    return (info.st_mode & allowed) != 0 ? 0 : EACCES;
}

// As much of name as fits in room bytes, cut where a UTF-8 character begins.
std::string NamePrefix(const std::string& name, std::size_t room)
{
    if (name.size() <= room)
        return name;
    const auto continues = [&](std::size_t at) { return (static_cast<unsigned char>(name[at]) & 0xC0) == 0x80; };
    std::size_t cut = room;
    // A character is at most four bytes; a longer run is not UTF-8 and is cut where it stands.
    for (int back = 0; back < 3 && cut > 0 && continues(cut); ++back)
        --cut;
    if (continues(cut))
        cut = room;
    return name.substr(0, cut);
}

void SyncFolder(const fs::path& folder)
{
    // Makes the rename itself durable; a folder that cannot be synced leaves the save as it is.
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

AtomicFileWriter::AtomicFileWriter(std::string target) : target_(std::move(target))
{
    if (fs::path(target_).filename().empty())
        throw EFCreateError(target_, SystemErrorText(EISDIR));
    const ResolvedTarget resolved = ResolveLinks(target_);
    if (resolved.path.filename().empty())
        throw EFCreateError(target_, SystemErrorText(EISDIR));
    if (resolved.exists) {
        if (S_ISDIR(resolved.info.st_mode))
            throw EFCreateError(target_, SystemErrorText(EISDIR));
        // Renaming over a device or a FIFO would remove it rather than write to it.
        if (!S_ISREG(resolved.info.st_mode))
            throw EFCreateError(target_, "Not a regular file");
        if (const int refusal = WriteRefusal(resolved.path, resolved.info))
            throw EFCreateError(target_, SystemErrorText(refusal));
    }
    resolvedTarget_ = resolved.path.string();
    const fs::path folder = resolved.path.parent_path();
    // The temporary name must stay a legal name even when the target's name is as long as allowed.
    const std::string prefix = NamePrefix(resolved.path.filename().string(), NAME_MAX - kTemporaryNameExtra);

    std::mt19937 random(static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count() ^ ::getpid()));
    int lastError = EEXIST;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".%08x.part", static_cast<unsigned>(random()));
        const fs::path candidate = folder / ("." + prefix + suffix);
        // A new file gets the permissions an ordinary create would give it; a replaced one keeps its own.
        const int fd = ::open(candidate.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd >= 0) {
            temporaryPath_ = candidate.string();
            stream_ = std::make_unique<FileStream>(UniqueFd(fd), FileStream::Access::ReadWrite, target_);
            if (resolved.exists) {
                // Only root may give the file to another owner; anyone else keeps the file as theirs.
                if (::fchown(fd, resolved.info.st_uid, resolved.info.st_gid) != 0) {
                }
                ::fchmod(fd, resolved.info.st_mode & 07777);
            }
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
    if (::fsync(stream_->Descriptor()) != 0)
        throw EFCreateError(target_, SystemErrorText(errno));
    stream_.reset();
    if (::rename(temporaryPath_.c_str(), resolvedTarget_.c_str()) != 0)
        throw EFCreateError(target_, SystemErrorText(errno));
    committed_ = true;
    SyncFolder(fs::path(resolvedTarget_).parent_path());
}

} // namespace tarvolo::docstore
