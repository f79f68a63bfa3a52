#include "XdgAssociationStore.h"

#include "FileReplacement.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <optional>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// The icons are compiled into this static library; a program that links it keeps them only when
// something names them.
static void LoadIcons()
{
    static const bool loaded = [] {
        Q_INIT_RESOURCE(tarvolo_icons);
        return true;
    }();
    (void)loaded;
}

namespace tarvolo::platform {

void RegisterFileType(AssociationStore& store, const QString& extension, const QString& typeName,
                      const QString& description, const QString& executable, int iconIndex)
{
    store.SetDefaultValue(extension, typeName);
    store.SetDefaultValue(typeName, description);
    store.SetDefaultValue(typeName + QLatin1String("\\DefaultIcon"), executable + ',' + QString::number(iconIndex));
    store.SetDefaultValue(typeName + QLatin1String("\\Shell\\Open"), QStringLiteral("&Open"));
    store.SetDefaultValue(typeName + QLatin1String("\\Shell\\Open\\Command"),
                          '"' + executable + QLatin1String("\" \"%1\""));
    store.Export();
}

namespace {

// The program as the desktop knows it: its desktop entry, its icon and the prefix of its files.
const QString kApplicationId = QStringLiteral("tarvolo");
const QString kApplicationName = QStringLiteral("Tarvolo");
constexpr int kToolTimeoutMs = 10000;
// Longer than one export with both tools at their time limit: a start that waits this long for
// another one goes on without it rather than failing.
constexpr int kLockWaitMs = 3 * kToolTimeoutMs;
// As many symbolic links as the kernel follows in one path.
constexpr int kMaxLinks = 40;

using EntryList = std::vector<std::pair<QString, QString>>;

QString ErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

[[noreturn]] void ThrowCannotCreate(const QString& path, const QString& reason)
{
    throw std::runtime_error(QStringLiteral("Cannot create file \"%1\". %2").arg(path, reason).toStdString());
}

void MakeFolder(const QString& path)
{
    if (!QDir().mkpath(path))
        throw std::runtime_error(QStringLiteral("Cannot create folder \"%1\"").arg(path).toStdString());
}

QString FolderOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QStringLiteral(".") : slash == 0 ? QStringLiteral("/") : path.left(slash);
}

// The file's bytes; nothing when there is no file (a symbolic link that leads nowhere included).
// A file that is there but cannot be read throws: what would replace it would lose its content.
std::optional<QByteArray> ReadIfPresent(const QString& path)
{
    if (!QFileInfo::exists(path))
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(QStringLiteral("Cannot open file \"%1\". %2").arg(path, file.errorString()).toStdString());
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw std::runtime_error(QStringLiteral("Cannot read file \"%1\". %2").arg(path, file.errorString()).toStdString());
    return bytes;
}

// The file a write to path lands in: path itself, or the end of its chain of symbolic links, so
// that a link the user keeps (a list shared from a folder of configuration files) stays a link.
// Nothing when the chain loops or ends in a folder that does not exist.
std::optional<QString> WriteTarget(const QString& path)
{
    QString current = path;
    for (int links = 0; links <= kMaxLinks; ++links) {
        const QByteArray native = QFile::encodeName(current);
        struct stat status;
        if (::lstat(native.constData(), &status) != 0) {
            if (errno != ENOENT)
                return current;    // the write reports why
            if (QFileInfo(FolderOf(current)).isDir())
                return current;
            return std::nullopt;
        }
        if (!S_ISLNK(status.st_mode))
            return current;
        QByteArray target(PATH_MAX, '\0');
        const ssize_t size = ::readlink(native.constData(), target.data(), target.size());
        if (size < 0 || size >= target.size())
            return std::nullopt;
        target.truncate(size);
        const QString next = QFile::decodeName(target);
        current = next.startsWith('/') ? next : FolderOf(current) + '/' + next;
    }
    return std::nullopt;
}

// A file of ours takes its new content whole or not at all (see ReplaceFileBytes).
void ReplaceFile(const QString& target, const QByteArray& bytes, const FileOutput& output)
{
    const QByteArray nativeTarget = QFile::encodeName(target);
    struct stat old;
    if (::stat(nativeTarget.constData(), &old) == 0 && !S_ISREG(old.st_mode))
        ThrowCannotCreate(target, QStringLiteral("It is not a regular file."));
    if (const int error = ReplaceFileBytes(nativeTarget, bytes, output, target))
        ThrowCannotCreate(target, ErrorText(error));
}

// Writes a file of the program's own when its content changes; an untouched file keeps the
// desktop's caches of it current.
void UpdateFile(const QString& path, const QByteArray& bytes, const FileOutput& output)
{
    MakeFolder(FolderOf(path));
    std::optional<QByteArray> current;
    try {
        current = ReadIfPresent(path);
    } catch (const std::runtime_error&) {
        // Ours, and unreadable: written anew.
    }
    if (current == bytes)
        return;
    const std::optional<QString> target = WriteTarget(path);
    if (!target)
        ThrowCannotCreate(path, QStringLiteral("It is a symbolic link that leads nowhere."));
    ReplaceFile(*target, bytes, output);
}

QByteArray Resource(const QString& path)
{
    QFile file(path);
    const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    if (bytes.isEmpty())
        throw std::runtime_error(QStringLiteral("The program lacks its resource \"%1\"").arg(path).toStdString());
    return bytes;
}

// Whether a cache is missing or older than a file it indexes.
bool Stale(const QString& cache, const QString& source)
{
    const QFileInfo cacheInfo(cache);
    return !cacheInfo.exists() || cacheInfo.lastModified() < QFileInfo(source).lastModified();
}

QString BaseDirectory(const char* variable, const QString& fallback)
{
    const QString value = qEnvironmentVariable(variable);
    return QDir::isAbsolutePath(value) ? value : QDir::homePath() + '/' + fallback;
}

// A string value of a desktop entry: backslashes and control characters escaped.
QString DesktopString(QString text)
{
    text.replace('\\', QLatin1String("\\\\"));
    text.replace('\n', QLatin1String("\\n"));
    text.replace('\t', QLatin1String("\\t"));
    text.replace('\r', QLatin1String("\\r"));
    return text;
}

// One word of an Exec line. A word with a reserved character is quoted, and inside the quotes
// '"', '`', '$' and '\' are escaped; plain words stay bare, since some tools take the first word
// of Exec as the program's path as it stands. A literal '%' is doubled either way.
QString ExecWord(const QString& word)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QString text = word;
    text.replace('%', QLatin1String("%%"));
    if (std::none_of(text.begin(), text.end(), [](QChar c) { return reserved.contains(c); }) && !text.isEmpty())
        return text;
    QString quoted = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}

