#include "PdfInspection.h"

#include <QProcess>
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
        pages.push_back({QSizeF(line.captured(1).toDouble(), line.captured(2).toDouble()), {}});
    }
    // pdftotext ends every page with a form feed.
    const QStringList texts = Run("pdftotext", {"-layout", path, "-"}).split('\f');
    for (std::size_t i = 0; i < pages.size() && i < static_cast<std::size_t>(texts.size()); ++i)
        pages[i].text = texts[static_cast<qsizetype>(i)];
    return pages;
}

} // namespace tarvolo::test
