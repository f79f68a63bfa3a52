#include "docstore/ReportDocument.h"
#include "render/EmfRecorder.h"
#include "render/PageRenderer.h"
#include "render/PageText.h"
#include "viewer/FindBar.h"
#include "viewer/TextSearch.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

using namespace tarvolo;
using tarvolo::viewer::FindBar;
using tarvolo::viewer::TextMatch;
using tarvolo::viewer::TextSearch;

namespace {

// ---- Matches on one page ----------------------------------------------------------------------

struct PageMatchCase {
    const char* text;
    const char* needle;
    bool matchCase;
    bool wholeWords;
    std::vector<qsizetype> starts;
};

class TextSearchMatchesOnPage : public ::testing::TestWithParam<PageMatchCase> {};

TEST_P(TextSearchMatchesOnPage, FindsWhatTheOptionsAllow)
{
    const PageMatchCase& row = GetParam();
    const QString needle = QString::fromUtf8(row.needle);
    std::vector<TextMatch> expected;
    for (qsizetype start : row.starts)
        expected.push_back({3, start, needle.size()});
    EXPECT_EQ(TextSearch::MatchesOnPage(QString::fromUtf8(row.text), 3, needle, row.matchCase, row.wholeWords), expected);
}

constexpr const char* kCats = "Cat scatter cat\ncat-walk CATS";

INSTANTIATE_TEST_SUITE_P(
    TextSearchTable, TextSearchMatchesOnPage,
    ::testing::Values(PageMatchCase{kCats, "cat", false, false, {0, 5, 12, 16, 25}},
                      PageMatchCase{kCats, "cat", true, false, {5, 12, 16}},
                      PageMatchCase{kCats, "cat", false, true, {0, 12, 16}},
                      PageMatchCase{kCats, "Cat", true, true, {0}},
                      PageMatchCase{kCats, "dog", false, false, {}},
                      PageMatchCase{kCats, "", false, false, {}},
                      // Lines are joined by '\n': a space in the needle does not bridge them.
                      PageMatchCase{kCats, "cat cat", false, false, {}},
                      PageMatchCase{"a12 12b 12 (12)", "12", false, true, {8, 12}},
                      PageMatchCase{"aaaa", "aa", false, false, {0, 2}},
                      PageMatchCase{"Größe GRÖSSE größe", "größe", false, true, {0, 13}}));

// ---- Searching a report -----------------------------------------------------------------------

// A report of pageCount pages; each says which page it is and has "common" twice, and the
// extra word on its page.
std::vector<emf::Metafile> MakeReport(int pageCount, int extraPage = 0, const QString& extra = {})
{
    std::vector<emf::Metafile> pages;
    for (int n = 1; n <= pageCount; ++n) {
        emf::EmfRecorder page(794, 1123);
        page.font.height = -20;
        page.TextOut(60, 60, QString("Page %1 common text").arg(n));
        page.TextOut(60, 120, "Totals and common words");
        if (n == extraPage)
            page.TextOut(60, 180, "Rare " + extra + " here");
        pages.push_back(page.Finish());
    }
    return pages;
}

viewer::PageFetcher FetcherOf(const std::vector<emf::Metafile>& pages)
{
    return [&pages](int n) { return std::make_unique<emf::Metafile>(pages.at(n - 1)); };
}

struct SearchCase {
    const char* needle;
    int fromPage;
    bool backwards;
    int expectedPage;
    int expectedOccurrence; // which match on that page, from 0
    bool steppingFromFirstCommon = false; // as "next" or "previous" from the page's first "common"
};

class TextSearchOrder : public ::testing::TestWithParam<SearchCase> {};

TEST_P(TextSearchOrder, FindsTheFirstMatchInSearchOrderWrappingRound)
{
    const SearchCase& row = GetParam();
    const std::vector<emf::Metafile> pages = MakeReport(10, 7, "zephyr");
    TextSearch search;
    QSignalSpy found(&search, &TextSearch::found), finished(&search, &TextSearch::finished);

    const QString needle = row.needle;
    qsizetype at = -1;
    if (row.steppingFromFirstCommon) {
        const emf::Metafile& page = pages.at(row.fromPage - 1);
        const QString text = emf::PageText(page, emf::PageRenderer::SizeAtDpi(page, 96)).Text();
        at = text.indexOf("common") + (row.backwards ? 0 : 1);
    }
    search.Start(10, FetcherOf(pages), needle, false, true, row.fromPage, row.backwards, at);
    ASSERT_TRUE(finished.wait(5000));

    ASSERT_EQ(found.size(), 1);
    const auto match = found.at(0).at(0).value<TextMatch>();
    EXPECT_EQ(match.page, row.expectedPage);
    const emf::Metafile& page = pages.at(match.page - 1);
    const QString text = emf::PageText(page, emf::PageRenderer::SizeAtDpi(page, 96)).Text();
    const std::vector<TextMatch> onPage = TextSearch::MatchesOnPage(text, match.page, needle, false, true);
    ASSERT_LT(row.expectedOccurrence, static_cast<int>(onPage.size()));
    EXPECT_EQ(match, onPage.at(row.expectedOccurrence));
    EXPECT_EQ(finished.at(0).at(0).toBool(), true);
    EXPECT_FALSE(search.IsRunning());
}

INSTANTIATE_TEST_SUITE_P(TextSearchTable, TextSearchOrder,
                         ::testing::Values(SearchCase{"zephyr", 2, false, 7, 0}, SearchCase{"zephyr", 5, true, 7, 0},
                                           SearchCase{"zephyr", 9, false, 7, 0}, SearchCase{"common", 3, false, 3, 0},
                                           SearchCase{"common", 3, true, 3, 1},
                                           SearchCase{"common", 3, false, 3, 1, true},
                                           SearchCase{"common", 3, true, 2, 1, true},
                                           // The start page's other part comes last.
                                           SearchCase{"zephyr", 7, true, 7, 0, true}));

TEST(TextSearch, AnAbsentWordFinishesUnfoundAfterEveryPage)
{
    const std::vector<emf::Metafile> pages = MakeReport(10);
    TextSearch search;
    QSignalSpy progress(&search, &TextSearch::progress), found(&search, &TextSearch::found),
        finished(&search, &TextSearch::finished);

    search.Start(10, FetcherOf(pages), "zephyr", false, false, 4, false);
    ASSERT_TRUE(finished.wait(5000));

    EXPECT_EQ(finished.at(0).at(0).toBool(), false);
    EXPECT_TRUE(found.isEmpty());
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_EQ(progress.last().at(0).toInt(), 10);
    EXPECT_EQ(progress.last().at(1).toInt(), 10);
}

TEST(TextSearch, CancelStopsALongSearchPromptlyAndDeliversNothingMore)
{
    const std::vector<emf::Metafile> pages = MakeReport(500);
    std::atomic<int> fetches = 0;
    const auto slowFetch = [&](int n) {
        ++fetches;
        std::this_thread::sleep_for(std::chrono::milliseconds(5)); // 500 pages take 2.5 s
        return std::make_unique<emf::Metafile>(pages.at(n - 1));
    };
    TextSearch search;
    QSignalSpy progress(&search, &TextSearch::progress), finished(&search, &TextSearch::finished);
    search.Start(500, slowFetch, "zephyr", false, false, 1, false);
    ASSERT_TRUE(progress.wait(5000));

    QElapsedTimer timer;
    timer.start();
    search.Cancel();
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_FALSE(search.IsRunning());
    const int fetchesAtCancel = fetches;
    QTest::qWait(100);
    EXPECT_EQ(fetches, fetchesAtCancel);
    EXPECT_LT(fetchesAtCancel, 500);
    EXPECT_TRUE(finished.isEmpty());
    EXPECT_LT(progress.last().at(0).toInt(), 500);
}

TEST(TextSearch, MarksAreSharesOfThePage)
{
    const std::vector<emf::Metafile> pages = MakeReport(1);
    const QSize size = emf::PageRenderer::SizeAtDpi(pages.at(0), 96);
    const emf::PageText text(pages.at(0), size);
    const std::vector<TextMatch> matches = TextSearch::MatchesOnPage(text.Text(), 1, "common", false, false);
    ASSERT_EQ(matches.size(), 2u);

    const preview::PageMarks marks = TextSearch::MarksFor(text, size, matches, matches.at(1));

    ASSERT_EQ(marks.found.size(), 1);
    ASSERT_EQ(marks.current.size(), 1);
    EXPECT_TRUE(marks.selected.isEmpty());
    const QRectF box = text.BoxesOf(matches.at(1).start, matches.at(1).length).at(0);
    EXPECT_DOUBLE_EQ(marks.current.at(0).left(), box.left() / size.width());
    EXPECT_DOUBLE_EQ(marks.current.at(0).height(), box.height() / size.height());
    EXPECT_LT(marks.found.at(0).top(), marks.current.at(0).top()); // the first "common" is on the line above
}

// ---- The bar ----------------------------------------------------------------------------------

class FindBarTest : public ::testing::Test {
protected:
    FindBarTest()
    {
        bar.show();
        bar.activateWindow();
        bar.Activate();
    }

