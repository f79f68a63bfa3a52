#include "docstore/MemoryStream.h"
#include "docstore/ReportVerifier.h"
#include "docstore/TQRPageList.h"
#include "docstore/TQRStream.h"
#include "metafile/LittleEndian.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace tarvolo;
using namespace tarvolo::docstore;
using tarvolo::test::Bytes;
using tarvolo::test::MakeEmf;
using tarvolo::test::ReadFileBytes;
using tarvolo::test::TempDir;
using tarvolo::test::WriteFileBytes;

namespace {

using Problems = std::vector<VerificationProblem>;

std::string Describe(const Problems& problems)
{
    std::string text;
    for (const auto& problem : problems)
        text += "\n  offset " + std::to_string(problem.offset) + ": " + problem.message;
    return text.empty() ? " none" : text;
}

// Where the records of a written report lie, found from its links.
struct Layout {
    std::vector<std::int64_t> starts;
    std::int64_t size = 0;

    explicit Layout(const Bytes& file, std::int64_t headerSize = 128) : size(static_cast<std::int64_t>(file.size()))
    {
        for (std::int64_t at = headerSize; at < size; at = ReadI32LE(&file[static_cast<std::size_t>(at) + 4]))
            starts.push_back(at);
    }
    // Pages count from 1.
    std::int64_t Start(int page) const { return starts.at(static_cast<std::size_t>(page - 1)); }
    std::int64_t DataStart(int page) const { return Start(page) + 8; }
    std::int64_t End(int page) const { return page == static_cast<int>(starts.size()) ? size : Start(page + 1); }
};

void PutI32(Bytes& bytes, std::int64_t offset, std::int32_t value)
{
    WriteI32LE(&bytes.at(static_cast<std::size_t>(offset)), value);
}

// The three pages of every fixture: page 2 is 240 bytes, its comment record at 88 and EMR_EOF at 220.
std::vector<Bytes> ThreePages()
{
    return {MakeEmf(200, 1), MakeEmf(240, 2), MakeEmf(280, 3)};
}

class ReportVerifierTest : public ::testing::Test {
protected:
    // Records the pages as a completed report, saves it into the test's folder and returns its bytes.
    Bytes WriteReport(const std::vector<Bytes>& pages, bool compressed)
    {
        TQRPageList list;
        list.SetRecordStream(TQRStream::CreateInMemory(100000));
        list.SetCompressPages(compressed);
        for (const Bytes& page : pages)
            list.AppendPage(emf::Metafile(page));
        list.CompleteFile();
        list.CopyToFile(path.string());
        return ReadFileBytes(path);
    }

    Problems VerifyFile(const Bytes& file)
    {
        WriteFileBytes(path, file);
        const auto stream = TQRStream::OpenOnFile(path.string());
        return ReportVerifier(*stream).Verify();
    }

    TempDir folder;
    std::filesystem::path path = folder / "report.qrp";
};

} // namespace

TEST_F(ReportVerifierTest, SoundReportsHaveNoProblem)
{
    for (const bool compressed : {false, true}) {
        SCOPED_TRACE(compressed ? "compressed" : "plain");
        const Problems problems = VerifyFile(WriteReport(ThreePages(), compressed));
        EXPECT_TRUE(problems.empty()) << Describe(problems);
    }
}

// The form of the pages is decided as every reader decides it: a header that claims compression
// over plain pages is trusted no further than the first record.
TEST_F(ReportVerifierTest, ReadsPlainPagesUnderAHeaderClaimingCompression)
{
    Bytes file = WriteReport(ThreePages(), false);
    file[25] = 1;
    const Problems problems = VerifyFile(file);
    EXPECT_TRUE(problems.empty()) << Describe(problems);
}

// Pages a real GDI recorded hold every kind of record; none of them may look damaged.
TEST_F(ReportVerifierTest, ReportsOfRecordedPagesHaveNoProblem)
{
    std::vector<Bytes> pages;
    for (const auto& page : test::OraclePages())
        pages.push_back(ReadFileBytes(page));
    for (const bool compressed : {false, true}) {
        SCOPED_TRACE(compressed ? "compressed" : "plain");
        const Problems problems = VerifyFile(WriteReport(pages, compressed));
        EXPECT_TRUE(problems.empty()) << Describe(problems);
    }
}

