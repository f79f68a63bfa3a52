// Printing a finished report onto a printer device: the range, copies, cancel and the job's end,
// against the test printer, whose printed pages are kept as images.

#include "doubles/TestPrinterDevice.h"
#include "docstore/ReportDocument.h"
#include "printing/TQRPrinter.h"
#include "render/EmfRecorder.h"
#include "support/ReportFixtures.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

using namespace tarvolo;
using namespace tarvolo::platform;
using namespace tarvolo::printing;

namespace {

class PrintReportTest : public ::testing::Test {
protected:
    PrintReportTest()
    {
        application.printers = {TestPrinterDevice::LaserPrinter("Laser")};
        printer = std::make_unique<TQRPrinter>(application, [this] {
            auto device = std::make_unique<TestPrinterDevice>();
            device->printers = application.printers;
            this->device = device.get();
            return device;
        });
    }

    void Load(int pages)
    {
        const std::string path = (folder / "report.qrp").string();
        test::WriteA4Report(path, pages);
        printer->ReadReportFile(path);
    }

    const TestPrinterDevice::Job& OnlyJob() const
    {
        EXPECT_EQ(device->jobs.size(), 1u);
        return device->jobs.back();
    }

    test::TempDir folder;
    TestPrinterDevice application;
    TestPrinterDevice* device = nullptr;
    std::unique_ptr<TQRPrinter> printer;
};

struct RangeCase {
    const char* name;
    int pages;
    int firstPage;
    int lastPage;
    std::vector<int> printed; // page number on each sheet, 0 for an empty one
};

void PrintTo(const RangeCase& c, std::ostream* out)
{
    *out << c.name;
}

class PrintRangeTest : public PrintReportTest, public ::testing::WithParamInterface<RangeCase> {};

} // namespace

TEST_P(PrintRangeTest, PrintsTheRangeInOneEndedJob)
{
    const RangeCase& c = GetParam();
    Load(c.pages);
    printer->FirstPage = c.firstPage;
    printer->LastPage = c.lastPage;
    printer->DocumentTitle = "Vendas de março";
    printer->PrintReport();
    const TestPrinterDevice::Job& job = OnlyJob();
    EXPECT_EQ(job.title, "Vendas de março");
    EXPECT_TRUE(job.ended);
    EXPECT_FALSE(job.aborted);
    EXPECT_EQ(test::A4ReportPageNumbersOn(job.pages), c.printed);
    EXPECT_FALSE(device->Printing());
}

