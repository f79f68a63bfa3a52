#include "doubles/TestDialogService.h"
#include "docstore/ReportDocument.h"
#include "doubles/TestPrinterDevice.h"
#include "printing/TQRPrinter.h"
#include "support/KeyTarget.h"
#include "support/FixtureFiles.h"
#include "support/ReportFixtures.h"
#include "support/TestSupport.h"
#include "viewer/TfrmKestanPreview.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTest>
#include <QToolBar>

#include <gtest/gtest.h>

#include <chrono>

using namespace tarvolo;
using namespace tarvolo::printing;
using tarvolo::viewer::TfrmKestanPreview;

// Failures show texts as text.
void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

// A viewer window on a machine without printers, with message boxes answered by the test.
class ViewerTest : public ::testing::Test {
protected:
    ViewerTest()
        : printer(noPrinters, [] { return std::make_unique<platform::TestPrinterDevice>(); }),
          window(std::make_unique<TfrmKestanPreview>(printer, noPrinters, dialogs))
    {
        window->showNormal();
        window->resize(1000, 800);
        QTest::qWait(10);
    }

    QString Report(int pages)
    {
        const auto path = folder / QString("report-%1.qrp").arg(pages).toStdString();
        test::WriteA4Report(path, pages);
        return QString::fromStdString(path.string());
    }

    // A report of three pages whose page 2 no longer starts as a metafile.
    QString ReportWithDamagedPage2()
    {
        const QString path = Report(3);
        test::Bytes bytes = test::ReadFileBytes(path.toStdString());
        // Page 2's record starts where page 1's record header points; its data 8 bytes later.
        const std::size_t second = bytes[132] | bytes[133] << 8 | bytes[134] << 16 | static_cast<std::size_t>(bytes[135]) << 24;
        bytes.at(second + 8) = 0x55;
        test::WriteFileBytes(path.toStdString(), bytes);
        return path;
    }

    int Page() const { return window->QRPreview1->PageNumber(); }
    QString PagePanel() const { return window->PagePanel->text(); }

    // Types into the page box and confirms with Enter.
    void TypePage(const QString& text)
    {
        window->PaginaSelecionada->setFocus();
        window->PaginaSelecionada->selectAll();
        QTest::keyClicks(window->PaginaSelecionada, text);
        QTest::keyClick(window->PaginaSelecionada, Qt::Key_Return);
    }

    test::TempDir folder;
    platform::TestPrinterDevice noPrinters;
    platform::TestDialogService dialogs;
    TQRPrinter printer;
    std::unique_ptr<TfrmKestanPreview> window;
};

} // namespace

TEST_F(ViewerTest, StartsWithoutAReport)
{
    EXPECT_EQ(window->windowTitle(), "(Nenhum relatório aberto)");
    EXPECT_EQ(window->ProgressPanel->text(), "0%");
    EXPECT_EQ(PagePanel(), "Página");
    EXPECT_FALSE(window->PaginaSelecionada->isEnabled());
    EXPECT_EQ(window->PaginaSelecionada->text(), "1");
    EXPECT_TRUE(window->ZoomToWidth->isChecked());
    EXPECT_EQ(window->QRPreview1->Zoom(), 100);
    const QList<QAction*> tools = window->ToolBar1->actions();
    ASSERT_GE(tools.size(), 2);
    EXPECT_TRUE(tools[0]->isSeparator()) << "the toolbar opens with a separator";
    EXPECT_EQ(tools[1], window->ZoomFit);
    window->NextPageClick();
    EXPECT_EQ(PagePanel(), "Página 1 de 0");
}

TEST_F(ViewerTest, KeysTurnPages)
{
    window->OpenReportFile(Report(12));
    EXPECT_EQ(window->windowTitle(), "report-12.qrp");
    EXPECT_EQ(PagePanel(), "Página 1 de 12");
    struct Step {
        int key;
        Qt::KeyboardModifiers modifiers;
        int page;
    };
    const Step steps[] = {
        {Qt::Key_PageDown, Qt::NoModifier, 2},
        {Qt::Key_PageDown, Qt::ShiftModifier, 3},
        {Qt::Key_PageDown, Qt::ControlModifier | Qt::ShiftModifier, 4},
        {Qt::Key_PageDown, Qt::ControlModifier, 12},
        {Qt::Key_PageDown, Qt::NoModifier, 12},
        {Qt::Key_PageUp, Qt::NoModifier, 11},
        {Qt::Key_Home, Qt::AltModifier, 1},
        {Qt::Key_PageUp, Qt::NoModifier, 1},
        {Qt::Key_End, Qt::ControlModifier, 12},
        {Qt::Key_PageUp, Qt::ControlModifier, 1},
    };
    for (const Step& step : steps) {
        QTest::keyClick(test::KeyTarget(window.get()), static_cast<Qt::Key>(step.key), step.modifiers);
        EXPECT_EQ(Page(), step.page) << step.key << " " << step.modifiers;
    }
    EXPECT_EQ(PagePanel(), "Página 1 de 12");
    EXPECT_EQ(window->PaginaSelecionada->text(), "1");
}