// The 124-byte header puts every record four bytes earlier; the verifier must follow it there.
TEST_F(ReportVerifierTest, SoundReportInTheOlderHeaderLayoutHasNoProblem)
{
    const Bytes current = WriteReport(ThreePages(), false);
    const Layout layout(current);
    Bytes older(current.size() - 4, 0);
    std::copy(current.begin(), current.begin() + 12, older.begin());
    std::copy(current.begin() + 16, current.begin() + 24, older.begin() + 12);
    older[21] = current[25];
    std::copy(current.begin() + 128, current.end(), older.begin() + 124);
    for (int page = 1; page <= 3; ++page) {
        const std::int64_t start = layout.Start(page) - 4;
        PutI32(older, start + 4, static_cast<std::int32_t>(layout.End(page) - 4));
        PutI32(older, layout.End(page) - 8, static_cast<std::int32_t>(start));
    }
    const Problems problems = VerifyFile(older);
    EXPECT_TRUE(problems.empty()) << Describe(problems);
}

// Damage inside one page's EMF, found by walking its records. Each case damages page 2 before it
// is recorded, so that it is stored as it is in both forms, and only its first damaged record is
// reported: the record, where it is and what is wrong with it.
struct EmfFault {
    const char* name;
    std::function<void(Bytes&)> damage;
    std::size_t offsetInPage;
    const char* record;
    const char* fault;
};

TEST_F(ReportVerifierTest, ReportsTheFirstDamagedEmfRecordOfAPage)
{
    const std::vector<EmfFault> faults = {
        {"zero-size record", [](Bytes& emf) { WriteU32LE(&emf[92], 0); }, 88, "EMF record 2 (type 70)", "has size 0"},
        {"size not a multiple of 4", [](Bytes& emf) { WriteU32LE(&emf[92], 130); }, 88, "EMF record 2 (type 70)",
         "has size 130, not a multiple of 4"},
        {"size below the record's own fields", [](Bytes& emf) { WriteU32LE(&emf[92], 4); }, 88, "EMF record 2 (type 70)",
         "has size 4, too small for its own type and size"},
        {"header record size not a multiple of 4", [](Bytes& emf) { WriteU32LE(&emf[4], 90); }, 0, "EMF record 1 (type 1)",
         "has size 90, not a multiple of 4"},
        {"record running past the page end", [](Bytes& emf) { WriteU32LE(&emf[92], 240); }, 88, "EMF record 2 (type 70)",
         "is 240 bytes long and runs past the end of the metafile (nBytes 240) by 88 bytes"},
        {"record cut short at the page end",
         [](Bytes& emf) {
             WriteU32LE(&emf[220], 70);
             WriteU32LE(&emf[224], 16);
         },
         236, "EMF record 4", "is cut short: only 4 bytes remain before the end of the metafile (nBytes 240)"},
        {"missing EMR_EOF", [](Bytes& emf) { WriteU32LE(&emf[220], 70); }, 220, "EMF record 3 (type 70)",
         "is the metafile's last record: EMR_EOF is missing at its end"},
        {"EMR_EOF before the end",
         [](Bytes& emf) {
             WriteU32LE(&emf[92], 112);
             WriteU32LE(&emf[200], 14);
             WriteU32LE(&emf[204], 20);
         },
         200, "EMR_EOF (EMF record 3)", "ends the metafile 20 bytes before the end of the metafile (nBytes 240)"},
    };
    for (const auto& fault : faults) {
        std::vector<Bytes> pages = ThreePages();
        fault.damage(pages[1]);
        for (const bool compressed : {false, true}) {
            SCOPED_TRACE(std::string(fault.name) + (compressed ? ", compressed" : ", plain"));
            const Bytes file = WriteReport(pages, compressed);
            const std::int64_t dataStart = Layout(file).DataStart(2);
            const Problems problems = VerifyFile(file);
            ASSERT_EQ(problems.size(), 1u) << Describe(problems);
            if (compressed) {
                // The records exist only in the decoded page: the problem stands on its page data.
                EXPECT_EQ(problems[0].offset, dataStart);
                EXPECT_EQ(problems[0].message, std::string("page 2 (compressed): ") + fault.record + " at offset " +
                                                   std::to_string(fault.offsetInPage) + " within the decoded page " +
                                                   fault.fault);
            } else {
                EXPECT_EQ(problems[0].offset, dataStart + static_cast<std::int64_t>(fault.offsetInPage));
                EXPECT_EQ(problems[0].message, std::string("page 2: ") + fault.record + " " + fault.fault);
            }
        }
    }
}

// Damage to the report's own layout, in a file of three sound pages, in both forms.
struct FileFault {
    const char* name;
    std::function<void(Bytes&, const Layout&)> damage;
    std::function<std::int64_t(const Layout&)> offset;
    std::function<std::string(const Layout&)> fragment;
};

