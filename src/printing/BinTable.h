#pragma once

#include <array>
#include <cstdint>

namespace tarvolo::printing {

enum class TQRBin : std::uint8_t {
    First, Upper, Lower, Middle, Manual, Envelope, EnvManual, Auto, Tractor, SmallFormat, LargeFormat, LargeCapacity,
    Cassette, Last,
};

// The DMBIN code of each paper source, in the order of TQRBin.
inline constexpr std::array<std::int16_t, 14> kBinCodes = {1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 14, 14};

inline std::int16_t BinCode(TQRBin bin)
{
    return kBinCodes[static_cast<std::size_t>(bin)];
}

} // namespace tarvolo::printing
