#pragma once

#include "PrinterDevice.h"

#include <stdexcept>

namespace tarvolo::platform {

// A machine without printers: nothing to select, nothing to print on. Tools that record or
// read reports without printing use it so that no installed printer changes their results.
class NoPrinterDevice : public PrinterDevice {
public:
    QStringList Printers() const override { return {}; }
    int PrinterIndex() const override { return -1; }
    void SetPrinterIndex(int) override { throw std::runtime_error("Printer selected is not valid"); }
    DeviceNames Names() const override { return {}; }
    DeviceMode GetDeviceMode() const override { return {}; }
    void SetDevice(const DeviceNames&, const std::optional<DeviceMode>&) override {}
    DeviceCapabilities Capabilities() const override { return {}; }
    std::vector<std::int16_t> Papers() const override { return {}; }
    void SetTitle(const QString&) override {}
    QString Title() const override { return {}; }
    void TurnNextPage(bool) override {}
    void BeginDoc() override { throw std::runtime_error("There is no default printer currently selected"); }
    void NewPage() override { throw std::runtime_error("Printer is not currently printing"); }
    void EndDoc() override { throw std::runtime_error("Printer is not currently printing"); }
    void Abort() override { throw std::runtime_error("Printer is not currently printing"); }
    bool Printing() const override { return false; }
    PrintJob LastJob() const override { return {}; }
    bool CancelJob(const PrintJob&) override { return false; }
    QPainter* Canvas() override { return nullptr; }
};

} // namespace tarvolo::platform