TEST_F(ReportVerifierTest, ReportsDamagedLinksAndCounts)
{
    const auto text = [](const std::string& s) { return [s](const Layout&) { return s; }; };
    const auto at = [](std::int64_t offset) { return [offset](const Layout&) { return offset; }; };
    const std::vector<FileFault> faults = {
        {"page count below the records", [](Bytes& f, const Layout&) { PutI32(f, 8, 2); }, at(8),
         text("the header says 2 pages but the file holds 3 page records")},
        {"page count above the records", [](Bytes& f, const Layout&) { PutI32(f, 8, 4); }, at(8),
         text("the header says 4 pages but the file holds 3 page records")},
        // Right at the most a file of this size could hold, the count is merely wrong.
        {"page count at the most the file holds",
         [](Bytes& f, const Layout& l) { PutI32(f, 8, static_cast<std::int32_t>((l.size - 128) / 12)); }, at(8),
         [](const Layout& l) { return "the header says " + std::to_string((l.size - 128) / 12) + " pages but the file holds 3"; }},
        {"broken forward link, outside the file", [](Bytes& f, const Layout& l) { PutI32(f, l.Start(2) + 4, 100000); },
         [](const Layout& l) { return l.Start(2) + 4; },
         [](const Layout& l) { return "record 2 links to offset 100000 but ends at offset " + std::to_string(l.Start(3)); }},
        {"broken forward link, inside the file",
         [](Bytes& f, const Layout& l) { PutI32(f, l.Start(1) + 4, static_cast<std::int32_t>(l.Start(3))); },
         [](const Layout& l) { return l.Start(1) + 4; },
         [](const Layout& l) {
             return "record 1 links to offset " + std::to_string(l.Start(3)) + " but ends at offset " + std::to_string(l.Start(2));
         }},
        {"broken back link", [](Bytes& f, const Layout& l) { PutI32(f, l.Start(2) - 4, 999); },
         [](const Layout& l) { return l.Start(2) - 4; }, text("record 1 ends with the start offset 999 instead of 128")},
        {"broken tail pointer",
         [](Bytes& f, const Layout& l) { PutI32(f, l.size - 4, static_cast<std::int32_t>(l.Start(2))); },
         [](const Layout& l) { return l.size - 4; },
         [](const Layout& l) {
             return "record 3 ends with the start offset " + std::to_string(l.Start(2)) + " instead of " + std::to_string(l.Start(3));
         }},
        {"page number out of order", [](Bytes& f, const Layout& l) { PutI32(f, l.Start(2), 5); },
         [](const Layout& l) { return l.Start(2); }, text("record 2 has page number 5")},
        {"page data shorter than its record",
         [](Bytes& f, const Layout& l) {
             // Record 2 claims four more bytes, taken from record 3, and ends with its start offset there.
             PutI32(f, l.Start(2) + 4, static_cast<std::int32_t>(l.Start(3) + 4));
             PutI32(f, l.Start(3), static_cast<std::int32_t>(l.Start(2)));
         },
         [](const Layout& l) { return l.DataStart(2); }, text("the page data takes")},
    };
    for (const auto& fault : faults) {
        for (const bool compressed : {false, true}) {
            SCOPED_TRACE(std::string(fault.name) + (compressed ? ", compressed" : ", plain"));
            Bytes file = WriteReport(ThreePages(), compressed);
            const Layout layout(file);
            fault.damage(file, layout);
            const Problems problems = VerifyFile(file);
            ASSERT_FALSE(problems.empty());
            EXPECT_EQ(problems[0].offset, fault.offset(layout)) << Describe(problems);
            EXPECT_NE(problems[0].message.find(fault.fragment(layout)), std::string::npos) << Describe(problems);
        }
    }
}

// One damaged link is one problem: the walks find the way on past it and do not report it twice.
TEST_F(ReportVerifierTest, ABrokenLinkIsReportedOnce)
{
    for (const bool compressed : {false, true}) {
        SCOPED_TRACE(compressed ? "compressed" : "plain");
        const Bytes sound = WriteReport(ThreePages(), compressed);
        const Layout layout(sound);
        for (const std::int64_t link : {layout.Start(1) + 4, layout.Start(2) + 4, layout.Start(2) - 4, layout.size - 4}) {
            Bytes file = sound;
            PutI32(file, link, 7);
            const Problems problems = VerifyFile(file);
            EXPECT_EQ(problems.size(), 1u) << "link at " << link << Describe(problems);
        }
    }
}

