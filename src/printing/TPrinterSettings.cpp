#include "TPrinterSettings.h"

#include <QCoreApplication>

namespace tarvolo::printing {

using namespace platform;

void ProcessPendingEvents()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

void TPrinterSettings::BindPrinter(PrinterDevice* printer)
{
    BoundPrinter_ = printer;
    if (BoundPrinter_ && !BoundPrinter_->Printers().isEmpty())
        ReadFromPrinter();
}

bool TPrinterSettings::FieldSupported(std::uint32_t mask) const
{
    return BoundPrinter_ && DevModeView_ && (DevModeView_->dmFields & mask) == mask;
}

void TPrinterSettings::MarkField(std::uint32_t mask)
{
    if (DevModeView_)
        DevModeView_->dmFields |= mask;
}

void TPrinterSettings::TakeDevice()
{
    Names_ = BoundPrinter_->Names();
    DevModeView_ = BoundPrinter_->GetDeviceMode();
}

void TPrinterSettings::ReadFromPrinter()
{
    if (!BoundPrinter_)
        return;
    ProcessPendingEvents();
    TakeDevice();
    const DeviceMode& mode = *DevModeView_;
    const DeviceCapabilities caps = BoundPrinter_->Capabilities();
    DpiX_ = caps.logPixelsX;
    DpiY_ = caps.logPixelsY;
    Copies_ = FieldSupported(DM_COPIES) ? mode.dmCopies : 1;

    OutputBin_ = TQRBin::First;
    if (FieldSupported(DM_DEFAULTSOURCE))
        for (std::size_t i = 0; i < kBinCodes.size(); ++i)
            if (kBinCodes[i] == mode.dmDefaultSource) {
                OutputBin_ = static_cast<TQRBin>(i);
                break;
            }
    Duplex_ = FieldSupported(DM_DUPLEX) && mode.dmDuplex != DMDUP_SIMPLEX;

    auto toTenthsMm = [](int pixels, int dpi) { return dpi > 0 ? RoundHalfEven(static_cast<long double>(pixels) / dpi * 254) : 0; };
    PhysicalLeft_ = toTenthsMm(caps.physicalOffsetX, DpiX_);
    PhysicalTop_ = toTenthsMm(caps.physicalOffsetY, DpiY_);

    PaperSize_ = TQRPaperSize::Default;
    if (FieldSupported(DM_PAPERSIZE))
        for (const PaperSizeRow& row : PaperSizeTable())
            if (row.size != TQRPaperSize::Default && row.deviceCode == mode.dmPaperSize) {
                PaperSize_ = row.size;
                break;
            }
    StoredPaperWidth = toTenthsMm(caps.physicalWidth, DpiX_);
    StoredPaperLength = toTenthsMm(caps.physicalHeight, DpiY_);

    PaperSupported.fill(false);
    for (const std::int16_t code : BoundPrinter_->Papers())
        for (std::size_t i = 1; i < kPaperSizeCount; ++i)
            if (PaperSizeTable()[i].deviceCode == code) {
                PaperSupported[i] = true;
                break;
            }
    PaperSupported[static_cast<std::size_t>(TQRPaperSize::Custom)] = true;
}

void TPrinterSettings::WriteToPrinter()
{
    if (!BoundPrinter_)
        return;
    TakeDevice();
    DeviceMode& mode = *DevModeView_;
    if (PaperSize_ == TQRPaperSize::Custom) {
        if (FieldSupported(DM_PAPERLENGTH)) {
            MarkField(DM_PAPERLENGTH);
            mode.dmPaperLength = static_cast<std::int16_t>(NominalPaperLength());
        }
        if (FieldSupported(DM_PAPERWIDTH)) {
            MarkField(DM_PAPERWIDTH);
            mode.dmPaperWidth = static_cast<std::int16_t>(NominalPaperWidth());
        }
    }
    if (Duplex_) {
        MarkField(DM_DUPLEX);
        mode.dmDuplex = DMDUP_HORIZONTAL;
    }
    if (FieldSupported(DM_PAPERSIZE) && PaperSize_ != TQRPaperSize::Default) {
        MarkField(DM_PAPERSIZE);
        mode.dmPaperSize = PaperRow(PaperSize_).deviceCode;
    }
    MarkField(DM_COPIES);
    mode.dmCopies = static_cast<std::int16_t>(static_cast<std::uint16_t>(Copies_ & 0xFFFF));
    MarkField(DM_DEFAULTSOURCE);
    mode.dmDefaultSource = static_cast<std::int16_t>(BinCode(OutputBin_) | (mode.dmDefaultSource & 0x100));
    MarkField(DM_ORIENTATION);
    mode.dmOrientation = Orientation_ == TPrinterOrientation::poLandscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
    BoundPrinter_->SetDevice(Names_, mode);
}

void TPrinterSettings::ReloadDeviceDefaults(PrinterDevice& printer)
{
    printer.SetDevice(printer.Names(), std::nullopt);
}

void TPrinterSettings::SetCopies(std::int32_t copies)
{
    if (FieldSupported(DM_COPIES))
        Copies_ = copies;
}

void TPrinterSettings::SetOrientation(TPrinterOrientation orientation)
{
    if (FieldSupported(DM_ORIENTATION))
        Orientation_ = orientation;
}

void TPrinterSettings::SetOutputBin(TQRBin bin)
{
    if (FieldSupported(DM_DEFAULTSOURCE))
        OutputBin_ = bin;
}

void TPrinterSettings::SetPaperSize(TQRPaperSize size)
{
    if (size == TQRPaperSize::Default || OffersPaperSize(size))
        PaperSize_ = size;
}

std::int32_t TPrinterSettings::NominalPaperWidth() const
{
    return PaperSize_ == TQRPaperSize::Default || PaperSize_ == TQRPaperSize::Custom ? StoredPaperWidth : TableWidth(PaperSize_);
}

std::int32_t TPrinterSettings::NominalPaperLength() const
{
    return PaperSize_ == TQRPaperSize::Default || PaperSize_ == TQRPaperSize::Custom ? StoredPaperLength : TableLength(PaperSize_);
}

void TPrinterSettings::SetNominalPaperWidth(std::int32_t width)
{
    if (PaperSize_ == TQRPaperSize::Custom)
        StoredPaperWidth = width;
}

void TPrinterSettings::SetNominalPaperLength(std::int32_t length)
{
    if (PaperSize_ == TQRPaperSize::Custom)
        StoredPaperLength = length;
}

} // namespace tarvolo::printing
