#include "render/EmfRecorder.h"
#include "viewer/ThumbnailPanel.h"

#include <QElapsedTimer>
#include <QListView>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <set>

using namespace tarvolo;
using tarvolo::viewer::ThumbnailPanel;

namespace {

// An A4 page with a black bar whose length tells the page number; barTop moves it down.
emf::Metafile Page(int n, int barTop = 200)
{
    emf::EmfRecorder page(794, 1123);
    page.brush.color = Qt::black;
    page.FillRect(QRect(100, barTop, 20 * n, 20));
    return page.Finish();
}

// A report whose pages are recorded on demand, counting which pages were fetched. The panel's
// workers fetch on threads of their own.
struct CountingReport {
    struct Fetches {
        std::mutex lock;
        std::multiset<int> pages;
    };
    int barTop = 200;
    std::shared_ptr<Fetches> fetches = std::make_shared<Fetches>();

    ThumbnailPanel::PageFetcher Fetcher() const
    {
        return [fetches = fetches, barTop = barTop](int n) {
            {
                const std::lock_guard<std::mutex> hold(fetches->lock);
                fetches->pages.insert(n);
            }
            return std::make_unique<emf::Metafile>(Page(n, barTop));
        };
    }

    // The pages fetched so far.
    std::multiset<int> Fetched() const
    {
        const std::lock_guard<std::mutex> hold(fetches->lock);
        return fetches->pages;
    }
};

// Whether the thumbnail has ink at a point of the 794 x 1123 page.
bool InkAt(const QImage& thumbnail, QPoint pagePoint)
{
    const double scale = thumbnail.width() / 794.0;
    return qGray(thumbnail.pixel(QPoint(pagePoint.x() * scale, pagePoint.y() * scale))) < 100;
}

class ThumbnailPanelTest : public ::testing::Test {
protected:
    ThumbnailPanelTest()
    {
        panel.resize(200, 600);
        panel.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&panel));
        list = panel.findChild<QListView*>("thumbnailList");
    }

    QImage Shown(int page) const
    {
        return list->model()->data(list->model()->index(page - 1, 0), Qt::DecorationRole).value<QImage>();
    }
    bool WaitForThumbnail(int page)
    {
        return QTest::qWaitFor([&] { return !panel.Thumbnail(page).isNull(); }, 5000);
    }
    // Rows whose items touch the viewport.
    int VisibleRows() const
    {
        const int rowHeight = list->visualRect(list->model()->index(1, 0)).top() - list->visualRect(list->model()->index(0, 0)).top();
        return list->viewport()->height() / rowHeight + 2;
    }

    ThumbnailPanel panel;
    QListView* list = nullptr;
};

TEST_F(ThumbnailPanelTest, OpensLargeReportsAtOnceAndDrawsOnlyVisiblePages)
{
    ASSERT_NE(list, nullptr);
    CountingReport report;
    QElapsedTimer clock;
    clock.start();
    panel.SetReport(2000, report.Fetcher());
    EXPECT_LT(clock.elapsed(), 2000); // a safety net: nothing fetched is what shows the laziness
    EXPECT_TRUE(report.Fetched().empty()) << "nothing is fetched before the list paints";
    EXPECT_EQ(list->model()->rowCount(), 2000);

    ASSERT_TRUE(WaitForThumbnail(1));
    QTest::qWait(50);
    const int visible = VisibleRows();
    EXPECT_GE(report.Fetched().size(), 1u);
    EXPECT_LE(static_cast<int>(report.Fetched().size()), visible + 2);
    EXPECT_LE(*report.Fetched().rbegin(), visible + 2) << "only the top of the list is fetched";
    EXPECT_EQ(report.Fetched().count(1), 1u) << "a page is fetched once";

    const QImage first = Shown(1);
    EXPECT_EQ(first.width(), ThumbnailPanel::kDefaultThumbnailWidth);
    EXPECT_TRUE(InkAt(first, QPoint(110, 210))) << "the bar, not the grey placeholder";
    EXPECT_FALSE(InkAt(first, QPoint(400, 600)));
    EXPECT_EQ(qGray(first.pixel(first.width() / 2, first.height() / 2)), 255) << "white paper";
}

