// The desktop's list of recently used files, in a data folder of each test's own. Our reading of
// the list here is a plain one of its own; what the desktop makes of it is asked of GLib, whose
// bookmark files are GTK's recent files.

#include "platform/NativeFileName.h"
#include "platform/RecentFiles.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <set>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tarvolo;
using platform::FileNameFromNative;
using platform::FileOutput;
using platform::NativeFileName;
using platform::RecentFiles;

namespace {

const QString kBookmarkNamespace = QStringLiteral("http://www.freedesktop.org/standards/desktop-bookmarks");
const QString kMimeNamespace = QStringLiteral("http://www.freedesktop.org/standards/shared-mime-info");

const QDateTime kFirst(QDate(2024, 3, 5), QTime(10, 20, 30, 456), Qt::UTC);
const QDateTime kSecond(QDate(2024, 3, 6), QTime(8, 0, 1, 7), Qt::UTC);
const QString kFirstStamp = QStringLiteral("2024-03-05T10:20:30.456Z");
const QString kSecondStamp = QStringLiteral("2024-03-06T08:00:01.007Z");

// A list as GLib writes it, with what other programs put in theirs: a title and description,
// groups, an icon, a private flag, a comment, and a bookmark that is not a file. (GLib refuses
// elements and attributes it does not know, so no list the desktop reads holds any.)
const QByteArray kOthersList = R"(<?xml version="1.0" encoding="UTF-8"?>
<xbel version="1.0"
      xmlns:bookmark="http://www.freedesktop.org/standards/desktop-bookmarks"
      xmlns:mime="http://www.freedesktop.org/standards/shared-mime-info"
>
  <!-- kept by the desktop -->
  <bookmark href="file:///home/user/notes%20de%20%C3%A7a.txt" added="2023-01-02T03:04:05.678901Z" modified="2023-01-02T03:04:05.678901Z" visited="2023-01-02T03:04:05.678901Z">
    <title>Notes &amp; &lt;more&gt; &#231;a</title>
    <desc>Some "quoted" text <![CDATA[<kept as it is>]]></desc>
    <info>
      <metadata owner="http://freedesktop.org">
        <mime:mime-type type="text/plain"/>
        <bookmark:groups>
          <bookmark:group>gedit</bookmark:group>
        </bookmark:groups>
        <bookmark:icon href="file:///usr/share/icons/x.png" type="image/png"/>
        <bookmark:private/>
        <bookmark:applications>
          <bookmark:application name="gedit" exec="&apos;gedit %u&apos;" modified="2023-01-02T03:04:05.678901Z" count="7"/>
        </bookmark:applications>
      </metadata>
    </info>
  </bookmark>
  <bookmark href="https://example.org/page" added="2023-02-01T00:00:00Z" modified="2023-02-01T00:00:00Z" visited="2023-02-01T00:00:00Z">
    <info>
      <metadata owner="http://freedesktop.org">
        <mime:mime-type type="text/html"/>
        <bookmark:applications>
          <bookmark:application name="Firefox" exec="firefox %u" timestamp="1675209600" count="1"/>
        </bookmark:applications>
      </metadata>
    </info>
  </bookmark>
</xbel>
)";

// One bookmark as a plain reader of the list sees it.
struct Bookmark {
    QString href;
    QMap<QString, QString> attributes;
    QString mimeType;
    QMap<QString, QMap<QString, QString>> applications; // by name: the element's attributes
    // The whole element: each element's namespace and name, its attributes in the order of their
    // names, and the text that is not blank.
    QString canonical;
};

QMap<QString, QString> Attributes(const QXmlStreamReader& reader)
{
    QMap<QString, QString> attributes;
    for (const QXmlStreamAttribute& attribute : reader.attributes())
        attributes.insert(attribute.qualifiedName().toString(), attribute.value().toString());
    return attributes;
}

