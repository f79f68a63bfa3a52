#include "QtDeviceMode.h"

#include <QPageSize>
#include <QPrinter>
#include <QPrinterInfo>

#include <algorithm>

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

DeviceMode DeviceModeOf(const QPrinter& printer)
{
    DeviceMode mode;
    mode.dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH | DM_COPIES | DM_DEFAULTSOURCE | DM_DUPLEX;
    const QPageLayout layout = printer.pageLayout();
    mode.dmOrientation = layout.orientation() == QPageLayout::Landscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
    const QPageSize size = layout.pageSize();
    const int windowsId = size.windowsId();
    mode.dmPaperSize = static_cast<std::int16_t>(size.id() == QPageSize::Custom ? kCustomPaperCode : windowsId);
    const QSizeF mm = size.size(QPageSize::Millimeter);
    mode.dmPaperWidth = static_cast<std::int16_t>(qRound(mm.width() * 10));
    mode.dmPaperLength = static_cast<std::int16_t>(qRound(mm.height() * 10));
    mode.dmCopies = static_cast<std::int16_t>(printer.copyCount());
    mode.dmDefaultSource = BinCode(printer.paperSource());
    switch (printer.duplex()) {
    case QPrinter::DuplexLongSide: mode.dmDuplex = DMDUP_VERTICAL; break;
    case QPrinter::DuplexShortSide: mode.dmDuplex = DMDUP_HORIZONTAL; break;
    default: mode.dmDuplex = DMDUP_SIMPLEX; break;
    }
    return mode;
}

void ApplyDeviceMode(QPrinter& printer, const DeviceMode& mode)
{
    if (mode.dmFields & DM_PAPERSIZE) {
        if (mode.dmPaperSize == kCustomPaperCode && mode.dmPaperWidth > 0 && mode.dmPaperLength > 0)
            printer.setPageSize(QPageSize(QSizeF(mode.dmPaperWidth / 10.0, mode.dmPaperLength / 10.0), QPageSize::Millimeter));
        else if (mode.dmPaperSize > 0)
            printer.setPageSize(QPageSize(QPageSize::id(mode.dmPaperSize)));
    }
    if (mode.dmFields & DM_ORIENTATION)
        printer.setPageOrientation(mode.dmOrientation == DMORIENT_LANDSCAPE ? QPageLayout::Landscape : QPageLayout::Portrait);
    if (mode.dmFields & DM_COPIES)
        printer.setCopyCount(std::max<int>(mode.dmCopies, 1));
    if (mode.dmFields & DM_DEFAULTSOURCE)
        printer.setPaperSource(SourceFor(mode.dmDefaultSource));
    if (mode.dmFields & DM_DUPLEX)
        printer.setDuplex(mode.dmDuplex == DMDUP_VERTICAL    ? QPrinter::DuplexLongSide
                          : mode.dmDuplex == DMDUP_HORIZONTAL ? QPrinter::DuplexShortSide
                                                              : QPrinter::DuplexNone);
}

DeviceNames DeviceNamesOf(const QPrinter& printer)
{
    const QString name = printer.printerName();
    return {name, QPrinterInfo::printerInfo(name).makeAndModel(), name};
}

} // namespace tarvolo::platform
