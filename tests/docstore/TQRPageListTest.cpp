#include "docstore/ReportFileFormat.h"
#include "docstore/StreamErrors.h"
#include "docstore/TQRPageList.h"
#include "metafile/LittleEndian.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace tarvolo;
using namespace tarvolo::docstore;
using tarvolo::test::Bytes;
using tarvolo::test::MakeEmf;
using tarvolo::test::TempDir;

namespace {

class PageListTest : public ::testing::Test {
protected:
    void StartProduction(bool compressed = false)
    {
        list.SetRecordStream(TQRStream::CreateInMemory(100000));
        list.SetCompressPages(compressed);
    }

    void Append(const Bytes& page) { list.AppendPage(emf::Metafile(page)); }

    Bytes StreamBytes()
    {
        ByteStream& stream = *list.RecordStream();
        const std::int64_t position = stream.Position();
        Bytes bytes(static_cast<std::size_t>(stream.Size()));
        stream.SetPosition(0);
        stream.ReadExact(bytes.data(), static_cast<std::int64_t>(bytes.size()));
        stream.SetPosition(position);
        return bytes;
    }

    std::int32_t StoredPageCount() { return ReadI32LE(StreamBytes().data() + 8); }

    // Five completed pages of different sizes; returns their bytes.
    std::vector<Bytes> AppendFivePages()
    {
        std::vector<Bytes> pages;
        for (std::uint8_t i = 0; i < 5; ++i) {
            pages.push_back(MakeEmf(200 + 40u * i, i));
            Append(pages.back());
        }
        return pages;
    }

    TempDir folder;
    TQRPageList list;
};

} // namespace

TEST_F(PageListTest, TwoPagePlainReportHasTheDocumentedLayout)
{
    StartProduction();
    const Bytes first = MakeEmf(1000, 1), second = MakeEmf(2000, 2);
    Append(first);
    Append(second);
    list.CompleteFile();
    const Bytes file = StreamBytes();
    ASSERT_EQ(file.size(), 3152u);
    EXPECT_EQ(ReadU16LE(&file[0]), 3);
    EXPECT_EQ(ReadU16LE(&file[2]), 309);
    EXPECT_EQ(ReadI32LE(&file[8]), 2);
    EXPECT_EQ(file[25], 0);
    EXPECT_EQ(ReadI32LE(&file[128]), 1);
    EXPECT_EQ(ReadI32LE(&file[132]), 1140);
    EXPECT_EQ(Bytes(file.begin() + 136, file.begin() + 1136), first);
    EXPECT_EQ(Bytes(file.begin() + 176, file.begin() + 180), (Bytes{' ', 'E', 'M', 'F'}));
    EXPECT_EQ(ReadI32LE(&file[1136]), 128);
    EXPECT_EQ(ReadI32LE(&file[1140]), 2);
    EXPECT_EQ(ReadI32LE(&file[1144]), 3152);
    EXPECT_EQ(Bytes(file.begin() + 1148, file.begin() + 3148), second);
    EXPECT_EQ(ReadI32LE(&file[3148]), 1140);
}

TEST_F(PageListTest, CompressedRecordHoldsTheLengthAndCodeBytes)
{
    StartProduction(true);
    const Bytes page = MakeEmf(1000);
    Append(page);
    list.CompleteFile();
    const Bytes file = StreamBytes();
    EXPECT_EQ(file[25], 1);
    const std::int32_t next = ReadI32LE(&file[132]);
    EXPECT_EQ(next, static_cast<std::int32_t>(file.size()));
    EXPECT_EQ(ReadI32LE(&file[136]), 1000);
    EXPECT_LT(next - 128 - 16, 1000) << "the page should have been coded smaller";
    EXPECT_EQ(ReadI32LE(&file[next - 4]), 128);
    EXPECT_EQ(list.ReadPage(1)->Bytes(), page);
}

TEST_F(PageListTest, StoredCountSaysOneWhileProducingAndTheTotalWhenCompleted)
{
    StartProduction();
    AppendFivePages();
    EXPECT_EQ(StoredPageCount(), 1);
    EXPECT_EQ(list.RecordCount(), 5);
    list.CompleteFile();
    EXPECT_EQ(StoredPageCount(), 5);
}

class PageListFormTest : public PageListTest, public ::testing::WithParamInterface<bool> {};