// The words of a command as the Windows command line splits them: blanks separate, double
// quotes group and are removed. The command RegisterFileType writes, "E" "%1", is taken apart by
// its known frame instead, since a path on this system may hold double quotes itself.
QStringList CommandWords(const QString& command)
{
    static const QString openTail = QStringLiteral("\" \"%1\"");
    if (command.size() > 1 + openTail.size() && command.startsWith('"') && command.endsWith(openTail))
        return {command.mid(1, command.size() - 1 - openTail.size()), QStringLiteral("%1")};
    QStringList words;
    QString word;
    bool quoted = false;
    bool inWord = false;
    for (const QChar c : command) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

// A file type as the entries describe it.
struct FileType {
    QString name;          // the type name: "qrp"
    QString mimeType;      // "application/x-qrp"
    QStringList extensions;
    QString description;
    QString command;       // the Windows-style open command; empty when there is none
};

QString MimeTypeOf(const QString& typeName)
{
    return QLatin1String("application/x-") + typeName.toLower();
}

QString IconNameOf(const QString& mimeType)
{
    return QString(mimeType).replace('/', '-');
}

QByteArray MimePackage(const FileType& type)
{
    QByteArray xml;
    QXmlStreamWriter writer(&xml);
    writer.setAutoFormatting(true);
    writer.writeStartDocument();
    writer.writeStartElement(QStringLiteral("mime-info"));
    writer.writeDefaultNamespace(QStringLiteral("http://www.freedesktop.org/standards/shared-mime-info"));
    writer.writeStartElement(QStringLiteral("mime-type"));
    writer.writeAttribute(QStringLiteral("type"), type.mimeType);
    writer.writeTextElement(QStringLiteral("comment"), type.description);
    writer.writeEmptyElement(QStringLiteral("icon"));
    writer.writeAttribute(QStringLiteral("name"), IconNameOf(type.mimeType));
    for (const QString& extension : type.extensions) {
        writer.writeEmptyElement(QStringLiteral("glob"));
        writer.writeAttribute(QStringLiteral("pattern"), '*' + extension);
    }
    writer.writeEndElement();
    writer.writeEndElement();
    writer.writeEndDocument();
    return xml;
}

QByteArray DesktopEntry(const QString& comment, const QString& command, const QStringList& mimeTypes)
{
    QString text = QStringLiteral("[Desktop Entry]\nType=Application\n");
    text += QLatin1String("Name=") + kApplicationName + '\n';
    text += QLatin1String("Comment=") + DesktopString(comment) + '\n';
    text += QLatin1String("Exec=") + DesktopString(DesktopExecLine(command)) + '\n';
    text += QLatin1String("Icon=") + kApplicationId + '\n';
    text += QLatin1String("MimeType=") + mimeTypes.join(';') + QLatin1String(";\n");
    text += QLatin1String("Terminal=false\nCategories=Office;Viewer;\n");
    return text.toUtf8();
}

const QByteArray kDefaultApplications = QByteArrayLiteral("Default Applications");
const QByteArray kRemovedAssociations = QByteArrayLiteral("Removed Associations");

// A mimeapps.list as the desktop reads it (groups, "key = value" with blanks around "=" allowed,
// ';'-separated lists, comments and blank lines), kept as bytes line by line: the file is the
// user's, and whatever is not ours, in whatever encoding and with whatever line ends, goes back
// as it came.
class MimeAppsList {
public:
    explicit MimeAppsList(const QByteArray& bytes)
    {
        QByteArray group;
        for (qsizetype start = 0; start < bytes.size();) {
            qsizetype end = bytes.indexOf('\n', start);
            Line line;
            if (end < 0) {
                end = bytes.size();
                line.text = bytes.mid(start);
            } else {
                line.text = bytes.mid(start, end - start);
                line.ending = "\n";
                if (line.text.endsWith('\r')) {
                    line.text.chop(1);
                    line.ending = "\r\n";
                }
                ++end;
            }
            start = end;
            if (ending_.isEmpty())
                ending_ = line.ending;
            const QByteArray text = line.text.trimmed();
            if (text.startsWith('[') && text.endsWith(']')) {
                group = text.mid(1, text.size() - 2);
                line.header = true;
            } else if (!text.isEmpty() && !text.startsWith('#') && text.contains('=')) {
                const qsizetype equals = text.indexOf('=');
                line.key = text.left(equals).trimmed();
                line.value = text.mid(equals + 1).trimmed();
            }
            line.group = group;
            lines_.push_back(std::move(line));
        }
        if (ending_.isEmpty())
            ending_ = "\n";
    }

    // The list a key holds; of a key given twice, the last, as the desktop reads it.
    QStringList Values(const QByteArray& group, const QByteArray& key) const
    {
        for (auto line = lines_.rbegin(); line != lines_.rend(); ++line)
            if (!line->header && line->group == group && line->key == key)
                return List(line->value);
        return {};
    }

    // Gives the key a value: the line that holds it now is replaced, or a line is added at the
    // end of the group's entries, or the group is added at the end of the file.
    void Set(const QByteArray& group, const QByteArray& key, const QByteArray& value)
    {
        const QByteArray text = key + '=' + value;
        for (auto line = lines_.rbegin(); line != lines_.rend(); ++line) {
            if (!line->header && line->group == group && line->key == key) {
                line->text = text;
                line->value = value;
                return;
            }
        }
        Line added{text, ending_, group, key, value, false};
        const auto header = std::find_if(lines_.begin(), lines_.end(),
                                         [&](const Line& line) { return line.header && line.group == group; });
        if (header == lines_.end()) {
            if (!lines_.empty() && lines_.back().ending.isEmpty())
                lines_.back().ending = ending_;
            if (!lines_.empty() && !lines_.back().text.trimmed().isEmpty())
                lines_.push_back(Line{{}, ending_, {}, {}, {}, false});
            lines_.push_back(Line{'[' + group + ']', ending_, group, {}, {}, true});
            lines_.push_back(std::move(added));
            return;
        }
        // After the group's last entry: the blank lines and comments that follow it belong to
        // what comes next.
        auto last = header;
        for (auto line = header + 1; line != lines_.end() && !line->header; ++line) {
            const QByteArray trimmed = line->text.trimmed();
            if (!trimmed.isEmpty() && !trimmed.startsWith('#'))
                last = line;
        }
        if (last->ending.isEmpty())
            last->ending = ending_;
        lines_.insert(last + 1, std::move(added));
    }

    QByteArray Bytes() const
    {
        QByteArray bytes;
        for (const Line& line : lines_)
            bytes += line.text + line.ending;
        return bytes;
    }

private:
    struct Line {
        QByteArray text;      // without its line end
        QByteArray ending;    // "\n", "\r\n", or nothing on a last line without one
        QByteArray group;     // the group it is in
        QByteArray key;       // of an entry; empty otherwise
        QByteArray value;
        bool header = false;
    };

    // A list value: items parted by ';', with the escapes of the desktop entry format.
    static QStringList List(const QByteArray& value)
    {
        QStringList items;
        QByteArray item;
        const auto add = [&] {
            const QString text = QString::fromUtf8(item).trimmed();
            if (!text.isEmpty())
                items.push_back(text);
            item.clear();
        };
        for (qsizetype i = 0; i < value.size(); ++i) {
            const char c = value[i];
            if (c == '\\' && i + 1 < value.size()) {
                const char escaped = value[++i];
                item += escaped == 's' ? ' ' : escaped == 'n' ? '\n' : escaped == 't' ? '\t' : escaped == 'r' ? '\r' : escaped;
            } else if (c == ';') {
                add();
            } else {
                item += c;
            }
        }
        add();
        return items;
    }

    std::vector<Line> lines_;
    QByteArray ending_;    // the file's own line end, for the lines added
};

// The user's mimeapps.list with application as the default for those of mimeTypes the user has
// not chosen an application for. A type counts as chosen when this list or the older user list
// (olderList, in the data folder) names a default for it, whichever it is, ours included, or
// when the user removed our association with it; then its lines stay as they are.
QByteArray DefaultApplications(const QByteArray& current, const QByteArray& olderList, const QString& application,
                               const QStringList& mimeTypes)
{
    MimeAppsList list(current);
    const MimeAppsList older(olderList);
    for (const QString& mimeType : mimeTypes) {
        const QByteArray key = mimeType.toUtf8();
        if (!list.Values(kDefaultApplications, key).isEmpty() || !older.Values(kDefaultApplications, key).isEmpty() ||
            list.Values(kRemovedAssociations, key).contains(application))
            continue;
        list.Set(kDefaultApplications, key, application.toUtf8());
    }
    return list.Bytes();
}

// Runs a cache tool of the desktop, when it is installed; without it the desktop rescans later.
// A failure only means the desktop sees the change later (the next start runs the tool again,
// its cache being older than what it indexes), so it is reported and the start goes on.
void RunTool(const QString& name, const QString& folder)
{
    const QString program = QStandardPaths::findExecutable(name);
    if (program.isEmpty())
        return;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, {folder});
    QString failure;
    if (!process.waitForStarted(kToolTimeoutMs)) {
        failure = QStringLiteral("could not be started: %1").arg(process.errorString());
    } else if (!process.waitForFinished(kToolTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        failure = QStringLiteral("did not finish in %1 s").arg(kToolTimeoutMs / 1000);
    } else if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        failure = QStringLiteral("failed: %1").arg(QString::fromLocal8Bit(process.readAll()).trimmed().section('\n', 0, 0));
    }
    if (!failure.isEmpty())
        qWarning("%s %s", qPrintable(name), qPrintable(failure));
}

} // namespace

