#include "render/detail/DibDecoder.h"

#include "metafile/GdiConstants.h"
#include "metafile/LittleEndian.h"
#include "render/detail/PngCheck.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <bit>
#include <mutex>
#include <thread>
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
bool ReadHeader(std::span<const std::uint8_t> info, DibHeader& header, bool blackAndWhite = false)
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
        // A monochrome bitmap without a colour table is black and white.
        if (header.bitCount == 1 && (count == 0 || blackAndWhite))
            header.palette = {qRgb(0, 0, 0), qRgb(255, 255, 255)};
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

// Spreads `count` output pixels evenly over `length` source pixels from `from`: output pixel o
// shows the source pixel under its centre. With as many outputs as sources it is the identity.
class Sampler {
public:
    Sampler(std::int64_t from, std::int64_t length, std::int64_t count) : from_(from), length_(length), count_(count) {}

    std::int64_t operator()(std::int64_t o) const { return from_ + (2 * o + 1) * length_ / (2 * count_); }

    // The first output pixel showing source pixel i or one after it; i lies inside the sampled span.
    std::int64_t FirstAtOrAfter(std::int64_t i) const
    {
        const std::int64_t n = 2 * count_ * (i - from_) - length_;
        return n <= 0 ? 0 : (n + 2 * length_ - 1) / (2 * length_);
    }

private:
    std::int64_t from_, length_, count_;
};

std::int64_t Stride(const DibHeader& header)
{
    return ((header.width * header.bitCount + 31) / 32) * 4;
}

QImage DecodeUncompressed(const DibHeader& header, std::span<const std::uint8_t> bits, QRect part, QSize size,
                          DibDecoder::Alpha alpha)
{
    const std::int64_t stride = Stride(header);
    // The alpha byte is the one the colour masks leave free: BI_RGB, or bit fields in that same layout.
    // GDI blends with it even when it is zero everywhere, so such a bitmap is not taken for opaque:
    // all it does there is add its colour to the paper, which leaves white paper white.
    const bool rgbLayout = header.compression != gdi::BI_BITFIELDS ||
                           (header.masks[0] == 0xFF0000 && header.masks[1] == 0x00FF00 && header.masks[2] == 0x0000FF);
    const bool withAlpha = header.bitCount == 32 && alpha == DibDecoder::Alpha::Premultiplied && rgbLayout;
    QImage image(size, withAlpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
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
    const Sampler rows(part.y(), part.height(), size.height());
    const Sampler columns(part.x(), part.width(), size.width());
    std::vector<std::int64_t> xs(static_cast<std::size_t>(size.width()));
    for (std::size_t o = 0; o < xs.size(); ++o)
        xs[o] = columns(static_cast<std::int64_t>(o));
    for (int oy = 0; oy < size.height(); ++oy) {
        const std::int64_t y = rows(oy);
        const std::uint8_t* src = bits.data() + (header.topDown ? y : header.height - 1 - y) * stride;
        auto* dst = reinterpret_cast<QRgb*>(image.scanLine(oy));
        for (int ox = 0; ox < size.width(); ++ox) {
            const std::int64_t x = xs[static_cast<std::size_t>(ox)];
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
                if (withAlpha) {
                    // A colour above its alpha would overflow the painter's blend into the next channel
                    // (dark or coloured dots on light paper), so it is held at the alpha. GDI adds the
                    // excess instead, which on white paper comes to the same.
                    const int a = qAlpha(pixel);
                    color = qRgba(std::min(qRed(pixel), a), std::min(qGreen(pixel), a), std::min(qBlue(pixel), a), a);
                } else if (header.compression == gdi::BI_BITFIELDS) {
                    color = qRgb(Channel(pixel, masks[0]), Channel(pixel, masks[1]), Channel(pixel, masks[2]));
                } else {
                    color = pixel | 0xFF000000u;
                }
                break;
            }
            }
            dst[ox] = withAlpha ? color : (color | 0xFF000000u);
        }
    }
    return image;
}

