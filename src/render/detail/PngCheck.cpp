#include "render/detail/PngCheck.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace tarvolo::emf {

namespace {

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

} // namespace

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

} // namespace tarvolo::emf
