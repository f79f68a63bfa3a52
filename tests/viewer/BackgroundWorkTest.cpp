// The viewer's work on worker threads (search, thumbnails, tiles) against the report's lifetime:
// closing, saving and loading while it runs, and pages that cannot be read or drawn.
#include "doubles/TestDialogService.h"
#include "doubles/TestPrinterDevice.h"
#include "docstore/ReportDocument.h"
#include "preview/PageTiles.h"
#include "printing/TQRPrinter.h"
#include "support/KeyTarget.h"
#include "support/ReportFixtures.h"
#include "support/TestSupport.h"
#include "viewer/FindBar.h"
#include "viewer/TextSearch.h"
#include "viewer/TfrmKestanPreview.h"
#include "viewer/ThumbnailPanel.h"

#include <QApplication>
#include <QDockWidget>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>

using namespace tarvolo;
using tarvolo::viewer::TfrmKestanPreview;

namespace {

// Reports written once for the whole suite: 2000 pages take a moment to record.
class BackgroundWorkTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder_ = new test::TempDir;
        test::WriteA4Report(*folder_ / "large.qrp", 2000);
        test::WriteA4Report(*folder_ / "small.qrp", 3);
        test::WriteA4Report(*folder_ / "five.qrp", 5);
    }
    static void TearDownTestSuite()
    {
        delete folder_;
        folder_ = nullptr;
    }
    static QString ReportPath(const char* name) { return QString::fromStdString((*folder_ / name).string()); }

    // The program's viewer: its own printer object, and the window working on it.
    BackgroundWorkTest()
        : printer(std::make_unique<printing::TQRPrinter>(noPrinters, [] { return std::make_unique<platform::TestPrinterDevice>(); })),
          window(std::make_unique<TfrmKestanPreview>(*printer, noPrinters, dialogs))
    {
        window->showNormal();
        window->resize(1000, 800);
        QTest::qWait(10);
    }

    ~BackgroundWorkTest() override
    {
        // As the program releases them: the printer object first, then the window.
        printer.reset();
        window.reset();
    }

    // Starts a search over the report as the find bar asks for one.
    void Find(const QString& needle)
    {
        window->ShowFindBar();
        emit window->FindText()->findRequested(needle, false, false, false);
    }

    // The printer object goes first; workers that still read would then read a report nobody
    // holds (the sanitizer build sees it), while the window's event loop still runs.
    void ReleaseInTheProgramsOrder()
    {
        printer.reset();
        QTest::qWait(100);
        window.reset();
    }

    // A report of three pages whose page 2 no longer starts as a metafile.
    QString ReportWithDamagedPage2()
    {
        const auto path = own / "damaged.qrp";
        std::filesystem::copy_file(*folder_ / "small.qrp", path);
        test::Bytes bytes = test::ReadFileBytes(path);
        const std::size_t second = bytes[132] | bytes[133] << 8 | bytes[134] << 16 | static_cast<std::size_t>(bytes[135]) << 24;
        bytes.at(second + 8) = 0x55;
        test::WriteFileBytes(path, bytes);
        return QString::fromStdString(path.string());
    }

    static bool IsDamageColour(QRgb pixel)
    {
        const QColor colour = QColor::fromRgb(pixel);
        return colour.red() > 150 && colour.red() > colour.green() + 40 && colour.red() > colour.blue() + 40;
    }
    static bool ShowsDamage(const QImage& image)
    {
        for (int y = 0; y < image.height(); y += 3)
            for (int x = 0; x < image.width(); x += 3)
                if (IsDamageColour(image.pixel(x, y)))
                    return true;
        return false;
    }

    static test::TempDir* folder_;
    test::TempDir own;
    platform::TestPrinterDevice noPrinters;
    platform::TestDialogService dialogs;
    std::unique_ptr<printing::TQRPrinter> printer;
    std::unique_ptr<TfrmKestanPreview> window;
};

test::TempDir* BackgroundWorkTest::folder_ = nullptr;

} // namespace

TEST_F(BackgroundWorkTest, ClosingTheViewerDuringASearchStopsItBeforeThePrinterObjectGoes)
{
    window->OpenReportFile(ReportPath("large.qrp"));
    Find("zephyr");
    ASSERT_TRUE(window->Search()->IsRunning());
    QTest::qWait(20); // the workers are well into the pages

    window->close();
    EXPECT_FALSE(window->Search()->IsRunning());
    ReleaseInTheProgramsOrder();
}

TEST_F(BackgroundWorkTest, TheSearchOutlivesThePrinterObjectItWasStartedFrom)
{
    // Released without a close, as when the program is stopped: the search keeps its pages.
    window->OpenReportFile(ReportPath("large.qrp"));
    Find("zephyr");
    ASSERT_TRUE(window->Search()->IsRunning());
    ReleaseInTheProgramsOrder();
}