// Runs are followed through the whole bitmap, but only the pixels that land on the sampled rows
// and columns are written, so the work follows the data and the image made, not the size declared.
QImage DecodeRle(const DibHeader& header, std::span<const std::uint8_t> bits, QRect part, QSize size)
{
    const bool four = header.compression == gdi::BI_RLE4;
    const unsigned indexMask = four ? 0xF : 0xFF;
    // Opaque or transparent pixels only: premultiplied already.
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    image.fill(Qt::transparent); // pixels the runs skip stay untouched on the destination
    const Sampler rows(part.y(), part.height(), size.height());
    const Sampler columns(part.x(), part.width(), size.width());
    const std::int64_t partRight = std::min<std::int64_t>(part.x() + std::int64_t{part.width()}, header.width);
    std::int64_t x = 0, row = 0;
    QRgb* line = nullptr; // the output row the current source row lands on, if any
    auto findLine = [&] {
        line = nullptr;
        if (row >= header.height)
            return;
        const std::int64_t y = header.topDown ? row : header.height - 1 - row;
        if (y < part.top() || y > part.bottom())
            return;
        const std::int64_t o = rows.FirstAtOrAfter(y);
        if (o < size.height() && rows(o) == y)
            line = reinterpret_cast<QRgb*>(image.scanLine(static_cast<int>(o)));
    };
    // Pixels from..from+count-1 of the current row; indexAt(k) is the palette index of pixel from+k.
    auto paint = [&](std::int64_t from, std::int64_t count, auto indexAt) {
        if (!line)
            return;
        const std::int64_t low = std::max<std::int64_t>(from, part.x()), high = std::min(from + count, partRight);
        if (low >= high)
            return;
        for (std::int64_t o = columns.FirstAtOrAfter(low); o < size.width(); ++o) {
            const std::int64_t sx = columns(o);
            if (sx >= high)
                break;
            line[o] = header.palette[indexAt(sx - from) & indexMask] | 0xFF000000u;
        }
    };
    findLine();
    std::size_t i = 0;
    while (i + 1 < bits.size() && row < header.height) {
        const unsigned count = bits[i], value = bits[i + 1];
        i += 2;
        if (count > 0) {
            if (x < header.width) {
                const std::int64_t length = std::min<std::int64_t>(count, header.width - x);
                paint(x, length, [&](std::int64_t k) { return four ? ((k & 1) ? value & 0xF : value >> 4) : value; });
                x += length;
            }
            continue;
        }
        if (value == 0) { // end of line
            x = 0;
            ++row;
            findLine();
        } else if (value == 1) { // end of bitmap
            break;
        } else if (value == 2) { // delta
            if (i + 1 >= bits.size())
                break;
            x += bits[i];
            row += bits[i + 1];
            i += 2;
            findLine();
        } else { // absolute run of `value` pixels, padded to 16 bits
            const std::size_t bytes = four ? (value + 1) / 2 : value;
            if (i + bytes > bits.size())
                break;
            const std::uint8_t* run = bits.data() + i;
            paint(x, value, [&](std::int64_t k) {
                return four ? ((k & 1) ? run[k / 2] & 0xF : run[k / 2] >> 4) : unsigned{run[k]};
            });
            x += value;
            i += (bytes + 1) & ~std::size_t{1};
        }
    }
    return image;
}

// --- Messages of the image readers ---------------------------------------------------------------
//
// Qt's image readers report damaged data as Qt messages. While a thread decodes a bitmap, its
// messages are the decoder's business, not the user's: a handler installed once keeps them back
// and passes every other message on as before.

thread_local int decodingDepth = 0;
// The handler that was there before, which every thread reads. Qt tells it only as it installs
// the one below, so that one waits until it is known: no message of another thread is lost or
// goes astray in between.
std::atomic<QtMessageHandler> passOn{nullptr};
std::atomic<bool> passOnKnown{false};

void HoldDecodingMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (decodingDepth > 0)
        return;
    while (!passOnKnown.load(std::memory_order_acquire))
        std::this_thread::yield();
    if (const QtMessageHandler next = passOn.load(std::memory_order_relaxed))
        next(type, context, message);
}

void InstallHoldingHandler()
{
    passOn.store(qInstallMessageHandler(&HoldDecodingMessages), std::memory_order_relaxed);
    passOnKnown.store(true, std::memory_order_release);
}

class DecodingMessages {
public:
    DecodingMessages()
    {
        static std::once_flag installed;
        std::call_once(installed, InstallHoldingHandler);
        ++decodingDepth;
    }
    ~DecodingMessages() { --decodingDepth; }
    DecodingMessages(const DecodingMessages&) = delete;
    DecodingMessages& operator=(const DecodingMessages&) = delete;
};

std::int64_t Area(QSize size)
{
    return std::int64_t{size.width()} * size.height();
}

} // namespace

