#include "FileReplacement.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvolo::platform {

int ReplaceFileBytes(const QByteArray& target, const QByteArray& bytes, const FileOutput& output, const QString& shown)
{
    const auto write = [&](int fd, const char* data, qint64 size) {
        return output.write ? output.write(shown, fd, data, size) : static_cast<qint64>(::write(fd, data, static_cast<size_t>(size)));
    };
    const auto sync = [&](int fd) { return output.sync ? output.sync(shown, fd) : ::fsync(fd); };

    struct stat old;
    const bool hadOld = ::stat(target.constData(), &old) == 0;
    const qsizetype slash = target.lastIndexOf('/');
    QByteArray temporary = target.left(slash + 1) + '.' + target.mid(slash + 1) + ".XXXXXX";
    int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return errno;
    const auto fail = [&](int error) {
        if (fd >= 0)
            ::close(fd);
        ::unlink(temporary.constData());
        return error;
    };
    if (hadOld) {
        if (::fchmod(fd, old.st_mode & 07777) != 0)
            return fail(errno);
        // Only root may give the file away (a start under sudo); anyone else owns it anyway.
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
            [[maybe_unused]] const int given = ::fchown(fd, old.st_uid, old.st_gid);
        }
    }
    for (qint64 done = 0; done < bytes.size();) {
        const qint64 written = write(fd, bytes.constData() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return fail(written < 0 ? errno : ENOSPC);
        done += written;
    }
    if (sync(fd) != 0)
        return fail(errno);
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0)
        return fail(errno);
    if (::rename(temporary.constData(), target.constData()) != 0)
        return fail(errno);
    return 0;
}

} // namespace tarvolo::platform
