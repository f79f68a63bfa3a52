#include "Metafile.h"

#include "LittleEndian.h"

#include <cmath>

namespace tarvolo::emf {

namespace {

EmfRect ReadRect(const std::uint8_t* p)
{
    return {ReadI32LE(p), ReadI32LE(p + 4), ReadI32LE(p + 8), ReadI32LE(p + 12)};
}

EmfSize ReadSize(const std::uint8_t* p)
{
    return {ReadI32LE(p), ReadI32LE(p + 4)};
}

// MulDiv-style scaling of a frame extent in 0.01 mm to reference-device pixels, rounded half away
// from zero. A reference device of zero millimetres has no meaningful size.
int FrameExtentToPixels(std::int64_t extent, std::int32_t devicePixels, std::int32_t deviceMillimetres)
{
    if (deviceMillimetres == 0)
        return 0;
    const double pixels = static_cast<double>(extent) * devicePixels / (static_cast<double>(deviceMillimetres) * 100.0);
    const double rounded = std::round(pixels);
    if (!(std::fabs(rounded) < 2147483647.0))
        return 0;
    return static_cast<int>(rounded);
}

} // namespace

EmfHeader ParseEmfHeader(std::span<const std::uint8_t> prefix, std::uint64_t bytesLeft)
{
    if (bytesLeft <= kMetafileMinBytesLeft || prefix.size() < kEmfHeaderMinSize)
        throw EInvalidGraphic();
    const std::uint8_t* p = prefix.data();
    if (ReadU32LE(p) != kEmrHeader || ReadU32LE(p + kEmfSignatureOffset) != kEmfSignature)
        throw EInvalidGraphic();
    const std::uint32_t headerRecordSize = ReadU32LE(p + 4);
    EmfHeader header;
    header.rclBounds = ReadRect(p + 8);
    header.rclFrame = ReadRect(p + 24);
    header.nVersion = ReadU32LE(p + 44);
    header.nBytes = ReadU32LE(p + 48);
    header.nRecords = ReadU32LE(p + 52);
    header.nHandles = ReadU16LE(p + 56);
    header.szlDevice = ReadSize(p + 72);
    header.szlMillimeters = ReadSize(p + 80);
    if (headerRecordSize < kEmfHeaderMinSize || headerRecordSize > header.nBytes)
        throw EInvalidGraphic();
    return header;
}

Metafile::Metafile(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes))
{
    header_ = ParseEmfHeader(bytes_, bytes_.size());
    if (header_.nBytes > bytes_.size())
        throw EInvalidGraphic();
    // Pictures embedded in documents often arrive padded: the metafile is the bytes its header
    // counts, as GDI plays them.
    bytes_.resize(header_.nBytes);
}

int Metafile::Width() const
{
    return FrameExtentToPixels(static_cast<std::int64_t>(header_.rclFrame.right) - header_.rclFrame.left,
                               header_.szlDevice.cx, header_.szlMillimeters.cx);
}

int Metafile::Height() const
{
    return FrameExtentToPixels(static_cast<std::int64_t>(header_.rclFrame.bottom) - header_.rclFrame.top,
                               header_.szlDevice.cy, header_.szlMillimeters.cy);
}

} // namespace tarvolo::emf
