// File names as the file system holds them: any bytes, UTF-8 or not.

#include "platform/NativeFileName.h"
#include "support/TestSupport.h"

#include <QFile>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

using namespace tarvolo;
using platform::FileNameFromNative;
using platform::NativeFileName;

namespace {

// Names whose bytes are not UTF-8, each of a kind a decoder may take for something else.
const std::vector<QByteArray> kNotUtf8 = {
    "relat\xff\xfe.qrp",          // bytes that never start a sequence
    "caf\xe9.qrp",                 // Latin-1
    "cut\xc3",                     // a sequence cut short at the end
    "cut\xe2\x82 short",           // ... and in the middle
    "overlong\xc0\xaf",            // "/" written long
    "surrogate\xed\xa0\x80",       // an encoded high surrogate
    "escape-like\xed\xb3\xbf",     // the encoded U+DCFF that stands for the byte 0xFF
    "beyond\xf4\x90\x80\x80",      // past U+10FFFF
    "\x80\xbf",                    // continuation bytes alone
    "replacement\xef\xbf\xbd",     // valid: the replacement character itself
};

} // namespace

TEST(NativeFileNameTest, EveryNameComesBackAsTheBytesItWas)
{
    std::vector<QByteArray> names = kNotUtf8;
    for (int byte = 1; byte < 256; ++byte)
        names.push_back(QByteArray(1, static_cast<char>(byte)));
    for (const QByteArray& bytes : names)
        EXPECT_EQ(NativeFileName(FileNameFromNative(bytes)), bytes) << bytes.toHex().constData();
}

TEST(NativeFileNameTest, DifferentBytesAreDifferentNames)
{
    // In particular a byte that is not UTF-8 reads neither as the replacement character nor as
    // the encoded surrogate that stands for it.
    for (std::size_t i = 0; i < kNotUtf8.size(); ++i)
        for (std::size_t j = i + 1; j < kNotUtf8.size(); ++j)
            EXPECT_NE(FileNameFromNative(kNotUtf8[i]), FileNameFromNative(kNotUtf8[j]))
                << kNotUtf8[i].toHex().constData() << " " << kNotUtf8[j].toHex().constData();
    EXPECT_NE(FileNameFromNative("\xff"), FileNameFromNative("\xef\xbf\xbd"));
}

TEST(NativeFileNameTest, Utf8NamesAreWhatQtMakesOfThem)
{
    for (const QString& name : {QStringLiteral("/tmp/relatório de março.qrp"), QStringLiteral("报告.qrp"),
                                QStringLiteral("emoji \U0001F600.qrp"), QStringLiteral("plain/name.QRP"), QString()}) {
        EXPECT_EQ(FileNameFromNative(QFile::encodeName(name)), QFile::decodeName(QFile::encodeName(name))) << name.toStdString();
        EXPECT_EQ(NativeFileName(name), QFile::encodeName(name)) << name.toStdString();
    }
}

TEST(NativeFileNameTest, AFileUnderANameThatIsNotUtf8Opens)
{
    const test::TempDir root;
    const QByteArray path = QByteArray::fromStdString(root.Path().string()) + "/relat\xff\xfe.qrp";
    const int created = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(created, 0);
    ::close(created);

    const QString name = FileNameFromNative(path);
    const int opened = ::open(NativeFileName(name).constData(), O_RDONLY);
    EXPECT_GE(opened, 0);
    if (opened >= 0)
        ::close(opened);
    // What Qt's own decoding makes of it names another file.
    EXPECT_NE(QFile::encodeName(QFile::decodeName(path)), path);
}
