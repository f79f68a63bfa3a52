#include "docstore/ReportDocument.h"
#include "docstore/StreamErrors.h"
#include "metafile/GdiConstants.h"
#include "metafile/LittleEndian.h"
#include "support/FixtureFiles.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace tarvolo;
using namespace tarvolo::docstore;
using tarvolo::test::ReportFixture;

namespace {

// The fixtures' pages draw a bar 40 pixels longer on each page: its right edge says which page it is.
int BarPageOf(const emf::Metafile& page)
{
    return (ReadI32LE(page.Bytes().data() + 88 + 16) - 100) / 40;
}

std::string ErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const std::exception& error) {
        return error.what();
    }
    return {};
}

} // namespace

TEST(ReportDocument, ARecordMustCarryThePageAskedFor)
{
    struct Case {
        const char* fixture;
        int page;
        const char* message;
    };
    const Case cases[] = {
        // Cut right after record 2: the tail leads to page 2 where page 3 is asked for.
        {"CutAtRecordBoundary.qrp", 3,
         "Cannot find page 3: the record at offset 272 holds page 2, and the file's last four bytes at offset 412 point to it"},
        // A count of 7 over three records: the tail leads to page 3, walks run off the end.
        {"CountBeyondRecords.qrp", 7,
         "Cannot find page 7: the record at offset 416 holds page 3, and the file's last four bytes at offset 556 point to it"},
        {"CountBeyondRecords.qrp", 5, "Cannot find page 5: the walk reached the end of the file at offset 560"},
    };
    for (const Case& c : cases) {
        ReportDocument report;
        report.Open(ReportFixture(c.fixture));
        EXPECT_EQ(ErrorOf([&] { report.Page(c.page); }), c.message) << c.fixture;
        // The intact pages still read, whatever failed before.
        for (int n : {2, 1})
            EXPECT_EQ(BarPageOf(*report.Page(n)), n) << c.fixture;
    }
}

TEST(ReportDocument, AfterAFailedLastPageTheMiddlePagesStillRead)
{
    ReportDocument report;
    report.Open(ReportFixture("DamagedTail.qrp"));
    ASSERT_EQ(report.PageCount(), 5);
    EXPECT_THROW(report.Page(5), EReportFileError);
    for (int n : {3, 2, 4, 3})
        EXPECT_EQ(BarPageOf(*report.Page(n)), n);
}

TEST(ReportDocument, PageCountsTheFileCannotHoldAreRefusedAndLeaveNothingOpen)
{
    struct Case {
        const char* fixture;
        const char* message;
    };
    const Case cases[] = {
        {"NegativePageCount.qrp", "Damaged report: the page count at offset 8 is -1599358731"},
        {"ImpossiblePageCount.qrp", "Damaged report: the page count at offset 8 is 1000000, more than the 36 pages a file of 560 bytes can hold"},
    };
    for (const Case& c : cases) {
        ReportDocument report;
        report.Open(ReportFixture("ThreePages.qrp"));
        EXPECT_EQ(ErrorOf([&] { report.Open(ReportFixture(c.fixture)); }), c.message);
        EXPECT_FALSE(report.IsOpen());
        EXPECT_EQ(report.PageCount(), 0);
        EXPECT_EQ(report.Page(1), nullptr);
    }
}

TEST(ReportDocument, AReportWithoutPagesOpensAndSavesAsItself)
{
    test::TempDir folder;
    ReportDocument report;
    report.Open(ReportFixture("NoPages.qrp"));
    EXPECT_EQ(report.PageCount(), 0);
    EXPECT_EQ(report.Page(1), nullptr);
    report.SaveCopy(folder / "copy.qrp");
    EXPECT_EQ(test::ReadFileBytes(folder / "copy.qrp"), test::ReadFileBytes(ReportFixture("NoPages.qrp")));
}

