#include "RichTextPrinter.h"

#include <QPrinter>
#include <QPrinterInfo>
#include <QTextDocument>

#include <stdexcept>

namespace tarvolo::platform {

void QtRichTextPrinter::Print(const QString& jobTitle, const QTextDocument& document)
{
    // Without a printer QPrinter quietly turns into a PDF writer with no file; say so instead.
    const QString printerName = QPrinterInfo::defaultPrinterName();
    if (printerName.isEmpty())
        throw std::runtime_error("There is no default printer currently selected");
    QPrinter printer(QPrinter::HighResolution);
    printer.setPrinterName(printerName);
    printer.setDocName(jobTitle);
    document.print(&printer);
}

} // namespace tarvolo::platform
