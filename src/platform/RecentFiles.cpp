#include "RecentFiles.h"

#include "FileReplacement.h"
#include "NativeFileName.h"

#include <QDir>
#include <QSet>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <stdexcept>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvolo::platform {

namespace {

const QString kListName = QStringLiteral("recently-used.xbel");
const QString kBookmarkNamespace = QStringLiteral("http://www.freedesktop.org/standards/desktop-bookmarks");
const QString kMimeNamespace = QStringLiteral("http://www.freedesktop.org/standards/shared-mime-info");
const QString kMetadataOwner = QStringLiteral("http://freedesktop.org");
const QString kMimeType = QStringLiteral("application/x-qrp");
const QString kApplicationName = QStringLiteral("tarvolo");
const QString kApplicationExec = QStringLiteral("'tarvolo %u'");

QString ErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

[[noreturn]] void Fail(const QString& what, const QString& path, const QString& reason)
{
    throw std::runtime_error(QStringLiteral("%1 \"%2\". %3").arg(what, path, reason).toStdString());
}

// --- The document -----------------------------------------------------------------------------
// The list as it was read, every node of it, so that what is not ours is written back as it came.

struct Node {
    QXmlStreamReader::TokenType type = QXmlStreamReader::StartElement;
    QString name;         // an element's qualified name, a processing instruction's target, an entity's name
    QString namespaceUri; // an element's
    QString text;         // characters, a comment, a processing instruction's data, the DTD
    bool cdata = false;
    QXmlStreamNamespaceDeclarations namespaces;
    QXmlStreamAttributes attributes;
    std::vector<Node> children;

    bool IsElement(const QString& uri, QStringView localName) const
    {
        return type == QXmlStreamReader::StartElement && namespaceUri == uri &&
               QStringView(name).mid(name.indexOf(':') + 1) == localName;
    }
    QString Attribute(const QString& qualifiedName) const
    {
        for (const QXmlStreamAttribute& attribute : attributes)
            if (attribute.qualifiedName() == qualifiedName)
                return attribute.value().toString();
        return {};
    }
    bool HasAttribute(const QString& qualifiedName) const
    {
        return std::any_of(attributes.begin(), attributes.end(),
                           [&](const QXmlStreamAttribute& attribute) { return attribute.qualifiedName() == qualifiedName; });
    }
    // Replaces the attribute where it is, or adds it at the end.
    void SetAttribute(const QString& qualifiedName, const QString& value)
    {
        for (QXmlStreamAttribute& attribute : attributes)
            if (attribute.qualifiedName() == qualifiedName) {
                attribute = QXmlStreamAttribute(qualifiedName, value);
                return;
            }
        attributes.append(qualifiedName, value);
    }
};

struct Document {
    QString version;
    std::vector<Node> before; // comments, processing instructions and the DTD before the root
    Node root;
    std::vector<Node> after;
};

std::optional<Document> Parse(const QByteArray& bytes)
{
    // The desktop's lists are UTF-8, and the reader would let other bytes pass as replacement
    // characters, which the list would then be written back with.
    if (!QByteArrayView(bytes).isValidUtf8())
        return std::nullopt;
    QXmlStreamReader reader(bytes);
    Document document;
    std::vector<Node*> open;
    bool rootSeen = false;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType type = reader.readNext();
        if (type == QXmlStreamReader::Invalid)
            return std::nullopt;
        if (type == QXmlStreamReader::StartDocument) {
            document.version = reader.documentVersion().toString();
            continue;
        }
        if (type == QXmlStreamReader::EndDocument)
            continue;
        if (type == QXmlStreamReader::EndElement) {
            open.pop_back();
            continue;
        }
        Node node;
        node.type = type;
        if (type == QXmlStreamReader::StartElement) {
            node.name = reader.qualifiedName().toString();
            node.namespaceUri = reader.namespaceUri().toString();
            node.namespaces = reader.namespaceDeclarations();
            // Values a DTD supplies are not the file's own.
            for (const QXmlStreamAttribute& attribute : reader.attributes())
                if (!attribute.isDefault())
                    node.attributes.append(attribute);
        } else if (type == QXmlStreamReader::ProcessingInstruction) {
            node.name = reader.processingInstructionTarget().toString();
            node.text = reader.processingInstructionData().toString();
        } else if (type == QXmlStreamReader::EntityReference) {
            node.name = reader.name().toString();
        } else {
            node.text = reader.text().toString();
            node.cdata = reader.isCDATA();
        }
        if (!open.empty()) {
            open.back()->children.push_back(std::move(node));
            if (type == QXmlStreamReader::StartElement)
                open.push_back(&open.back()->children.back());
        } else if (type == QXmlStreamReader::StartElement) {
            document.root = std::move(node);
            rootSeen = true;
            open.push_back(&document.root);
        } else {
            (rootSeen ? document.after : document.before).push_back(std::move(node));
        }
    }
    if (reader.hasError() || !rootSeen || !document.root.IsElement(QString(), u"xbel"))
        return std::nullopt;
    return document;
}