// A reversed range or an empty report draws nothing, yet the job is begun and ended (on one sheet).
INSTANTIATE_TEST_SUITE_P(Ranges, PrintRangeTest,
                         ::testing::Values(RangeCase{"All", 5, 0, 0, {1, 2, 3, 4, 5}},
                                           RangeCase{"FromTwoToTheEnd", 5, 2, 0, {2, 3, 4, 5}},
                                           RangeCase{"FromTheStartToThree", 5, 0, 3, {1, 2, 3}},
                                           RangeCase{"PastTheEndGivesEmptySheets", 5, 1, 7, {1, 2, 3, 4, 5, 0, 0}},
                                           RangeCase{"StartingPastTheEnd", 5, 6, 0, {0}},
                                           RangeCase{"Reversed", 5, 4, 2, {0}},
                                           RangeCase{"NoPages", 0, 0, 0, {0}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PrintReportTest, ACancelDropsTheJobAfterThePageOnWhichItIsSeen)
{
    Load(5);
    device->onPageBegun = [this](int ended) {
        if (ended == 2) // page 3 has begun
            printer->RequestCancel();
    };
    printer->PrintReport();
    EXPECT_TRUE(OnlyJob().aborted);
    EXPECT_FALSE(OnlyJob().ended);
    EXPECT_EQ(test::A4ReportPageNumbersOn(OnlyJob().pages), (std::vector<int>{1, 2, 3}));
    EXPECT_FALSE(device->Printing());

    // The request stays set: the next print stops after its first page.
    device->onPageBegun = nullptr;
    printer->PrintReport();
    ASSERT_EQ(device->jobs.size(), 2u);
    EXPECT_TRUE(device->jobs[1].aborted);
    EXPECT_EQ(test::A4ReportPageNumbersOn(device->jobs[1].pages), std::vector<int>{1});
}

TEST_F(PrintReportTest, NothingIsPrintedBeforeTheReportIsFinishedOrWithoutPrinters)
{
    printer->PrintReport(); // Ready
    printer->BeginReport();
    printer->StartNewPage();
    printer->PrintReport(); // Busy
    EXPECT_TRUE(device->jobs.empty());

    TestPrinterDevice none;
    TQRPrinter lonely(none, [] { return std::make_unique<TestPrinterDevice>(); });
    const std::string path = (folder / "lonely.qrp").string();
    test::WriteA4Report(path, 2);
    lonely.ReadReportFile(path);
    lonely.PrintReport(); // no printer: nothing happens, nothing is said
}

TEST_F(PrintReportTest, CopiesAndPaperReachTheDeviceModeAndAnOpenJobIsDroppedFirst)
{
    Load(2);
    printer->SetCopies(3);
    printer->SetOrientation(TPrinterOrientation::poLandscape);
    device->SetTitle("left open");
    device->BeginDoc();
    printer->PrintReport();
    ASSERT_EQ(device->jobs.size(), 2u);
    EXPECT_TRUE(device->jobs[0].aborted);
    const TestPrinterDevice::Job& job = device->jobs[1];
    EXPECT_EQ(job.mode.dmCopies, 3);
    EXPECT_EQ(job.mode.dmOrientation, DMORIENT_LANDSCAPE);
    EXPECT_EQ(job.pages.size(), 2u) << "the range is printed once; the copies are the driver's";
}

TEST_F(PrintReportTest, AnErrorWhilePrintingEndsTheJobAndReachesTheCaller)
{
    Load(3);
    device->onPageBegun = [](int ended) {
        if (ended == 1)
            throw std::runtime_error("paper jam");
    };
    EXPECT_THROW(printer->PrintReport(), std::runtime_error);
    EXPECT_TRUE(OnlyJob().ended);
    EXPECT_FALSE(device->Printing());
}

// Pages are stretched over the printable area; a page lying the other way than the paper goes on
// a sheet turned to match it instead of being squeezed.
TEST_F(PrintReportTest, APageInTheOtherOrientationIsPrintedOnATurnedSheet)
{
    docstore::ReportDocument report;
    report.CreateNew(false);
    for (const QSize size : {QSize(794, 1123), QSize(1123, 794), QSize(794, 1123)}) {
        emf::EmfRecorder page(size.width(), size.height());
        page.brush.color = Qt::black;
        page.FillRect(QRect(0, 0, size.width() / 2, size.height())); // left half black
        report.AppendPage(page.Finish());
    }
    report.Complete();
    const std::string path = (folder / "mixed.qrp").string();
    report.SaveCopy(path);
    printer->ReadReportFile(path);
    printer->PrintReport();

    const TestPrinterDevice::Job& job = OnlyJob();
    ASSERT_EQ(job.pages.size(), 3u);
    const DeviceCapabilities caps = TestPrinterDevice::LaserPrinter("Laser").capabilities;
    for (std::size_t i = 0; i < 3; ++i) {
        const QImage& sheet = job.pages[i];
        const bool landscape = i == 1;
        EXPECT_EQ(sheet.width() > sheet.height(), landscape) << "sheet " << i + 1;
        EXPECT_EQ(sheet.width(), (landscape ? caps.vertRes : caps.horzRes) / device->pageImageDivisor);
        // The page covers the whole printable area: black up to the middle, white after it.
        const int y = sheet.height() / 2;
        EXPECT_LT(qGray(sheet.pixel(sheet.width() / 2 - 3, y)), 128) << "sheet " << i + 1;
        EXPECT_GT(qGray(sheet.pixel(sheet.width() / 2 + 3, y)), 128) << "sheet " << i + 1;
    }
}
