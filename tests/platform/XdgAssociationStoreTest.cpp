#include "doubles/TestAssociationStore.h"
#include "platform/XdgAssociationStore.h"
#include "support/FixtureFiles.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tarvolo;
using platform::FileOutput;
using platform::RegisterFileType;
using platform::TestAssociationStore;
using platform::XdgAssociationStore;
using Entries = std::vector<std::pair<QString, QString>>;

namespace {

const QString kDescription = QStringLiteral("Tarvolo : Visualizador de Relatórios");

// The registration of /usr/bin/tarvolo.
const Entries kEntries = {{".qrp", "qrp"},
                          {"qrp", kDescription},
                          {"qrp\\DefaultIcon", "/usr/bin/tarvolo,0"},
                          {"qrp\\Shell\\Open", "&Open"},
                          {"qrp\\Shell\\Open\\Command", R"("/usr/bin/tarvolo" "%1")"}};

void WriteText(const std::filesystem::path& path, const std::string& text)
{
    test::WriteFileBytes(path, test::Bytes(text.begin(), text.end()));
}

void Register(platform::AssociationStore& store, const QString& executable)
{
    RegisterFileType(store, ".qrp", "qrp", kDescription, executable, 0);
}

QByteArray ReadAll(const std::filesystem::path& path)
{
    QFile file(QString::fromStdString(path.string()));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The value of key in a desktop entry.
QString DesktopValue(const std::filesystem::path& entry, const QString& key)
{
    for (const QString& line : QString::fromUtf8(ReadAll(entry)).split('\n'))
        if (line.startsWith(key + '='))
            return line.mid(key.size() + 1);
    return {};
}

// The arguments of an Exec value as the desktop reads them: the escapes of a string value undone
// first, then the quoting of the Exec key; "%%" is a '%', other field codes stay as they are.
QStringList ExecArguments(const QString& value)
{
    static const QMap<QChar, QChar> escapes = {{'s', ' '}, {'n', '\n'}, {'t', '\t'}, {'r', '\r'}, {'\\', '\\'}};
    QString text;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size() && escapes.contains(value[i + 1]))
            text += escapes.value(value[++i]);
        else
            text += value[i];
    }
    QStringList arguments;
    QString argument;
    bool inArgument = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '"') {
            inArgument = true;
            for (++i; i < text.size() && text[i] != '"'; ++i) {
                if (text[i] == '\\' && i + 1 < text.size() && QStringLiteral("\"`$\\").contains(text[i + 1]))
                    ++i;
                argument += text[i];
            }
        } else if (text[i] == ' ') {
            if (inArgument)
                arguments.push_back(argument);
            argument.clear();
            inArgument = false;
        } else {
            argument += text[i];
            inArgument = true;
        }
    }
    if (inArgument)
        arguments.push_back(argument);
    for (QString& a : arguments) {
        QString decoded;
        for (qsizetype i = 0; i < a.size(); ++i) {
            decoded += a[i];
            if (a[i] == '%' && i + 1 < a.size() && a[i + 1] == '%')
                ++i;
        }
        a = decoded;
    }
    return arguments;
}

// Every file under folder with its inode and modification time: a file written anew changes them.
std::map<std::string, std::pair<ino_t, std::int64_t>> Stamps(const std::filesystem::path& folder)
{
    std::map<std::string, std::pair<ino_t, std::int64_t>> stamps;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        struct stat status;
        if (::lstat(entry.path().c_str(), &status) == 0 && !S_ISDIR(status.st_mode))
            stamps[entry.path().string()] = {status.st_ino, std::int64_t(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec};
    }
    return stamps;
}

