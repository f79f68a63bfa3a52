#pragma once

#include <cstdint>

namespace tarvolo::platform {

// dmFields bits, with their Windows values.
enum : std::uint32_t {
    DM_ORIENTATION = 0x1, DM_PAPERSIZE = 0x2, DM_PAPERLENGTH = 0x4, DM_PAPERWIDTH = 0x8, DM_COPIES = 0x100,
    DM_DEFAULTSOURCE = 0x200, DM_DUPLEX = 0x1000,
};
enum : std::int16_t { DMORIENT_PORTRAIT = 1, DMORIENT_LANDSCAPE = 2 };
enum : std::int16_t { DMDUP_SIMPLEX = 1, DMDUP_VERTICAL = 2, DMDUP_HORIZONTAL = 3 };
constexpr std::int16_t kCustomPaperCode = 256;

// The device-mode fields a report printer reads and writes, as a printer driver keeps them.
// Paper lengths are in 0.1 mm; paper sizes and sources use the Windows DMPAPER and DMBIN codes.
struct DeviceMode {
    std::uint32_t dmFields = 0;
    std::int16_t dmOrientation = DMORIENT_PORTRAIT;
    std::int16_t dmPaperSize = 0;
    std::int16_t dmPaperLength = 0;
    std::int16_t dmPaperWidth = 0;
    std::int16_t dmCopies = 1;
    std::int16_t dmDefaultSource = 0;
    std::int16_t dmDuplex = DMDUP_SIMPLEX;

    bool operator==(const DeviceMode&) const = default;
};

// What GetDeviceCaps tells of a printer, in device pixels.
struct DeviceCapabilities {
    int logPixelsX = 0;
    int logPixelsY = 0;
    int physicalOffsetX = 0;
    int physicalOffsetY = 0;
    int physicalWidth = 0;
    int physicalHeight = 0;
    int horzRes = 0;
    int vertRes = 0;
};

} // namespace tarvolo::platform