TEST_F(ViewerTest, ArrowsInThePageBoxTurnPagesAndSelectTheText)
{
    window->OpenReportFile(Report(3));
    window->PaginaSelecionada->setFocus();
    QTest::keyClick(window->PaginaSelecionada, Qt::Key_Up);
    QTest::keyClick(window->PaginaSelecionada, Qt::Key_Up);
    QTest::keyClick(window->PaginaSelecionada, Qt::Key_Up); // on the last page: no change
    EXPECT_EQ(Page(), 3);
    EXPECT_EQ(window->PaginaSelecionada->selectedText(), "3");
    QTest::keyClick(window->PaginaSelecionada, Qt::Key_Down);
    EXPECT_EQ(Page(), 2);
}

TEST_F(ViewerTest, ArrowsInThePageBoxTurnPagesWhileTheButtonsAreDisabled)
{
    window->OpenReportFile(Report(2));
    for (QAction* action : {window->FirstPage, window->PreviousPage, window->NextPage, window->LastPage})
        action->setEnabled(false);
    window->PaginaSelecionada->setFocus();
    QTest::keyClick(window->PaginaSelecionada, Qt::Key_Up);
    EXPECT_EQ(Page(), 2);
    EXPECT_EQ(window->PaginaSelecionada->selectedText(), "2");
    QTest::keyClick(window->PaginaSelecionada, Qt::Key_Down);
    EXPECT_EQ(Page(), 1);
    EXPECT_EQ(window->PaginaSelecionada->selectedText(), "1");
}

TEST_F(ViewerTest, PageBoxTypingIsAsLongAsTheLastPageNumber)
{
    // Typing stops at four characters or the length of the last page's number, whichever is more.
    struct Case {
        int pages;
        const char* typed;
        const char* kept;
    };
    const Case cases[] = {{12, "123456", "1234"}, {12, "abcdef", "abcd"}, {12345, "1234567", "12345"}};
    for (const Case& c : cases) {
        window->OpenReportFile(Report(c.pages));
        window->PaginaSelecionada->setFocus();
        window->PaginaSelecionada->selectAll();
        QTest::keyClicks(window->PaginaSelecionada, c.typed);
        EXPECT_EQ(window->PaginaSelecionada->text(), c.kept) << c.pages << " " << c.typed;
    }
    QTest::keyClick(window->PaginaSelecionada, Qt::Key_Return);
    EXPECT_EQ(Page(), 12345);
    EXPECT_EQ(window->PaginaSelecionada->text(), "12345") << "a shown page number is never cut";
    EXPECT_EQ(PagePanel(), "Página 12345 de 12345");
    window->FirstPageClick();
    window->LastPageClick();
    EXPECT_EQ(window->PaginaSelecionada->text(), "12345");
}

TEST_F(ViewerTest, PageBoxAcceptsOnlyPagesOfTheReport)
{
    window->OpenReportFile(Report(12));
    TypePage("7");
    EXPECT_EQ(Page(), 7);
    for (const char* ignored : {"0", "-3", "", "abc"}) {
        TypePage(ignored);
        EXPECT_EQ(Page(), 7) << ignored;
        EXPECT_EQ(window->PaginaSelecionada->text(), "7") << ignored;
    }
    EXPECT_TRUE(dialogs.messages.empty());
    TypePage("13");
    EXPECT_EQ(Page(), 7);
    EXPECT_EQ(window->PaginaSelecionada->text(), "7");
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].title, "Seleção de página");
    EXPECT_EQ(dialogs.messages[0].text, "Informe um número de página entre 1 e 12.");
    EXPECT_EQ(window->PaginaSelecionada->selectedText(), "7");
}

TEST_F(ViewerTest, ZoomButtonsAndResizes)
{
    window->OpenReportFile(Report(2));
    preview::TQRPreview& preview = *window->QRPreview1;
    EXPECT_EQ(preview.ZoomMode(), preview::TPreviewZoomMode::zmFitWidth);
    const int widthZoom = preview.Zoom();
    window->Zoom100->trigger();
    EXPECT_TRUE(window->Zoom100->isChecked());
    EXPECT_FALSE(window->ZoomToWidth->isChecked());
    EXPECT_EQ(preview.Zoom(), 100);
    window->ZoomFit->trigger();
    EXPECT_EQ(preview.ZoomMode(), preview::TPreviewZoomMode::zmFitPage);
    const int fitZoom = preview.Zoom();
    EXPECT_LT(fitZoom, widthZoom);
    window->resize(600, 500);
    QTest::qWait(10);
    EXPECT_LT(preview.Zoom(), fitZoom) << "a fit mode follows the window's size";
    // A second report keeps the zoom button that is down.
    window->OpenReportFile(Report(3));
    EXPECT_TRUE(window->ZoomFit->isChecked());
    EXPECT_EQ(preview.ZoomMode(), preview::TPreviewZoomMode::zmFitPage);
    EXPECT_EQ(PagePanel(), "Página 1 de 3");
}

