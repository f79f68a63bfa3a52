#include "docstore/StreamErrors.h"
#include "render/EmfRecorder.h"
#include "metafile/LittleEndian.h"
#include "doubles/TestPrinterDevice.h"
#include "printing/TQRPrinter.h"
#include "support/FixtureFiles.h"
#include "support/TestSupport.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

namespace fs = std::filesystem;

using namespace tarvolo;
using namespace tarvolo::platform;
using namespace tarvolo::printing;
using tarvolo::test::Bytes;

namespace {

// A machine with one or more test printers; each report printer object gets its own copy.
class PrinterTest : public ::testing::Test {
protected:
    PrinterTest()
    {
        TestPrinterDevice::Printer laser = TestPrinterDevice::LaserPrinter("Laser");
        laser.papers.clear();
        for (std::int16_t code = 1; code <= 26; ++code) // offers every standard size
            laser.papers.push_back(code);
        application.printers = {laser, TestPrinterDevice::LaserPrinter("Office")};
        application.printers[1].defaultMode.dmPaperSize = 1; // Letter
    }

    std::unique_ptr<TQRPrinter> MakePrinter()
    {
        return std::make_unique<TQRPrinter>(application, [this] {
            auto device = std::make_unique<TestPrinterDevice>();
            device->printers = application.printers;
            lastDevice = device.get();
            return device;
        });
    }

    // Records pages of the given sizes in pixels through the recording path and saves them.
    std::string RecordReport(const std::vector<QSize>& pageSizes, const std::string& name)
    {
        docstore::TQRPageList list;
        list.SetRecordStream(docstore::TQRStream::CreateInMemory(100000));
        for (const QSize& size : pageSizes) {
            emf::EmfRecorder page(size.width(), size.height());
            page.TextOut(10, 10, "page");
            list.AppendPage(page.Finish());
        }
        list.CompleteFile();
        const std::string path = (folder / name).string();
        list.CopyToFile(path);
        return path;
    }

    static int Pixels(double mm) { return static_cast<int>(std::lround(mm / 25.4 * 96)); }

    TestPrinterDevice application;
    TestPrinterDevice* lastDevice = nullptr;
    test::TempDir folder;
};

// Collects the notifications posted to it.
class NotificationRecorder : public QObject {
public:
    std::vector<std::pair<int, int>> received;
    bool event(QEvent* event) override
    {
        if (event->type() == PrinterMessageEvent::EventType()) {
            const auto* message = static_cast<PrinterMessageEvent*>(event);
            received.emplace_back(message->Message, message->WParam);
            return true;
        }
        return QObject::event(event);
    }
};

} // namespace

TEST_F(PrinterTest, NewObjectIsReadyAndServesNoPage)
{
    auto printer = MakePrinter();
    EXPECT_EQ(printer->State(), PrinterState::Ready);
    EXPECT_EQ(printer->PageTotal(), 0);
    EXPECT_EQ(printer->ScaleX, 1.0L);
    EXPECT_EQ(printer->FetchPage(1), nullptr);
    EXPECT_TRUE(printer->HasPrinter());
    EXPECT_EQ(printer->UnprintableLeft, 42);
    EXPECT_EQ(printer->UnprintableTop, 51);
}

TEST_F(PrinterTest, ConversionsRoundHalvesToEven)
{
    auto printer = MakePrinter();
    EXPECT_EQ(printer->ToDeviceX(printer->UnprintableLeft), 0);
    EXPECT_EQ(printer->ToDeviceX(0), -42);
    EXPECT_EQ(printer->ToDeviceWidth(0), 0);
    EXPECT_EQ(printer->ToDeviceWidth(2.5L), 2);
    EXPECT_EQ(printer->ToDeviceWidth(3.5L), 4);
    printer->ScaleX = 96.0L / 254;
    EXPECT_EQ(printer->ToDeviceWidth(2100), 794);
}

TEST_F(PrinterTest, SheetSizesFollowOrientation)
{
    auto printer = MakePrinter();
    printer->SetPaperSize(TQRPaperSize::A4);
    printer->SetOrientation(TPrinterOrientation::poLandscape);
    EXPECT_EQ(printer->SheetWidth(), 2970);
    EXPECT_EQ(printer->SheetLength(), 2100);
    printer->SetPaperSize(TQRPaperSize::Custom);
    printer->SetNominalPaperWidth(1000);
    printer->SetNominalPaperLength(3000);
    EXPECT_EQ(printer->SheetWidth(), 3000);
    EXPECT_EQ(printer->SheetLength(), 1000);
}

