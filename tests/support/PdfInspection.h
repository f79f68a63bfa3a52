#pragma once

#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <vector>

namespace tarvolo::test {

struct PdfWord {
    QString text;
    QRectF box; // in points from the page's top left
};

// A page of a PDF file as poppler's tools see it: its size in points, its text laid out, and its
// words where they stand.
struct PdfPage {
    QSizeF points;
    QString text;
    std::vector<PdfWord> words;

    // The first word of that text, or nothing.
    const PdfWord* Word(const QString& text) const;
};

// Every page of the PDF at path, read with pdfinfo and pdftotext; nothing when the file is not a
// PDF those tools can read.
std::vector<PdfPage> InspectPdf(const QString& path);

// The PDFs cups-pdf has written whole for jobs titled title, now.
QStringList PrintedPdfs(const QString& title);

// The PDF that cups-pdf writes for the job titled title (named after the title, then words of its
// own and the job number), once it is whole; empty when none is within 30 seconds. Give each job a
// title no other job shares.
QString WaitForPrintedPdf(const QString& title);

} // namespace tarvolo::test
