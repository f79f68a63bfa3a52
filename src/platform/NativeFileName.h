#pragma once

#include <QByteArray>
#include <QString>

namespace tarvolo::platform {

// A file name is whatever bytes the file system holds; most are UTF-8, but not all. Qt decodes
// the others with replacement characters, after which the file cannot be opened. These two keep
// every name: a byte that is not part of valid UTF-8 becomes the lone surrogate U+DC80 + (byte -
// 0x80), which no decoded UTF-8 yields, and goes back to that byte. For valid UTF-8 they give what
// QFile::decodeName and QFile::encodeName give.
QString FileNameFromNative(const QByteArray& bytes);
QByteArray NativeFileName(const QString& name);

} // namespace tarvolo::platform
