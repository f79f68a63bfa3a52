#pragma once

#include "metafile/EmfRecordReader.h"

#include <QImage>
#include <QRect>

#include <cstdint>
#include <optional>

namespace tarvolo::emf {

// What a BITMAPINFO declares, read before anything is decoded.
struct DibShape {
    int width = 0;
    int height = 0;
    bool bottomUp = true; // rows stored from the bottom one up, which moves the origin of source rectangles
    unsigned bitCount = 0;
    bool blackAndWhite = false; // 1 bit per pixel, its two colours black and white (either way round)
};

// Turns device-independent bitmaps stored in records (a BITMAPINFO at offBmi, the bits at offBits)
// into images: 1, 4, 8, 16, 24 and 32 bits per pixel, BI_RGB, BI_BITFIELDS, BI_RLE4, BI_RLE8 and
// embedded JPEG or PNG. Every size is checked against the record and no bitmap of more than
// kMaxPixels is read. Only the part of a bitmap that is drawn is made, at the size it is drawn:
// a small record cannot make a huge image.
//
// One decoder serves one playback and holds its pixel budget. Each image it makes is charged for
// its pixels (an embedded PNG for all of them, since it is read whole); a bitmap that would
// overdraw the budget is not decoded, so no page can keep the decoder busy for long.
class DibDecoder {
public:
    static constexpr std::int64_t kMaxPixels = std::int64_t{1} << 25;

    enum class Alpha {
        Ignore,        // 32-bit pixels are opaque, as for plain blits
        Premultiplied, // 32-bit pixels carry premultiplied alpha in the byte the colour masks leave free
    };
    enum class Outcome { Decoded, Damaged, OverBudget };
    struct Options {
        Alpha alpha = Alpha::Ignore;
        bool blackAndWhite = false; // 1-bit pixels are black (0) and white (1) whatever the colour table says
    };
    struct Result {
        QImage image; // null unless decoded
        Outcome outcome = Outcome::Damaged;
    };

    explicit DibDecoder(std::int64_t pixelBudget) : pixelsLeft_(pixelBudget) {}

    // The declared size, or nothing when the header is damaged or the bitmap too large.
    static std::optional<DibShape> Shape(const EmfRecord& record, std::uint32_t offBmi, std::uint32_t cbBmi);

    // The `part` of the bitmap (in its pixels, top row first) as an image of `size`, which is no
    // larger than the part: a larger part is sampled evenly, pixel by pixel, so colours stay exact.
    Result Decode(const EmfRecord& record, std::uint32_t offBmi, std::uint32_t cbBmi, std::uint32_t offBits,
                  std::uint32_t cbBits, QRect part, QSize size, Options options);

    std::int64_t PixelsLeft() const { return pixelsLeft_; }

private:
    bool Charge(std::int64_t pixels);

    std::int64_t pixelsLeft_;
};

} // namespace tarvolo::emf
