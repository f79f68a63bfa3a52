#pragma once

#include "PrinterDevice.h"

#include <QPageLayout>
#include <QPainter>

#include <memory>

class QPrinter;
class QTemporaryFile;

namespace tarvolo::platform {

// The printer device over Qt's printing classes and CUPS. Its device mode is a QPrinter's
// settings, converted as QtDeviceMode.h describes. A job is drawn by Qt's PDF engine into a file
// of its own and handed to the CUPS queue only when it ends, so that an aborted job never reaches
// the spooler and the spooler's answer to a finished one is known.
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
    PrintJob LastJob() const override { return lastJob_; }
    bool CancelJob(const PrintJob& job) override;

private:
    void UseWholePrintableArea();
    // Sets the orientation of the page about to begin: the job's, or the other one when turned.
    void OrientNextPage();
    // Back to no job, whatever state the job was left in.
    void EndJob();

    std::unique_ptr<QPrinter> printer_;    // the settings: queue, paper, orientation, copies
    std::unique_ptr<QPrinter> jobPrinter_; // the job being drawn, into jobFile_
    std::unique_ptr<QTemporaryFile> jobFile_;
    std::unique_ptr<QPainter> painter_;
    QString queue_; // the queue chosen; it may have gone since
    int index_ = -1;
    bool turned_ = false;
    QPageLayout::Orientation jobOrientation_ = QPageLayout::Portrait;
    QPageLayout jobLayout_; // the first page's layout, whose paper the queue is told of
    PrintJob lastJob_;
};

} // namespace tarvolo::platform
