#pragma once

#include "PrinterDevice.h"

#include <cstdint>
#include <span>
#include <vector>

namespace tarvolo::platform {

// The DEVNAMES block a print dialog exchanges: four little-endian 16-bit words (the offsets of the
// driver, device and port names, and a default flag) followed by the names, each ending in a zero
// byte. Names are kept whole as UTF-8: a CUPS queue name cut short would name another queue.
std::vector<std::uint8_t> MakeDevNames(const DeviceNames& names);
// Reads a block back; a name whose offset lies outside the block or that has no terminator in it
// comes back empty.
DeviceNames ReadDevNames(std::span<const std::uint8_t> block);

} // namespace tarvolo::platform
