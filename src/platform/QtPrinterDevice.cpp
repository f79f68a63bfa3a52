#include "QtPrinterDevice.h"

#include <QPageSize>
#include <QPrinter>
#include <QPrinterInfo>

#include <stdexcept>

namespace tarvolo::platform {

namespace {

// QPrinter::PaperSource values to DMBIN codes, and back.
std::int16_t BinCode(QPrinter::PaperSource source)
{
    switch (source) {
    case QPrinter::Cassette: return 14;
    case QPrinter::FormSource: return 15;
    case QPrinter::CustomSource: return 256;
    default: return static_cast<std::int16_t>(static_cast<int>(source) + 1);
    }
}

QPrinter::PaperSource SourceFor(std::int16_t code)
{
    switch (code & 0xFF) {
    case 14: return QPrinter::Cassette;
    case 15: return QPrinter::FormSource;
    default:
        if (code >= 1 && code <= 11)
            return static_cast<QPrinter::PaperSource>(code - 1);
        return QPrinter::Auto;
    }
}

} // namespace

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
}

DeviceNames QtPrinterDevice::Names() const
{
    const QString name = printer_->printerName();
    return {name, QPrinterInfo::printerInfo(name).makeAndModel(), name};
}

DeviceMode QtPrinterDevice::GetDeviceMode() const
{
    DeviceMode mode;
    mode.dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH | DM_COPIES | DM_DEFAULTSOURCE | DM_DUPLEX;
    const QPageLayout layout = printer_->pageLayout();
    mode.dmOrientation = layout.orientation() == QPageLayout::Landscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
    const QPageSize size = layout.pageSize();
    const int windowsId = size.windowsId();
    mode.dmPaperSize = static_cast<std::int16_t>(size.id() == QPageSize::Custom ? kCustomPaperCode : windowsId);
    const QSizeF mm = size.size(QPageSize::Millimeter);
    mode.dmPaperWidth = static_cast<std::int16_t>(qRound(mm.width() * 10));
    mode.dmPaperLength = static_cast<std::int16_t>(qRound(mm.height() * 10));
    mode.dmCopies = static_cast<std::int16_t>(printer_->copyCount());
    mode.dmDefaultSource = BinCode(printer_->paperSource());
    switch (printer_->duplex()) {
    case QPrinter::DuplexLongSide: mode.dmDuplex = DMDUP_VERTICAL; break;
    case QPrinter::DuplexShortSide: mode.dmDuplex = DMDUP_HORIZONTAL; break;
    default: mode.dmDuplex = DMDUP_SIMPLEX; break;
    }
    return mode;
}

void QtPrinterDevice::ApplyDeviceMode(const DeviceMode& mode)
{
    if (mode.dmFields & DM_PAPERSIZE) {
        if (mode.dmPaperSize == kCustomPaperCode && mode.dmPaperWidth > 0 && mode.dmPaperLength > 0)
            printer_->setPageSize(QPageSize(QSizeF(mode.dmPaperWidth / 10.0, mode.dmPaperLength / 10.0), QPageSize::Millimeter));
        else if (mode.dmPaperSize > 0)
            printer_->setPageSize(QPageSize(QPageSize::id(mode.dmPaperSize)));
    }
    if (mode.dmFields & DM_ORIENTATION)
        printer_->setPageOrientation(mode.dmOrientation == DMORIENT_LANDSCAPE ? QPageLayout::Landscape : QPageLayout::Portrait);
    if (mode.dmFields & DM_COPIES)
        printer_->setCopyCount(std::max<int>(mode.dmCopies, 1));
    if (mode.dmFields & DM_DEFAULTSOURCE)
        printer_->setPaperSource(SourceFor(mode.dmDefaultSource));
    if (mode.dmFields & DM_DUPLEX)
        printer_->setDuplex(mode.dmDuplex == DMDUP_VERTICAL    ? QPrinter::DuplexLongSide
                            : mode.dmDuplex == DMDUP_HORIZONTAL ? QPrinter::DuplexShortSide
                                                                : QPrinter::DuplexNone);
}

void QtPrinterDevice::SetDevice(const DeviceNames& names, const std::optional<DeviceMode>& mode)
{
    printer_->setPrinterName(names.device);
    if (mode) {
        ApplyDeviceMode(*mode);
    } else {
        const QPrinterInfo info = QPrinterInfo::printerInfo(names.device);
        printer_->setPageSize(info.defaultPageSize());
        printer_->setPageOrientation(QPageLayout::Portrait);
        printer_->setCopyCount(1);
        printer_->setDuplex(info.defaultDuplexMode() == QPrinter::DuplexLongSide ? QPrinter::DuplexLongSide : QPrinter::DuplexNone);
    }
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

void QtPrinterDevice::OrientNextPage()
{
    const QPageLayout::Orientation turned = jobOrientation_ == QPageLayout::Portrait ? QPageLayout::Landscape : QPageLayout::Portrait;
    printer_->setPageOrientation(turned_ ? turned : jobOrientation_);
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
