#include "DibDecoder.h"

#include "metafile/GdiConstants.h"
#include "metafile/LittleEndian.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <QtGlobal>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <mutex>
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

// --- Embedded PNG ------------------------------------------------------------------------------
//
// libpng writes its errors straight to standard error before it gives up on an image, whatever
// the application does with Qt's messages. So a PNG reaches Qt only once it is known to read
// cleanly: every chunk whole, in order and with its CRC, the header sane, and the image data
// inflating to exactly the rows the header promises, each with a valid filter type.

std::uint32_t ReadU32BE(const std::uint8_t* p)
{
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

std::uint32_t Crc32(std::span<const std::uint8_t> bytes)
{
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (const std::uint8_t b : bytes)
        c = table[(c ^ b) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

// Where each row of the image data starts (its filter type byte), pass after pass.
class RowStarts {
public:
    void AddPass(std::uint64_t rows, std::uint64_t length)
    {
        if (rows > 0 && length > 1) {
            passes_.push_back({rows, length});
            total_ += rows * length;
        }
    }
    std::uint64_t Total() const { return total_; }
    std::uint64_t Next() const { return pass_ < passes_.size() ? next_ : total_; }
    void Advance()
    {
        next_ += passes_[pass_].length;
        if (++row_ == passes_[pass_].rows) {
            row_ = 0;
            ++pass_;
        }
    }

private:
    struct Pass {
        std::uint64_t rows, length;
    };
    std::vector<Pass> passes_;
    std::uint64_t total_ = 0, next_ = 0, row_ = 0;
    std::size_t pass_ = 0;
};

struct PngLayout {
    QSize size;
    RowStarts rows;
    std::vector<std::uint8_t> stream; // the IDAT chunks joined
};

struct BrokenStream {};

// A canonical Huffman code as deflate defines it, decoded through a 9-bit table with a bit-by-bit
// walk for longer codes.
class Huffman {
public:
    static constexpr int kMaxBits = 15, kFastBits = 9;

    // As zlib: no code may be over-subscribed, and only a literal or distance code may leave code
    // words unused, and then only as a single one-bit code. A code without symbols fails when used.
    void Build(const std::uint8_t* lengths, int symbols, bool codeLengthCode)
    {
        count_.fill(0);
        fast_.fill(-1);
        for (int s = 0; s < symbols; ++s)
            ++count_[lengths[s]];
        count_[0] = 0;
        int left = 1, longest = 0;
        for (int len = 1; len <= kMaxBits; ++len) {
            left = 2 * left - count_[len];
            if (left < 0)
                throw BrokenStream(); // over-subscribed
            if (count_[len])
                longest = len;
        }
        if (left > 0 && longest != 0 && (codeLengthCode || longest != 1))
            throw BrokenStream(); // incomplete
        std::array<int, kMaxBits + 2> offsets{};
        for (int len = 1; len <= kMaxBits; ++len)
            offsets[len + 1] = offsets[len] + count_[len];
        std::array<int, kMaxBits + 1> nextCode{};
        int code = 0;
        for (int len = 1; len <= kMaxBits; ++len) {
            code = (code + count_[len - 1]) << 1;
            nextCode[len] = code;
        }
        for (int s = 0; s < symbols; ++s) {
            const int len = lengths[s];
            if (len == 0)
                continue;
            symbol_[offsets[len]++] = static_cast<std::uint16_t>(s);
            const int c = nextCode[len]++;
            if (len <= kFastBits) {
                int reversed = 0;
                for (int b = 0; b < len; ++b)
                    reversed |= ((c >> b) & 1) << (len - 1 - b);
                for (int k = reversed; k < (1 << kFastBits); k += 1 << len)
                    fast_[k] = static_cast<std::int16_t>((s << 4) | len);
            }
        }
        empty_ = longest == 0;
    }
    bool Empty() const { return empty_; }

    template <typename Bits> int Decode(Bits& in) const
    {
        if (empty_)
            throw BrokenStream();
        in.Fill();
        if (in.Count() >= kFastBits) {
            const int entry = fast_[in.Peek(kFastBits)];
            if (entry >= 0) {
                in.Take(entry & 0xF);
                return entry >> 4;
            }
        }
        int code = 0, first = 0, index = 0;
        for (int len = 1; len <= kMaxBits; ++len) {
            code |= static_cast<int>(in.Take(1));
            const int count = count_[len];
            if (code - count < first)
                return symbol_[index + (code - first)];
            index += count;
            first = (first + count) << 1;
            code <<= 1;
        }
        throw BrokenStream();
    }

private:
    std::array<std::uint16_t, kMaxBits + 1> count_{};
    std::array<std::uint16_t, 320> symbol_{};
    std::array<std::int16_t, 1 << kFastBits> fast_{};
    bool empty_ = true;
};

class BitInput {
public:
    explicit BitInput(std::span<const std::uint8_t> in) : in_(in) {}

    void Fill()
    {
        while (count_ <= 56 && at_ < in_.size()) {
            bits_ |= std::uint64_t{in_[at_++]} << count_;
            count_ += 8;
        }
    }
    unsigned Count() const { return count_; }
    unsigned Peek(unsigned n) const { return static_cast<unsigned>(bits_ & ((std::uint64_t{1} << n) - 1)); }
    unsigned Take(unsigned n)
    {
        if (count_ < n) {
            Fill();
            if (count_ < n)
                throw BrokenStream(); // the data ends inside the stream
        }
        const unsigned value = Peek(n);
        bits_ >>= n;
        count_ -= n;
        return value;
    }
    void ToByteBoundary() { Take(count_ % 8); }

private:
    std::span<const std::uint8_t> in_;
    std::size_t at_ = 0;
    std::uint64_t bits_ = 0;
    unsigned count_ = 0;
};

// Inflates the image data, keeping only the window back-references need; true when it comes to
// exactly the promised length with a valid filter type at each row start and a matching checksum.
bool InflatesCleanly(PngLayout& png)
{
    static constexpr std::uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    static constexpr std::uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    static constexpr std::uint16_t kDistanceBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,
                                                        33,  49,  65,  97,  129, 193,  257,  385,  513,  769,
                                                        1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    static constexpr std::uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
    static constexpr std::uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    constexpr std::uint64_t kWindowMask = 32767;
    try {
        const auto& in = png.stream;
        if (in.size() < 2 || (in[0] & 0x0F) != 8 || (in[0] >> 4) > 7 || (in[1] & 0x20) || ((in[0] << 8) | in[1]) % 31 != 0)
            return false;
        const std::uint64_t windowSize = std::uint64_t{1} << ((in[0] >> 4) + 8);
        BitInput bits(std::span<const std::uint8_t>(in).subspan(2));
        std::vector<std::uint8_t> window(kWindowMask + 1);
        std::uint64_t out = 0;
        const std::uint64_t total = png.rows.Total();
        std::uint32_t s1 = 1, s2 = 0, sinceModulo = 0;
        auto put = [&](std::uint8_t byte) {
            if (out >= total)
                throw BrokenStream(); // more data than rows
            if (out == png.rows.Next()) {
                if (byte > 4)
                    throw BrokenStream(); // no such filter type
                png.rows.Advance();
            }
            window[out & kWindowMask] = byte;
            ++out;
            s1 += byte;
            s2 += s1;
            if (++sinceModulo == 5552) {
                s1 %= 65521;
                s2 %= 65521;
                sinceModulo = 0;
            }
        };
        Huffman literals, distances;
        bool last = false;
        while (!last) {
            last = bits.Take(1) != 0;
            const unsigned type = bits.Take(2);
            if (type == 0) {
                bits.ToByteBoundary();
                const unsigned length = bits.Take(16), complement = bits.Take(16);
                if (length != (~complement & 0xFFFF))
                    return false;
                for (unsigned k = 0; k < length; ++k)
                    put(static_cast<std::uint8_t>(bits.Take(8)));
                continue;
            }
            if (type == 3)
                return false;
            std::array<std::uint8_t, 320> lengths{};
            int literalCount = 288, distanceCount = 32;
            if (type == 1) {
                std::fill(lengths.begin(), lengths.begin() + 144, 8);
                std::fill(lengths.begin() + 144, lengths.begin() + 256, 9);
                std::fill(lengths.begin() + 256, lengths.begin() + 280, 7);
                std::fill(lengths.begin() + 280, lengths.begin() + 288, 8);
                std::fill(lengths.begin() + 288, lengths.begin() + 320, 5);
                literals.Build(lengths.data(), literalCount, false);
                distances.Build(lengths.data() + 288, distanceCount, false);
            } else {
                literalCount = static_cast<int>(bits.Take(5)) + 257;
                distanceCount = static_cast<int>(bits.Take(5)) + 1;
                const int codeLengthCount = static_cast<int>(bits.Take(4)) + 4;
                if (literalCount > 286 || distanceCount > 30)
                    return false;
                std::array<std::uint8_t, 19> codeLengths{};
                for (int k = 0; k < codeLengthCount; ++k)
                    codeLengths[kCodeLengthOrder[k]] = static_cast<std::uint8_t>(bits.Take(3));
                Huffman lengthCode;
                lengthCode.Build(codeLengths.data(), 19, true);
                int k = 0;
                while (k < literalCount + distanceCount) {
                    const int symbol = lengthCode.Decode(bits);
                    if (symbol < 16) {
                        lengths[static_cast<std::size_t>(k++)] = static_cast<std::uint8_t>(symbol);
                        continue;
                    }
                    std::uint8_t repeated = 0;
                    unsigned times;
                    if (symbol == 16) {
                        if (k == 0)
                            return false;
                        repeated = lengths[static_cast<std::size_t>(k - 1)];
                        times = 3 + bits.Take(2);
                    } else if (symbol == 17) {
                        times = 3 + bits.Take(3);
                    } else {
                        times = 11 + bits.Take(7);
                    }
                    if (k + static_cast<int>(times) > literalCount + distanceCount)
                        return false;
                    while (times-- > 0)
                        lengths[static_cast<std::size_t>(k++)] = repeated;
                }
                if (lengths[256] == 0)
                    return false; // no end-of-block code
                // Distances follow the literal lengths directly.
                std::array<std::uint8_t, 32> distanceLengths{};
                std::copy_n(lengths.begin() + literalCount, distanceCount, distanceLengths.begin());
                literals.Build(lengths.data(), literalCount, false);
                distances.Build(distanceLengths.data(), distanceCount, false);
            }
            for (;;) {
                const int symbol = literals.Decode(bits);
                if (symbol < 256) {
                    put(static_cast<std::uint8_t>(symbol));
                    continue;
                }
                if (symbol == 256)
                    break;
                if (symbol > 285)
                    return false;
                const unsigned length = kLengthBase[symbol - 257] + bits.Take(kLengthExtra[symbol - 257]);
                const int code = distances.Decode(bits);
                if (code >= 30)
                    return false;
                const std::uint64_t distance = kDistanceBase[code] + bits.Take(kDistanceExtra[code]);
                if (distance > out || distance > windowSize)
                    return false; // too far back
                for (unsigned k = 0; k < length; ++k)
                    put(window[(out - distance) & kWindowMask]);
            }
        }
        bits.ToByteBoundary();
        std::uint32_t check = 0;
        for (int k = 0; k < 4; ++k)
            check = (check << 8) | bits.Take(8);
        return out == total && check == (((s2 % 65521) << 16) | (s1 % 65521));
    } catch (const BrokenStream&) {
        return false;
    }
}

// The chunks of a PNG, checked as libpng checks them before it would give up on the image.
std::optional<PngLayout> ReadPngLayout(std::span<const std::uint8_t> data)
{
    static constexpr std::uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
    // libpng's own limits: the largest image side, and the largest chunk other than image data.
    constexpr std::uint32_t kMaxSide = 1000000, kMaxChunk = 8000000;
    if (data.size() < 8 || std::memcmp(data.data(), kSignature, 8) != 0)
        return std::nullopt;
    PngLayout png;
    std::uint32_t width = 0, height = 0;
    unsigned depth = 0, colourType = 0, channels = 0;
    bool interlaced = false, haveHeader = false, havePalette = false, inData = false, afterData = false;
    std::uint64_t dataLimit = 0;
    for (std::size_t at = 8;;) {
        if (data.size() - at < 12)
            return std::nullopt;
        const std::uint32_t length = ReadU32BE(&data[at]);
        if (length > 0x7FFFFFFFu || length > data.size() - at - 12)
            return std::nullopt;
        const std::uint8_t* type = &data[at + 4];
        for (int k = 0; k < 4; ++k)
            if (!((type[k] >= 'A' && type[k] <= 'Z') || (type[k] >= 'a' && type[k] <= 'z')))
                return std::nullopt;
        if (Crc32(data.subspan(at + 4, 4 + std::size_t{length})) != ReadU32BE(&data[at + 8 + length]))
            return std::nullopt;
        const std::uint8_t* body = &data[at + 8];
        const std::string_view name(reinterpret_cast<const char*>(type), 4);
        at += 12 + std::size_t{length};
        if (!haveHeader && name != "IHDR")
            return std::nullopt;
        if (inData && name != "IDAT") {
            inData = false;
            afterData = true;
        }
        if (name == "IHDR") {
            if (haveHeader || length != 13)
                return std::nullopt;
            haveHeader = true;
            width = ReadU32BE(body);
            height = ReadU32BE(body + 4);
            depth = body[8];
            colourType = body[9];
            interlaced = body[12] == 1;
            if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide || body[10] != 0 || body[11] != 0 ||
                body[12] > 1)
                return std::nullopt;
            switch (colourType) {
            case 0: channels = 1; if (depth != 1 && depth != 2 && depth != 4 && depth != 8 && depth != 16) return std::nullopt; break;
            case 3: channels = 1; if (depth != 1 && depth != 2 && depth != 4 && depth != 8) return std::nullopt; break;
            case 2: channels = 3; if (depth != 8 && depth != 16) return std::nullopt; break;
            case 4: channels = 2; if (depth != 8 && depth != 16) return std::nullopt; break;
            case 6: channels = 4; if (depth != 8 && depth != 16) return std::nullopt; break;
            default: return std::nullopt;
            }
            // libpng's bound on one IDAT chunk for this image.
            const std::uint64_t rowFactor = std::uint64_t{width} * channels * (depth > 8 ? 2 : 1) + 1 + (interlaced ? 6 : 0);
            dataLimit = height > 0xFFFFFFFFull / rowFactor ? 0x7FFFFFFFull : height * rowFactor;
            dataLimit += 6 + 5 * (dataLimit / std::min<std::uint64_t>(rowFactor, 32566) + 1);
            dataLimit = std::min<std::uint64_t>(dataLimit, 0x7FFFFFFFull);
        } else if (name == "PLTE") {
            if (havePalette || afterData || length > kMaxChunk)
                return std::nullopt;
            havePalette = true;
            if (colourType == 3 && (length == 0 || length % 3 != 0 || length / 3 > (1u << depth)))
                return std::nullopt;
        } else if (name == "IDAT") {
            if (afterData || (colourType == 3 && !havePalette) || length > dataLimit)
                return std::nullopt;
            inData = true;
            png.stream.insert(png.stream.end(), body, body + length);
        } else if (name == "IEND") {
            if (!afterData)
                return std::nullopt;
            break;
        } else if (!(type[0] & 0x20) || length > kMaxChunk) {
            return std::nullopt; // an unknown critical chunk, or one libpng will not hold
        }
    }
    const std::uint64_t bitsPerPixel = std::uint64_t{channels} * depth;
    auto addPass = [&](std::uint32_t x0, std::uint32_t dx, std::uint32_t y0, std::uint32_t dy) {
        const std::uint64_t columns = width > x0 ? (width - x0 + dx - 1) / dx : 0;
        const std::uint64_t rows = height > y0 ? (height - y0 + dy - 1) / dy : 0;
        if (columns > 0)
            png.rows.AddPass(rows, 1 + (columns * bitsPerPixel + 7) / 8);
    };
    if (interlaced) {
        addPass(0, 8, 0, 8);
        addPass(4, 8, 0, 8);
        addPass(0, 4, 4, 8);
        addPass(2, 4, 0, 4);
        addPass(0, 2, 2, 4);
        addPass(1, 2, 0, 2);
        addPass(0, 1, 1, 2);
    } else {
        addPass(0, 1, 0, 1);
    }
    png.size = QSize(static_cast<int>(width), static_cast<int>(height));
    return png;
}

// --- Messages of the image readers ---------------------------------------------------------------
//
// Qt's image readers report damaged data as Qt messages. While a thread decodes a bitmap, its
// messages are the decoder's business, not the user's: a handler installed once keeps them back
// and passes every other message on as before.

thread_local int decodingDepth = 0;
QtMessageHandler passOn = nullptr;

void HoldDecodingMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (decodingDepth > 0)
        return;
    if (passOn)
        passOn(type, context, message);
}

class DecodingMessages {
public:
    DecodingMessages()
    {
        static std::once_flag installed;
        std::call_once(installed, [] { passOn = qInstallMessageHandler(&HoldDecodingMessages); });
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
