#pragma once

#include "PrinterDevice.h"

#include <QPageLayout>
#include <QPainter>

#include <memory>

class QPrinter;

namespace tarvolo::platform {

// The printer device over Qt's printing classes, which talk to CUPS. Its device mode is the
// QPrinter's settings, converted as QtDeviceMode.h describes.
class QtPrinterDevice : public PrinterDevice {
public:
    QtPrinterDevice();
    ~QtPrinterDevice() override;

    QStringList Printers() const override;
    int PrinterIndex() const override { return index_; }
    void SetPrinterIndex(int index) override;
    DeviceNames Names() const override;
    DeviceMode GetDeviceMode() const override;
    void SetDevice(const DeviceNames& names, const std::optional<DeviceMode>& mode) override;
    DeviceCapabilities Capabilities() const override;
    std::vector<std::int16_t> Papers() const override;
    void SetTitle(const QString& title) override;
    QString Title() const override;
    void TurnNextPage(bool turned) override { turned_ = turned; }
    void BeginDoc() override;
    void NewPage() override;
    void EndDoc() override;
    void Abort() override;
    bool Printing() const override { return painter_ && painter_->isActive(); }
    QPainter* Canvas() override { return Printing() ? painter_.get() : nullptr; }

private:
    void UseWholePrintableArea();
    // Sets the orientation of the page about to begin: the job's, or the other one when turned.
    void OrientNextPage();
    void EndJob();

    std::unique_ptr<QPrinter> printer_;
    std::unique_ptr<QPainter> painter_;
    int index_ = -1;
    bool turned_ = false;
    QPageLayout::Orientation jobOrientation_ = QPageLayout::Portrait;
};

} // namespace tarvolo::platform