bool DibDecoder::Charge(std::int64_t pixels)
{
    if (pixels > pixelsLeft_)
        return false;
    pixelsLeft_ -= pixels;
    return true;
}

std::optional<DibShape> DibDecoder::Shape(const EmfRecord& record, std::uint32_t offBmi, std::uint32_t cbBmi)
{
    try {
        DibHeader header;
        if (!ReadHeader(record.Span(offBmi, cbBmi), header))
            return std::nullopt;
        const auto& palette = header.palette;
        const bool blackAndWhite = header.bitCount == 1 && (palette[0] & 0xFFFFFF) + (palette[1] & 0xFFFFFF) == 0xFFFFFF &&
                                   ((palette[0] & 0xFFFFFF) == 0 || (palette[1] & 0xFFFFFF) == 0);
        return DibShape{static_cast<int>(header.width), static_cast<int>(header.height), !header.topDown, header.bitCount,
                        blackAndWhite};
    } catch (const EDamagedRecord&) {
        return std::nullopt;
    }
}

DibDecoder::Result DibDecoder::Decode(const EmfRecord& record, std::uint32_t offBmi, std::uint32_t cbBmi,
                                      std::uint32_t offBits, std::uint32_t cbBits, QRect part, QSize size, Options options)
{
    const Result damaged{{}, Outcome::Damaged};
    const Result overBudget{{}, Outcome::OverBudget};
    auto decoded = [&](QImage image) { return image.isNull() ? damaged : Result{std::move(image), Outcome::Decoded}; };
    try {
        const auto info = record.Span(offBmi, cbBmi);
        const auto bits = record.Span(offBits, cbBits);
        DibHeader header;
        if (!ReadHeader(info, header, options.blackAndWhite))
            return damaged;
        part = part.intersected(QRect(0, 0, static_cast<int>(header.width), static_cast<int>(header.height)));
        size = size.boundedTo(part.size());
        if (part.isEmpty() || size.isEmpty())
            return damaged;
        switch (header.compression) {
        case gdi::BI_RGB:
        case gdi::BI_BITFIELDS:
            if (header.bitCount != 1 && header.bitCount != 4 && header.bitCount != 8 && header.bitCount != 16 &&
                header.bitCount != 24 && header.bitCount != 32)
                return damaged;
            if (Stride(header) * header.height > static_cast<std::int64_t>(bits.size()))
                return damaged;
            if (!Charge(Area(size)))
                return overBudget;
            return decoded(DecodeUncompressed(header, bits, part, size, options.alpha));
        case gdi::BI_RLE8:
        case gdi::BI_RLE4:
            if (header.palette.empty() || header.bitCount != (header.compression == gdi::BI_RLE8 ? 8u : 4u))
                return damaged;
            if (!Charge(Area(size)))
                return overBudget;
            return decoded(DecodeRle(header, bits, part, size));
        case gdi::BI_JPEG:
        case gdi::BI_PNG: {
            const bool png = header.compression == gdi::BI_PNG;
            const QSize declared(static_cast<int>(header.width), static_cast<int>(header.height));
            if (png) {
                std::optional<PngLayout> layout = ReadPngLayout(bits);
                if (!layout || layout->size != declared)
                    return damaged;
                // Qt reads a PNG whole whatever part is asked for.
                if (!Charge(Area(declared)))
                    return overBudget;
                if (!InflatesCleanly(*layout))
                    return damaged;
            }
            const DecodingMessages quiet;
            QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bits.data()), static_cast<qsizetype>(bits.size()));
            QBuffer buffer(&data);
            if (!buffer.open(QIODevice::ReadOnly))
                return damaged;
            QImageReader reader(&buffer, png ? "png" : "jpeg");
            reader.setAutoTransform(false);
            if (!png) {
                if (reader.size() != declared)
                    return damaged;
                // JPEG scales while it decodes, but what it reads still grows with the whole image.
                if (!Charge(std::max(Area(size), Area(declared) / 16)))
                    return overBudget;
            }
            if (part != QRect(QPoint(0, 0), declared))
                reader.setClipRect(part);
            if (size != part.size())
                reader.setScaledSize(size);
            QImage image = reader.read();
            if (!image.isNull() && image.size() != size)
                image = image.scaled(size);
            return decoded(std::move(image));
        }
        default: return damaged;
        }
    } catch (const EDamagedRecord&) {
        return damaged;
    }
}

} // namespace tarvolo::emf