TEST_F(ViewerTest, OnePageAndEmptyReports)
{
    window->OpenReportFile(Report(1));
    for (QAction* action : {window->FirstPage, window->PreviousPage, window->NextPage, window->LastPage})
        EXPECT_FALSE(action->isEnabled());
    EXPECT_TRUE(window->PaginaSelecionada->isEnabled());
    EXPECT_EQ(window->UpDown->maximum(), 1);

    window->NextPageClick();
    EXPECT_EQ(Page(), 1);

    // A report whose header counts no pages opens with nothing to turn; the page number stays.
    const QString empty = Report(1);
    test::Bytes bytes = test::ReadFileBytes(empty.toStdString());
    bytes[8] = 0;
    test::WriteFileBytes(empty.toStdString(), bytes);
    window->OpenReportFile(empty);
    for (QAction* action : {window->FirstPage, window->PreviousPage, window->NextPage, window->LastPage})
        EXPECT_FALSE(action->isEnabled());
    EXPECT_FALSE(window->PaginaSelecionada->isEnabled());
    EXPECT_EQ(window->UpDown->minimum(), 0);
    EXPECT_EQ(window->UpDown->maximum(), 0);
    EXPECT_EQ(PagePanel(), "Página 1 de 0");

    // A header without pages, as a recording without pages saves it, opens the same way.
    window->OpenReportFile(QString::fromStdString(test::ReportFixture("NoPages.qrp").string()));
    EXPECT_EQ(PagePanel(), "Página 1 de 0");
    EXPECT_FALSE(window->PaginaSelecionada->isEnabled());

    // A file too short for a report: the error reaches the caller, the window stays usable.
    const auto bare = folder / "bare.qrp";
    test::WriteFileBytes(bare, test::Bytes(150, 0));
    EXPECT_THROW(window->OpenReportFile(QString::fromStdString(bare.string())), std::exception);
    EXPECT_EQ(window->windowTitle(), "bare.qrp");
}

TEST_F(ViewerTest, ProgressNotificationsShowEveryFivePercent)
{
    const std::pair<int, QString> steps[] = {{3, "0%"}, {7, "7%"}, {10, "7%"}, {12, "12%"}, {100, ""}};
    for (const auto& [progress, shown] : steps) {
        printer.SetProgressPercent(progress);
        QCoreApplication::processEvents();
        EXPECT_EQ(window->ProgressPanel->text(), shown) << progress;
    }
}

TEST_F(ViewerTest, ADamagedPageIsReportedAndTheWindowGoesOn)
{
    window->OpenReportFile(ReportWithDamagedPage2());
    QTest::keyClick(test::KeyTarget(window.get()), Qt::Key_PageDown);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "Metafile is not valid.");
    EXPECT_EQ(dialogs.messages[0].icon, platform::DialogService::Icon::Error);
    EXPECT_EQ(Page(), 1);
    EXPECT_TRUE(window->QRPreview1->PageView()->HasPage()) << "page 1 stays on screen";
    EXPECT_EQ(window->QRPreview1->PageView()->ShownPage(), 1);
    window->LastPage->trigger();
    EXPECT_EQ(Page(), 3) << "the other pages still show";
}

TEST_F(ViewerTest, ADamagedPageTypedIntoThePageBoxIsReportedOnce)
{
    window->OpenReportFile(ReportWithDamagedPage2());
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    TypePage("2");
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].icon, platform::DialogService::Icon::Error);
    EXPECT_EQ(Page(), 1);
    EXPECT_EQ(window->PaginaSelecionada->text(), "1") << "the box shows the page on screen";
    EXPECT_EQ(window->PaginaSelecionada->selectedText(), "1");
    window->PaginaSelecionada->clearFocus();
    EXPECT_EQ(dialogs.messages.size(), 1u) << "leaving the box does not try the page again";
    EXPECT_EQ(window->PaginaSelecionada->text(), "1");
    EXPECT_EQ(Page(), 1);
}

TEST_F(ViewerTest, EscapeClosesTheWindow)
{
    window->OpenReportFile(Report(2));
    QTest::keyClick(test::KeyTarget(window.get()), Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(ViewerTest, AReportOfAHostilePictureLeavesTheWindowAnswering)
{
    const auto pictures = test::HostilePictures();
    ASSERT_FALSE(pictures.empty());
    for (const auto& picture : pictures) {
        const auto path = folder / "hostile.qrp";
        docstore::ReportDocument report;
        report.CreateNew(false);
        report.AppendPage(emf::Metafile(test::ReadFileBytes(picture)));
        report.Complete();
        report.SaveCopy(path.string());

        const auto start = std::chrono::steady_clock::now();
        window->show();
        window->OpenReportFile(QString::fromStdString(path.string()));
        QTest::qWait(1);
        // Esc reaches the window as a user's key would: through the control that has the focus.
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus && window->isAncestorOf(focus) ? focus : window.get(), Qt::Key_Escape);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_FALSE(window->isVisible()) << picture.filename();
        EXPECT_LT(seconds, 10.0 * test::kSanitizerSlowdown) << picture.filename(); // a safety net against a hang
    }
}
