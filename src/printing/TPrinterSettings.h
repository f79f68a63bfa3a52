#pragma once

#include "BinTable.h"
#include "PaperSizeTable.h"
#include "platform/PrinterDevice.h"

#include <array>
#include <optional>

namespace tarvolo::printing {

// The working settings between a report and one printer device: read from the device's device
// mode and capabilities, changed within what the device supports, written back before a job.
class TPrinterSettings {
public:
    void BindPrinter(platform::PrinterDevice* printer);
    void ReadFromPrinter();
    void WriteToPrinter();
    // Makes the device drop its device mode and take its driver's default for the same device.
    static void ReloadDeviceDefaults(platform::PrinterDevice& printer);

    bool FieldSupported(std::uint32_t mask) const;
    void MarkField(std::uint32_t mask);
    bool OffersPaperSize(TQRPaperSize size) const { return PaperSupported[static_cast<std::size_t>(size)]; }

    std::int32_t Copies() const { return Copies_; }
    void SetCopies(std::int32_t copies);
    TPrinterOrientation Orientation() const { return Orientation_; }
    void SetOrientation(TPrinterOrientation orientation);
    TQRBin OutputBin() const { return OutputBin_; }
    void SetOutputBin(TQRBin bin);
    TQRPaperSize PaperSize() const { return PaperSize_; }
    void SetPaperSize(TQRPaperSize size);
    std::int32_t NominalPaperWidth() const;
    std::int32_t NominalPaperLength() const;
    void SetNominalPaperWidth(std::int32_t width);
    void SetNominalPaperLength(std::int32_t length);
    bool Duplex() const { return Duplex_; }
    std::int32_t DpiX() const { return DpiX_; }
    std::int32_t DpiY() const { return DpiY_; }
    std::int32_t PhysicalTop() const { return PhysicalTop_; }
    std::int32_t PhysicalLeft() const { return PhysicalLeft_; }

    // The device mode as last read or written.
    const std::optional<platform::DeviceMode>& DevModeView() const { return DevModeView_; }

private:
    void TakeDevice();

    platform::DeviceNames Names_;
    std::optional<platform::DeviceMode> DevModeView_;
    std::int32_t Copies_ = 0;
    bool Duplex_ = false;
    TPrinterOrientation Orientation_ = TPrinterOrientation::poPortrait;
    TQRBin OutputBin_ = TQRBin::First;
    TQRPaperSize PaperSize_ = TQRPaperSize::A4;
    std::array<bool, kPaperSizeCount> PaperSupported{};
    std::int32_t StoredPaperWidth = 0;
    std::int32_t StoredPaperLength = 0;
    std::int32_t DpiX_ = 0;
    std::int32_t DpiY_ = 0;
    std::int32_t PhysicalTop_ = 0;
    std::int32_t PhysicalLeft_ = 0;
    platform::PrinterDevice* BoundPrinter_ = nullptr;
};

// Lets the application handle its pending events once, where the settings' users expect it.
void ProcessPendingEvents();

} // namespace tarvolo::printing
