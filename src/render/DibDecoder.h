#pragma once

#include "metafile/EmfRecordReader.h"

#include <QImage>

namespace tarvolo::emf {

// Turns a device-independent bitmap stored in a record (its BITMAPINFO at offBmi, its bits at
// offBits) into an image. Handles 1, 4, 8, 16, 24 and 32 bits per pixel, BI_RGB, BI_BITFIELDS,
// BI_RLE4, BI_RLE8 and embedded JPEG or PNG. Every size is checked against the record, and no
// image larger than kMaxPixels is made: a damaged or oversized bitmap gives a null image.
class DibDecoder {
public:
    static constexpr std::int64_t kMaxPixels = std::int64_t{1} << 25;

    enum class Alpha {
        Ignore,        // 32-bit pixels are opaque, as for plain blits
        Premultiplied, // 32-bit pixels carry premultiplied alpha, unless it is zero everywhere
    };

    static QImage Decode(const EmfRecord& record, std::uint32_t offBmi, std::uint32_t cbBmi, std::uint32_t offBits,
                         std::uint32_t cbBits, Alpha alpha = Alpha::Ignore);
};

} // namespace tarvolo::emf