void WriteNode(QXmlStreamWriter& writer, const Node& node)
{
    switch (node.type) {
    case QXmlStreamReader::StartElement:
        // Names as they were read, prefixes included, with the declarations as they were made;
        // these after the attributes, where GLib puts them.
        writer.writeStartElement(node.name);
        for (const QXmlStreamAttribute& attribute : node.attributes)
            writer.writeAttribute(attribute.qualifiedName().toString(), attribute.value().toString());
        for (const QXmlStreamNamespaceDeclaration& declaration : node.namespaces)
            writer.writeAttribute(declaration.prefix().isEmpty() ? QStringLiteral("xmlns")
                                                                 : QLatin1String("xmlns:") + declaration.prefix().toString(),
                                  declaration.namespaceUri().toString());
        for (const Node& child : node.children)
            WriteNode(writer, child);
        writer.writeEndElement();
        break;
    case QXmlStreamReader::Characters:
        node.cdata ? writer.writeCDATA(node.text) : writer.writeCharacters(node.text);
        break;
    case QXmlStreamReader::Comment:
        writer.writeComment(node.text);
        break;
    case QXmlStreamReader::DTD:
        writer.writeDTD(node.text);
        break;
    case QXmlStreamReader::EntityReference:
        writer.writeEntityReference(node.name);
        break;
    case QXmlStreamReader::ProcessingInstruction:
        writer.writeProcessingInstruction(node.name, node.text);
        break;
    default:
        break;
    }
}

QByteArray NodeText(const Node& node)
{
    QByteArray bytes;
    QXmlStreamWriter writer(&bytes);
    WriteNode(writer, node);
    return bytes;
}

// The nodes outside the root each on a line of their own, as the desktop writes the file.
QByteArray DocumentText(const Document& document)
{
    QByteArray bytes = "<?xml version=\"" + (document.version.isEmpty() ? QByteArray("1.0") : document.version.toUtf8()) +
                       "\" encoding=\"UTF-8\"?>\n";
    for (const Node& node : document.before)
        bytes += NodeText(node) + '\n';
    bytes += NodeText(document.root) + '\n';
    for (const Node& node : document.after)
        bytes += NodeText(node) + '\n';
    return bytes;
}

Node Element(const QString& name)
{
    Node node;
    node.name = name;
    return node;
}

Node Text(const QString& text)
{
    Node node;
    node.type = QXmlStreamReader::Characters;
    node.text = text;
    return node;
}

// Adds child at the end of parent, which lies depth levels below the root, indented as the
// desktop indents the file: two spaces a level.
Node& AppendChild(Node& parent, int depth, Node child)
{
    const auto indent = [](int level) { return Text('\n' + QString(2 * level, ' ')); };
    auto& children = parent.children;
    const bool closingSpace = !children.empty() && children.back().type == QXmlStreamReader::Characters &&
                              !children.back().cdata && children.back().text.trimmed().isEmpty();
    if (children.empty()) {
        children.push_back(indent(depth + 1));
        children.push_back(std::move(child));
        children.push_back(indent(depth));
        return children[children.size() - 2];
    }
    const auto at = closingSpace ? children.end() - 1 : children.end();
    const auto inserted = children.insert(children.insert(at, std::move(child)), indent(depth + 1));
    return *(inserted + 1);
}

// A new element of a namespace, to go below the given chain of ancestors: named with the prefix
// in scope for the namespace there, or with one it declares itself.
Node NamespacedElement(const std::vector<const Node*>& ancestors, const QString& uri, const QString& preferredPrefix,
                       const QString& localName)
{
    QSet<QString> shadowed;
    for (auto it = ancestors.rbegin(); it != ancestors.rend(); ++it) {
        for (const QXmlStreamNamespaceDeclaration& declaration : (*it)->namespaces) {
            const QString prefix = declaration.prefix().toString();
            if (!shadowed.contains(prefix) && declaration.namespaceUri() == uri) {
                Node node = Element(prefix.isEmpty() ? localName : prefix + ':' + localName);
                node.namespaceUri = uri;
                return node;
            }
        }
        for (const QXmlStreamNamespaceDeclaration& declaration : (*it)->namespaces)
            shadowed.insert(declaration.prefix().toString());
    }
    Node node = Element(preferredPrefix + ':' + localName);
    node.namespaceUri = uri;
    node.namespaces.append(QXmlStreamNamespaceDeclaration(preferredPrefix, uri));
    return node;
}

