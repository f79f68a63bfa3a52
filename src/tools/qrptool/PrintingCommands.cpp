// The commands that need the system's printers: print and printers.

#include "Commands.h"

#include "platform/CupsSpooler.h"
#include "platform/QtPrinterDevice.h"
#include "printing/TQRPrinter.h"

#include <QPageSize>
#include <QPrinterInfo>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace tarvolo::qrptool {

namespace {

// The signal that asked a print to stop; 0 while none has.
volatile std::sig_atomic_t stopSignal = 0;

extern "C" void RequestStop(int signal)
{
    stopSignal = signal;
}

// While a print runs, Ctrl+C and a polite kill cancel it the way the viewer's Cancel does, so
// that nothing half-printed is left queued; the handlers of before come back afterwards.
class StopSignals {
public:
    StopSignals()
    {
        stopSignal = 0;
        struct sigaction action = {};
        action.sa_handler = RequestStop;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &previousInt_);
        sigaction(SIGTERM, &action, &previousTerm_);
    }
    ~StopSignals()
    {
        sigaction(SIGINT, &previousInt_, nullptr);
        sigaction(SIGTERM, &previousTerm_, nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    int Received() const { return stopSignal; }

private:
    struct sigaction previousInt_ = {};
    struct sigaction previousTerm_ = {};
};

} // namespace

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

    // From here on a signal cancels: one that comes while the report is read stops the print
    // after its first page.
    const StopSignals stopSignals;
    platform::QtPrinterDevice applicationPrinter;
    const QStringList queues = applicationPrinter.Printers();
    if (queues.isEmpty()) {
        // Qt lists no printers also when the scheduler is not running; that is worth telling apart.
        platform::cups::CheckScheduler(printerName ? QString::fromStdString(*printerName) : QStringLiteral("the default printer"));
        throw std::runtime_error("no printer is installed");
    }
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
    printer.PrintProgress = [&](int, int) {
        if (stopSignals.Received())
            printer.RequestCancel();
    };
    printer.PrintReport();
    const printing::TPrintOutcome& outcome = printer.LastPrint();
    bool cancelled = outcome.Cancelled;
    // A signal that came while the job was being handed over finds it at the spooler.
    if (!cancelled && stopSignals.Received() && outcome.Job.id > 0) {
        if (!printer.DevicePrinter().CancelJob(outcome.Job))
            throw std::runtime_error("stopped, but job " + outcome.Job.Name().toStdString() + " could not be cancelled");
        cancelled = true;
    }
    if (cancelled) {
        std::fprintf(stderr, "qrptool: cancelled after page %d; nothing was printed\n", outcome.LastPageDrawn);
        return 128 + (stopSignals.Received() ? stopSignals.Received() : SIGINT);
    }
    const int count = last - first + 1;
    std::printf("%d %s sent to %s as job %s", count, count == 1 ? "page" : "pages", outcome.Job.queue.toLocal8Bit().constData(),
                outcome.Job.Name().toLocal8Bit().constData());
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