// The header's page count is checked before anything is walked: a count no file of this size can
// hold comes first, is not reported again against the records, and the walks still find the rest.
TEST_F(ReportVerifierTest, ReportsAnImpossiblePageCountFirstAndWalksOn)
{
    std::vector<Bytes> pages = ThreePages();
    WriteU32LE(&pages[1][92], 0); // a zero-size record in page 2
    const Bytes damaged = WriteReport(pages, false);
    const Layout layout(damaged);
    const std::int64_t most = (layout.size - 128) / 12;
    const struct {
        std::int32_t count;
        std::string message;
    } cases[] = {
        {-1599358731, "the header says -1599358731 pages"},
        {-1, "the header says -1 pages"},
        {static_cast<std::int32_t>(most + 1), "the header says " + std::to_string(most + 1) + " pages, but a file of " +
                                                  std::to_string(layout.size) + " bytes has room for at most " +
                                                  std::to_string(most) + " page records"},
        {2147483647, "the header says 2147483647 pages, but a file of"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count);
        Bytes file = damaged;
        PutI32(file, 8, c.count);
        const Problems problems = VerifyFile(file);
        ASSERT_EQ(problems.size(), 2u) << Describe(problems);
        EXPECT_EQ(problems[0].offset, 8);
        EXPECT_EQ(problems[0].message.rfind(c.message, 0), 0u) << problems[0].message;
        EXPECT_EQ(problems[1].offset, layout.DataStart(2) + 88);
        EXPECT_EQ(problems[1].message, "page 2: EMF record 2 (type 70) has size 0");
    }
}

// When the forward walk cannot go on, the records beyond the break are reached from the tail, so
// damage there shows too, and a back link that leads nowhere is named.
TEST_F(ReportVerifierTest, ChecksRecordsBeyondABreakFromTheTail)
{
    std::vector<Bytes> pages = ThreePages();
    WriteU32LE(&pages[2][92], 0); // a zero-size record in page 3
    Bytes file = WriteReport(pages, false);
    const Layout layout(file);
    // Both links around record 1's end are lost: nothing tells where record 2 starts.
    PutI32(file, layout.Start(1) + 4, 100000);
    PutI32(file, layout.Start(2) - 4, 7);
    PutI32(file, layout.Start(3) - 4, 5);
    const Problems problems = VerifyFile(file);
    ASSERT_EQ(problems.size(), 3u) << Describe(problems);
    EXPECT_EQ(problems[0].offset, layout.Start(1) + 4);
    EXPECT_EQ(problems[0].message, "record 1 links to offset 100000, outside the file");
    EXPECT_EQ(problems[1].offset, layout.DataStart(3) + 88);
    EXPECT_EQ(problems[1].message, "page 3: EMF record 2 (type 70) has size 0");
    EXPECT_EQ(problems[2].offset, layout.Start(3) - 4);
    EXPECT_NE(problems[2].message.find("links back to offset 5, where no record before it can start"), std::string::npos)
        << problems[2].message;
}

TEST_F(ReportVerifierTest, ReportsAFileCutShort)
{
    const Bytes sound = WriteReport(ThreePages(), false);
    const Layout layout(sound);
    Bytes file(sound.begin(), sound.end() - 14);
    const Problems problems = VerifyFile(file);
    ASSERT_FALSE(problems.empty());
    EXPECT_EQ(problems[0].offset, layout.Start(3) + 4) << Describe(problems);
    EXPECT_EQ(problems[0].message, "record 3 links to offset " + std::to_string(layout.size) + ", outside the file");

    const Problems tooShort = VerifyFile(Bytes(sound.begin(), sound.begin() + 150));
    ASSERT_EQ(tooShort.size(), 1u) << Describe(tooShort);
    EXPECT_EQ(tooShort[0].offset, 0);
    EXPECT_NE(tooShort[0].message.find("too short"), std::string::npos);
}

// Hostile files: whatever value lands in whatever place, the verifier answers with problems, never
// an exception, a hang or more than its limit.
TEST_F(ReportVerifierTest, SurvivesAnyFourBytesOverwritten)
{
    for (const bool compressed : {false, true}) {
        const Bytes sound = WriteReport(ThreePages(), compressed);
        const std::int32_t values[] = {0, -1, 7, 128, 2147483647, -2147483647 - 1, static_cast<std::int32_t>(sound.size())};
        for (std::size_t at = 0; at + 4 <= sound.size(); at += 2)
            for (const std::int32_t value : values) {
                Bytes file = sound;
                WriteI32LE(&file[at], value);
                MemoryStream stream(file);
                Problems problems;
                ASSERT_NO_THROW(problems = ReportVerifier(stream).Verify())
                    << (compressed ? "compressed" : "plain") << ", offset " << at << ", value " << value;
                EXPECT_LE(problems.size(), ReportVerifier::kMostProblems);
            }
    }
}
