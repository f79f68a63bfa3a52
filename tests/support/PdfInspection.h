#pragma once

#include <QSizeF>
#include <QString>

#include <vector>

namespace tarvolo::test {

// A page of a PDF file as poppler's tools see it: its size in points and its text.
struct PdfPage {
    QSizeF points;
    QString text;
};

// Every page of the PDF at path, read with pdfinfo and pdftotext; nothing when the file is not a
// PDF those tools can read.
std::vector<PdfPage> InspectPdf(const QString& path);

} // namespace tarvolo::test
