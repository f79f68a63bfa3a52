#include "PdfInspection.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <QRegularExpression>

namespace tarvolo::test {

namespace {

QString Run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

std::vector<PdfPage> InspectPdf(const QString& path)
{
    std::vector<PdfPage> pages;
    const QString info = Run("pdfinfo", {"-f", "1", "-l", "100000", path});
    static const QRegularExpression sizeLine(R"(^Page\s+\d+ size:\s+([\d.]+) x ([\d.]+) pts)", QRegularExpression::MultilineOption);
    for (auto match = sizeLine.globalMatch(info); match.hasNext();) {
        const auto line = match.next();
        pages.push_back({QSizeF(line.captured(1).toDouble(), line.captured(2).toDouble()), {}, {}});
    }
    // pdftotext ends every page with a form feed.
    const QStringList texts = Run("pdftotext", {"-layout", path, "-"}).split('\f');
    for (std::size_t i = 0; i < pages.size() && i < static_cast<std::size_t>(texts.size()); ++i)
        pages[i].text = texts[static_cast<qsizetype>(i)];

    static const QRegularExpression pageOrWord(
        R"re(<page |<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
    std::size_t page = 0;
    for (auto match = pageOrWord.globalMatch(Run("pdftotext", {"-bbox", path, "-"})); match.hasNext();) {
        const auto found = match.next();
        if (found.captured(0).startsWith("<page")) {
            ++page;
        } else if (page >= 1 && page <= pages.size()) {
            const QRectF box(QPointF(found.captured(1).toDouble(), found.captured(2).toDouble()),
                             QPointF(found.captured(3).toDouble(), found.captured(4).toDouble()));
            pages[page - 1].words.push_back({found.captured(5), box});
        }
    }
    return pages;
}

const PdfWord* PdfPage::Word(const QString& wanted) const
{
    for (const PdfWord& word : words)
        if (word.text == wanted)
            return &word;
    return nullptr;
}

QStringList PrintedPdfs(const QString& title)
{
    QStringList found;
    for (const QString& folder : {QDir::homePath() + "/PDF", QStringLiteral("/var/spool/cups-pdf/ANONYMOUS")})
        for (const QFileInfo& file : QDir(folder).entryInfoList({title + "*.pdf"}, QDir::Files)) {
            const QString rest = file.fileName().mid(title.size());
            if (rest.isEmpty() || rest.front().isLetterOrNumber())
                continue;
            QFile pdf(file.filePath());
            if (pdf.open(QIODevice::ReadOnly) && pdf.size() > 64 && pdf.seek(pdf.size() - 64) && pdf.readAll().contains("%%EOF"))
                found.push_back(file.filePath());
        }
    return found;
}

QString WaitForPrintedPdf(const QString& title)
{
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 30000) {
        if (const QStringList found = PrintedPdfs(title); !found.isEmpty())
            return found.front();
        QThread::msleep(200);
    }
    return {};
}

} // namespace tarvolo::test