TEST_F(ThumbnailPanelTest, ClickingOrEnteringAThumbnailChoosesItsPage)
{
    CountingReport report;
    panel.SetReport(20, report.Fetcher());
    QTest::qWait(10);
    QSignalSpy chosen(&panel, &ThumbnailPanel::pageChosen);

    list->scrollTo(list->model()->index(2, 0));
    const QRect third = list->visualRect(list->model()->index(2, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, third.center());
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen.at(0).at(0).toInt(), 3);

    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Return);
    ASSERT_EQ(chosen.count(), 2);
    EXPECT_EQ(chosen.at(1).at(0).toInt(), 4);
}

TEST_F(ThumbnailPanelTest, CurrentPageIsMarkedAndScrolledIntoViewWithoutFetchingThoseBetween)
{
    CountingReport report;
    panel.SetReport(2000, report.Fetcher());
    ASSERT_TRUE(WaitForThumbnail(1));
    QSignalSpy chosen(&panel, &ThumbnailPanel::pageChosen);

    panel.SetCurrentPage(1500);
    const QModelIndex item = list->model()->index(1499, 0);
    EXPECT_EQ(panel.CurrentPage(), 1500);
    EXPECT_EQ(list->currentIndex(), item);
    EXPECT_TRUE(list->selectionModel()->isSelected(item));
    EXPECT_TRUE(list->viewport()->rect().intersects(list->visualRect(item)));
    EXPECT_EQ(chosen.count(), 0) << "the window's own page change is not a choice";

    ASSERT_TRUE(WaitForThumbnail(1500));
    EXPECT_TRUE(InkAt(panel.Thumbnail(1500), QPoint(110, 210)));
    const int visible = VisibleRows();
    const std::multiset<int> fetched = report.Fetched();
    const auto between = std::distance(fetched.upper_bound(visible + 2), fetched.lower_bound(1500 - visible - 2));
    EXPECT_EQ(between, 0) << "pages scrolled past are not fetched";
}

TEST_F(ThumbnailPanelTest, CacheStaysWithinItsBudgetAndRedrawsEvictedPagesShownAgain)
{
    panel.SetThumbnailWidth(100);
    CountingReport report;
    panel.SetReport(300, report.Fetcher());
    ASSERT_TRUE(WaitForThumbnail(1));
    const QImage first = panel.Thumbnail(1);
    EXPECT_EQ(first.width(), 100);
    EXPECT_EQ(list->visualRect(list->model()->index(0, 0)).size(), list->visualRect(list->model()->index(1, 0)).size());
    EXPECT_LT(list->visualRect(list->model()->index(0, 0)).height(), 200) << "items shrink with the thumbnails";

    const qint64 budget = 12 * first.sizeInBytes();
    panel.SetCacheBudget(budget);
    for (const int page : {100, 200, 300}) {
        panel.SetCurrentPage(page);
        ASSERT_TRUE(WaitForThumbnail(page));
    }
    EXPECT_LE(panel.CacheBytes(), budget);
    EXPECT_TRUE(panel.Thumbnail(1).isNull()) << "the first pages were evicted";

    panel.SetCurrentPage(1);
    ASSERT_TRUE(WaitForThumbnail(1));
    EXPECT_EQ(report.Fetched().count(1), 2u) << "drawn again when shown again";
    EXPECT_TRUE(InkAt(panel.Thumbnail(1), QPoint(110, 210)));
}

TEST_F(ThumbnailPanelTest, NewReportDropsTheOldOnesThumbnailsAndWork)
{
    CountingReport old;
    panel.SetReport(2000, old.Fetcher());
    ASSERT_TRUE(WaitForThumbnail(1));
    panel.SetCurrentPage(700); // queue more of the old report's pages
    QCoreApplication::processEvents();

    CountingReport fresh;
    fresh.barTop = 800;
    panel.SetReport(50, fresh.Fetcher());
    const auto oldFetches = old.Fetched().size();
    EXPECT_TRUE(panel.Thumbnail(1).isNull());
    EXPECT_EQ(panel.CacheBytes(), 0);

    ASSERT_TRUE(WaitForThumbnail(1));
    QTest::qWait(100);
    EXPECT_EQ(old.Fetched().size(), oldFetches) << "the old fetcher is not called any more";
    EXPECT_EQ(list->model()->rowCount(), 50);
    const QImage first = Shown(1);
    EXPECT_TRUE(InkAt(first, QPoint(110, 810))) << "the new report's page 1";
    EXPECT_FALSE(InkAt(first, QPoint(110, 210))) << "not the old report's";

    panel.SetReport(0, {});
    EXPECT_EQ(list->model()->rowCount(), 0);
    EXPECT_EQ(panel.Pending(), 0);
}

} // namespace