    template <typename T>
    T* Child(const char* name)
    {
        T* child = bar.findChild<T*>(name);
        EXPECT_NE(child, nullptr) << name;
        return child;
    }

    FindBar bar;
    QSignalSpy requests{&bar, &FindBar::findRequested};
    QSignalSpy closed{&bar, &FindBar::closed};
    QSignalSpy cancels{&bar, &FindBar::cancelRequested};
};

struct KeyCase {
    Qt::KeyboardModifiers modifiers;
    bool matchCase;
    bool wholeWords;
};

class FindBarKeys : public FindBarTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(FindBarKeys, EnterAsksForTheNextMatchAndShiftEnterForThePrevious)
{
    const KeyCase& row = GetParam();
    if (row.matchCase)
        QTest::mouseClick(Child<QCheckBox>("FindMatchCase"), Qt::LeftButton);
    if (row.wholeWords)
        QTest::mouseClick(Child<QCheckBox>("FindWholeWords"), Qt::LeftButton);
    QLineEdit* text = Child<QLineEdit>("FindText");
    QTest::keyClicks(text, "total due");
    QTest::keyClick(text, Qt::Key_Return, row.modifiers);

    ASSERT_EQ(requests.size(), 1);
    const QList<QVariant> request = requests.at(0);
    EXPECT_EQ(request.at(0).toString(), "total due");
    EXPECT_EQ(request.at(1).toBool(), row.matchCase);
    EXPECT_EQ(request.at(2).toBool(), row.wholeWords);
    EXPECT_EQ(request.at(3).toBool(), row.modifiers.testFlag(Qt::ShiftModifier));
}

INSTANTIATE_TEST_SUITE_P(FindBarTable, FindBarKeys,
                         ::testing::Values(KeyCase{Qt::NoModifier, false, false}, KeyCase{Qt::ShiftModifier, false, false},
                                           KeyCase{Qt::NoModifier, true, false}, KeyCase{Qt::ShiftModifier, false, true}));

TEST_F(FindBarTest, ButtonsAskInTheirDirectionAndNothingIsAskedForNoText)
{
    QTest::mouseClick(Child<QToolButton>("FindNext"), Qt::LeftButton);
    EXPECT_TRUE(requests.isEmpty());

    QTest::keyClicks(Child<QLineEdit>("FindText"), "x");
    QTest::mouseClick(Child<QToolButton>("FindNext"), Qt::LeftButton);
    QTest::mouseClick(Child<QToolButton>("FindPrevious"), Qt::LeftButton);
    ASSERT_EQ(requests.size(), 2);
    EXPECT_FALSE(requests.at(0).at(3).toBool());
    EXPECT_TRUE(requests.at(1).at(3).toBool());
    EXPECT_TRUE(Child<QToolButton>("FindNext")->toolTip().contains("F3"));
    EXPECT_TRUE(Child<QToolButton>("FindPrevious")->toolTip().contains("Shift+F3"));
}

TEST_F(FindBarTest, EscCancelsARunningSearchAndOtherwiseClosesTheBar)
{
    QLineEdit* text = Child<QLineEdit>("FindText");
    bar.SetSearching(true);
    QTest::keyClick(text, Qt::Key_Escape);
    EXPECT_EQ(cancels.size(), 1);
    EXPECT_TRUE(closed.isEmpty());
    EXPECT_TRUE(bar.isVisible());

    bar.SetSearching(false);
    QTest::keyClick(text, Qt::Key_Escape);
    EXPECT_EQ(cancels.size(), 1);
    EXPECT_EQ(closed.size(), 1);
    EXPECT_FALSE(bar.isVisible());
}

TEST_F(FindBarTest, ShowsTheStatusAndNamesEveryControl)
{
    bar.SetStatus("Searching… page 120 of 2000");
    EXPECT_EQ(Child<QLabel>("FindStatus")->text(), "Searching… page 120 of 2000");

    QTest::mouseClick(Child<QToolButton>("FindClose"), Qt::LeftButton);
    EXPECT_EQ(closed.size(), 1);
    for (QWidget* control : bar.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        EXPECT_FALSE(control->accessibleName().isEmpty()) << control->objectName().toStdString();
}

} // namespace