TEST(ReportDocument, CompressedPagesAreToldByTheHeaderAndTheFirstRecord)
{
    struct Case {
        const char* fixture;
        bool compressed;
    };
    const Case cases[] = {
        {"ThreePages.qrp", false},
        {"ThreePagesCompressed.qrp", true},
        {"PlainPagesFlaggedCompressed.qrp", false}, // the flag alone does not make plain pages unreadable
        {"OlderLayout.qrp", false},
    };
    ReportDocument plain;
    plain.Open(ReportFixture("ThreePages.qrp"));
    for (const Case& c : cases) {
        ReportDocument report;
        report.Open(ReportFixture(c.fixture));
        EXPECT_EQ(report.PagesCompressed(), c.compressed) << c.fixture;
        for (int n = 1; n <= report.PageCount(); ++n)
            EXPECT_EQ(report.Page(n)->Bytes(), plain.Page(n)->Bytes()) << c.fixture << " page " << n;
    }
}

TEST(ReportDocument, ANewReportReadsBackWhileRecordedAndAfterSaving)
{
    test::TempDir folder;
    for (bool compressed : {false, true}) {
        ReportDocument report;
        report.CreateNew(compressed);
        for (std::uint8_t n = 0; n < 3; ++n)
            report.AppendPage(emf::Metafile(test::MakeEmf(300, n)));
        EXPECT_EQ(report.Page(2)->Bytes(), test::MakeEmf(300, 1));
        report.Complete();
        report.SaveCopy(folder / "new.qrp");

        ReportDocument reopened;
        reopened.Open(folder / "new.qrp");
        EXPECT_EQ(reopened.PageCount(), 3);
        EXPECT_EQ(reopened.PagesCompressed(), compressed);
        EXPECT_EQ(reopened.Page(3)->Bytes(), test::MakeEmf(300, 2));
    }
}

// Readers on worker threads walk the record links while the window saves the report: each walk
// and each copy must have the stream to itself, or a walk ends on the copy's position and a
// page is lost, or a copy is cut by a walk.
TEST(ReportDocument, PagesReadOnSeveralThreadsWhileTheReportIsSavedAreAllIntact)
{
    for (const bool compressed : {false, true}) {
        test::TempDir folder;
        constexpr int kPages = 300;
        std::vector<test::Bytes> pages;
        {
            ReportDocument recorded;
            recorded.CreateNew(compressed);
            for (int n = 1; n <= kPages; ++n) {
                pages.push_back(test::MakeMetafile({test::MakeRecord(emf::emr::Rectangle, {n, n, 50 + n, 50})}));
                recorded.AppendPage(emf::Metafile(pages.back()));
            }
            recorded.Complete();
            recorded.SaveCopy((folder / "report.qrp").string());
        }
        const test::Bytes original = test::ReadFileBytes(folder / "report.qrp");
        ReportDocument report;
        report.Open((folder / "report.qrp").string());

        std::atomic<int> wrongPages = 0;
        std::atomic<int> readersDone = 0;
        std::vector<std::thread> readers;
        for (int reader = 0; reader < 3; ++reader) {
            readers.emplace_back([&, reader] {
                // Strides of different lengths: the walks go forwards, backwards and far.
                for (int pass = 0; pass < 10; ++pass) {
                    for (int i = 0; i < kPages; ++i) {
                        const int n = (i * (7 + 2 * reader) + pass) % kPages + 1;
                        try {
                            const std::unique_ptr<emf::Metafile> page = report.Page(n);
                            if (!page || page->Bytes() != pages.at(n - 1))
                                ++wrongPages;
                        } catch (const std::exception&) {
                            ++wrongPages;
                        }
                    }
                }
                ++readersDone;
            });
        }
        int wrongCopies = 0;
        for (int copy = 0; readersDone < 3; ++copy) {
            const auto path = folder / "copy.qrp";
            report.SaveCopy(path.string());
            wrongCopies += test::ReadFileBytes(path) != original;
        }
        for (std::thread& reader : readers)
            reader.join();
        EXPECT_EQ(wrongPages, 0) << (compressed ? "compressed" : "plain");
        EXPECT_EQ(wrongCopies, 0) << (compressed ? "compressed" : "plain");
    }
}