QString DesktopExecLine(const QString& command)
{
    QStringList words;
    for (const QString& word : CommandWords(command))
        words.push_back(word == QLatin1String("%1") ? QStringLiteral("%f") : ExecWord(word));
    return words.join(' ');
}

XdgAssociationStore::XdgAssociationStore()
    : XdgAssociationStore(BaseDirectory("XDG_CONFIG_HOME", QStringLiteral(".config")),
                          BaseDirectory("XDG_DATA_HOME", QStringLiteral(".local/share")))
{
}

XdgAssociationStore::XdgAssociationStore(QString configHome, QString dataHome, FileOutput output)
    : configHome_(std::move(configHome)), dataHome_(std::move(dataHome)), output_(std::move(output))
{
    LoadIcons();
    entries_ = Load();
}

QString XdgAssociationStore::StoreFile() const
{
    return configHome_ + '/' + kApplicationId + QLatin1String("/associations.json");
}

void XdgAssociationStore::SetDefaultValue(const QString& key, const QString& value)
{
    for (auto* entries : {&entries_, &noted_}) {
        const auto entry = std::find_if(entries->begin(), entries->end(), [&key](const auto& e) { return e.first == key; });
        if (entry != entries->end())
            entry->second = value;
        else
            entries->emplace_back(key, value);
    }
}

