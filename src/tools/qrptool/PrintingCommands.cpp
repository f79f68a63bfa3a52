// The commands that need the system's printers: print and printers.

#include "Commands.h"

#include "platform/QtPrinterDevice.h"
#include "printing/TQRPrinter.h"

#include <QPageSize>
#include <QPrinterInfo>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace tarvolo::qrptool {

int Print(Arguments args)
{
    std::string file;
    std::optional<std::string> printerName, title;
    std::pair<int, int> pages{0, 0};
    int copies = 1;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--printer" && hasValue) {
            printerName = args[++i];
        } else if (arg == "--pages" && hasValue) {
            pages = ParsePageRange(args[++i]);
        } else if (arg == "--copies" && hasValue) {
            const auto number = PositiveNumber(args[++i]);
            // CUPS takes at most 9999 copies unless told otherwise.
            if (!number || *number > 9999)
                throw std::runtime_error("--copies takes a number from 1 to 9999");
            copies = *number;
        } else if (arg == "--title" && hasValue) {
            title = args[++i];
        } else if (arg.starts_with("-") || !file.empty()) {
            throw UsageError();
        } else {
            file = arg;
        }
    }
    if (file.empty())
        throw UsageError();

    platform::QtPrinterDevice applicationPrinter;
    const QStringList queues = applicationPrinter.Printers();
    if (queues.isEmpty())
        throw std::runtime_error("no printer is installed");
    int index = -1;
    if (printerName) {
        index = static_cast<int>(queues.indexOf(QString::fromStdString(*printerName)));
        if (index < 0)
            throw std::runtime_error("no printer named " + *printerName);
    } else if (QPrinterInfo::defaultPrinterName().isEmpty()) {
        // Qt would otherwise write the job to a PDF file of no name instead of a printer.
        throw std::runtime_error("no default printer is set: name one with --printer");
    }
    printing::TQRPrinter printer(applicationPrinter, [] { return std::make_unique<platform::QtPrinterDevice>(); });
    // Selecting a printer loads its default paper; the report, read after it, sets its own from page 1.
    printer.SelectPrinter(index);
    printer.ReadReportFile(file);
    const int total = printer.PageTotal();
    if (total == 0)
        throw std::runtime_error("the report has no pages");
    const int first = pages.first == 0 ? 1 : pages.first;
    if (first > total)
        throw std::runtime_error("the report has no page " + std::to_string(first) + ": it has " + std::to_string(total));
    // Pages past the end would come out as empty sheets.
    const int last = pages.second == 0 ? total : std::min(pages.second, total);
    printer.FirstPage = first;
    printer.LastPage = last;
    printer.SetCopies(copies);
    printer.DocumentTitle = QString::fromStdString(title ? *title : std::filesystem::path(file).filename().string());
    printer.PrintReport();
    const int count = last - first + 1;
    std::printf("%d %s sent to %s", count, count == 1 ? "page" : "pages", printer.DevicePrinter().Names().device.toLocal8Bit().constData());
    if (copies > 1)
        std::printf(", %d copies", copies);
    std::printf("\n");
    return 0;
}

int Printers(Arguments)
{
    const QStringList names = QPrinterInfo::availablePrinterNames();
    if (names.isEmpty())
        std::printf("no printers\n");
    const QString defaultName = QPrinterInfo::defaultPrinterName();
    for (const QString& name : names)
        std::printf("%s %s%s\n", name.toLocal8Bit().constData(),
                    QPrinterInfo::printerInfo(name).defaultPageSize().name().toLocal8Bit().constData(),
                    name == defaultName ? " (default)" : "");
    return 0;
}

} // namespace tarvolo::qrptool
