#include "DibDecoder.h"

#include "metafile/GdiConstants.h"
#include "metafile/LittleEndian.h"

#include <QByteArray>
#include <QImageReader>
#include <QBuffer>

#include <array>
#include <bit>
#include <vector>

namespace tarvolo::emf {

namespace {

struct DibHeader {
    std::int64_t width = 0;
    std::int64_t height = 0; // positive; topDown says the row order
    bool topDown = false;
    unsigned bitCount = 0;
    std::uint32_t compression = gdi::BI_RGB;
    std::uint32_t masks[3] = {0, 0, 0};
    std::vector<QRgb> palette;
};

// Reads the header, the colour masks and the palette of a BITMAPINFO.
bool ReadHeader(std::span<const std::uint8_t> info, DibHeader& header)
{
    if (info.size() < 12)
        return false;
    const std::uint8_t* p = info.data();
    const std::uint32_t headerSize = ReadU32LE(p);
    std::size_t paletteOffset;
    unsigned paletteEntrySize = 4;
    std::uint32_t colorsUsed = 0;
    if (headerSize == 12) { // BITMAPCOREHEADER
        header.width = ReadU16LE(p + 4);
        header.height = static_cast<std::int16_t>(ReadU16LE(p + 6));
        header.bitCount = ReadU16LE(p + 10);
        paletteOffset = 12;
        paletteEntrySize = 3;
    } else if (headerSize >= 40 && headerSize <= info.size()) {
        header.width = ReadI32LE(p + 4);
        header.height = ReadI32LE(p + 8);
        header.bitCount = ReadU16LE(p + 14);
        header.compression = ReadU32LE(p + 16);
        colorsUsed = ReadU32LE(p + 32);
        paletteOffset = headerSize;
        if (header.compression == gdi::BI_BITFIELDS) {
            // Masks sit inside a V4/V5 header, or follow a plain 40-byte one.
            const std::size_t maskOffset = 40;
            if (info.size() < maskOffset + 12)
                return false;
            for (int i = 0; i < 3; ++i)
                header.masks[i] = ReadU32LE(p + maskOffset + 4 * i);
            if (headerSize == 40)
                paletteOffset += 12;
        }
    } else {
        return false;
    }
    header.topDown = header.height < 0;
    if (header.height < 0)
        header.height = -header.height;
    if (header.width <= 0 || header.height <= 0 || header.width * header.height > DibDecoder::kMaxPixels)
        return false;

    if (header.bitCount <= 8 && header.bitCount > 0) {
        const std::uint32_t maxColors = 1u << header.bitCount;
        std::uint32_t count = colorsUsed == 0 || colorsUsed > maxColors ? maxColors : colorsUsed;
        // A palette cut short by the record keeps what is there; the rest reads as black.
        const std::size_t available = info.size() > paletteOffset ? (info.size() - paletteOffset) / paletteEntrySize : 0;
        header.palette.assign(maxColors, qRgb(0, 0, 0));
        if (count > available)
            count = static_cast<std::uint32_t>(available);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint8_t* entry = p + paletteOffset + i * paletteEntrySize;
            header.palette[i] = qRgb(entry[2], entry[1], entry[0]);
        }
    }
    return true;
}

unsigned MaskShift(std::uint32_t mask)
{
    return mask ? static_cast<unsigned>(std::countr_zero(mask)) : 0;
}

// Scales a masked channel to 0..255.
int Channel(std::uint32_t pixel, std::uint32_t mask)
{
    if (!mask)
        return 0;
    const std::uint32_t value = (pixel & mask) >> MaskShift(mask);
    const std::uint32_t maximum = mask >> MaskShift(mask);
    return static_cast<int>((value * 255 + maximum / 2) / maximum);
}

QImage DecodeUncompressed(const DibHeader& header, std::span<const std::uint8_t> bits, DibDecoder::Alpha alpha)
{
    const std::int64_t stride = ((header.width * header.bitCount + 31) / 32) * 4;
    if (stride * header.height > static_cast<std::int64_t>(bits.size()))
        return {};
    const bool withAlpha = header.bitCount == 32 && alpha == DibDecoder::Alpha::Premultiplied;
    QImage image(static_cast<int>(header.width), static_cast<int>(header.height),
                 withAlpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (image.isNull())
        return {};
    std::uint32_t masks[3] = {header.masks[0], header.masks[1], header.masks[2]};
    if (header.compression != gdi::BI_BITFIELDS) {
        if (header.bitCount == 16) {
            masks[0] = 0x7C00;
            masks[1] = 0x03E0;
            masks[2] = 0x001F;
        } else {
            masks[0] = 0xFF0000;
            masks[1] = 0x00FF00;
            masks[2] = 0x0000FF;
        }
    }
    bool anyAlpha = false;
    for (std::int64_t row = 0; row < header.height; ++row) {
        const std::uint8_t* src = bits.data() + row * stride;
        const auto y = static_cast<int>(header.topDown ? row : header.height - 1 - row);
        auto* dst = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (std::int64_t x = 0; x < header.width; ++x) {
            QRgb color;
            switch (header.bitCount) {
            case 1: color = header.palette[(src[x >> 3] >> (7 - (x & 7))) & 1]; break;
            case 4: color = header.palette[(src[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF]; break;
            case 8: color = header.palette[src[x]]; break;
            case 16: {
                const std::uint32_t pixel = ReadU16LE(src + 2 * x);
                color = qRgb(Channel(pixel, masks[0]), Channel(pixel, masks[1]), Channel(pixel, masks[2]));
                break;
            }
            case 24: color = qRgb(src[3 * x + 2], src[3 * x + 1], src[3 * x]); break;
            default: {
                const std::uint32_t pixel = ReadU32LE(src + 4 * x);
                if (header.compression == gdi::BI_BITFIELDS)
                    color = qRgb(Channel(pixel, masks[0]), Channel(pixel, masks[1]), Channel(pixel, masks[2]));
                else
                    color = withAlpha ? pixel : (pixel | 0xFF000000u);
                if (withAlpha)
                    anyAlpha = anyAlpha || (pixel >> 24) != 0;
                break;
            }
            }
            dst[x] = withAlpha ? color : (color | 0xFF000000u);
        }
    }
    if (withAlpha && !anyAlpha) {
        // Alpha that is zero everywhere was never meant: the bitmap is opaque.
        return DecodeUncompressed(header, bits, DibDecoder::Alpha::Ignore);
    }
    return image;
}

QImage DecodeRle(const DibHeader& header, std::span<const std::uint8_t> bits)
{
    const bool four = header.compression == gdi::BI_RLE4;
    QImage image(static_cast<int>(header.width), static_cast<int>(header.height), QImage::Format_ARGB32);
    if (image.isNull())
        return {};
    image.fill(Qt::transparent); // pixels the runs skip stay untouched on the destination
    std::int64_t x = 0, row = 0;
    auto put = [&](unsigned index) {
        if (x < header.width && row < header.height) {
            const auto y = static_cast<int>(header.topDown ? row : header.height - 1 - row);
            reinterpret_cast<QRgb*>(image.scanLine(y))[x] = header.palette[index & (four ? 0xF : 0xFF)] | 0xFF000000u;
        }
        ++x;
    };
    std::size_t i = 0;
    while (i + 1 < bits.size() && row < header.height) {
        const unsigned count = bits[i], value = bits[i + 1];
        i += 2;
        if (count > 0) {
            for (unsigned k = 0; k < count && x < header.width; ++k)
                put(four ? ((k & 1) ? value & 0xF : value >> 4) : value);
            continue;
        }
        if (value == 0) { // end of line
            x = 0;
            ++row;
        } else if (value == 1) { // end of bitmap
            break;
        } else if (value == 2) { // delta
            if (i + 1 >= bits.size())
                break;
            x += bits[i];
            row += bits[i + 1];
            i += 2;
        } else { // absolute run of `value` pixels, padded to 16 bits
            const std::size_t bytes = four ? (value + 1) / 2 : value;
            if (i + bytes > bits.size())
                break;
            for (unsigned k = 0; k < value; ++k)
                put(four ? ((k & 1) ? bits[i + k / 2] & 0xF : bits[i + k / 2] >> 4) : bits[i + k]);
            i += (bytes + 1) & ~std::size_t{1};
        }
    }
    return image;
}

QImage DecodeEmbedded(std::span<const std::uint8_t> bits, const char* format)
{
    QByteArray data(reinterpret_cast<const char*>(bits.data()), static_cast<qsizetype>(bits.size()));
    QBuffer buffer(&data);
    QImageReader reader(&buffer, format);
    const QSize size = reader.size();
    if (size.isValid() && static_cast<std::int64_t>(size.width()) * size.height() > DibDecoder::kMaxPixels)
        return {};
    return reader.read();
}

} // namespace

QImage DibDecoder::Decode(const EmfRecord& record, std::uint32_t offBmi, std::uint32_t cbBmi, std::uint32_t offBits,
                          std::uint32_t cbBits, Alpha alpha)
{
    try {
        const auto info = record.Span(offBmi, cbBmi);
        const auto bits = record.Span(offBits, cbBits);
        DibHeader header;
        if (!ReadHeader(info, header))
            return {};
        switch (header.compression) {
        case gdi::BI_RGB:
        case gdi::BI_BITFIELDS:
            if (header.bitCount != 1 && header.bitCount != 4 && header.bitCount != 8 && header.bitCount != 16 &&
                header.bitCount != 24 && header.bitCount != 32)
                return {};
            if (header.bitCount <= 8 && header.palette.empty())
                return {};
            return DecodeUncompressed(header, bits, alpha);
        case gdi::BI_RLE8:
        case gdi::BI_RLE4:
            if (header.palette.empty())
                return {};
            return DecodeRle(header, bits);
        case gdi::BI_JPEG: return DecodeEmbedded(bits, "jpeg");
        case gdi::BI_PNG: return DecodeEmbedded(bits, "png");
        default: return {};
        }
    } catch (const EDamagedRecord&) {
        return {};
    }
}

} // namespace tarvolo::emf