EntryList XdgAssociationStore::Load() const
{
    // A file that cannot be read or parsed counts as empty: every start writes all the entries
    // again, so nothing is lost by starting over.
    EntryList loaded;
    QFile file(StoreFile());
    if (!file.open(QIODevice::ReadOnly))
        return loaded;
    const QJsonArray entries = QJsonDocument::fromJson(file.readAll()).object().value(QLatin1String("entries")).toArray();
    for (const QJsonValue& item : entries) {
        const QJsonObject entry = item.toObject();
        loaded.emplace_back(entry.value(QLatin1String("key")).toString(), entry.value(QLatin1String("value")).toString());
    }
    return loaded;
}

// The entries as the file holds them now, another start's included, with the values noted here
// over them; the file is written once, and only when that changes it.
void XdgAssociationStore::Store()
{
    const EntryList stored = Load();
    EntryList merged = stored;
    for (const auto& [key, value] : noted_) {
        const auto entry = std::find_if(merged.begin(), merged.end(), [&key](const auto& e) { return e.first == key; });
        if (entry != merged.end())
            entry->second = value;
        else
            merged.emplace_back(key, value);
    }
    noted_.clear();
    QJsonArray entries;
    for (const auto& [key, value] : merged)
        entries.push_back(QJsonObject{{QStringLiteral("key"), key}, {QStringLiteral("value"), value}});
    try {
        UpdateFile(StoreFile(), QJsonDocument(QJsonObject{{QStringLiteral("entries"), entries}}).toJson(), output_);
    } catch (...) {
        entries_ = stored;
        throw;
    }
    entries_ = std::move(merged);
}

