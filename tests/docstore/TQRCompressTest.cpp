#include "docstore/MemoryStream.h"
#include "docstore/TQRCompress.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <random>

using namespace tarvolo::docstore;
using tarvolo::test::Bytes;

namespace {

Bytes Encode(const Bytes& input)
{
    MemoryStream stream;
    {
        TQRCompress codec(stream, true);
        codec.Encode(input);
        codec.Finish();
    }
    return stream.Data();
}

// Decodes count bytes from code bytes followed by trailing bytes, and tells where the decoder left the stream.
Bytes Decode(Bytes code, std::size_t count, std::int64_t* endPosition = nullptr)
{
    MemoryStream stream(std::move(code));
    Bytes output(count);
    TQRCompress codec(stream, false);
    codec.Decode(output);
    codec.Finish();
    if (endPosition)
        *endPosition = stream.Position();
    return output;
}

} // namespace

TEST(TQRCompress, WorkedExamples)
{
    struct Case {
        Bytes plain;
        Bytes code;
    };
    const Case cases[] = {
        {{}, {}},
        {{0x00}, {0x80}},
        {{0x61, 0x62, 0x63}, {0x46, 0x3D, 0x01}},
        {{0x61, 0x61, 0x61, 0x61}, {0x46, 0x45}},
        {{0xFF, 0xFF}, {0x00, 0x3C}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Encode(c.plain), c.code);
        // The decoder takes exactly the code bytes, even with more bytes behind them.
        Bytes withTrailer = c.code;
        withTrailer.insert(withTrailer.end(), {0xAA, 0x55, 0x99});
        std::int64_t end = -1;
        EXPECT_EQ(Decode(withTrailer, c.plain.size(), &end), c.plain);
        EXPECT_EQ(end, static_cast<std::int64_t>(c.code.size()));
    }
}

TEST(TQRCompress, FreshTreeGivesEightBitCodesAndNineForByte255)
{
    for (int symbol = 0; symbol < 256; ++symbol) {
        const Bytes code = Encode({static_cast<std::uint8_t>(symbol)});
        if (symbol == 255) {
            EXPECT_EQ(code, (Bytes{0x00, 0x00}));
        } else {
            // The code is the 8-bit form of symbol + 1, most significant bit first, packed from bit 0.
            std::uint8_t expected = 0;
            for (int bit = 0; bit < 8; ++bit)
                if ((symbol + 1) & (0x80 >> bit))
                    expected |= static_cast<std::uint8_t>(1 << bit);
            EXPECT_EQ(code, Bytes{expected}) << symbol;
        }
    }
}

TEST(TQRCompress, EveryPageStartsFromTheInitialTree)
{
    // The same text coded twice by two codecs on one stream gives the same code twice.
    MemoryStream stream;
    const Bytes text = {'a', 'b', 'c'};
    for (int page = 0; page < 2; ++page) {
        TQRCompress codec(stream, true);
        codec.Encode(text);
    }
    EXPECT_EQ(stream.Data(), (Bytes{0x46, 0x3D, 0x01, 0x46, 0x3D, 0x01}));
}

TEST(TQRCompress, RoundTripsRealPagesAndRandomBytes)
{
    std::vector<Bytes> inputs;
    for (const auto& page : tarvolo::test::OraclePages())
        inputs.push_back(tarvolo::test::ReadFileBytes(page));
    std::mt19937 random(7);
    Bytes noise(100000);
    for (auto& byte : noise)
        byte = static_cast<std::uint8_t>(random());
    inputs.push_back(noise);
    inputs.push_back(Bytes(50000, 0xFF)); // the deepest leaf, repeated

    for (const Bytes& input : inputs) {
        const Bytes code = Encode(input);
        std::int64_t end = -1;
        EXPECT_EQ(Decode(code, input.size(), &end), input);
        EXPECT_EQ(end, static_cast<std::int64_t>(code.size()));
    }
}

TEST(TQRCompress, DecoderPastTheEndOfItsInputTakesZeroBitsAndSaysSo)
{
    MemoryStream stream(Bytes{0x46, 0x3D, 0x01});
    TQRCompress codec(stream, false, 2); // the third code byte is beyond the limit
    Bytes output(3);
    codec.Decode(output);
    EXPECT_TRUE(codec.RanOutOfInput());
    EXPECT_EQ(output[0], 0x61);

    // A huge count over no input at all still ends.
    MemoryStream empty;
    TQRCompress starved(empty, false);
    Bytes many(1 << 16);
    starved.Decode(many);
    EXPECT_TRUE(starved.RanOutOfInput());
}
