#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tarvolo::emf {

struct EmfRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

struct EmfSize {
    std::int32_t cx = 0;
    std::int32_t cy = 0;
};

// The fields of EMR_HEADER that the viewer uses.
struct EmfHeader {
    EmfRect rclBounds;         // device units of the reference device
    EmfRect rclFrame;          // 0.01 mm
    std::uint32_t nVersion = 0;
    std::uint32_t nBytes = 0;  // whole metafile length
    std::uint32_t nRecords = 0;
    std::uint16_t nHandles = 0;
    EmfSize szlDevice;         // reference device in pixels
    EmfSize szlMillimeters;    // reference device in millimetres
};

constexpr std::uint32_t kEmrHeader = 1;
constexpr std::uint32_t kEmfSignature = 0x464D4520; // " EMF"
constexpr std::size_t kEmfSignatureOffset = 40;
// EMR_HEADER without the optional pixel-format and micrometre extensions.
constexpr std::size_t kEmfHeaderMinSize = 88;
// A metafile loader only looks at data that has more than this many bytes left.
constexpr std::uint64_t kMetafileMinBytesLeft = 100;

// Applies the metafile acceptance rule to data whose first bytes are `prefix` and of which
// `bytesLeft` bytes are available in all: more than 100 bytes left, record type 1, the " EMF"
// signature at byte 40, and a header record and nBytes large enough for a whole header.
// Throws EInvalidGraphic ("Metafile is not valid") otherwise. Whether nBytes bytes are really
// there is the caller's check: short data is a read error, not an invalid metafile.
EmfHeader ParseEmfHeader(std::span<const std::uint8_t> prefix, std::uint64_t bytesLeft);

} // namespace tarvolo::emf