TEST_F(PrinterTest, LoadingInfersPaperFromThePageSize)
{
    struct Case {
        double widthMm, heightMm;
        TQRPaperSize paper;
        TPrinterOrientation orientation;
    };
    using enum TQRPaperSize;
    const auto portrait = TPrinterOrientation::poPortrait, landscape = TPrinterOrientation::poLandscape;
    const Case cases[] = {
        {210, 297, A4Small, portrait}, {297, 210, A4Small, landscape}, {215.9, 279.4, Note, portrait},
        {279.4, 431.8, qr11X17, portrait}, {100, 100, ESheet, landscape},
        {200, 200, B5, landscape}, // matches nothing: the size set before stays
    };
    for (const Case& c : cases) {
        auto printer = MakePrinter();
        printer->SetPaperSize(B5);
        printer->SetOrientation(landscape);
        printer->ReadReportFile(RecordReport({QSize(Pixels(c.widthMm), Pixels(c.heightMm))}, "paper.qrp"));
        EXPECT_EQ(printer->PaperSize(), c.paper) << c.widthMm << "x" << c.heightMm;
        EXPECT_EQ(printer->Orientation(), c.orientation) << c.widthMm << "x" << c.heightMm;
    }
}

TEST_F(PrinterTest, LoadedReportServesNewPagesAndSavesByteForByte)
{
    auto printer = MakePrinter();
    const std::string path = RecordReport(std::vector<QSize>(5, QSize(794, 1123)), "five.qrp");
    printer->ReadReportFile(path);
    EXPECT_EQ(printer->State(), PrinterState::Finished);
    EXPECT_EQ(printer->PageTotal(), 5);
    EXPECT_TRUE(printer->LoadedFromFile());
    EXPECT_EQ(printer->PageStream(), printer->Pages().RecordStream());
    EXPECT_EQ(printer->FetchPage(0), nullptr);
    EXPECT_EQ(printer->FetchPage(6), nullptr);
    const auto a = printer->FetchPage(5), b = printer->FetchPage(5);
    ASSERT_TRUE(a && b);
    EXPECT_NE(a.get(), b.get());
    EXPECT_EQ(*a, *b);

    printer->WriteReportFile((folder / "copy.qrp").string());
    EXPECT_EQ(test::ReadFileBytes(folder / "copy.qrp"), test::ReadFileBytes(path));
    EXPECT_THROW(printer->WriteReportFile(path), docstore::EFCreateError) << "its own file is refused";

    auto fresh = MakePrinter();
    fresh->WriteReportFile((folder / "nothing.qrp").string());
    EXPECT_FALSE(std::filesystem::exists(folder / "nothing.qrp")) << "a Ready object writes nothing";
}

TEST_F(PrinterTest, RecordingCountsWithEndReportAndAbortReport)
{
    for (const bool abort : {false, true}) {
        auto printer = MakePrinter();
        printer->BeginReport();
        for (int i = 0; i < 3; ++i) {
            printer->StartNewPage();
            printer->OutputCanvas()->TextOut(10, 10, QString("page %1").arg(i + 1));
        }
        abort ? printer->AbortReport() : printer->EndReport();
        EXPECT_EQ(printer->State(), PrinterState::Finished);
        EXPECT_EQ(printer->Pages().RecordCount(), 3);
        EXPECT_EQ(printer->PagesAvailable(), abort ? 2 : 3);
        docstore::ByteStream& stream = *printer->PageStream();
        stream.SetPosition(8);
        EXPECT_EQ(stream.ReadInt32(), abort ? 1 : 3) << "stored page count";
        EXPECT_EQ(printer->FetchPage(3)->Width(), 794);
    }
}

TEST_F(PrinterTest, EndReportWithoutPagesCompletesABareHeader)
{
    auto printer = MakePrinter();
    printer->BeginReport();
    printer->EndReport();
    EXPECT_EQ(printer->PagesAvailable(), 1);
    EXPECT_EQ(printer->PageStream()->Size(), 128);
    printer->PageStream()->SetPosition(8);
    EXPECT_EQ(printer->PageStream()->ReadInt32(), 0);
}

TEST_F(PrinterTest, RecordingRefusesCallsOutOfOrder)
{
    auto printer = MakePrinter();
    try {
        printer->StartNewPage();
        FAIL();
    } catch (const EQRError& error) {
        EXPECT_STREQ(error.what(), "Illegal call to NewPage");
    }
    printer->BeginReport();
    try {
        printer->BeginReport();
        FAIL();
    } catch (const EQRError& error) {
        EXPECT_STREQ(error.what(), "QRPrinter not ready");
    }
}

TEST_F(PrinterTest, NotificationsArePostedToThePreviewClient)
{
    auto printer = MakePrinter();
    NotificationRecorder preview;
    printer->PreviewClient = &preview;
    printer->BeginReport();
    printer->StartNewPage();
    printer->StartNewPage();
    printer->SetProgressPercent(50);
    EXPECT_TRUE(preview.received.empty()) << "posted, not sent";
    printer->EndReport();
    QCoreApplication::processEvents();
    const std::vector<std::pair<int, int>> expected = {{MSG_PAGE_AVAILABLE, 1}, {MSG_PROGRESS_UPDATE, 50}, {MSG_PAGE_AVAILABLE, 2}};
    EXPECT_EQ(preview.received, expected);
}

TEST_F(PrinterTest, PreviewShowingCallsTheHookOnlyWhenThePreviewLetsGo)
{
    auto printer = MakePrinter();
    int calls = 0;
    printer->AfterPreviewHook = [&](TQRPrinter&) { ++calls; };
    printer->SetPreviewShowing(false);
    printer->SetPreviewShowing(true);
    EXPECT_EQ(calls, 0);
    printer->BeginReport();
    printer->SetPreviewShowing(false);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(printer->CancelRequested);
    EXPECT_FALSE(printer->PreviewShowing());
}

