#include "metafile/GdiConstants.h"
#include "metafile/LittleEndian.h"
#include "metafile/Metafile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <functional>

using namespace tarvolo;
using namespace tarvolo::emf;
using tarvolo::test::Bytes;
using tarvolo::test::MakeEmf;

TEST(Metafile, ParsesTheHeaderOfARecordedPage)
{
    const Metafile page(test::ReadFileBytes(test::OraclePages().front()));
    const EmfHeader& header = page.Header();
    EXPECT_EQ(header.nBytes, page.Bytes().size());
    EXPECT_GT(header.nRecords, 10u);
    EXPECT_GT(header.rclFrame.right, header.rclFrame.left);
    EXPECT_GT(header.szlDevice.cx, 0);
    EXPECT_GT(header.szlMillimeters.cx, 0);
    // An A4 page on a screen whose logical inch is close to 96 pixels.
    EXPECT_NEAR(page.Width(), 794, 20);
    EXPECT_NEAR(page.Height(), 1123, 30);
}

TEST(Metafile, SizeInPixelsScalesTheFrameByTheReferenceDevice)
{
    // 1024 pixels over 320 mm: 3.2 pixels a millimetre.
    const Metafile page(MakeEmf(200, 0, 21000, 29700));
    EXPECT_EQ(page.Width(), 672);  // 210 mm * 3.2
    EXPECT_EQ(page.Height(), 950); // 297 mm * 3.2 = 950.4
    const Metafile odd(MakeEmf(200, 0, 15, 16)); // 0.48 and 0.512 pixels round to 0 and 1
    EXPECT_EQ(odd.Width(), 0);
    EXPECT_EQ(odd.Height(), 1);
}

TEST(Metafile, AcceptanceRule)
{
    struct Case {
        const char* name;
        std::function<void(Bytes&)> damage;
    };
    const Case cases[] = {
        {"record type is not EMR_HEADER", [](Bytes& b) { WriteU32LE(b.data(), emr::PolyBezier); }},
        {"no EMF signature", [](Bytes& b) { b[41] = 'X'; }},
        {"nBytes larger than the data", [](Bytes& b) { WriteU32LE(b.data() + 48, static_cast<std::uint32_t>(b.size() + 4)); }},
        {"header record shorter than a header", [](Bytes& b) { WriteU32LE(b.data() + 4, 80); }},
        {"header record longer than the file", [](Bytes& b) { WriteU32LE(b.data() + 4, 0xFFFFFFF0u); }},
        {"only 100 bytes", [](Bytes& b) { b.resize(100); WriteU32LE(b.data() + 48, 100); }},
        {"empty", [](Bytes& b) { b.clear(); }},
    };
    EXPECT_NO_THROW(Metafile(MakeEmf(120)));
    for (const Case& c : cases) {
        Bytes bytes = MakeEmf(200);
        c.damage(bytes);
        EXPECT_THROW(Metafile{bytes}, EInvalidGraphic) << c.name;
    }
    // Bytes after the ones the header counts are not part of the metafile.
    Bytes padded = MakeEmf(200);
    const std::size_t size = padded.size();
    padded.insert(padded.end(), 12, 0xAB);
    const Metafile kept(padded);
    EXPECT_EQ(kept.Bytes().size(), size);
    EXPECT_TRUE(std::equal(kept.Bytes().begin(), kept.Bytes().end(), padded.begin()));
    try {
        Metafile(Bytes(10, 0));
    } catch (const EInvalidGraphic& error) {
        EXPECT_STREQ(error.what(), "Metafile is not valid");
    }
}