std::vector<Bookmark> ReadBookmarks(const QByteArray& xml)
{
    std::vector<Bookmark> bookmarks;
    QXmlStreamReader reader(xml);
    int depth = 0;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            ++depth;
            if (depth == 2 && reader.name() == u"bookmark") {
                bookmarks.emplace_back();
                bookmarks.back().href = reader.attributes().value("href").toString();
                bookmarks.back().attributes = Attributes(reader);
            }
            if (depth < 2 || bookmarks.empty())
                continue;
            Bookmark& bookmark = bookmarks.back();
            bookmark.canonical += '<' + reader.namespaceUri().toString() + '|' + reader.name().toString();
            const QMap<QString, QString> attributes = Attributes(reader);
            for (auto it = attributes.begin(); it != attributes.end(); ++it)
                bookmark.canonical += ' ' + it.key() + "=\"" + it.value() + '"';
            bookmark.canonical += '>';
            if (reader.namespaceUri() == kMimeNamespace && reader.name() == u"mime-type")
                bookmark.mimeType = attributes.value("type");
            if (reader.namespaceUri() == kBookmarkNamespace && reader.name() == u"application")
                bookmark.applications.insert(attributes.value("name"), attributes);
        } else if (reader.isEndElement()) {
            if (depth >= 2 && !bookmarks.empty())
                bookmarks.back().canonical += "</>";
            --depth;
        } else if (reader.isCharacters() && !reader.isWhitespace() && depth >= 2 && !bookmarks.empty()) {
            bookmarks.back().canonical += reader.text().toString();
        }
    }
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString() << "\n" << xml.toStdString();
    return bookmarks;
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

