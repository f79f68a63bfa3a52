#include "TestPrinterDevice.h"

#include <stdexcept>

namespace tarvolo::platform {

TestPrinterDevice::Printer TestPrinterDevice::LaserPrinter(const QString& name)
{
    Printer printer;
    printer.names = {name, "test driver", "usb:" + name};
    printer.defaultMode.dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES | DM_DEFAULTSOURCE | DM_DUPLEX;
    printer.defaultMode.dmPaperSize = 9; // A4
    printer.defaultMode.dmDefaultSource = 7;
    printer.capabilities = {600, 600, 100, 120, 4961, 7016, 4761, 6776};
    printer.papers = {1, 5, 8, 9, 11, 256};
    return printer;
}

QStringList TestPrinterDevice::Printers() const
{
    QStringList names;
    for (const Printer& printer : printers)
        names.push_back(printer.names.device);
    return names;
}

const TestPrinterDevice::Printer* TestPrinterDevice::Current() const
{
    const int index = index_ < 0 ? defaultIndex : index_;
    return index >= 0 && index < static_cast<int>(printers.size()) ? &printers[static_cast<std::size_t>(index)] : nullptr;
}

void TestPrinterDevice::SetPrinterIndex(int index)
{
    if (index >= static_cast<int>(printers.size()))
        throw std::runtime_error("Printer selected is not valid");
    index_ = index;
    mode_.reset();
}

DeviceMode TestPrinterDevice::GetDeviceMode() const
{
    if (mode_)
        return *mode_;
    const Printer* printer = Current();
    return printer ? printer->defaultMode : DeviceMode{};
}

DeviceNames TestPrinterDevice::Names() const
{
    const Printer* printer = Current();
    return printer ? printer->names : DeviceNames{};
}

void TestPrinterDevice::SetDevice(const DeviceNames& names, const std::optional<DeviceMode>& mode)
{
    for (std::size_t i = 0; i < printers.size(); ++i)
        if (printers[i].names.device == names.device) {
            index_ = static_cast<int>(i);
            mode_ = mode;
            return;
        }
}

DeviceCapabilities TestPrinterDevice::Capabilities() const
{
    const Printer* printer = Current();
    DeviceCapabilities caps = printer ? printer->capabilities : DeviceCapabilities{};
    if (printing_ && pageTurned_) {
        std::swap(caps.physicalWidth, caps.physicalHeight);
        std::swap(caps.physicalOffsetX, caps.physicalOffsetY);
        std::swap(caps.horzRes, caps.vertRes);
    }
    return caps;
}

std::vector<std::int16_t> TestPrinterDevice::Papers() const
{
    const Printer* printer = Current();
    return printer ? printer->papers : std::vector<std::int16_t>{};
}

void TestPrinterDevice::StartPage()
{
    pageTurned_ = turned_;
    const DeviceCapabilities caps = Capabilities();
    const int divisor = std::max(pageImageDivisor, 1);
    page_ = QImage(std::max(caps.horzRes / divisor, 1), std::max(caps.vertRes / divisor, 1), QImage::Format_RGB32);
    page_.fill(Qt::white);
    painter_ = std::make_unique<QPainter>(&page_);
    painter_->scale(1.0 / divisor, 1.0 / divisor);
    if (onPageBegun)
        onPageBegun(static_cast<int>(jobs.back().pages.size()));
}

void TestPrinterDevice::EndPage()
{
    painter_.reset();
    jobs.back().pages.push_back(page_);
}

void TestPrinterDevice::BeginDoc()
{
    if (printing_)
        throw std::runtime_error("Printing in progress");
    if (refuseAtBegin) {
        const PrintJobError error = *refuseAtBegin;
        refuseAtBegin.reset();
        throw error;
    }
    jobs.push_back({title_, {}, GetDeviceMode(), false, false});
    printing_ = true;
    StartPage();
}

void TestPrinterDevice::NewPage()
{
    if (!printing_)
        throw std::runtime_error("Printer is not currently printing");
    EndPage();
    StartPage();
}

void TestPrinterDevice::EndDoc()
{
    if (!printing_)
        throw std::runtime_error("Printer is not currently printing");
    EndPage();
    printing_ = false;
    turned_ = false;
    if (refuseAtEnd) {
        const PrintJobError error = *refuseAtEnd;
        refuseAtEnd.reset();
        jobs.back().aborted = true;
        throw error;
    }
    jobs.back().ended = true;
    lastJob_ = {Names().device, static_cast<int>(jobs.size())};
}

bool TestPrinterDevice::CancelJob(const PrintJob& job)
{
    cancelledJobs.push_back(job);
    return job.id > 0;
}

void TestPrinterDevice::Abort()
{
    if (!printing_)
        throw std::runtime_error("Printer is not currently printing");
    // The page in progress is kept, to show what was drawn before the job was dropped.
    EndPage();
    jobs.back().aborted = true;
    printing_ = false;
    turned_ = false;
}

} // namespace tarvolo::platform
