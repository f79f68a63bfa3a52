#include "doubles/TestPrinterDevice.h"
#include "preview/TQRPreview.h"
#include "docstore/ReportDocument.h"
#include "printing/TQRPrinter.h"
#include "render/EmfRecorder.h"
#include "support/ReportFixtures.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QScrollBar>

#include <gtest/gtest.h>

using namespace tarvolo;
using namespace tarvolo::preview;
using namespace tarvolo::printing;

namespace {

class PreviewTest : public ::testing::Test {
protected:
    PreviewTest() : printer(noPrinters, [] { return std::make_unique<platform::TestPrinterDevice>(); }) {}

    void Load(int pages)
    {
        const auto path = folder / QString("r%1.qrp").arg(pages).toStdString();
        test::WriteA4Report(path, pages);
        printer.ReadReportFile(path.string());
    }

    test::TempDir folder;
    platform::TestPrinterDevice noPrinters;
    TQRPrinter printer;
    TQRPreview preview;
};

} // namespace

TEST_F(PreviewTest, WorkedExampleOfTheZoomRules)
{
    Load(3);
    preview.resize(1000, 700);
    preview.AttachPrinter(&printer);
    preview.SetZoom(100);
    EXPECT_EQ(preview.PageView()->size(), QSize(798, 1127));
    preview.FitPageWidth();
    EXPECT_EQ(preview.Zoom(), 113);
    EXPECT_EQ(preview.ZoomMode(), TPreviewZoomMode::zmFitWidth);
    preview.FitPageToWindow();
    EXPECT_EQ(preview.Zoom(), 59);
    EXPECT_EQ(preview.PageView()->geometry(), QRect(264, 17, 472, 666));
}

// A landscape page and a label in a portrait A4 report: each shown in its own proportions, zoomed
// by the same rules as if it were the sheet.
TEST_F(PreviewTest, PagesOfAnotherShapeAreShownInTheirOwnProportions)
{
    const auto path = folder / "mixed.qrp";
    {
        docstore::ReportDocument report;
        report.CreateNew(false);
        for (const QSize size : {QSize(794, 1123), QSize(1123, 794), QSize(378, 189)}) {
            emf::EmfRecorder page(size.width(), size.height());
            page.TextOut(10, 10, "page");
            report.AppendPage(page.Finish());
        }
        report.Complete();
        report.SaveCopy(path.string());
    }
    printer.ReadReportFile(path.string());
    preview.resize(1000, 700);
    preview.AttachPrinter(&printer);
    preview.SetZoom(100);
    EXPECT_EQ(preview.PageView()->size(), QSize(798, 1127));
    preview.SetPageNumber(2);
    EXPECT_EQ(preview.PageView()->width(), 1127) << "the landscape page, wider than tall";
    EXPECT_NEAR(preview.PageView()->height(), 798, 1);
    EXPECT_EQ(preview.Zoom(), 100);

    preview.FitPageWidth();
    const int fittedWidth = preview.PageView()->width();
    EXPECT_LT(preview.PageView()->height(), fittedWidth);
    preview.SetPageNumber(3);
    EXPECT_EQ(preview.ZoomMode(), TPreviewZoomMode::zmFitWidth);
    // Zooms are whole percentages: fitted widths of pages of other sizes differ by a few pixels.
    EXPECT_NEAR(preview.PageView()->width(), fittedWidth, 3) << "fit-width fits the label's width";
    EXPECT_NEAR(preview.PageView()->height() - 4, (fittedWidth - 4) / 2, 2);
    preview.SetPageNumber(1);
    EXPECT_NEAR(preview.PageView()->width(), fittedWidth, 3);
    EXPECT_GT(preview.PageView()->height(), fittedWidth);
}

TEST_F(PreviewTest, ZoomLimitsAndTheLetterFallback)
{
    preview.SetZoom(100);
    EXPECT_EQ(preview.PageView()->size(), QSize(220, 283)) << "no printer object: a Letter page, millimetres as pixels";
    for (int ignored : {1, 2001}) {
        preview.SetZoom(ignored);
        EXPECT_EQ(preview.Zoom(), 100);
    }
    preview.SetZoom(2);
    EXPECT_EQ(preview.Zoom(), 2);
    preview.SetZoom(2000);
    EXPECT_EQ(preview.Zoom(), 2000);
    EXPECT_EQ(preview.PageView()->pos(), QPoint(0, 0)) << "a page larger than the preview starts at the origin";
}

