#pragma once

#include <cstdint>
#include <cstring>

// Report files and EMF records are little-endian whatever the host is.
namespace tarvolo {

inline std::uint16_t ReadU16LE(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t ReadU32LE(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline std::int32_t ReadI32LE(const std::uint8_t* p)
{
    return static_cast<std::int32_t>(ReadU32LE(p));
}

inline std::uint64_t ReadU64LE(const std::uint8_t* p)
{
    return static_cast<std::uint64_t>(ReadU32LE(p)) | (static_cast<std::uint64_t>(ReadU32LE(p + 4)) << 32);
}

inline double ReadDoubleLE(const std::uint8_t* p)
{
    const std::uint64_t bits = ReadU64LE(p);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

inline void WriteU16LE(std::uint8_t* p, std::uint16_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

inline void WriteU32LE(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline void WriteI32LE(std::uint8_t* p, std::int32_t v)
{
    WriteU32LE(p, static_cast<std::uint32_t>(v));
}

inline void WriteDoubleLE(std::uint8_t* p, double value)
{
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    WriteU32LE(p, static_cast<std::uint32_t>(bits));
    WriteU32LE(p + 4, static_cast<std::uint32_t>(bits >> 32));
}

} // namespace tarvolo
