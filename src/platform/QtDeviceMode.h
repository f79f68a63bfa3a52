#pragma once

#include "DeviceMode.h"
#include "PrinterDevice.h"

class QPrinter;

namespace tarvolo::platform {

// A device mode read from and written to a QPrinter's settings. Paper codes go through the Windows
// paper ids that Qt's page sizes carry; copies, duplex, orientation, paper source and custom sizes
// map to the QPrinter's own settings. Shared by the printer device and the print dialog so that
// a device mode means the same to both.
DeviceMode DeviceModeOf(const QPrinter& printer);
// Applies the fields that dmFields marks; the others keep the printer's values.
void ApplyDeviceMode(QPrinter& printer, const DeviceMode& mode);
// The device, driver and port names of the printer a QPrinter is set to: the CUPS queue names
// the device and the port, its make and model stands for the driver.
DeviceNames DeviceNamesOf(const QPrinter& printer);

} // namespace tarvolo::platform
