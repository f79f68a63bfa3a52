// The export formats of the save dialog, and writing a finished report as a PDF.

#include "doubles/TestPrinterDevice.h"
#include "docstore/ReportDocument.h"
#include "printing/TQRExportFilter.h"
#include "printing/TQRPrinter.h"
#include "render/EmfRecorder.h"
#include "support/PdfInspection.h"
#include "support/ReportFixtures.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace tarvolo;
using namespace tarvolo::printing;

namespace {

// A4 in points, as a PDF page of 210 × 297 mm measures.
constexpr double kA4Width = 595.3;
constexpr double kA4Height = 841.9;

class PdfExportTest : public ::testing::Test {
protected:
    PdfExportTest() : printer(noPrinters, [] { return std::make_unique<platform::TestPrinterDevice>(); }) {}

    QString Target(const char* name) const { return QString::fromStdString((folder / name).string()); }

    test::TempDir folder;
    platform::TestPrinterDevice noPrinters;
    TQRPrinter printer;
};

} // namespace

TEST(TQRExportFilterLibrary, SaveDialogFilterStartsWithTheReportFileAndAddsOnePairPerEntry)
{
    TQRExportFilterLibrary registry;
    EXPECT_EQ(registry.SaveDialogFilter(), "Report file(*.QRP)|*.QRP");
    registry.AddFilter(TQRPdfExportFilter::Entry());
    registry.AddFilter({nullptr, "Texto", "txt"});
    EXPECT_EQ(registry.SaveDialogFilter(), "Report file(*.QRP)|*.QRP|PDF document (*.pdf)|*.pdf|Texto (*.txt)|*.txt");
}

TEST_F(PdfExportTest, AFinishedReportIsWrittenAsAVectorPdfWithEachPageAtItsOwnSize)
{
    docstore::ReportDocument report;
    report.CreateNew(false);
    for (const QSize size : {QSize(794, 1123), QSize(1123, 794)}) {
        emf::EmfRecorder page(size.width(), size.height());
        page.font.height = -30;
        page.TextOut(100, 100, QString("Faturamento %1 x %2").arg(size.width()).arg(size.height()));
        report.AppendPage(page.Finish());
    }
    report.Complete();
    const std::string path = (folder / "mixed.qrp").string();
    report.SaveCopy(path);
    printer.ReadReportFile(path);

    const auto filter = TQRPdfExportFilter::Entry().FilterClass(Target("mixed.pdf"));
    printer.ExportReport(filter.get());
    const std::vector<test::PdfPage> pages = test::InspectPdf(Target("mixed.pdf"));
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_NEAR(pages[0].points.width(), kA4Width, 1);
    EXPECT_NEAR(pages[0].points.height(), kA4Height, 1);
    EXPECT_NEAR(pages[1].points.width(), kA4Height, 1);
    EXPECT_NEAR(pages[1].points.height(), kA4Width, 1);
    EXPECT_TRUE(pages[0].text.contains("Faturamento 794 x 1123")) << pages[0].text.toStdString();
    EXPECT_TRUE(pages[1].text.contains("Faturamento 1123 x 794")) << pages[1].text.toStdString();
}

TEST_F(PdfExportTest, OtherFiltersAndUnfinishedReportsWriteNothing)
{
    QObject plainFilter; // a filter that cannot write pages itself
    const auto pdf = TQRPdfExportFilter::Entry().FilterClass(Target("none.pdf"));
    printer.ExportReport(pdf.get()); // nothing loaded
    EXPECT_FALSE(std::filesystem::exists(folder / "none.pdf"));

    const std::string path = (folder / "report.qrp").string();
    test::WriteA4Report(path, 2);
    printer.ReadReportFile(path);
    printer.ExportReport(&plainFilter);
    QObject* handled = nullptr;
    printer.ExportHandler = [&](QObject* filter) { handled = filter; };
    printer.ExportReport(pdf.get());
    EXPECT_EQ(handled, pdf.get()) << "the generator's own handler comes first";
    EXPECT_FALSE(std::filesystem::exists(folder / "none.pdf"));
}

TEST_F(PdfExportTest, ATargetThatCannotBeWrittenIsReportedByName)
{
    const std::string path = (folder / "report.qrp").string();
    test::WriteA4Report(path, 2);
    printer.ReadReportFile(path);
    std::filesystem::create_directory(folder / "folder.pdf");
    for (const char* target : {"missing/report.pdf", "folder.pdf"}) {
        const auto filter = TQRPdfExportFilter::Entry().FilterClass(Target(target));
        try {
            printer.ExportReport(filter.get());
            ADD_FAILURE() << target << ": the export should fail";
        } catch (const std::exception& error) {
            EXPECT_TRUE(QString(error.what()).startsWith("Cannot create file")) << error.what();
            EXPECT_TRUE(QString(error.what()).contains(target)) << error.what();
        }
    }
    EXPECT_TRUE(std::filesystem::is_directory(folder / "folder.pdf"));
    EXPECT_FALSE(std::filesystem::exists(folder / "missing"));
}
