#pragma once

#include "EmfHeader.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace tarvolo::emf {

// Data that is not an enhanced metafile.
class EInvalidGraphic : public std::runtime_error {
public:
    EInvalidGraphic() : std::runtime_error("Metafile is not valid") {}
};

// One page: the bytes of an enhanced metafile and its parsed header. A value type; copies are
// independent.
class Metafile {
public:
    // Takes EMF bytes that must pass the acceptance rule and be exactly nBytes long.
    explicit Metafile(std::vector<std::uint8_t> bytes);

    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
    const EmfHeader& Header() const { return header_; }

    // The page size in pixels of the reference device the metafile was recorded for:
    // rclFrame (0.01 mm) scaled by szlDevice / szlMillimeters, rounded to nearest.
    int Width() const;
    int Height() const;

    bool operator==(const Metafile& other) const { return bytes_ == other.bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
    EmfHeader header_;
};

} // namespace tarvolo::emf