TEST_P(PageListFormTest, ReadsEveryPageFromWhereverTheStreamStands)
{
    StartProduction(GetParam());
    const auto pages = AppendFivePages();
    // Appended pages read back at once, while the report is still being produced.
    EXPECT_EQ(list.ReadPage(3)->Bytes(), pages[2]);
    EXPECT_EQ(list.ReadPage(5)->Bytes(), pages[4]);
    list.CompleteFile();
    for (int n : {2, 4, 1, 5, 3, 3, 2, 1, 4})
        EXPECT_EQ(list.ReadPage(n)->Bytes(), pages[static_cast<std::size_t>(n - 1)]) << n;
}

INSTANTIATE_TEST_SUITE_P(PlainAndCompressed, PageListFormTest, ::testing::Bool());

TEST_F(PageListTest, AfterAReadTheNextWalkStartsAtTheFollowingRecord)
{
    StartProduction();
    const auto pages = AppendFivePages();
    list.CompleteFile();
    list.ReadPage(2);
    const Bytes file = StreamBytes();
    const std::int64_t second = ReadI32LE(&file[128 + 4]);
    const std::int64_t third = ReadI32LE(&file[second + 4]);
    ByteStream& stream = *list.RecordStream();
    EXPECT_EQ(stream.Position(), third);

    // Break the link out of record 2: only a walk that starts at record 3 still finds pages 3 and 4.
    stream.SetPosition(second + 4);
    stream.WriteInt32(-1);
    stream.SetPosition(third);
    EXPECT_EQ(list.ReadPage(3)->Bytes(), pages[2]);
    EXPECT_EQ(list.ReadPage(4)->Bytes(), pages[3]);
}

TEST_F(PageListTest, PagesOutsideTheCountAreNoneAndLeaveTheStreamAlone)
{
    StartProduction();
    AppendFivePages();
    list.RecordStream()->SetPosition(300);
    EXPECT_EQ(list.ReadPage(6), nullptr);
    EXPECT_EQ(list.ReadPage(0), nullptr);
    EXPECT_EQ(list.RecordStream()->Position(), 300);
    list.Reset();
    EXPECT_EQ(list.ReadPage(1), nullptr);
    EXPECT_NE(list.RecordStream(), nullptr);
}

TEST_F(PageListTest, ReadingTwiceGivesTwoSeparateEqualPages)
{
    StartProduction();
    AppendFivePages();
    const auto a = list.ReadPage(1);
    const auto b = list.ReadPage(1);
    EXPECT_NE(a.get(), b.get());
    EXPECT_EQ(*a, *b);
}

TEST_F(PageListTest, EmptyReportIsABareHeaderThatReopensWithoutPages)
{
    StartProduction();
    list.CompleteFile();
    EXPECT_EQ(StreamBytes().size(), 128u);
    list.CopyToFile(folder / "empty.qrp");
    TQRPageList reader;
    reader.OpenFile(folder / "empty.qrp");
    EXPECT_EQ(reader.RecordCount(), 0);
    EXPECT_EQ(reader.ReadPage(1), nullptr);
}

TEST_F(PageListTest, OnePageFileEndsPointingAtTheHeaderSize)
{
    StartProduction();
    Append(MakeEmf(300));
    list.CompleteFile();
    const Bytes file = StreamBytes();
    EXPECT_EQ(ReadI32LE(&file[file.size() - 4]), 128);
}

TEST_F(PageListTest, OpeningAFileNeverChangesTheCompressionSetting)
{
    StartProduction(true);
    AppendFivePages();
    list.CompleteFile();
    list.CopyToFile(folder / "compressed.qrp");

    TQRPageList plainReader;
    plainReader.OpenFile(folder / "compressed.qrp");
    EXPECT_FALSE(plainReader.CompressPages());
    EXPECT_EQ(plainReader.RecordCount(), 5);
    EXPECT_THROW(plainReader.ReadPage(1), emf::EInvalidGraphic);
    // A failed read leaves the stream inside a record; the next walk must still find its page.
    EXPECT_THROW(plainReader.ReadPage(3), emf::EInvalidGraphic);
    plainReader.SetCompressPages(true);
    EXPECT_EQ(plainReader.ReadPage(3)->Bytes(), MakeEmf(280, 2));
    EXPECT_EQ(plainReader.ReadPage(2)->Bytes(), MakeEmf(240, 1));
}

TEST_F(PageListTest, CopyToFileWritesAByteForByteCopyAndReplacesAtomically)
{
    StartProduction();
    AppendFivePages();
    list.CompleteFile();
    const auto target = folder / "saved.qrp";
    test::WriteFileBytes(target, Bytes(10, 'x'));
    chmod(target.c_str(), 0640);
    list.CopyToFile(target);
    EXPECT_EQ(test::ReadFileBytes(target), StreamBytes());
    struct stat info {};
    stat(target.c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0640u) << "a replaced file keeps its permissions";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 1) << "no temporary file is left";
    // The stream stands at its end; reading still works from there.
    EXPECT_EQ(list.RecordStream()->Position(), list.RecordStream()->Size());
    EXPECT_EQ(list.ReadPage(3)->Bytes(), MakeEmf(280, 2));
}