std::set<std::string> Names(const std::filesystem::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// Sets an environment variable, or takes it away, for as long as it lives.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<QByteArray> value) : name_(name)
    {
        if (qEnvironmentVariableIsSet(name))
            previous_ = qgetenv(name);
        value ? qputenv(name, *value) : qunsetenv(name);
    }
    ~ScopedEnv() { previous_ ? qputenv(name_, *previous_) : qunsetenv(name_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<QByteArray> previous_;
};

// Makes the current folder another for as long as it lives.
class ScopedCurrentFolder {
public:
    explicit ScopedCurrentFolder(const QString& folder) : previous_(QDir::currentPath()) { QDir::setCurrent(folder); }
    ~ScopedCurrentFolder() { QDir::setCurrent(previous_); }
    ScopedCurrentFolder(const ScopedCurrentFolder&) = delete;
    ScopedCurrentFolder& operator=(const ScopedCurrentFolder&) = delete;

private:
    QString previous_;
};

class RecentFilesTest : public ::testing::Test {
protected:
    QString Root() const { return QString::fromStdString(root.Path().string()); }
    QString DataHome() const { return Root() + "/data"; }
    QString List() const { return DataHome() + "/recently-used.xbel"; }
    std::vector<Bookmark> Bookmarks() const { return ReadBookmarks(ReadAll(List())); }

    // A report file of its own under the test's folder.
    QString Report(const QString& name) const
    {
        const QString path = Root() + '/' + name;
        const int fd = ::open(NativeFileName(path).constData(), O_WRONLY | O_CREAT, 0600);
        EXPECT_GE(fd, 0) << path.toStdString();
        ::close(fd);
        return path;
    }

    test::TempDir root;
};

} // namespace

TEST_F(RecentFilesTest, ANewListHoldsTheReportAsTheDesktopWritesIt)
{
    const QString report = Report("relatório de março.qrp");
    RecentFiles(DataHome()).Add(report, kFirst);

    const std::vector<Bookmark> bookmarks = Bookmarks();
    ASSERT_EQ(bookmarks.size(), 1u) << ReadAll(List()).toStdString();
    const Bookmark& ours = bookmarks.front();
    EXPECT_EQ(ours.href, "file://" + Root() + "/relat%C3%B3rio%20de%20mar%C3%A7o.qrp");
    for (const char* time : {"added", "modified", "visited"})
        EXPECT_EQ(ours.attributes.value(time), kFirstStamp) << time;
    EXPECT_EQ(ours.mimeType, "application/x-qrp");
    ASSERT_EQ(ours.applications.keys(), QStringList{"tarvolo"});
    const QMap<QString, QString> application = ours.applications.value("tarvolo");
    EXPECT_EQ(application.value("exec"), "'tarvolo %u'");
    EXPECT_EQ(application.value("modified"), kFirstStamp);
    EXPECT_EQ(application.value("count"), "1");
    EXPECT_TRUE(ReadAll(List()).startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xbel "));
    // What a user opened is theirs alone, as the folder it is in.
    struct stat status;
    ASSERT_EQ(::stat(NativeFileName(List()).constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(NativeFileName(DataHome()).constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
}

TEST_F(RecentFilesTest, OtherBookmarksKeepEveryElementAndAttribute)
{
    WriteAll(List(), kOthersList);
    const std::vector<Bookmark> before = Bookmarks();
    ASSERT_EQ(before.size(), 2u);
    RecentFiles(DataHome()).Add(Report("a.qrp"), kFirst);

    const std::vector<Bookmark> after = Bookmarks();
    ASSERT_EQ(after.size(), 3u) << ReadAll(List()).toStdString();
    for (std::size_t i = 0; i < before.size(); ++i)
        EXPECT_EQ(after[i].canonical, before[i].canonical) << i;
    EXPECT_EQ(after[2].href, "file://" + Root() + "/a.qrp");
    EXPECT_EQ(after[2].applications.value("tarvolo").value("count"), "1");
    const QByteArray list = ReadAll(List());
    EXPECT_TRUE(list.contains("<!-- kept by the desktop -->"));
    EXPECT_TRUE(list.contains("<![CDATA[<kept as it is>]]>"));
}

TEST_F(RecentFilesTest, TheSameFileAgainIsOneBookmarkCountedAgain)
{
    // However the file is named: the same path, one relative to the current folder, one that
    // goes up and down again.
    const QString report = Report("a.qrp");
    QDir(Root()).mkdir("sub");
    const ScopedCurrentFolder current(Root());
    const QStringList spellings = {report, "a.qrp", "./sub/../a.qrp", Root() + "//sub/./../a.qrp"};
    RecentFiles list(DataHome());
    list.Add(report, kFirst);
    for (const QString& spelling : spellings)
        list.Add(spelling, kSecond);

    const std::vector<Bookmark> bookmarks = Bookmarks();
    ASSERT_EQ(bookmarks.size(), 1u) << ReadAll(List()).toStdString();
    EXPECT_EQ(bookmarks[0].attributes.value("added"), kFirstStamp);
    EXPECT_EQ(bookmarks[0].attributes.value("modified"), kSecondStamp);
    EXPECT_EQ(bookmarks[0].attributes.value("visited"), kSecondStamp);
    const QMap<QString, QString> application = bookmarks[0].applications.value("tarvolo");
    EXPECT_EQ(application.value("count"), QString::number(1 + spellings.size()));
    EXPECT_EQ(application.value("modified"), kSecondStamp);
}

TEST_F(RecentFilesTest, AFileAnotherProgramOpenedGetsUsBesideIt)
{
    // The other program's URI escapes what ours does not; and our entry is one written before
    // times were ISO dates.
    Report("a b.qrp");
    const QString uri = "file://" + Root() + "/a%20%62.qrp";
    WriteAll(List(), QString(R"(<?xml version="1.0" encoding="UTF-8"?>
<xbel version="1.0" xmlns:bookmark="http://www.freedesktop.org/standards/desktop-bookmarks" xmlns:mime="http://www.freedesktop.org/standards/shared-mime-info">
  <bookmark href="%1" added="2023-01-01T00:00:00Z" modified="2023-01-01T00:00:00Z" visited="2023-01-01T00:00:00Z">
    <info>
      <metadata owner="http://freedesktop.org">
        <mime:mime-type type="application/octet-stream"/>
        <bookmark:applications>
          <bookmark:application name="org.gnome.Nautilus" exec="&apos;org.gnome.Nautilus %u&apos;" modified="2023-01-01T00:00:00Z" count="3"/>
          <bookmark:application name="tarvolo" exec="tarvolo %f" timestamp="1672531200" count="4"/>
        </bookmark:applications>
      </metadata>
    </info>
  </bookmark>
</xbel>
)").arg(uri).toUtf8());
    RecentFiles(DataHome()).Add(Root() + "/a b.qrp", kSecond);

    const std::vector<Bookmark> bookmarks = Bookmarks();
    ASSERT_EQ(bookmarks.size(), 1u) << ReadAll(List()).toStdString();
    EXPECT_EQ(bookmarks[0].href, uri);
    EXPECT_EQ(bookmarks[0].attributes.value("added"), "2023-01-01T00:00:00Z");
    EXPECT_EQ(bookmarks[0].attributes.value("modified"), kSecondStamp);
    EXPECT_EQ(bookmarks[0].mimeType, "application/octet-stream");
    EXPECT_EQ(bookmarks[0].applications.value("org.gnome.Nautilus").value("count"), "3");
    const QMap<QString, QString> ours = bookmarks[0].applications.value("tarvolo");
    EXPECT_EQ(ours.value("count"), "5");
    EXPECT_EQ(ours.value("exec"), "'tarvolo %u'");
    EXPECT_EQ(ours.value("modified"), kSecondStamp);
    EXPECT_EQ(ours.value("timestamp"), QString::number(kSecond.toSecsSinceEpoch()));
}

TEST_F(RecentFilesTest, ANameThatIsNotUtf8IsRecordedByItsBytes)
{
    const QString report = Report(FileNameFromNative("relat\xff\xfe.qrp"));
    RecentFiles list(DataHome());
    list.Add(report, kFirst);
    list.Add(report, kSecond);

    const std::vector<Bookmark> bookmarks = Bookmarks();
    ASSERT_EQ(bookmarks.size(), 1u) << ReadAll(List()).toStdString();
    EXPECT_EQ(bookmarks[0].href, "file://" + Root() + "/relat%FF%FE.qrp");
    EXPECT_EQ(bookmarks[0].applications.value("tarvolo").value("count"), "2");
}

TEST_F(RecentFilesTest, AListThatIsNotABookmarkListIsLeftAlone)
{
    const struct {
        const char* what;
        QByteArray bytes;
    } cases[] = {
        {"not XML", "recent: a.qrp\n"},
        {"cut short", QByteArray(kOthersList).left(kOthersList.size() / 2)},
        {"another document", "<?xml version=\"1.0\"?>\n<html><body/></html>\n"},
        {"xbel of another namespace", "<xbel xmlns=\"http://example.org/\" version=\"1.0\"/>"},
        {"bytes that are not UTF-8", "<?xml version=\"1.0\" encoding=\"UTF-8\"?><xbel version=\"1.0\"><!-- \xff --></xbel>"},
    };
    const QString report = Report("a.qrp");
    for (const auto& c : cases) {
        WriteAll(List(), c.bytes);
        const auto names = Names(root / "data");
        EXPECT_THROW(RecentFiles(DataHome()).Add(report, kFirst), std::runtime_error) << c.what;
        EXPECT_EQ(ReadAll(List()), c.bytes) << c.what;
        EXPECT_EQ(Names(root / "data"), names) << c.what;
    }
}

TEST_F(RecentFilesTest, AFailedWriteLeavesTheOldList)
{
    // As the disk reports a lack of room: at once, after part of the list, or only when the bytes
    // are synced.
    enum class Failure { AtOnce, Halfway, AtSync };
    WriteAll(List(), kOthersList);
    const auto names = Names(root / "data");
    const QString report = Report("a.qrp");
    for (const Failure failure : {Failure::AtOnce, Failure::Halfway, Failure::AtSync}) {
        int failures = 0;
        int writes = 0;
        const FileOutput output{[&](const QString&, int fd, const char* bytes, qint64 size) -> qint64 {
                                    if (failure == Failure::AtSync)
                                        return ::write(fd, bytes, size);
                                    if (failure == Failure::Halfway && writes++ == 0)
                                        return ::write(fd, bytes, std::min<qint64>(size, 100));
                                    ++failures;
                                    errno = ENOSPC;
                                    return -1;
                                },
                                [&](const QString&, int fd) {
                                    if (failure != Failure::AtSync)
                                        return ::fsync(fd);
                                    ++failures;
                                    errno = EIO;
                                    return -1;
                                }};
        EXPECT_THROW(RecentFiles(DataHome(), output).Add(report, kFirst), std::runtime_error) << int(failure);
        EXPECT_EQ(failures, 1) << int(failure);
        EXPECT_EQ(ReadAll(List()), kOthersList) << int(failure);
        EXPECT_EQ(Names(root / "data"), names) << int(failure);
    }
}

TEST_F(RecentFilesTest, AListThatIsASymbolicLinkStaysOne)
{
    const QString shared = Root() + "/shared/recent.xbel";
    WriteAll(shared, kOthersList);
    QDir().mkpath(DataHome());
    ASSERT_TRUE(QFile::link(shared, List()));
    RecentFiles(DataHome()).Add(Report("a.qrp"), kFirst);

    EXPECT_EQ(QFileInfo(List()).symLinkTarget(), shared);
    EXPECT_EQ(ReadBookmarks(ReadAll(shared)).size(), 3u);
}

TEST_F(RecentFilesTest, TheDesktopReadsTheList)
{
    // GLib reads the list as GTK's recent files do: each bookmark's path, type, times and the
    // applications with their command, count and time.
    const QString python = QStandardPaths::findExecutable("python3", {"/usr/bin"});
    if (python.isEmpty())
        GTEST_SKIP() << "python3 is missing";
    static const char* const kReader = R"(
import ctypes, sys
g = ctypes.CDLL("libglib-2.0.so.0")
P, S = ctypes.c_void_p, ctypes.c_char_p
for name, result, arguments in [
        ("g_bookmark_file_new", P, []), ("g_bookmark_file_load_from_file", ctypes.c_int, [P, S, P]),
        ("g_bookmark_file_get_uris", ctypes.POINTER(S), [P, P]), ("g_bookmark_file_get_mime_type", S, [P, S, P]),
        ("g_bookmark_file_get_applications", ctypes.POINTER(S), [P, S, P, P]),
        ("g_bookmark_file_get_app_info", ctypes.c_int, [P, S, S, ctypes.POINTER(S), ctypes.POINTER(ctypes.c_uint), ctypes.POINTER(ctypes.c_long), P]),
        ("g_filename_from_uri", S, [S, P, P]), ("g_bookmark_file_get_added", ctypes.c_long, [P, S, P]),
        ("g_bookmark_file_get_modified", ctypes.c_long, [P, S, P]), ("g_bookmark_file_get_visited", ctypes.c_long, [P, S, P])]:
    getattr(g, name).restype, getattr(g, name).argtypes = result, arguments
b = g.g_bookmark_file_new()
if not g.g_bookmark_file_load_from_file(b, sys.argv[1].encode(), None):
    sys.exit("GLib does not read the list")
uris = g.g_bookmark_file_get_uris(b, None)
i = 0
while uris[i]:
    uri = uris[i]
    i += 1
    path = g.g_filename_from_uri(uri, None, None)
    print(path.hex() if path else uri.decode(), g.g_bookmark_file_get_mime_type(b, uri, None).decode(),
          g.g_bookmark_file_get_added(b, uri, None), g.g_bookmark_file_get_modified(b, uri, None), g.g_bookmark_file_get_visited(b, uri, None))
    apps = g.g_bookmark_file_get_applications(b, uri, None, None)
    j = 0
    while apps[j]:
        command, count, stamp = S(), ctypes.c_uint(), ctypes.c_long()
        g.g_bookmark_file_get_app_info(b, uri, apps[j], ctypes.byref(command), ctypes.byref(count), ctypes.byref(stamp), None)
        print(" ", apps[j].decode(), "|", command.value.decode(errors="backslashreplace"), "|", count.value, stamp.value)
        j += 1
)";
    WriteAll(List(), kOthersList);
    const QString report = Report(FileNameFromNative("relat\xff\xfe.qrp"));
    RecentFiles list(DataHome());
    list.Add(report, kFirst);
    list.Add(report, kSecond);

    QProcess reader;
    reader.start(python, {"-c", kReader, List()});
    ASSERT_TRUE(reader.waitForFinished(30000));
    ASSERT_EQ(reader.exitCode(), 0) << reader.readAllStandardError().toStdString();
    const QString first = QString::number(kFirst.toSecsSinceEpoch());
    const QString second = QString::number(kSecond.toSecsSinceEpoch());
    const QString ours = QString::fromLatin1(NativeFileName(report).toHex());
    const QString uri = "file://" + Root() + "/relat%FF%FE.qrp";
    EXPECT_EQ(QString::fromUtf8(reader.readAllStandardOutput()),
              QString::fromLatin1(QByteArray("/home/user/notes de \xc3\xa7" "a.txt").toHex()) +
                  " text/plain 1672628645 1672628645 1672628645\n"
                  "  gedit | gedit file:///home/user/notes%20de%20%C3%A7a.txt | 7 1672628645\n"
                  "https://example.org/page text/html 1675209600 1675209600 1675209600\n"
                  "  Firefox | firefox https://example.org/page | 1 1675209600\n" +
                  ours + " application/x-qrp " + first + ' ' + second + ' ' + second + "\n"
                  "  tarvolo | tarvolo " + uri + " | 2 " + second + "\n");
}

TEST(RecentFilesOfTheProgramTest, OnlyTheListTheProgramSetIsWritten)
{
    const test::TempDir root;
    const QString data = QString::fromStdString(root.Path().string()) + "/data";
    const ScopedEnv dataHome("XDG_DATA_HOME", data.toUtf8());
    const QString list = data + "/recently-used.xbel";
    const QString report = QString::fromStdString(root.Path().string()) + "/a.qrp";

    RecentFiles::NoteOpened(report);
    EXPECT_FALSE(QFileInfo::exists(list)) << "recorded without a list";

    const RecentFiles recent;
    EXPECT_EQ(recent.ListFile(), list);
    RecentFiles::SetApplicationList(&recent);
    RecentFiles::NoteOpened(report);
    ASSERT_EQ(ReadBookmarks(ReadAll(list)).size(), 1u);
    EXPECT_EQ(ReadBookmarks(ReadAll(list))[0].href, "file://" + report);

    // A list that cannot be written to is only a warning to the one who opened a report.
    WriteAll(list, "not a list");
    EXPECT_NO_THROW(RecentFiles::NoteOpened(report));
    EXPECT_EQ(ReadAll(list), "not a list");
    RecentFiles::SetApplicationList(nullptr);
}

TEST(RecentFilesOfTheProgramTest, TheListIsInTheDataFolderOfTheBaseDirectoryRules)
{
    const struct {
        std::optional<QByteArray> dataHome;
        QString list;
    } cases[] = {
        {QByteArray("/srv/data"), "/srv/data/recently-used.xbel"},
        {std::nullopt, "/home/someone/.local/share/recently-used.xbel"},
        {QByteArray(""), "/home/someone/.local/share/recently-used.xbel"},
        {QByteArray("relative/data"), "/home/someone/.local/share/recently-used.xbel"},
        {QByteArray("/srv/d\xe9j\xe0"), FileNameFromNative("/srv/d\xe9j\xe0/recently-used.xbel")},
    };
    const ScopedEnv home("HOME", QByteArray("/home/someone"));
    for (const auto& c : cases) {
        const ScopedEnv dataHome("XDG_DATA_HOME", c.dataHome);
        EXPECT_EQ(RecentFiles().ListFile(), c.list) << c.dataHome.value_or("(unset)").toStdString();
    }
}

TEST_F(RecentFilesTest, WhatWeAddTakesThePrefixesTheListDeclares)
{
    // Other prefixes for the two namespaces: names are matched by their namespaces, and what is
    // added uses the prefixes in scope.
    WriteAll(List(), R"(<?xml version="1.0" encoding="UTF-8"?>
<xbel version="1.0" xmlns:bm="http://www.freedesktop.org/standards/desktop-bookmarks" xmlns:m="http://www.freedesktop.org/standards/shared-mime-info">
</xbel>
)");
    RecentFiles(DataHome()).Add(Report("a.qrp"), kFirst);
    const QByteArray list = ReadAll(List());
    EXPECT_TRUE(list.contains("<m:mime-type type=\"application/x-qrp\"/>")) << list.toStdString();
    EXPECT_TRUE(list.contains("<bm:application name=\"tarvolo\"")) << list.toStdString();
    ASSERT_EQ(ReadBookmarks(list).size(), 1u);
    EXPECT_EQ(ReadBookmarks(list)[0].mimeType, "application/x-qrp");
    EXPECT_EQ(ReadBookmarks(list)[0].applications.value("tarvolo").value("count"), "1");
}
