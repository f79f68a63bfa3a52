#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace tarvolo::platform {

// The calls that put a file's bytes on the disk, as write(2) and fsync(2) make them: they give
// what those give and leave errno set the same way. path is the file being replaced. Empty ones
// are the system's own; a test puts in failing ones.
struct FileOutput {
    std::function<qint64(const QString& path, int fd, const char* data, qint64 size)> write;
    std::function<int(const QString& path, int fd)> sync;
};

// Writes bytes to a new file beside target and puts it in target's place only once every byte
// was written and synced, so that a failure (a full disk that write(2), fsync(2) or close(2)
// reports) leaves the old file as it was. An old file's permissions, and its owner where that may
// be given, carry over. target is the file's name as bytes; shown is what output is told. Gives 0,
// or the errno of what failed.
int ReplaceFileBytes(const QByteArray& target, const QByteArray& bytes, const FileOutput& output, const QString& shown);

} // namespace tarvolo::platform