TEST_F(PageListTest, CopyOntoTheOpenedFileOrIntoAMissingFolderFailsAndLosesNothing)
{
    StartProduction();
    AppendFivePages();
    list.CompleteFile();
    const auto report = folder / "report.qrp";
    list.CopyToFile(report);
    const Bytes original = test::ReadFileBytes(report);

    TQRPageList opened;
    opened.OpenFile(report);
    try {
        opened.CopyToFile(report);
        FAIL();
    } catch (const EFCreateError& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot create file \"" + report.string() + "\". Device or resource busy");
    }
    // Another name for the same file is the same file.
    std::filesystem::create_hard_link(report, folder / "alias.qrp");
    EXPECT_THROW(opened.CopyToFile(folder / "alias.qrp"), EFCreateError);
    EXPECT_THROW(opened.CopyToFile(folder / "missing" / "x.qrp"), EFCreateError);
    EXPECT_EQ(test::ReadFileBytes(report), original);
    EXPECT_EQ(opened.ReadPage(4)->Bytes(), MakeEmf(320, 3));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 2);
}

TEST_F(PageListTest, WalksStopWithAnErrorNamingThePageAndOffset)
{
    StartProduction();
    AppendFivePages();
    list.CompleteFile();
    const Bytes good = StreamBytes();
    const std::int32_t second = ReadI32LE(&good[132]);
    const std::int32_t third = ReadI32LE(&good[second + 4]);

    struct Case {
        const char* name;
        std::int64_t offset; // where to write
        std::int32_t value;
        int page;            // the page then read from the first record
        const char* message;
    };
    const Case cases[] = {
        {"link to itself", second + 4, second, 3, "Cannot find page 3: the record at offset " },
        {"link outside the file", second + 4, 1 << 30, 3, "outside the file"},
        {"negative link", second + 4, -8, 3, "which is not after the record"},
        {"back link to itself", third - 4, third, 2, "which is not before the record"},
        {"tail outside the file", static_cast<std::int64_t>(good.size()) - 4, 1 << 30, 5, "the file's last four bytes point to offset"},
        {"page numbers that never match", second, 99, 2, "the walk reached the end of the file"},
    };
    for (const Case& c : cases) {
        Bytes bad = good;
        WriteI32LE(&bad[static_cast<std::size_t>(c.offset)], c.value);
        const auto path = folder / "bad.qrp";
        test::WriteFileBytes(path, bad);
        TQRPageList reader;
        reader.OpenFile(path);
        if (std::string(c.name).starts_with("back"))
            reader.ReadPage(5); // walk backwards from the last record
        try {
            reader.ReadPage(c.page);
            ADD_FAILURE() << c.name;
        } catch (const EReportFileError& error) {
            EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << c.name << ": " << error.what();
        }
    }
}

TEST_F(PageListTest, PageCutShortOrClaimingTooMuchIsAReadError)
{
    StartProduction();
    Append(MakeEmf(1000));
    list.CompleteFile();
    Bytes file = StreamBytes();
    WriteU32LE(&file[136 + 48], 0x7FFFFFF0); // nBytes far beyond the record
    test::WriteFileBytes(folder / "a.qrp", file);
    TQRPageList reader;
    reader.OpenFile(folder / "a.qrp");
    EXPECT_THROW(reader.ReadPage(1), EReadError);
}

TEST_F(PageListTest, ARecordPastTwoGigabytesIsAWriteErrorNamingTheFile)
{
    StartProduction();
    Append(MakeEmf(200000)); // past the spill limit: the report now lives in a temporary file
    TQRStream& stream = *list.RecordStream();
    ASSERT_FALSE(stream.IsMemoryBacked());
    // Grow the file to just under 2 GB without writing it all: the gap stays a hole in the file.
    const std::int64_t nearLimit = (std::int64_t{1} << 31) - 1000;
    stream.SetPosition(nearLimit - 1);
    const std::uint8_t zero = 0;
    stream.WriteExact(&zero, 1);
    try {
        Append(MakeEmf(2000));
        FAIL();
    } catch (const EWriteError& error) {
        const std::string text = error.what();
        EXPECT_TRUE(text.starts_with("Stream write error: cannot write \"" + stream.SpillFile() + "\"")) << text;
        EXPECT_NE(text.find("cannot pass 2 GB"), std::string::npos) << text;
    }
}
