#include "metafile/EmfRecordReader.h"
#include "metafile/GdiConstants.h"
#include "metafile/LittleEndian.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace tarvolo;
using namespace tarvolo::emf;
using tarvolo::test::Bytes;

namespace {

Bytes Record(std::uint32_t type, std::uint32_t size)
{
    Bytes bytes(std::max<std::uint32_t>(size, 8), 0);
    WriteU32LE(bytes.data(), type);
    WriteU32LE(bytes.data() + 4, size);
    return bytes;
}

} // namespace

TEST(EmfRecordReader, WalksEveryRecordOfARealPage)
{
    const Bytes page = test::ReadFileBytes(test::OraclePages().front());
    EmfRecordReader reader(page);
    EmfRecord record;
    std::uint32_t count = 0, last = 0;
    while (reader.Next(record)) {
        ++count;
        last = record.Type();
    }
    EXPECT_FALSE(reader.Damaged());
    EXPECT_EQ(count, ReadU32LE(page.data() + 52)); // nRecords
    EXPECT_EQ(last, emr::Eof);
}

TEST(EmfRecordReader, StopsAtTheFirstMalformedRecord)
{
    struct Case {
        const char* name;
        Bytes second;
    };
    Bytes pastTheEnd = Record(emr::MoveToEx, 16);
    WriteU32LE(pastTheEnd.data() + 4, 1000);
    const Case cases[] = {
        {"size 0", Record(emr::MoveToEx, 0)},
        {"size not a multiple of 4", Record(emr::MoveToEx, 18)},
        {"size below 8", Record(emr::MoveToEx, 4)},
        {"record past the end", pastTheEnd},
        {"cut inside the type and size", Bytes{emr::MoveToEx, 0, 0}},
    };
    for (const Case& c : cases) {
        Bytes bytes = Record(emr::Header, 16);
        bytes.insert(bytes.end(), c.second.begin(), c.second.end());
        EmfRecordReader reader(bytes);
        EmfRecord record;
        EXPECT_TRUE(reader.Next(record)) << c.name;
        EXPECT_FALSE(reader.Next(record)) << c.name;
        EXPECT_TRUE(reader.Damaged()) << c.name;
    }
}

TEST(EmfRecordReader, FieldsOutsideTheRecordThrow)
{
    const Bytes bytes = Record(emr::MoveToEx, 16);
    const EmfRecord record(emr::MoveToEx, bytes);
    EXPECT_EQ(record.I32(12), 0);
    EXPECT_THROW(record.U32(13), EDamagedRecord);
    EXPECT_THROW(record.U16(15), EDamagedRecord);
    EXPECT_THROW(record.Rect(8), EDamagedRecord);
    EXPECT_THROW(record.Span(8, 0xFFFFFFFFu, 8), EDamagedRecord);
    EXPECT_THROW(record.Span(8, 1ull << 62, 1ull << 62), EDamagedRecord);
    EXPECT_EQ(record.Span(8, 2, 4).size(), 8u);
}
