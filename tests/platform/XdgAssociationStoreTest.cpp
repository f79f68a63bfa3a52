#include "doubles/TestAssociationStore.h"
#include "platform/XdgAssociationStore.h"
#include "support/FixtureFiles.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

using namespace tarvolo;
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

TEST_F(XdgAssociationStoreTest, TheDefaultApplicationJoinsTheUsersOwnList)
{
    std::filesystem::create_directories(ConfigHome());
    WriteText(ConfigHome() / "mimeapps.list", "[Added Associations]\nimage/png=viewer.desktop;\n\n"
                                              "[Default Applications]\ntext/plain=editor.desktop\n"
                                              "application/x-qrp=other.desktop\n\n"
                                              "[Removed Associations]\n");
    XdgAssociationStore store;
    Register(store, "/usr/bin/tarvolo");
    EXPECT_EQ(ReadAll(ConfigHome() / "mimeapps.list").toStdString(),
              "[Added Associations]\nimage/png=viewer.desktop;\n\n"
              "[Default Applications]\ntext/plain=editor.desktop\n"
              "application/x-qrp=tarvolo.desktop\n\n"
              "[Removed Associations]\n");

    WriteText(ConfigHome() / "mimeapps.list", "[A]\nk=v\n");
    Register(store, "/usr/bin/tarvolo");
    EXPECT_EQ(ReadAll(ConfigHome() / "mimeapps.list").toStdString(),
              "[A]\nk=v\n\n[Default Applications]\napplication/x-qrp=tarvolo.desktop\n");
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
