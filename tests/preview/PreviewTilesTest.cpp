#include "doubles/TestPrinterDevice.h"
#include "preview/TQRPreview.h"
#include "printing/TQRPrinter.h"
#include "render/EmfPlayer.h"
#include "support/InkComparison.h"
#include "support/ReportFixtures.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QPainter>
#include <QScrollBar>

#include <gtest/gtest.h>

using namespace tarvolo;
using namespace tarvolo::preview;
using namespace tarvolo::printing;

// The page on screen is drawn in tiles on worker threads: what it shows is the page, at once a
// stand-in and then the finished tiles, with the neighbouring pages drawn ahead, in bounded memory.

namespace {

class PreviewTilesTest : public ::testing::Test {
protected:
    PreviewTilesTest() : printer(noPrinters, [] { return std::make_unique<platform::TestPrinterDevice>(); })
    {
        const auto path = folder / "r5.qrp";
        test::WriteA4Report(path, 5);
        printer.ReadReportFile(path.string());
        preview.resize(900, 700);
        preview.show();
        preview.AttachPrinter(&printer);
        QCoreApplication::processEvents();
    }

    TQRPreviewImage& Page() { return *preview.PageView(); }
    PageTiles& Tiles() { return *preview.PageView()->Tiles(); }

    // Everything queued drawn, and a paint that shows it (which may queue the pages ahead).
    void Finish()
    {
        Tiles().WaitUntilIdle();
        Page().repaint();
        Tiles().WaitUntilIdle();
    }

    // The inside of the frame, where the paper and the page are.
    static QImage Paper(const QImage& page) { return page.copy(QRect(QPoint(1, 1), QPoint(page.width() - 4, page.height() - 4))); }

    // The page as one image drawn whole shows it.
    QImage DrawnWhole(int n)
    {
        const auto metafile = printer.FetchPage(n);
        QImage image(Page().size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter painter(&image);
        emf::EmfPlayer::Play(*metafile, painter, QRectF(QPointF(0, 0), QSizeF(Page().size())));
        return image;
    }

    test::TempDir folder;
    platform::TestPrinterDevice noPrinters;
    TQRPrinter printer;
    TQRPreview preview;
};

} // namespace

TEST_F(PreviewTilesTest, FinishedTilesShowThePageAsOneImageDrawnWholeWould)
{
    preview.SetZoom(150); // 1193 x 1686: tiles meet inside the text and the bars
    Page().grab();
    Finish();
    ASSERT_GT(Tiles().TilesDrawn(), 4);
    const QImage shown = Page().grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage expected = DrawnWhole(1).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(test::MisplacedPixels(Paper(shown), Paper(expected)), 0);
    EXPECT_EQ(test::A4ReportPageNumbersOn({shown}), std::vector<int>{1});
}

TEST_F(PreviewTilesTest, APageNotDrawnYetShowsItsOverviewAtOnceNeverABlank)
{
    preview.SetZoom(150);
    Tiles().DropQueued();
    const int drawn = Tiles().TilesDrawn();
    preview.SetPageNumber(4);
    const QImage first = Page().grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(Tiles().TilesDrawn(), drawn) << "no tile has arrived yet: this is the stand-in";
    EXPECT_FALSE(Page().VisibleTilesReady());
    EXPECT_EQ(test::A4ReportPageNumbersOn({first}), std::vector<int>{4});
    Finish();
    const QImage finished = Page().grab().toImage().convertToFormat(QImage::Format_RGB32);
    const test::InkComparison ink = test::InkComparison::Compare(finished, first);
    EXPECT_GT(ink.recall, 0.9);
    EXPECT_GT(ink.precision, 0.9);
}

TEST_F(PreviewTilesTest, TheNextAndPreviousPagesAreDrawnAheadForPageDownAndUp)
{
    preview.SetPageNumber(3);
    Finish();
    EXPECT_TRUE(Page().VisibleTilesReady());
    for (int page : {4, 3, 2}) {
        preview.SetPageNumber(page);
        EXPECT_TRUE(Page().VisibleTilesReady()) << "page " << page << " is finished before any worker runs";
        Finish();
    }
}

TEST_F(PreviewTilesTest, AtTheLargestZoomOnlyWhatShowsIsDrawnAndTheTilesStayWithinTheirBudget)
{
    preview.SetZoom(TQRPreview::kMaxZoom);
    ASSERT_GT(static_cast<qint64>(Page().width()) * Page().height(), 300'000'000);
    for (int step = 0; step < 6; ++step) {
        preview.verticalScrollBar()->setValue(preview.verticalScrollBar()->maximum() * step / 5);
        preview.horizontalScrollBar()->setValue(preview.horizontalScrollBar()->maximum() * (5 - step) / 5);
        Page().repaint();
        Finish();
        EXPECT_TRUE(Page().VisibleTilesReady());
        EXPECT_LE(Tiles().Bytes(), Tiles().Budget());
    }
    EXPECT_LE(Tiles().Budget(), qint64{256} << 20);
}
