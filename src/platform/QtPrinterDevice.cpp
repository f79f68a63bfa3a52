#include "QtPrinterDevice.h"

#include "QtDeviceMode.h"

#include <QPageSize>
#include <QPrinter>
#include <QPrinterInfo>

#include <stdexcept>

namespace tarvolo::platform {

QtPrinterDevice::QtPrinterDevice() : printer_(std::make_unique<QPrinter>(QPrinter::HighResolution))
{
}

QtPrinterDevice::~QtPrinterDevice()
{
    if (painter_ && painter_->isActive())
        painter_->end();
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
    return DeviceNamesOf(*printer_);
}

DeviceMode QtPrinterDevice::GetDeviceMode() const
{
    return DeviceModeOf(*printer_);
}

void QtPrinterDevice::SetDevice(const DeviceNames& names, const std::optional<DeviceMode>& mode)
{
    printer_->setPrinterName(names.device);
    if (const qsizetype index = Printers().indexOf(names.device); index >= 0)
        index_ = static_cast<int>(index);
    if (mode) {
        ApplyDeviceMode(*printer_, *mode);
    } else {
        const QPrinterInfo info = QPrinterInfo::printerInfo(names.device);
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
}

void QtPrinterDevice::BeginDoc()
{
    jobOrientation_ = printer_->pageLayout().orientation();
    OrientNextPage();
    painter_ = std::make_unique<QPainter>();
    if (!painter_->begin(printer_.get())) {
        painter_.reset();
        EndJob();
        throw std::runtime_error("Printer is not currently printing");
    }
}

void QtPrinterDevice::NewPage()
{
    if (!Printing())
        throw std::runtime_error("Printer is not currently printing");
    OrientNextPage();
    if (!printer_->newPage())
        throw std::runtime_error("Printer is not currently printing");
}

// The job's orientation is the device's again once the job is over.
void QtPrinterDevice::EndJob()
{
    painter_.reset();
    turned_ = false;
    printer_->setPageOrientation(jobOrientation_);
    UseWholePrintableArea();
}

void QtPrinterDevice::EndDoc()
{
    if (!Printing())
        throw std::runtime_error("Printer is not currently printing");
    const bool ended = painter_->end();
    EndJob();
    if (!ended)
        throw std::runtime_error("The print job could not be handed to the printer");
}

void QtPrinterDevice::Abort()
{
    if (!Printing())
        throw std::runtime_error("Printer is not currently printing");
    printer_->abort();
    painter_->end();
    EndJob();
}

} // namespace tarvolo::platform