QString XdgAssociationStore::Value(const QString& key) const
{
    for (const auto& [k, value] : entries_)
        if (k == key)
            return value;
    return {};
}

void XdgAssociationStore::Export()
{
    // Two starts at once would run the desktop's tools on one folder together, and those fail
    // when they meet; the second start waits for the first. A lock that cannot be had only
    // costs that safety, never the start.
    const QString ownFolder = FolderOf(StoreFile());
    try {
        MakeFolder(ownFolder);
    } catch (...) {
        entries_ = Load();
        noted_.clear();
        throw;
    }
    QLockFile lock(ownFolder + QLatin1String("/registration.lock"));
    if (!lock.tryLock(kLockWaitMs))
        qWarning("Registering the file types without the lock %s (error %d)", qPrintable(lock.fileName()), int(lock.error()));

    Store();

    // An extension key (".qrp") names its type; the type's keys hold the rest.
    std::vector<FileType> types;
    for (const auto& [key, typeName] : entries_) {
        if (!key.startsWith('.') || key.contains('\\') || typeName.isEmpty())
            continue;
        auto type = std::find_if(types.begin(), types.end(), [&](const FileType& t) { return t.name == typeName; });
        if (type == types.end()) {
            types.push_back({typeName, MimeTypeOf(typeName), {}, Value(typeName),
                             Value(typeName + QLatin1String("\\Shell\\Open\\Command"))});
            type = types.end() - 1;
        }
        type->extensions.push_back(key);
    }

    const QString mime = dataHome_ + QLatin1String("/mime");
    const QString mimeCache = mime + QLatin1String("/mime.cache");
    const QString icons = dataHome_ + QLatin1String("/icons/hicolor/scalable");
    bool mimeStale = false;
    QStringList opened;
    const FileType* first = nullptr;
    for (const FileType& type : types) {
        const QString package = mime + QLatin1String("/packages/") + kApplicationId + '-' + type.name + QLatin1String(".xml");
        UpdateFile(package, MimePackage(type), output_);
        mimeStale |= Stale(mimeCache, package);
        UpdateFile(icons + QLatin1String("/mimetypes/") + IconNameOf(type.mimeType) + QLatin1String(".svg"),
                   Resource(QStringLiteral(":/tarvolo/icons/application-x-qrp.svg")), output_);
        if (type.command.isEmpty())
            continue;
        opened.push_back(type.mimeType);
        if (!first)
            first = &type;
    }
    if (mimeStale)
        RunTool(QStringLiteral("update-mime-database"), mime);
    if (!first)
        return;

    UpdateFile(icons + QLatin1String("/apps/") + kApplicationId + QLatin1String(".svg"),
               Resource(QStringLiteral(":/tarvolo/icons/tarvolo.svg")), output_);
    const QString applications = dataHome_ + QLatin1String("/applications");
    const QString desktopEntry = applications + '/' + kApplicationId + QLatin1String(".desktop");
    UpdateFile(desktopEntry, DesktopEntry(first->description, first->command, opened), output_);

    const QString list = configHome_ + QLatin1String("/mimeapps.list");
    MakeFolder(configHome_);
    const std::optional<QByteArray> current = ReadIfPresent(list);
    std::optional<QByteArray> older;
    try {
        older = ReadIfPresent(applications + QLatin1String("/mimeapps.list"));
    } catch (const std::runtime_error& error) {
        qWarning("%s", error.what());    // only consulted
    }
    const QByteArray wanted = DefaultApplications(current.value_or(QByteArray()), older.value_or(QByteArray()),
                                                  kApplicationId + QLatin1String(".desktop"), opened);
    if (wanted != current.value_or(QByteArray())) {
        // A link is written through, as Qt's and KDE's writers do, also when its file is
        // missing: the file appears where the link points and the link stays. When not even the
        // folder it points into exists (a folder of configuration files not there yet), the
        // link is left alone rather than replaced by a file of ours, as GLib's writer would:
        // the default is only a convenience, the user's link is not ours to lose.
        const std::optional<QString> target = WriteTarget(list);
        if (target)
            ReplaceFile(*target, wanted, output_);
        else
            qWarning("%s is a link that leads nowhere a file can be made; the default application is left unchanged",
                     qPrintable(list));
    }
    if (Stale(applications + QLatin1String("/mimeinfo.cache"), desktopEntry))
        RunTool(QStringLiteral("update-desktop-database"), applications);
}

} // namespace tarvolo::platform
