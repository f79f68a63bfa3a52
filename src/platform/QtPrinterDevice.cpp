#include "QtPrinterDevice.h"

#include "CupsSpooler.h"
#include "QtDeviceMode.h"

#include <QDir>
#include <QFileInfo>
#include <QPageSize>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryFile>

#include <stdexcept>

namespace tarvolo::platform {

QtPrinterDevice::QtPrinterDevice() : printer_(std::make_unique<QPrinter>(QPrinter::HighResolution))
{
}

QtPrinterDevice::~QtPrinterDevice()
{
    // A job still open when the device goes is dropped, not printed.
    EndJob();
}

QStringList QtPrinterDevice::Printers() const
{
    return QPrinterInfo::availablePrinterNames();
}

void QtPrinterDevice::SetPrinterIndex(int index)
{
    const QStringList names = Printers();
    if (index >= names.size())
        throw std::runtime_error("Printer selected is not valid");
    index_ = index;
    const QString name = index < 0 ? QPrinterInfo::defaultPrinterName() : names.at(index);
    queue_ = name;
    printer_->setPrinterName(name);
    const QPrinterInfo info = QPrinterInfo::printerInfo(name);
    printer_->setPageSize(info.defaultPageSize());
    UseWholePrintableArea();
}

// Qt starts every page layout with margins of its own; a printer's printable area is the paper
// less only the margins the printer cannot print on.
void QtPrinterDevice::UseWholePrintableArea()
{
    printer_->setPageMargins(printer_->pageLayout().minimumMargins());
}

DeviceNames QtPrinterDevice::Names() const
{
    // The queue keeps its name after it is removed; Qt's printer would forget it.
    return {queue_, QPrinterInfo::printerInfo(queue_).makeAndModel(), queue_};
}

DeviceMode QtPrinterDevice::GetDeviceMode() const
{
    return DeviceModeOf(*printer_);
}

void QtPrinterDevice::SetDevice(const DeviceNames& names, const std::optional<DeviceMode>& mode)
{
    queue_ = names.device;
    printer_->setPrinterName(names.device);
    const qsizetype index = Printers().indexOf(names.device);
    index_ = index >= 0 ? static_cast<int>(index) : -1;
    if (mode) {
        ApplyDeviceMode(*printer_, *mode);
    } else {
        // A queue that has gone has no defaults: the paper stays as it was.
        const QPrinterInfo info = QPrinterInfo::printerInfo(names.device);
        if (!info.isNull())
            printer_->setPageSize(info.defaultPageSize());
        printer_->setPageOrientation(QPageLayout::Portrait);
        printer_->setCopyCount(1);
        printer_->setDuplex(info.defaultDuplexMode() == QPrinter::DuplexLongSide ? QPrinter::DuplexLongSide : QPrinter::DuplexNone);
    }
    UseWholePrintableArea();
}

DeviceCapabilities QtPrinterDevice::Capabilities() const
{
    DeviceCapabilities caps;
    caps.logPixelsX = caps.logPixelsY = printer_->resolution();
    const QRectF paper = printer_->paperRect(QPrinter::DevicePixel);
    const QRectF page = printer_->pageRect(QPrinter::DevicePixel);
    caps.physicalWidth = qRound(paper.width());
    caps.physicalHeight = qRound(paper.height());
    caps.physicalOffsetX = qRound(page.left() - paper.left());
    caps.physicalOffsetY = qRound(page.top() - paper.top());
    caps.horzRes = qRound(page.width());
    caps.vertRes = qRound(page.height());
    return caps;
}

std::vector<std::int16_t> QtPrinterDevice::Papers() const
{
    std::vector<std::int16_t> codes;
    for (const QPageSize& size : QPrinterInfo::printerInfo(printer_->printerName()).supportedPageSizes())
        if (size.windowsId() > 0)
            codes.push_back(static_cast<std::int16_t>(size.windowsId()));
    return codes;
}

void QtPrinterDevice::SetTitle(const QString& title)
{
    printer_->setDocName(title);
}

QString QtPrinterDevice::Title() const
{
    return printer_->docName();
}

void QtPrinterDevice::OrientNextPage()
{
    const QPageLayout::Orientation turned = jobOrientation_ == QPageLayout::Portrait ? QPageLayout::Landscape : QPageLayout::Portrait;
    printer_->setPageOrientation(turned_ ? turned : jobOrientation_);
    UseWholePrintableArea();
    if (jobPrinter_)
        jobPrinter_->setPageLayout(printer_->pageLayout());
}

void QtPrinterDevice::BeginDoc()
{
    if (Printing())
        throw std::runtime_error("Printer is not currently printing");
    // A queue that cannot take the job says so before a page is drawn.
    cups::CheckQueue(queue_);
    jobOrientation_ = printer_->pageLayout().orientation();
    jobFile_ = std::make_unique<QTemporaryFile>(QDir::tempPath() + QStringLiteral("/tarvolo-print-XXXXXX.pdf"));
    if (!jobFile_->open()) {
        const QString reason = jobFile_->errorString();
        EndJob();
        throw PrintJobError(PrintJobError::Reason::NotWritten, queue_, reason);
    }
    jobFile_->close();
    jobPrinter_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    jobPrinter_->setOutputFormat(QPrinter::PdfFormat);
    jobPrinter_->setOutputFileName(jobFile_->fileName());
    jobPrinter_->setResolution(printer_->resolution());
    jobPrinter_->setDocName(printer_->docName());
    jobPrinter_->setCreator(QStringLiteral("Tarvolo"));
    jobPrinter_->setFullPage(printer_->fullPage());
    OrientNextPage();
    jobLayout_ = printer_->pageLayout();
    painter_ = std::make_unique<QPainter>();
    if (!painter_->begin(jobPrinter_.get())) {
        EndJob();
        throw PrintJobError(PrintJobError::Reason::NotWritten, queue_, QStringLiteral("the job file cannot be written"));
    }
}

void QtPrinterDevice::NewPage()
{
    if (!Printing())
        throw std::runtime_error("Printer is not currently printing");
    OrientNextPage();
    if (!jobPrinter_->newPage())
        throw std::runtime_error("Printer is not currently printing");
}

// The job's orientation is the device's again once the job is over, and its file is gone.
void QtPrinterDevice::EndJob()
{
    const bool hadJob = jobPrinter_ != nullptr;
    if (painter_ && painter_->isActive())
        painter_->end();
    painter_.reset();
    jobPrinter_.reset();
    jobFile_.reset();
    turned_ = false;
    if (hadJob) {
        printer_->setPageOrientation(jobOrientation_);
        UseWholePrintableArea();
    }
}

void QtPrinterDevice::EndDoc()
{
    if (!Printing())
        throw std::runtime_error("Printer is not currently printing");
    struct EndAnyway {
        QtPrinterDevice& device;
        ~EndAnyway() { device.EndJob(); }
    } endAnyway{*this};
    const bool written = painter_->end();
    if (!written || QFileInfo(jobFile_->fileName()).size() == 0)
        throw PrintJobError(PrintJobError::Reason::NotWritten, queue_, QStringLiteral("the job file is empty"));
    // What Qt's own CUPS printing tells the queue: the paper of the first sheet, the copies, their
    // collation and the sides; every sheet's size and turn is in the file.
    cups::JobOptions options{{"media", jobLayout_.pageSize().key().toUtf8()}};
    if (printer_->copyCount() > 1) {
        options.emplace_back("copies", QByteArray::number(printer_->copyCount()));
        // Collated copies are made by CUPS' own filters; without it a queue like cups-pdf, which
        // makes no copies of its own, would print one.
        if (printer_->collateCopies())
            options.emplace_back("Collate", "True");
    }
    if (printer_->duplex() == QPrinter::DuplexLongSide)
        options.emplace_back("sides", "two-sided-long-edge");
    else if (printer_->duplex() == QPrinter::DuplexShortSide)
        options.emplace_back("sides", "two-sided-short-edge");
    lastJob_ = cups::Submit(queue_, jobFile_->fileName(), printer_->docName(), options);
}

void QtPrinterDevice::Abort()
{
    if (!Printing())
        throw std::runtime_error("Printer is not currently printing");
    EndJob();
}

bool QtPrinterDevice::CancelJob(const PrintJob& job)
{
    return cups::Cancel(job);
}

} // namespace tarvolo::platform
