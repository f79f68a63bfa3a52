#pragma once

#include "DeviceMode.h"
#include "PrintJobError.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

class QPainter;

namespace tarvolo::platform {

struct DeviceNames {
    QString device;
    QString driver;
    QString port;
};

// A printer as the operating system offers it: the installed printers and the one selected, its
// device mode, capabilities and papers, and print jobs drawn on a QPainter in device pixels.
// The application has one shared instance; each report printer object has a private one.
class PrinterDevice {
public:
    virtual ~PrinterDevice() = default;

    virtual QStringList Printers() const = 0;
    // The selected printer; -1 selects the system's default printer.
    virtual int PrinterIndex() const = 0;
    virtual void SetPrinterIndex(int index) = 0;

    virtual DeviceNames Names() const = 0;
    virtual DeviceMode GetDeviceMode() const = 0;
    // Re-selects a device. With a device mode, the next job uses it; without one, the driver's
    // default device mode is loaded afresh and earlier changes are dropped.
    virtual void SetDevice(const DeviceNames& names, const std::optional<DeviceMode>& mode) = 0;
    virtual DeviceCapabilities Capabilities() const = 0;
    // The DMPAPER codes of the papers the printer offers.
    virtual std::vector<std::int16_t> Papers() const = 0;

    virtual void SetTitle(const QString& title) = 0;
    virtual QString Title() const = 0;
    // Whether the next page begun (by BeginDoc or NewPage) lies on a sheet turned a quarter from
    // the job's orientation; it holds for the pages after it until changed, and ends with the job.
    virtual void TurnNextPage(bool turned) = 0;
    // Starts the job and its first page; a queue that cannot take the job fails here already,
    // with a PrintJobError, before anything is drawn.
    virtual void BeginDoc() = 0;
    virtual void NewPage() = 0;  // ends the page and starts the next
    // Ends the job and hands it to the spooler; a job the spooler does not take is a
    // PrintJobError. The device is ready for the next job either way.
    virtual void EndDoc() = 0;
    // Drops the open job: nothing of it reaches the printer. Fails with "Printer is not currently
    // printing" when no job is open.
    virtual void Abort() = 0;
    virtual bool Printing() const = 0;
    // The job the last EndDoc handed over; number 0 before any.
    virtual PrintJob LastJob() const = 0;
    // Cancels a job already handed over, for a cancel that came too late to drop it; true when
    // the spooler cancelled it.
    virtual bool CancelJob(const PrintJob& job) = 0;
    // The canvas of the page being printed, in device pixels with (0, 0) at the printable area's
    // top left; null outside a job. Capabilities() describe the sheet of the page being printed.
    virtual QPainter* Canvas() = 0;
};

} // namespace tarvolo::platform