// The names in a folder: a write that failed leaves none of its own behind.
std::set<std::string> Names(const std::filesystem::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

std::string LinkTarget(const std::filesystem::path& link)
{
    std::error_code error;
    return std::filesystem::is_symlink(std::filesystem::symlink_status(link)) ? std::filesystem::read_symlink(link, error).string() : "";
}

// A file system of its own, mounted while it lives; nothing when this process may not mount one.
class SmallFileSystem {
public:
    static std::unique_ptr<SmallFileSystem> Mount(const std::filesystem::path& folder)
    {
        std::filesystem::create_directories(folder);
        if (::mount("tmpfs", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=256k,mode=0755") != 0)
            return nullptr;
        return std::unique_ptr<SmallFileSystem>(new SmallFileSystem(folder));
    }
    ~SmallFileSystem() { ::umount2(folder_.c_str(), MNT_DETACH); }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    // Fills what is left of it; gives the errno of the write that found no more room.
    int Fill() const
    {
        const int fd = ::open((folder_ / "filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0)
            return errno;
        const std::string block(4096, 'x');
        int error = 0;
        while (error == 0)
            if (::write(fd, block.data(), block.size()) < 0)
                error = errno;
        ::close(fd);
        return error;
    }

private:
    explicit SmallFileSystem(std::filesystem::path folder) : folder_(std::move(folder)) {}
    std::filesystem::path folder_;
};

// Sets an environment variable for as long as it lives, then puts back what was there.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::filesystem::path& value) : name_(name)
    {
        if (qEnvironmentVariableIsSet(name))
            previous_ = qgetenv(name);
        qputenv(name, QByteArray::fromStdString(value.string()));
    }
    ~ScopedEnv()
    {
        if (previous_)
            qputenv(name_, *previous_);
        else
            qunsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<QByteArray> previous_;
};

} // namespace

TEST(RegisterFileTypeTest, WritesTheFiveEntriesInOrderThenExports)
{
    // The icon entry holds the path bare, the command quotes it and the file.
    const struct {
        const char* executable;
        const char* icon;
        const char* command;
        qsizetype commandLength;
    } cases[] = {
        {"/some/path with blanks/tarvolo", "/some/path with blanks/tarvolo,0", R"("/some/path with blanks/tarvolo" "%1")", 37},
        {R"(C:\Programas\Relatorios\viewer.exe)", R"(C:\Programas\Relatorios\viewer.exe,0)",
         R"("C:\Programas\Relatorios\viewer.exe" "%1")", 41},
    };
    for (const auto& c : cases) {
        TestAssociationStore store;
        Register(store, c.executable);
        const Entries expected = {{".qrp", "qrp"},
                                  {"qrp", kDescription},
                                  {"qrp\\DefaultIcon", c.icon},
                                  {"qrp\\Shell\\Open", "&Open"},
                                  {"qrp\\Shell\\Open\\Command", c.command}};
        EXPECT_EQ(store.writes, expected) << c.executable;
        EXPECT_EQ(store.writes.back().second.size(), c.commandLength) << c.executable;
        EXPECT_EQ(store.exports, 1) << c.executable;
    }
}

TEST(RegisterFileTypeTest, ARefusedWriteEndsItWithWhatWasWrittenBefore)
{
    for (int refused : {1, 3, 5}) {
        TestAssociationStore store;
        store.refuseWrite = refused;
        EXPECT_THROW(Register(store, "/usr/bin/tarvolo"), std::runtime_error) << refused;
        EXPECT_EQ(store.writes, Entries(kEntries.begin(), kEntries.begin() + refused - 1)) << refused;
        EXPECT_EQ(store.exports, 0) << refused;
    }
}

TEST(DesktopExecLineTest, QuotesWhatTheDesktopEntryFormatReservesAndPassesTheFile)
{
    const struct {
        const char* command;
        const char* exec;
    } cases[] = {
        {R"("/usr/bin/tarvolo" "%1")", R"(/usr/bin/tarvolo %f)"},
        {R"("/some/path with blanks/tarvolo" "%1")", R"("/some/path with blanks/tarvolo" %f)"},
        {R"("/opt/a$b\c/tarvolo" "%1")", R"("/opt/a\$b\\c/tarvolo" %f)"},
        {R"("/opt/100%/tarvolo" "%1")", R"(/opt/100%%/tarvolo %f)"},
        {R"(/usr/bin/tarvolo --view "%1")", R"(/usr/bin/tarvolo --view %f)"},
        // The frame RegisterFileType writes holds the path whole, double quotes and all.
        {R"("/opt/say "hi"/tarvolo" "%1")", R"("/opt/say \"hi\"/tarvolo" %f)"},
        {R"("/opt/a" "b/tarvolo" "%1")", R"("/opt/a\" \"b/tarvolo" %f)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::DesktopExecLine(c.command), c.exec) << c.command;
}

class XdgAssociationStoreTest : public ::testing::Test {
protected:
    std::filesystem::path DataHome() const { return root / "data"; }
    std::filesystem::path ConfigHome() const { return root / "config"; }
    std::filesystem::path DesktopEntry() const { return DataHome() / "applications" / "tarvolo.desktop"; }

    // Runs a desktop tool as a session of no known desktop would, so that xdg-mime answers from
    // the XDG files alone; gives its trimmed standard output.
    QString Tool(const QString& program, const QStringList& arguments)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID",
                                 "MATE_DESKTOP_SESSION_ID", "LXQT_SESSION_CONFIG", "XDG_MENU_PREFIX"})
            environment.remove(QString::fromLatin1(name));
        process.setProcessEnvironment(environment);
        process.start(program, arguments);
        EXPECT_TRUE(process.waitForFinished(20000)) << program.toStdString();
        EXPECT_EQ(process.exitCode(), 0) << program.toStdString() << ": " << process.readAllStandardError().toStdString();
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    }

    test::TempDir root;
    ScopedEnv dataHome_{"XDG_DATA_HOME", root / "data"};
    ScopedEnv configHome_{"XDG_CONFIG_HOME", root / "config"};
    ScopedEnv dataDirs_{"XDG_DATA_DIRS", std::filesystem::path((root / "data").string() + ":/usr/share")};
};

TEST_F(XdgAssociationStoreTest, TheDesktopOpensReportsWithTheProgram)
{
    XdgAssociationStore store;
    Register(store, "/some/path with blanks/tarvolo");

    EXPECT_EQ(DesktopValue(DesktopEntry(), "Exec"), "\"/some/path with blanks/tarvolo\" %f");
    EXPECT_EQ(DesktopValue(DesktopEntry(), "MimeType"), "application/x-qrp;");
    EXPECT_EQ(DesktopValue(DesktopEntry(), "Comment"), kDescription);
    const auto source = std::filesystem::path(TARVOLO_FIXTURE_DIR) / ".." / ".." / "data" / "icons";
    EXPECT_EQ(ReadAll(DataHome() / "icons/hicolor/scalable/apps/tarvolo.svg"), ReadAll(source / "tarvolo.svg"));
    EXPECT_EQ(ReadAll(DataHome() / "icons/hicolor/scalable/mimetypes/application-x-qrp.svg"),
              ReadAll(source / "application-x-qrp.svg"));

    const QString validate = QStandardPaths::findExecutable("desktop-file-validate");
    if (!validate.isEmpty()) {
        EXPECT_EQ(Tool(validate, {QString::fromStdString(DesktopEntry().string())}), "");
    }

    const QString xdgMime = QStandardPaths::findExecutable("xdg-mime");
    const bool tools = !xdgMime.isEmpty() && !QStandardPaths::findExecutable("mimetype").isEmpty() &&
                       !QStandardPaths::findExecutable("update-mime-database").isEmpty() &&
                       !QStandardPaths::findExecutable("update-desktop-database").isEmpty();
    if (!tools)
        GTEST_SKIP() << "xdg-mime, mimetype, update-mime-database or update-desktop-database is not installed";
    // Any content: the name alone makes it a report, as the file manager sees it.
    const auto report = root / "x.qrp";
    std::filesystem::copy_file(test::ReportFixture("ThreePages.qrp"), report);
    EXPECT_EQ(Tool(xdgMime, {"query", "filetype", QString::fromStdString(report.string())}), "application/x-qrp");
    EXPECT_EQ(Tool(xdgMime, {"query", "default", "application/x-qrp"}), "tarvolo.desktop");
}

TEST_F(XdgAssociationStoreTest, ARegistrationFromElsewhereReplacesOnlyThePath)
{
    {
        XdgAssociationStore store;
        Register(store, "/opt/old/tarvolo");
    }
    XdgAssociationStore store;
    Register(store, "/usr/bin/tarvolo");
    EXPECT_EQ(XdgAssociationStore().Entries(), kEntries);
    EXPECT_EQ(DesktopValue(DesktopEntry(), "Exec"), "/usr/bin/tarvolo %f");
}

TEST_F(XdgAssociationStoreTest, TheUsersListGetsOurDefaultOnlyWhereTheUserHasNoneAndKeepsEveryOtherByte)
{
    const struct {
        const char* name;
        std::string before;          // the user's mimeapps.list; "-" for none
        std::string after;           // "=" when it must stay as it was
        std::string older = "";      // the older list of the data folder
    } cases[] = {
        {"another application chosen", "[Added Associations]\nimage/png=viewer.desktop;\n\n[Default Applications]\n"
                                       "text/plain=editor.desktop\napplication/x-qrp=other.desktop\n\n[Removed Associations]\n", "="},
        {"chosen with blanks around =", "[Default Applications]\napplication/x-qrp = other.desktop\n", "="},
        {"a list that puts us first", "[Default Applications]\napplication/x-qrp=tarvolo.desktop;other.desktop;\n", "="},
        {"ours already", "[Default Applications]\napplication/x-qrp=tarvolo.desktop\n", "="},
        {"a later duplicate chooses another", "[Default Applications]\napplication/x-qrp=\napplication/x-qrp=other.desktop\n", "="},
        {"our association removed by the user", "[Removed Associations]\napplication/x-qrp=tarvolo.desktop;\n", "="},
        {"chosen in the older list", "[A]\nk=v\n", "=", "[Default Applications]\napplication/x-qrp=other.desktop;\n"},
        {"none chosen, the group there", "[Default Applications]\n# mine\ntext/plain=editor.desktop\n\n# next\n[Removed Associations]\n",
         "[Default Applications]\n# mine\ntext/plain=editor.desktop\napplication/x-qrp=tarvolo.desktop\n\n# next\n[Removed Associations]\n"},
        {"an empty choice", "[Default Applications]\napplication/x-qrp =  \ntext/plain=editor.desktop\n",
         "[Default Applications]\napplication/x-qrp=tarvolo.desktop\ntext/plain=editor.desktop\n"},
        {"no group", "[A]\nk=v\n", "[A]\nk=v\n\n[Default Applications]\napplication/x-qrp=tarvolo.desktop\n"},
        {"no line end at the end", "[Default Applications]\ntext/plain=editor.desktop",
         "[Default Applications]\ntext/plain=editor.desktop\napplication/x-qrp=tarvolo.desktop\n"},
        {"CRLF and bytes that are not UTF-8",
         "[Added Associations]\r\nimage/png=vi\xe9wer.desktop;\r\n\r\n[Default Applications]\r\ntext/plain=\xff\xfe.desktop\r\n# caf\xe9\r\n",
         "[Added Associations]\r\nimage/png=vi\xe9wer.desktop;\r\n\r\n[Default Applications]\r\ntext/plain=\xff\xfe.desktop\r\n"
         "application/x-qrp=tarvolo.desktop\r\n# caf\xe9\r\n"},
        {"no list", "-", "[Default Applications]\napplication/x-qrp=tarvolo.desktop\n"},
    };
    for (const auto& c : cases) {
        const auto home = root / c.name;
        const auto list = home / "config" / "mimeapps.list";
        std::filesystem::create_directories(home / "config");
        if (c.before != "-")
            WriteText(list, c.before);
        if (!c.older.empty()) {
            std::filesystem::create_directories(home / "data" / "applications");
            WriteText(home / "data" / "applications" / "mimeapps.list", c.older);
        }
        XdgAssociationStore store(QString::fromStdString((home / "config").string()), QString::fromStdString((home / "data").string()));
        Register(store, "/usr/bin/tarvolo");
        EXPECT_EQ(ReadAll(list).toStdString(), c.after == "=" ? c.before : c.after) << c.name;
    }
}

TEST_F(XdgAssociationStoreTest, EachFileIsWrittenOnceAndOnlyWhenItChanges)
{
    std::map<std::string, int> syncs;
    const FileOutput counting{{}, [&syncs](const QString& path, int fd) {
                                  ++syncs[QFileInfo(path).fileName().toStdString()];
                                  return ::fsync(fd);
                              }};
    // The user's choice stands, so the list is never written.
    std::filesystem::create_directories(ConfigHome());
    WriteText(ConfigHome() / "mimeapps.list", "[Default Applications]\napplication/x-qrp = other.desktop\n");
    const auto make = [&] {
        return XdgAssociationStore(QString::fromStdString(ConfigHome().string()), QString::fromStdString(DataHome().string()), counting);
    };
    {
        auto store = make();
        Register(store, "/usr/bin/tarvolo");
    }
    const std::map<std::string, int> once = {{"associations.json", 1}, {"tarvolo-qrp.xml", 1}, {"application-x-qrp.svg", 1},
                                             {"tarvolo.svg", 1}, {"tarvolo.desktop", 1}};
    EXPECT_EQ(syncs, once);

    syncs.clear();
    const auto before = Stamps(root.Path());
    auto store = make();
    Register(store, "/usr/bin/tarvolo");
    EXPECT_TRUE(syncs.empty());
    EXPECT_EQ(Stamps(root.Path()), before);
}

TEST_F(XdgAssociationStoreTest, AFailedWriteLeavesTheOldFileAsItWas)
{
    // As the disk reports a lack of room: at once, after part of the file, or only when the
    // bytes are synced (a file system that allocates late).
    enum class Failure { AtOnce, Halfway, AtSync };
    int failures = 0;
    for (const char* file : {"associations.json", "mimeapps.list"}) {
        for (const Failure failure : {Failure::AtOnce, Failure::Halfway, Failure::AtSync}) {
            const std::string name = std::string(file) + " " + std::to_string(int(failure));
            const auto home = root / name;
            const QString config = QString::fromStdString((home / "config").string());
            const QString data = QString::fromStdString((home / "data").string());
            {
                XdgAssociationStore store(config, data);
                Register(store, "/opt/old/tarvolo");
            }
            // The user's own lines, that the next start adds our default to.
            WriteText(home / "config" / "mimeapps.list", "[Added Associations]\r\nimage/png=vi\xe9wer.desktop;\r\n");
            const auto path = file == std::string("mimeapps.list") ? home / "config" / file : home / "config" / "tarvolo" / file;
            const QByteArray old = ReadAll(path);
            const auto names = Names(path.parent_path());

            const auto failing = [&](const QString& target) { return QFileInfo(target).fileName() == file; };
            const FileOutput output{[&](const QString& target, int fd, const char* bytes, qint64 size) -> qint64 {
                                        if (!failing(target) || (failure == Failure::Halfway && size > 8) || failure == Failure::AtSync)
                                            return ::write(fd, bytes, failure == Failure::Halfway ? std::min<qint64>(size, 8) : size);
                                        ++failures;
                                        errno = ENOSPC;
                                        return -1;
                                    },
                                    [&](const QString& target, int fd) {
                                        if (!failing(target) || failure != Failure::AtSync)
                                            return ::fsync(fd);
                                        ++failures;
                                        errno = EIO;
                                        return -1;
                                    }};
            XdgAssociationStore store(config, data, output);
            EXPECT_THROW(Register(store, "/usr/bin/tarvolo"), std::runtime_error) << name;
            EXPECT_EQ(ReadAll(path), old) << name;
            EXPECT_EQ(Names(path.parent_path()), names) << name;
        }
    }
    EXPECT_EQ(failures, 6);
}

TEST_F(XdgAssociationStoreTest, AFullFileSystemLeavesTheUsersFilesAsTheyWere)
{
    for (const char* file : {"associations.json", "mimeapps.list"}) {
        const auto home = root / file;
        const auto small = SmallFileSystem::Mount(home / "config");
        if (!small)
            GTEST_SKIP() << "no file system of the test's own can be mounted here: " << std::strerror(errno);
        const QString config = QString::fromStdString((home / "config").string());
        const QString data = QString::fromStdString((home / "data").string());
        {
            XdgAssociationStore store(config, data);
            Register(store, "/opt/old/tarvolo");
        }
        WriteText(home / "config" / "mimeapps.list", "[Added Associations]\nimage/png=viewer.desktop;\n");
        const auto path = file == std::string("mimeapps.list") ? home / "config" / file : home / "config" / "tarvolo" / file;
        const QByteArray old = ReadAll(path);
        ASSERT_EQ(small->Fill(), ENOSPC);
        const auto names = Names(path.parent_path());

        // A start from elsewhere changes the stored entries; one from the same place only the list.
        XdgAssociationStore store(config, data);
        EXPECT_THROW(Register(store, file == std::string("mimeapps.list") ? "/opt/old/tarvolo" : "/usr/bin/tarvolo"),
                     std::runtime_error)
            << file;
        EXPECT_EQ(ReadAll(path), old) << file;
        EXPECT_EQ(Names(path.parent_path()), names) << file;
    }
}

TEST_F(XdgAssociationStoreTest, AListThatIsASymbolicLinkStaysOne)
{
    const std::string ours = "[Default Applications]\napplication/x-qrp=tarvolo.desktop\n";
    const struct {
        const char* name;
        std::string target;     // where the link points, from the configuration folder
        bool folder;            // whether the folder it points into exists
        std::string content;    // what the file it points to holds; "-" for no file
        std::string after;      // what it then holds; "-" for no file
    } cases[] = {
        {"to a missing file", "../dotfiles/mimeapps.list", true, "-", ours},
        {"to a missing file by its full path", "", true, "-", ours},
        {"into a missing folder", "../missing/mimeapps.list", false, "-", "-"},
        {"to itself", "mimeapps.list", true, "-", "-"},
        {"to the user's file", "../dotfiles/mimeapps.list", true, "[A]\nk=v\n", "[A]\nk=v\n\n" + ours},
    };
    for (const auto& c : cases) {
        const auto home = root / c.name;
        const auto config = home / "config";
        std::filesystem::create_directories(config);
        const std::string target = c.target.empty() ? (home / "dotfiles" / "mimeapps.list").string() : c.target;
        const auto pointed = config / target;
        if (c.folder)
            std::filesystem::create_directories(pointed.parent_path());
        if (c.content != "-")
            WriteText(pointed, c.content);
        std::filesystem::create_symlink(target, config / "mimeapps.list");

        XdgAssociationStore store(QString::fromStdString(config.string()), QString::fromStdString((home / "data").string()));
        EXPECT_NO_THROW(Register(store, "/usr/bin/tarvolo")) << c.name;
        EXPECT_EQ(LinkTarget(config / "mimeapps.list"), target) << c.name;
        std::error_code loop;
        EXPECT_EQ(std::filesystem::exists(pointed, loop) ? ReadAll(pointed).toStdString() : "-", c.after) << c.name;
        EXPECT_TRUE(std::filesystem::exists(home / "data" / "applications" / "tarvolo.desktop")) << c.name;
        if (!c.folder) {
            EXPECT_FALSE(std::filesystem::exists(pointed.parent_path())) << c.name;
        }
    }
}

TEST_F(XdgAssociationStoreTest, TheExecLineReadsBackAsTheProgramsPath)
{
    const QString paths[] = {
        R"(/opt/say "hi"/tarvolo)", R"(/opt/a" "b/tarvolo)", R"(/opt/"%1"/tarvolo)", "/opt/`uname`/tarvolo",
        "/opt/$HOME/tarvolo",       R"(/opt/back\slash/tarvolo)", "/opt/100%/tarvolo", "/opt/%f/tarvolo",
        "/opt/it's mine/tarvolo",   "/opt/a;b#c/tarvolo",   "/opt/tab\there/tarvolo", "/opt/Relatórios/tarvolo",
    };
    const QString validate = QStandardPaths::findExecutable("desktop-file-validate");
    for (const QString& path : paths) {
        XdgAssociationStore store;
        Register(store, path);
        const QString exec = DesktopValue(DesktopEntry(), "Exec");
        EXPECT_EQ(ExecArguments(exec), QStringList({path, "%f"})) << exec.toStdString();
        if (!validate.isEmpty()) {
            EXPECT_EQ(Tool(validate, {QString::fromStdString(DesktopEntry().string())}), "") << exec.toStdString();
        }
    }
}

TEST_F(XdgAssociationStoreTest, StartsAtTheSameMomentAllRegister)
{
    const bool tool = !QStandardPaths::findExecutable("update-mime-database").isEmpty();
    for (int pair = 0; pair < 10; ++pair) {
        const auto home = root / ("pair " + std::to_string(pair));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_DATA_HOME", QString::fromStdString((home / "data").string()));
        environment.insert("XDG_CONFIG_HOME", QString::fromStdString((home / "config").string()));
        environment.insert("XDG_DATA_DIRS", QString::fromStdString((home / "data").string()) + ":/usr/share");
        QProcess starts[2];
        for (QProcess& start : starts) {
            start.setProcessEnvironment(environment);
            start.start(REGISTRATION_START_PATH, {"/usr/bin/tarvolo"});
        }
        for (QProcess& start : starts) {
            // Only a safety net: a registration takes well under a second.
            ASSERT_TRUE(start.waitForFinished(60000)) << pair;
            const std::string errors = start.readAllStandardError().toStdString();
            EXPECT_EQ(start.exitStatus(), QProcess::NormalExit) << pair;
            EXPECT_EQ(start.exitCode(), 0) << pair << ": " << errors;
            // The desktop's tools never ran at once, so neither failed.
            EXPECT_EQ(errors, "") << pair;
        }
        EXPECT_EQ(ReadAll(home / "config" / "mimeapps.list").count("application/x-qrp"), 1) << pair;
        EXPECT_TRUE(std::filesystem::exists(home / "data" / "applications" / "tarvolo.desktop")) << pair;
        if (tool) {
            EXPECT_TRUE(std::filesystem::exists(home / "data" / "mime" / "mime.cache")) << pair;
        }
    }
}

TEST_F(XdgAssociationStoreTest, AConfigFolderThatCannotBeMadeRefusesTheFirstWrite)
{
    // A regular file where a folder should be: refused even to root.
    WriteText(root / "file", "x");
    ScopedEnv configHome("XDG_CONFIG_HOME", root / "file" / "config");
    XdgAssociationStore store;
    try {
        Register(store, "/usr/bin/tarvolo");
        FAIL() << "the registration went through";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find((root / "file" / "config").string()), std::string::npos) << error.what();
    }
    EXPECT_TRUE(store.Entries().empty());
    EXPECT_FALSE(std::filesystem::exists(DataHome()));
}