TEST_F(BackgroundWorkTest, SavingDuringASearchFindsTheSameMatchAsWithout)
{
    window->OpenReportFile(ReportPath("large.qrp"));
    const test::Bytes original = test::ReadFileBytes(*folder_ / "large.qrp");
    const auto findPage = [&](bool saving) {
        QSignalSpy found(window->Search(), &viewer::TextSearch::found);
        QSignalSpy finished(window->Search(), &viewer::TextSearch::finished);
        window->FirstPageClick();
        Find("Página 1999");
        int saves = 0;
        while (saving && finished.isEmpty()) {
            const auto copy = own / "copy.qrp";
            dialogs.saveAnswers.push_back(platform::FileDialogAnswer{QString::fromStdString(copy.string()), 1});
            window->SaveClick();
            ++saves;
            EXPECT_EQ(test::ReadFileBytes(copy), original) << "save " << saves;
            QCoreApplication::processEvents();
        }
        EXPECT_TRUE(QTest::qWaitFor([&] { return !finished.isEmpty(); }, 60000));
        if (saving) {
            EXPECT_GT(saves, 1) << "the saves ran beside the search";
        }
        return found.isEmpty() ? 0 : found.first().first().value<viewer::TextMatch>().page;
    };
    const int without = findPage(false);
    window->Search()->ForgetPages(); // the second search reads every page again
    const int with = findPage(true);
    EXPECT_EQ(without, 1999);
    EXPECT_EQ(with, without);
}

TEST_F(BackgroundWorkTest, AThumbnailOfAPageThatCannotBeReadShowsTheDamageAndTheWindowAnswers)
{
    window->OpenReportFile(ReportWithDamagedPage2());
    window->ThumbnailDock()->show();
    viewer::ThumbnailPanel* thumbnails = window->Thumbnails();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !thumbnails->Thumbnail(1).isNull() && !thumbnails->Thumbnail(2).isNull() && !thumbnails->Thumbnail(3).isNull(); },
        20000));
    EXPECT_TRUE(ShowsDamage(thumbnails->Thumbnail(2)));
    EXPECT_FALSE(ShowsDamage(thumbnails->Thumbnail(1)));
    EXPECT_FALSE(ShowsDamage(thumbnails->Thumbnail(3)));

    QTest::keyClick(test::KeyTarget(window.get()), Qt::Key_End);
    EXPECT_EQ(window->QRPreview1->PageNumber(), 3);
    QTest::keyClick(test::KeyTarget(window.get()), Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(BackgroundWorkTest, ATileThatCannotBeDrawnShowsTheDamageAndTheWindowAnswers)
{
    preview::PageTiles* tiles = window->QRPreview1->PageView()->Tiles();
    // As a page whose drawing runs out of memory: every tile of page 2 fails.
    tiles->SetDrawer([](const preview::PageDrawing& drawing, QRect deviceRect, QSize imageSize) -> QImage {
        static const std::uint64_t second = [] {
            docstore::ReportDocument report;
            report.Open((*folder_ / "five.qrp").string());
            return preview::PageDrawing::ContentOf(*report.Page(2));
        }();
        if (drawing.content == second)
            throw std::bad_alloc();
        return preview::PageTiles::Draw(drawing, deviceRect, imageSize);
    });
    window->OpenReportFile(ReportPath("five.qrp"));
    QTest::keyClick(test::KeyTarget(window.get()), Qt::Key_PageDown);
    ASSERT_EQ(window->QRPreview1->PageNumber(), 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->QRPreview1->PageView()->VisibleTilesReady(); }, 20000));
    EXPECT_TRUE(ShowsDamage(window->QRPreview1->PageView()->grab().toImage()));

    QTest::keyClick(test::KeyTarget(window.get()), Qt::Key_PageDown);
    EXPECT_EQ(window->QRPreview1->PageNumber(), 3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->QRPreview1->PageView()->VisibleTilesReady(); }, 20000));
    EXPECT_FALSE(ShowsDamage(window->QRPreview1->PageView()->grab().toImage()));
}

TEST_F(BackgroundWorkTest, TwoReportsLoadedInARowWhileThumbnailsAndASearchRunLeaveOnlyTheLast)
{
    window->OpenReportFile(ReportPath("large.qrp"));
    window->ThumbnailDock()->show();
    QTest::qWait(1);
    Find("zephyr");
    window->OpenReportFile(ReportPath("five.qrp"));
    window->ThumbnailDock()->show();
    Find("zephyr");
    window->OpenReportFile(ReportPath("small.qrp"));
    EXPECT_FALSE(window->Search()->IsRunning());

    viewer::ThumbnailPanel* thumbnails = window->Thumbnails();
    EXPECT_EQ(thumbnails->PageCount(), 3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !thumbnails->Thumbnail(1).isNull() && !thumbnails->Thumbnail(3).isNull(); }, 20000));
    // The thumbnails are the last report's: page 3's bar is three units long.
    EXPECT_EQ(test::A4ReportPageNumbersOn({thumbnails->Thumbnail(3)}), std::vector<int>{3});
    QSignalSpy found(window->Search(), &viewer::TextSearch::found);
    Find("Página 3");
    ASSERT_TRUE(found.wait(20000));
    EXPECT_EQ(found.first().first().value<viewer::TextMatch>().page, 3);
}
