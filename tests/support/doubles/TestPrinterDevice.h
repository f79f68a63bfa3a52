#pragma once

#include "platform/PrinterDevice.h"

#include <QImage>
#include <QPainter>

#include <functional>
#include <memory>
#include <optional>

namespace tarvolo::platform {

// A printer device under a test's control: its printers, their device modes, capabilities and
// papers are whatever the test sets, and every printed page is kept as an image.
class TestPrinterDevice : public PrinterDevice {
public:
    struct Printer {
        DeviceNames names;
        DeviceMode defaultMode;
        DeviceCapabilities capabilities;
        std::vector<std::int16_t> papers;
    };

    // A 600-dpi A4 laser printer offering the common papers and reporting every field.
    static Printer LaserPrinter(const QString& name);

    std::vector<Printer> printers;
    int defaultIndex = 0;
    // Called after every page has begun, with the number of pages ended so far in the job.
    std::function<void(int)> onPageBegun;
    // Printed pages are drawn into images this many times smaller than the device, to keep them small.
    int pageImageDivisor = 8;

    struct Job {
        QString title;
        std::vector<QImage> pages;     // landscape images for pages on a turned sheet
        DeviceMode mode;               // the device mode the job was begun with
        bool ended = false;
        bool aborted = false;
    };
    std::vector<Job> jobs;
    // What the spooler answers: an error thrown by the next BeginDoc or EndDoc instead of taking
    // the job (each used once), and the jobs cancelled after they were handed over.
    std::optional<PrintJobError> refuseAtBegin;
    std::optional<PrintJobError> refuseAtEnd;
    std::vector<PrintJob> cancelledJobs;

    QStringList Printers() const override;
    int PrinterIndex() const override { return index_; }
    void SetPrinterIndex(int index) override;
    DeviceNames Names() const override;
    DeviceMode GetDeviceMode() const override;
    void SetDevice(const DeviceNames& names, const std::optional<DeviceMode>& mode) override;
    DeviceCapabilities Capabilities() const override;
    std::vector<std::int16_t> Papers() const override;
    void SetTitle(const QString& title) override { title_ = title; }
    QString Title() const override { return title_; }
    void TurnNextPage(bool turned) override { turned_ = turned; }
    void BeginDoc() override;
    void NewPage() override;
    void EndDoc() override;
    void Abort() override;
    bool Printing() const override { return printing_; }
    QPainter* Canvas() override { return printing_ ? painter_.get() : nullptr; }
    PrintJob LastJob() const override { return lastJob_; }
    bool CancelJob(const PrintJob& job) override;

private:
    const Printer* Current() const;
    void StartPage();
    void EndPage();

    int index_ = -1;
    std::optional<DeviceMode> mode_; // set by SetDevice; otherwise the printer's default
    QString title_;
    bool printing_ = false;
    bool turned_ = false;
    bool pageTurned_ = false;
    QImage page_;
    std::unique_ptr<QPainter> painter_;
    PrintJob lastJob_;
};

} // namespace tarvolo::platform