TEST_F(PreviewTest, ResizeReappliesFitModesAndOnlyRecentresAFixedZoom)
{
    Load(1);
    preview.show();
    preview.resize(1000, 700);
    preview.AttachPrinter(&printer);
    preview.FitPageWidth();
    preview.resize(500, 700);
    EXPECT_EQ(preview.Zoom(), 57); // 500 / 794 x 90
    preview.SetZoom(50);
    preview.resize(900, 700);
    EXPECT_EQ(preview.Zoom(), 50);
    EXPECT_EQ(preview.PageView()->x(), (900 - preview.PageView()->width()) / 2);
    // A fit whose result is out of range keeps the zoom but takes the mode.
    preview.resize(2, 2);
    preview.FitPageToWindow();
    EXPECT_EQ(preview.Zoom(), 50);
    EXPECT_EQ(preview.ZoomMode(), TPreviewZoomMode::zmFitPage);
}

TEST_F(PreviewTest, PagesAreFetchedOnlyWhenTheShownPageChanges)
{
    Load(3);
    preview.AttachPrinter(&printer);
    EXPECT_TRUE(preview.PageView()->HasPage());
    preview.SetPageNumber(2);
    EXPECT_EQ(preview.PageNumber(), 2);
    for (int ignored : {0, -1, 4})
        preview.SetPageNumber(ignored);
    EXPECT_EQ(preview.PageNumber(), 2);

    preview.resize(800, 600);
    preview.show();
    QCoreApplication::processEvents();
    preview.PageView()->repaint();
    preview.PageView()->Tiles()->WaitUntilIdle();
    preview.verticalScrollBar()->setValue(100);
    preview.PageView()->repaint();
    preview.PageView()->Tiles()->WaitUntilIdle();
    const int drawn = preview.PageView()->Tiles()->TilesDrawn();
    preview.verticalScrollBar()->setValue(0);
    preview.PageView()->repaint();
    preview.viewport()->repaint();
    preview.PageView()->Tiles()->WaitUntilIdle();
    EXPECT_EQ(preview.PageView()->Tiles()->TilesDrawn(), drawn) << "scrolling back and repainting reuse the drawn tiles";
}

TEST_F(PreviewTest, NotificationsBecomeEventsAndLoadAPendingPage)
{
    std::vector<int> available, progress;
    preview.OnPageAvailable = [&](QObject*, int n) { available.push_back(n); };
    preview.OnProgressUpdate = [&](QObject*, int p) { progress.push_back(p); };
    preview.AttachPrinter(&printer);
    printer.BeginReport();
    printer.StartNewPage();
    printer.OutputCanvas()->TextOut(10, 10, "first");
    printer.SetProgressPercent(70000); // arrives as its low 16 bits
    EXPECT_FALSE(preview.PageView()->HasPage());
    printer.StartNewPage(); // page 1 becomes available
    QCoreApplication::processEvents();
    EXPECT_TRUE(preview.PageView()->HasPage()) << "the pending page 1 is shown once it is available";
    EXPECT_EQ(preview.ZoomMode(), TPreviewZoomMode::zmFitWidth);
    printer.EndReport();
    QCoreApplication::processEvents();
    EXPECT_EQ(available, (std::vector<int>{1, 2}));
    EXPECT_EQ(progress, (std::vector<int>{70000 & 0xFFFF}));
}

TEST_F(PreviewTest, AttachingAndDetachingTellThePrinterObject)
{
    Load(1);
    preview.AttachPrinter(&printer);
    EXPECT_EQ(printer.PreviewClient, &preview);
    EXPECT_TRUE(printer.PreviewShowing());
    preview.AttachPrinter(nullptr);
    EXPECT_EQ(printer.PreviewClient, nullptr);
    EXPECT_FALSE(printer.PreviewShowing());
    EXPECT_FALSE(preview.PageView()->HasPage());
}
