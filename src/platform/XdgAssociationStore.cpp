#include "XdgAssociationStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringList>
#include <QXmlStreamWriter>

#include <algorithm>
#include <stdexcept>

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

[[noreturn]] void ThrowCannotCreate(const QString& path, const QString& reason)
{
    throw std::runtime_error(QStringLiteral("Cannot create file \"%1\". %2").arg(path, reason).toStdString());
}

void MakeFolder(const QString& path)
{
    if (!QDir().mkpath(path))
        throw std::runtime_error(QStringLiteral("Cannot create folder \"%1\"").arg(path).toStdString());
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Replaces the file whole, so a reader never sees half of it.
void WriteFile(const QString& path, const QByteArray& bytes)
{
    MakeFolder(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        ThrowCannotCreate(path, file.errorString());
}

// As WriteFile, but a file that already holds bytes is left alone: this runs at every start, and
// an untouched file keeps the desktop's caches of it current.
void UpdateFile(const QString& path, const QByteArray& bytes)
{
    if (!QFileInfo(path).isFile() || ReadFile(path) != bytes)
        WriteFile(path, bytes);
}

QByteArray Resource(const QString& path)
{
    const QByteArray bytes = ReadFile(path);
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
// quotes group and are removed.
QStringList CommandWords(const QString& command)
{
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

// mimeapps.list with application as the default for each of mimeTypes; every other line kept.
QByteArray DefaultApplications(const QByteArray& current, const QString& application, const QStringList& mimeTypes)
{
    static const QString section = QStringLiteral("[Default Applications]");
    QStringList lines = QString::fromUtf8(current).split('\n');
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.pop_back();
    qsizetype header = -1;
    for (qsizetype i = 0; i < lines.size() && header < 0; ++i)
        if (lines[i].trimmed() == section)
            header = i;
    if (header < 0) {
        if (!lines.isEmpty() && !lines.back().trimmed().isEmpty())
            lines.push_back(QString());
        lines.push_back(section);
        header = lines.size() - 1;
    }
    for (const QString& mimeType : mimeTypes) {
        const QString entry = mimeType + '=' + application;
        qsizetype end = header + 1;
        bool replaced = false;
        for (; end < lines.size() && !lines[end].trimmed().startsWith('['); ++end) {
            if (lines[end].trimmed().startsWith(mimeType + '=')) {
                lines[end] = entry;
                replaced = true;
            }
        }
        if (!replaced) {
            // After the section's last entry, before the blank lines that part it from the next.
            while (end > header + 1 && lines[end - 1].trimmed().isEmpty())
                --end;
            lines.insert(end, entry);
        }
    }
    return (lines.join('\n') + '\n').toUtf8();
}

// Runs a cache tool of the desktop, when it is installed; without it the desktop rescans later.
void RunTool(const QString& name, const QString& folder)
{
    const QString program = QStandardPaths::findExecutable(name);
    if (program.isEmpty())
        return;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, {folder});
    if (!process.waitForStarted(kToolTimeoutMs))
        throw std::runtime_error(QStringLiteral("%1 could not be started: %2").arg(name, process.errorString()).toStdString());
    if (!process.waitForFinished(kToolTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        throw std::runtime_error(QStringLiteral("%1 did not finish in %2 s").arg(name).arg(kToolTimeoutMs / 1000).toStdString());
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        const QString output = QString::fromLocal8Bit(process.readAll()).trimmed().section('\n', 0, 0);
        throw std::runtime_error(QStringLiteral("%1 failed: %2").arg(name, output).toStdString());
    }
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

XdgAssociationStore::XdgAssociationStore(QString configHome, QString dataHome)
    : configHome_(std::move(configHome)), dataHome_(std::move(dataHome))
{
    LoadIcons();
    Load();
}

QString XdgAssociationStore::StoreFile() const
{
    return configHome_ + '/' + kApplicationId + QLatin1String("/associations.json");
}

void XdgAssociationStore::SetDefaultValue(const QString& key, const QString& value)
{
    const auto previous = entries_;
    const auto entry = std::find_if(entries_.begin(), entries_.end(), [&key](const auto& e) { return e.first == key; });
    if (entry != entries_.end())
        entry->second = value;
    else
        entries_.emplace_back(key, value);
    try {
        Save();
    } catch (...) {
        entries_ = previous;
        throw;
    }
}

void XdgAssociationStore::Load()
{
    // A file that cannot be read or parsed counts as empty: every start writes all the entries
    // again, so nothing is lost by starting over.
    const QJsonArray entries = QJsonDocument::fromJson(ReadFile(StoreFile())).object().value(QLatin1String("entries")).toArray();
    for (const QJsonValue& item : entries) {
        const QJsonObject entry = item.toObject();
        entries_.emplace_back(entry.value(QLatin1String("key")).toString(), entry.value(QLatin1String("value")).toString());
    }
}

void XdgAssociationStore::Save() const
{
    QJsonArray entries;
    for (const auto& [key, value] : entries_)
        entries.push_back(QJsonObject{{QStringLiteral("key"), key}, {QStringLiteral("value"), value}});
    WriteFile(StoreFile(), QJsonDocument(QJsonObject{{QStringLiteral("entries"), entries}}).toJson());
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
        UpdateFile(package, MimePackage(type));
        mimeStale |= Stale(mimeCache, package);
        UpdateFile(icons + QLatin1String("/mimetypes/") + IconNameOf(type.mimeType) + QLatin1String(".svg"),
                   Resource(QStringLiteral(":/tarvolo/icons/application-x-qrp.svg")));
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
               Resource(QStringLiteral(":/tarvolo/icons/tarvolo.svg")));
    const QString applications = dataHome_ + QLatin1String("/applications");
    const QString desktopEntry = applications + '/' + kApplicationId + QLatin1String(".desktop");
    UpdateFile(desktopEntry, DesktopEntry(first->description, first->command, opened));
    const QString list = configHome_ + QLatin1String("/mimeapps.list");
    UpdateFile(list, DefaultApplications(ReadFile(list), kApplicationId + QLatin1String(".desktop"), opened));
    if (Stale(applications + QLatin1String("/mimeinfo.cache"), desktopEntry))
        RunTool(QStringLiteral("update-desktop-database"), applications);
}

} // namespace tarvolo::platform
