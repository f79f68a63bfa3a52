#include "docstore/MemoryStream.h"
#include "docstore/ReportFileFormat.h"
#include "docstore/StreamErrors.h"
#include "docstore/TQRPageList.h"
#include "metafile/LittleEndian.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace tarvolo;
using namespace tarvolo::docstore;
using tarvolo::test::Bytes;
using tarvolo::test::MakeEmf;

namespace {

// A completed report of the given pages, as its bytes.
Bytes MakeReport(const std::vector<Bytes>& pages, bool compressed = false)
{
    TQRPageList list;
    list.SetRecordStream(TQRStream::CreateInMemory(1 << 30));
    list.SetCompressPages(compressed);
    for (const Bytes& page : pages)
        list.AppendPage(emf::Metafile(page));
    list.CompleteFile();
    ByteStream& stream = *list.RecordStream();
    Bytes bytes(static_cast<std::size_t>(stream.Size()));
    stream.SetPosition(0);
    stream.ReadExact(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    return bytes;
}

// The same report in the older layout: the header packed into 124 bytes, every record 4 bytes earlier.
Bytes ToOldLayout(const Bytes& report)
{
    Bytes old(report.size() - 4);
    std::copy(report.begin(), report.begin() + 5, old.begin());
    std::copy(report.begin() + 8, report.begin() + 12, old.begin() + 8);
    std::copy(report.begin() + 16, report.begin() + 24, old.begin() + 12);
    old[20] = report[24];
    old[21] = report[25];
    std::copy(report.begin() + 128, report.end(), old.begin() + 124);
    for (std::size_t start = 124; start < old.size();) {
        const std::int32_t next = ReadI32LE(&old[start + 4]) - 4;
        WriteI32LE(&old[start + 4], next);
        WriteI32LE(&old[next - 4], static_cast<std::int32_t>(start));
        start = static_cast<std::size_t>(next);
    }
    return old;
}

} // namespace

TEST(ReportFileFormat, HeaderFieldsRoundTripAtTheirOffsets)
{
    ReportFileHeader header;
    header.StoredPageCount = 4242;
    header.CreatedAt = 45000.5;
    header.PagesCompressed = true;
    const HeaderBytes bytes = header.Encode();
    EXPECT_EQ(ReadU16LE(&bytes[0]), 3);
    EXPECT_EQ(ReadU16LE(&bytes[2]), 309);
    EXPECT_EQ(ReadI32LE(&bytes[8]), 4242);
    EXPECT_EQ(ReadDoubleLE(&bytes[16]), 45000.5);
    EXPECT_EQ(bytes[25], 1);
    const ReportFileHeader decoded = ReportFileHeader::Decode(bytes);
    EXPECT_EQ(decoded.StoredPageCount, 4242);
    EXPECT_EQ(decoded.CreatedAt, 45000.5);
    EXPECT_TRUE(decoded.PagesCompressed);
}

TEST(ReportFileFormat, ProbeTellsTheTwoLayoutsApartAndKeepsThePosition)
{
    const Bytes current = MakeReport({MakeEmf(400), MakeEmf(600, 1)});
    const Bytes old = ToOldLayout(current);
    MemoryStream currentStream(current), oldStream(old);
    currentStream.SetPosition(77);
    oldStream.SetPosition(5);
    EXPECT_EQ(ProbeHeaderSize(currentStream), 128);
    EXPECT_EQ(ProbeHeaderSize(oldStream), 124);
    EXPECT_EQ(currentStream.Position(), 77);
    EXPECT_EQ(oldStream.Position(), 5);
    // In the older layout offsets 173 to 176 hold 'E', 'M', 'F', 0.
    EXPECT_EQ(Bytes(old.begin() + 173, old.begin() + 177), (Bytes{'E', 'M', 'F', 0}));

    // A compressed first page in the older layout is taken for the current layout.
    MemoryStream compressedOld(ToOldLayout(MakeReport({MakeEmf(400)}, true)));
    EXPECT_EQ(ProbeHeaderSize(compressedOld), 128);
}

TEST(ReportFileFormat, UpgradeMovesEachFieldOfTheOlderHeader)
{
    HeaderBytes header{};
    for (std::size_t i = 0; i < 124; ++i)
        header[i] = static_cast<std::uint8_t>(i + 1);
    UpgradeHeaderFrom124(header);
    EXPECT_EQ(header[0], 1);
    EXPECT_EQ(header[4], 5);
    EXPECT_EQ(header[8], 9);
    EXPECT_EQ(header[11], 12);
    EXPECT_EQ(header[16], 13); // CreatedAt from 12-19
    EXPECT_EQ(header[23], 20);
    EXPECT_EQ(header[24], 21);
    EXPECT_EQ(header[25], 22); // PagesCompressed from 21
    EXPECT_EQ(header[26], 23);
    EXPECT_EQ(header[126], 123);
}

TEST(ReportFileFormat, OlderLayoutReportReadsThroughThePageList)
{
    const Bytes first = MakeEmf(400, 1), second = MakeEmf(800, 2), third = MakeEmf(300, 3);
    test::TempDir folder;
    test::WriteFileBytes(folder / "old.qrp", ToOldLayout(MakeReport({first, second, third})));
    TQRPageList list;
    list.OpenFile(folder / "old.qrp");
    EXPECT_EQ(list.RecordCount(), 3);
    EXPECT_EQ(list.RecordStream()->Position(), 124);
    EXPECT_EQ(list.ReadPage(2)->Bytes(), second);
    EXPECT_EQ(list.ReadPage(1)->Bytes(), first);
    EXPECT_EQ(list.ReadPage(3)->Bytes(), third);
    // Saving keeps the older layout byte for byte.
    list.CopyToFile(folder / "copy.qrp");
    EXPECT_EQ(test::ReadFileBytes(folder / "copy.qrp"), test::ReadFileBytes(folder / "old.qrp"));
}

TEST(ReportFileFormat, FilesTooShortForTheProbeFailWithAReadError)
{
    for (std::size_t size : {0, 127, 129, 176, 180}) {
        MemoryStream stream(Bytes(size, 0));
        try {
            ProbeHeaderSize(stream);
            FAIL() << size;
        } catch (const EReadError& error) {
            EXPECT_STREQ(error.what(), "Stream read error");
        }
    }
    MemoryStream enough(Bytes(181, 0));
    EXPECT_EQ(ProbeHeaderSize(enough), 128);
}

TEST(ReportFileFormat, AHeaderAloneIsAReportWithoutPages)
{
    for (std::size_t size : {124, 128}) {
        MemoryStream stream(Bytes(size, 0));
        EXPECT_EQ(ProbeHeaderSize(stream), static_cast<std::int64_t>(size));
    }
}

TEST(ReportFileFormat, OleDatesAsIso8601)
{
    struct Case {
        double ole;
        const char* iso;
    };
    const Case cases[] = {
        {0.0, "1899-12-30T00:00:00.000"},
        {2.0, "1900-01-01T00:00:00.000"},
        {45000.5, "2023-03-15T12:00:00.000"},
        {46366.75, "2026-12-10T18:00:00.000"},
        {-1.25, "1899-12-29T06:00:00.000"},
        {36526.0 + 1.0 / 86400000.0 * 123, "2000-01-01T00:00:00.123"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(OleDateToIso8601(c.ole).value_or("none"), c.iso) << c.ole;
    EXPECT_FALSE(OleDateToIso8601(std::nan("")));
    EXPECT_FALSE(OleDateToIso8601(1e300));

    const double now = CurrentOleDate();
    EXPECT_GT(now, 45000.0);
    EXPECT_LT(now, 80000.0);
}