TEST_F(PrinterTest, RecordingStraightToThePrinterPrintsTheRange)
{
    auto printer = MakePrinter();
    printer->Target = OutputTarget::ToPrinter;
    printer->FirstPage = 2;
    printer->LastPage = 3;
    printer->DocumentTitle = "Vendas";
    bool printed = false;
    printer->AfterPrintHook = [&](TQRPrinter&) { printed = true; };
    printer->BeginReport();
    EXPECT_EQ(printer->ScaleX, 600.0L / 254);
    for (int i = 0; i < 4; ++i) {
        printer->StartNewPage();
        printer->OutputCanvas()->brush.color = Qt::black;
        printer->OutputCanvas()->FillRect(QRect(0, 0, 800, 800));
    }
    printer->EndReport();
    ASSERT_EQ(lastDevice->jobs.size(), 1u);
    EXPECT_EQ(lastDevice->jobs[0].title, "Vendas");
    EXPECT_EQ(lastDevice->jobs[0].pages.size(), 2u);
    EXPECT_TRUE(lastDevice->jobs[0].ended);
    EXPECT_EQ(qGray(lastDevice->jobs[0].pages[0].pixel(10, 10)), 0);
    EXPECT_TRUE(printed);
}

TEST_F(PrinterTest, SelectingAPrinterReloadsItsDefaults)
{
    auto printer = MakePrinter();
    printer->SetPaperSize(TQRPaperSize::A5);
    printer->SelectPrinter(1);
    EXPECT_EQ(printer->PaperSize(), TQRPaperSize::Letter);
    EXPECT_EQ(lastDevice->Names().device, "Office");

    TestPrinterDevice none;
    TQRPrinter lonely(none, [] { return std::make_unique<TestPrinterDevice>(); });
    EXPECT_FALSE(lonely.HasPrinter());
    lonely.SelectPrinter(0); // does nothing
    EXPECT_EQ(lonely.PaperSize(), TQRPaperSize::A4);
}

TEST_F(PrinterTest, CompressedReportsLoadAndRecordingCompressesOnlyWhenAsked)
{
    auto printer = MakePrinter();
    printer->SetPageCompression(true);
    printer->BeginReport();
    printer->StartNewPage();
    printer->OutputCanvas()->TextOut(10, 10, "compressed");
    printer->EndReport();
    printer->WriteReportFile((folder / "c.qrp").string());
    printer->PageStream()->SetPosition(25);
    std::uint8_t flag = 0;
    printer->PageStream()->ReadExact(&flag, 1);
    EXPECT_EQ(flag, 1);

    auto reader = MakePrinter();
    reader->ReadReportFile((folder / "c.qrp").string());
    ASSERT_NE(reader->FetchPage(1), nullptr);
    EXPECT_EQ(reader->FetchPage(1)->Width(), 794);
    // A recording after loading a compressed report stores plain pages again.
    reader->ClearReport();
    reader->BeginReport();
    reader->StartNewPage();
    reader->EndReport();
    reader->PageStream()->SetPosition(25);
    reader->PageStream()->ReadExact(&flag, 1);
    EXPECT_EQ(flag, 0);
}

TEST_F(PrinterTest, TheCommittedSampleLoadsAndSavesByteForByte)
{
    const fs::path sample = fs::path(TARVOLO_SOURCE_DIR) / "samples" / "sample-report.qrp";
    auto printer = MakePrinter();
    printer->ReadReportFile(sample.string());
    EXPECT_GE(printer->PageTotal(), 2);
    EXPECT_EQ(printer->PaperSize(), TQRPaperSize::A4Small);
    printer->WriteReportFile((folder / "saved.qrp").string());
    EXPECT_EQ(test::ReadFileBytes(folder / "saved.qrp"), test::ReadFileBytes(sample));
}

TEST_F(PrinterTest, AFailedLoadLeavesNoPagesSoARecordingAfterItIsSound)
{
    auto printer = MakePrinter();
    printer->ReadReportFile(test::ReportFixture("ThreePages.qrp").string());
    EXPECT_THROW(printer->ReadReportFile(test::ReportFixture("FirstPageNotMetafile.qrp").string()), emf::EInvalidGraphic);
    EXPECT_EQ(printer->State(), PrinterState::Ready);
    EXPECT_EQ(printer->PageTotal(), 0);
    EXPECT_EQ(printer->Pages().RecordCount(), 0);
    EXPECT_EQ(printer->FetchPage(1), nullptr);

    printer->BeginReport();
    printer->StartNewPage();
    printer->OutputCanvas()->TextOut(10, 10, "after a failed load");
    printer->EndReport();
    printer->WriteReportFile((folder / "recorded.qrp").string());

    docstore::ReportDocument saved;
    saved.Open((folder / "recorded.qrp").string());
    EXPECT_EQ(saved.PageCount(), 1);
    EXPECT_EQ(saved.Page(1)->Width(), 794);
}