Node* FindChild(Node& parent, const std::function<bool(const Node&)>& matches)
{
    for (Node& child : parent.children)
        if (child.type == QXmlStreamReader::StartElement && matches(child))
            return &child;
    return nullptr;
}

QString Stamp(const QDateTime& when)
{
    return when.toUTC().toString(Qt::ISODateWithMs);
}

// The local path of a file URI, as bytes; nothing for another URI.
std::optional<QByteArray> PathOfUri(const QString& uri)
{
    static const QString scheme = QStringLiteral("file://");
    if (!uri.startsWith(scheme, Qt::CaseInsensitive))
        return std::nullopt;
    QString rest = uri.mid(scheme.size());
    if (rest.startsWith(QLatin1String("localhost/"), Qt::CaseInsensitive))
        rest = rest.mid(9);
    if (!rest.startsWith('/'))
        return std::nullopt;
    return QByteArray::fromPercentEncoding(rest.toUtf8());
}

// The URI of a local path, every byte that is not plainly safe escaped: a name that is not UTF-8
// stays the name it is.
QString UriOfPath(const QByteArray& path)
{
    return QStringLiteral("file://") + QString::fromLatin1(path.toPercentEncoding("/!$&'()*+,:=@"));
}

// The list's bookmark of the file at path: its times, and the program with its time and count.
void Record(Document& document, const QByteArray& path, const QDateTime& when)
{
    const QString stamp = Stamp(when);
    Node& root = document.root;
    Node* bookmark = FindChild(root, [&](const Node& node) {
        return node.IsElement(QString(), u"bookmark") && PathOfUri(node.Attribute(QStringLiteral("href"))) == path;
    });
    if (!bookmark) {
        bookmark = &AppendChild(root, 0, Element(QStringLiteral("bookmark")));
        bookmark->SetAttribute(QStringLiteral("href"), UriOfPath(path));
        bookmark->SetAttribute(QStringLiteral("added"), stamp);
    }
    bookmark->SetAttribute(QStringLiteral("modified"), stamp);
    bookmark->SetAttribute(QStringLiteral("visited"), stamp);

    Node* info = FindChild(*bookmark, [](const Node& node) { return node.IsElement(QString(), u"info"); });
    if (!info)
        info = &AppendChild(*bookmark, 1, Element(QStringLiteral("info")));
    Node* metadata = FindChild(*info, [](const Node& node) {
        return node.IsElement(QString(), u"metadata") && node.Attribute(QStringLiteral("owner")) == kMetadataOwner;
    });
    if (!metadata) {
        metadata = &AppendChild(*info, 2, Element(QStringLiteral("metadata")));
        metadata->SetAttribute(QStringLiteral("owner"), kMetadataOwner);
    }
    // Each level's node stays where it is while the levels below it grow.
    const std::vector<const Node*> ancestors{&root, bookmark, info, metadata};
    if (!FindChild(*metadata, [](const Node& node) { return node.IsElement(kMimeNamespace, u"mime-type"); })) {
        Node mimeType = NamespacedElement(ancestors, kMimeNamespace, QStringLiteral("mime"), QStringLiteral("mime-type"));
        mimeType.SetAttribute(QStringLiteral("type"), kMimeType);
        AppendChild(*metadata, 3, std::move(mimeType));
    }
    Node* applications = FindChild(*metadata, [](const Node& node) { return node.IsElement(kBookmarkNamespace, u"applications"); });
    if (!applications)
        applications = &AppendChild(*metadata, 3,
                                    NamespacedElement(ancestors, kBookmarkNamespace, QStringLiteral("bookmark"),
                                                      QStringLiteral("applications")));
    Node* application = FindChild(*applications, [](const Node& node) {
        return node.IsElement(kBookmarkNamespace, u"application") && node.Attribute(QStringLiteral("name")) == kApplicationName;
    });
    int count = 0;
    if (application) {
        bool valid = false;
        count = application->Attribute(QStringLiteral("count")).toInt(&valid);
        if (!valid || count < 0)
            count = 0;
        // Readers from before ISO times took the time in seconds from here.
        if (application->HasAttribute(QStringLiteral("timestamp")))
            application->SetAttribute(QStringLiteral("timestamp"), QString::number(when.toSecsSinceEpoch()));
    } else {
        std::vector<const Node*> chain = ancestors;
        chain.push_back(applications);
        application = &AppendChild(*applications, 4,
                                   NamespacedElement(chain, kBookmarkNamespace, QStringLiteral("bookmark"),
                                                     QStringLiteral("application")));
        application->SetAttribute(QStringLiteral("name"), kApplicationName);
    }
    application->SetAttribute(QStringLiteral("exec"), kApplicationExec);
    application->SetAttribute(QStringLiteral("modified"), stamp);
    application->SetAttribute(QStringLiteral("count"), QString::number(count + 1));
}

Document EmptyList()
{
    Document document;
    document.version = QStringLiteral("1.0");
    document.root = Element(QStringLiteral("xbel"));
    document.root.SetAttribute(QStringLiteral("version"), QStringLiteral("1.0"));
    document.root.namespaces.append(QXmlStreamNamespaceDeclaration(QStringLiteral("bookmark"), kBookmarkNamespace));
    document.root.namespaces.append(QXmlStreamNamespaceDeclaration(QStringLiteral("mime"), kMimeNamespace));
    return document;
}

// --- The file ---------------------------------------------------------------------------------

// The list's bytes; nothing when there is no list.
std::optional<QByteArray> ReadList(const QByteArray& path, const QString& shown)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return std::nullopt;
        Fail(QStringLiteral("Cannot open file"), shown, ErrorText(errno));
    }
    QByteArray bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            const int error = errno;
            ::close(fd);
            Fail(QStringLiteral("Cannot read file"), shown, ErrorText(error));
        }
        if (got == 0)
            break;
        bytes.append(buffer, got);
    }
    ::close(fd);
    return bytes;
}

// Folders as the base directory rules make them: private to the user.
void MakeFolders(const QByteArray& folder, const QString& shown)
{
    for (qsizetype slash = folder.indexOf('/', 1); ; slash = folder.indexOf('/', slash + 1)) {
        const QByteArray part = slash < 0 ? folder : folder.left(slash);
        if (::mkdir(part.constData(), 0700) != 0 && errno != EEXIST)
            Fail(QStringLiteral("Cannot create folder"), shown, ErrorText(errno));
        if (slash < 0)
            return;
    }
}

// The list takes its new content whole or not at all (see ReplaceFileBytes). A list that is a
// symbolic link stays one; the file it leads to is replaced, keeping its permissions.
void ReplaceList(const QByteArray& path, const QByteArray& bytes, const FileOutput& output, const QString& shown)
{
    QByteArray target = path;
    if (char* resolved = ::realpath(path.constData(), nullptr)) {
        target = resolved;
        std::free(resolved);
    }
    if (const int error = ReplaceFileBytes(target, bytes, output, shown))
        Fail(QStringLiteral("Cannot create file"), shown, ErrorText(error));
}

// The absolute form of a file name, "." and ".." taken out, as bytes.
QByteArray AbsolutePath(const QString& fileName)
{
    QByteArray path = NativeFileName(fileName);
    if (!path.startsWith('/')) {
        char* folder = ::getcwd(nullptr, 0);
        if (!folder)
            throw std::runtime_error(QStringLiteral("Cannot find the current folder. %1").arg(ErrorText(errno)).toStdString());
        path = QByteArray(folder) + '/' + path;
        std::free(folder);
    }
    return NativeFileName(QDir::cleanPath(FileNameFromNative(path)));
}

QString DataHome()
{
    const QString value = FileNameFromNative(qgetenv("XDG_DATA_HOME"));
    return QDir::isAbsolutePath(value) ? value : FileNameFromNative(qgetenv("HOME")) + QLatin1String("/.local/share");
}

const RecentFiles* applicationList = nullptr;

} // namespace

RecentFiles::RecentFiles() : RecentFiles(DataHome()) {}

RecentFiles::RecentFiles(QString dataHome, FileOutput output) : dataHome_(std::move(dataHome)), output_(std::move(output)) {}

QString RecentFiles::ListFile() const
{
    return dataHome_ + '/' + kListName;
}

void RecentFiles::Add(const QString& fileName, const QDateTime& when) const
{
    const QString shown = ListFile();
    const QByteArray list = NativeFileName(shown);
    const std::optional<QByteArray> bytes = ReadList(list, shown);
    // An empty file holds nothing to keep: the desktop writes it anew too.
    std::optional<Document> document = bytes && !bytes->trimmed().isEmpty() ? Parse(*bytes) : EmptyList();
    if (!document)
        Fail(QStringLiteral("Cannot read file"), shown, QStringLiteral("It is not a list of bookmarks."));
    Record(*document, AbsolutePath(fileName), when);
    MakeFolders(NativeFileName(dataHome_), dataHome_);
    ReplaceList(list, DocumentText(*document), output_, shown);
}

void RecentFiles::SetApplicationList(const RecentFiles* list)
{
    applicationList = list;
}

void RecentFiles::NoteOpened(const QString& fileName)
{
    if (!applicationList)
        return;
    try {
        applicationList->Add(fileName);
    } catch (const std::exception& error) {
        qWarning("The list of recently used files was left as it was: %s", error.what());
    }
}

} // namespace tarvolo::platform
