#include "doubles/TestDialogService.h"
#include "doubles/TestPrinterDevice.h"
#include "printing/TQRPrinter.h"
#include "support/ReportFixtures.h"
#include "support/TestSupport.h"
#include "viewer/FindBar.h"
#include "viewer/TfrmKestanPreview.h"
#include "viewer/ThumbnailPanel.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QToolBar>
#include <QToolButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>

#include <gtest/gtest.h>

using namespace tarvolo;
using tarvolo::viewer::TfrmKestanPreview;

// Reading as in other document viewers: the keys and the wheel scroll within a page and read on
// onto the next, Ctrl zooms about the mouse, dragging pans; the window's page keys stay as they are.

namespace {

class ReadingHabitsTest : public ::testing::Test {
protected:
    ReadingHabitsTest()
        : printer(noPrinters, [] { return std::make_unique<platform::TestPrinterDevice>(); }),
          window(printer, noPrinters, dialogs)
    {
        window.showNormal();
        window.resize(1000, 700);
        QTest::qWait(10);
        const auto path = folder / "r5.qrp";
        test::WriteA4Report(path, 5);
        window.OpenReportFile(QString::fromStdString(path.string())); // fit-width: the page is taller than the window
        ClickPage();
    }

    preview::TQRPreview& Preview() { return *window.QRPreview1; }
    QScrollBar& Down() { return *Preview().verticalScrollBar(); }
    QScrollBar& Across() { return *Preview().horizontalScrollBar(); }
    int Page() { return Preview().PageNumber(); }
    QPoint Middle() { return Preview().viewport()->rect().center(); }

    void ClickPage() { QTest::mouseClick(Preview().viewport(), Qt::LeftButton, Qt::NoModifier, Middle()); }
    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) { QTest::keyClick(QApplication::focusWidget(), key, modifiers); }
    void Wheel(int delta, Qt::KeyboardModifiers modifiers = Qt::NoModifier, QPoint at = QPoint(-1, -1))
    {
        if (at.x() < 0)
            at = Middle();
        QWheelEvent event(at, Preview().viewport()->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, modifiers,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(Preview().viewport(), &event);
    }

    test::TempDir folder;
    platform::TestPrinterDevice noPrinters;
    platform::TestDialogService dialogs;
    printing::TQRPrinter printer;
    TfrmKestanPreview window;
};

} // namespace

TEST_F(ReadingHabitsTest, ClickingThePageGivesItTheArrowsWhileThePageKeysStayTheWindows)
{
    ASSERT_EQ(QApplication::focusWidget(), &Preview());
    ASSERT_GT(Down().maximum(), 0);
    Key(Qt::Key_Down);
    Key(Qt::Key_Down);
    EXPECT_EQ(Down().value(), 2 * Down().singleStep());
    Key(Qt::Key_Up);
    EXPECT_EQ(Down().value(), Down().singleStep());
    Key(Qt::Key_PageDown);
    EXPECT_EQ(Page(), 2) << "Page Down turns the page";
    EXPECT_EQ(Down().value(), 0);
    Key(Qt::Key_End);
    EXPECT_EQ(Page(), 5);
    Key(Qt::Key_PageUp, Qt::ControlModifier);
    EXPECT_EQ(Page(), 1);
    EXPECT_EQ(window.PaginaSelecionada->text(), "1");
}

TEST_F(ReadingHabitsTest, SpaceAndTheWheelReadOnIntoTheNextPageAndBackIntoThePreviousOne)
{
    struct Step {
        const char* what;
        std::function<void()> act;
        int page;
        bool atEnd; // else at the start
    };
    auto* self = this;
    const std::vector<Step> steps = {
        {"Shift+Space at the start of page 1 stays", [self] { self->Key(Qt::Key_Space, Qt::ShiftModifier); }, 1, false},
        {"Space to the end of page 1", [self] { while (self->Down().value() < self->Down().maximum()) self->Key(Qt::Key_Space); }, 1, true},
        {"Space past the end", [self] { self->Key(Qt::Key_Space); }, 2, false},
        {"Shift+Space before the start", [self] { self->Key(Qt::Key_Space, Qt::ShiftModifier); }, 1, true},
        {"half a notch past the end does not turn", [self] { self->Wheel(-60); }, 1, true},
        {"a notch past the end", [self] { self->Wheel(-60); }, 2, false},
        {"a notch before the start", [self] { self->Wheel(120); }, 1, true},
    };
    for (const Step& step : steps) {
        step.act();
        EXPECT_EQ(Page(), step.page) << step.what;
        EXPECT_EQ(Down().value(), step.atEnd ? Down().maximum() : 0) << step.what;
        EXPECT_EQ(window.PaginaSelecionada->text(), QString::number(step.page)) << step.what;
    }
    Wheel(-120);
    EXPECT_EQ(Page(), 2);
    Wheel(-120);
    EXPECT_EQ(Page(), 2) << "within the page the wheel scrolls";
    EXPECT_GT(Down().value(), 0);
}

TEST_F(ReadingHabitsTest, CtrlZoomsInStepsAboutTheMouseOrTheCentre)
{
    Key(Qt::Key_0, Qt::ControlModifier);
    EXPECT_EQ(Preview().Zoom(), 100);
    // The page point under the mouse stays under it, where the page can scroll both ways.
    Preview().SetZoom(160);
    Down().setValue(400);
    Across().setValue(200);
    const QPoint mouse(300, 200);
    const QPointF before = Preview().PageView()->mapFrom(Preview().viewport(), QPointF(mouse));
    const QSizeF size = Preview().PageView()->size();
    Wheel(120, Qt::ControlModifier, mouse);
    EXPECT_EQ(Preview().Zoom(), 200);
    const QPointF after = Preview().PageView()->mapFrom(Preview().viewport(), QPointF(mouse));
    EXPECT_NEAR(after.x() / Preview().PageView()->width(), before.x() / size.width(), 0.01);
    EXPECT_NEAR(after.y() / Preview().PageView()->height(), before.y() / size.height(), 0.01);

    Key(Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_EQ(Preview().Zoom(), 160);
    Key(Qt::Key_0, Qt::ControlModifier);
    Key(Qt::Key_Equal, Qt::ControlModifier);
    EXPECT_EQ(Preview().Zoom(), 125);
    for (int i = 0; i < 40; ++i)
        Key(Qt::Key_Plus, Qt::ControlModifier);
    EXPECT_EQ(Preview().Zoom(), preview::TQRPreview::kMaxZoom);
    for (int i = 0; i < 40; ++i)
        Wheel(-120, Qt::ControlModifier);
    EXPECT_EQ(Preview().Zoom(), preview::TQRPreview::kMinZoom);
    EXPECT_EQ(Page(), 1) << "zooming turns no page";
}

TEST_F(ReadingHabitsTest, DraggingThePagePansIt)
{
    Preview().SetZoom(200);
    Down().setValue(300);
    Across().setValue(100);
    QWidget* viewport = Preview().viewport();
    QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, QPoint(400, 400));
    EXPECT_EQ(viewport->cursor().shape(), Qt::ClosedHandCursor);
    QTest::mouseMove(viewport, QPoint(350, 250));
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, QPoint(350, 250));
    EXPECT_EQ(Down().value(), 450);
    EXPECT_EQ(Across().value(), 150);
    EXPECT_EQ(viewport->cursor().shape(), Qt::OpenHandCursor);
}

TEST_F(ReadingHabitsTest, DroppingAReportFileOpensItAsTheLoadCommandDoes)
{
    const auto other = folder / "other.QRP";
    test::WriteA4Report(other, 3);
    struct Drop {
        std::filesystem::path file;
        bool accepted;
        int pages;
        std::size_t messages;
    };
    const Drop drops[] = {
        {folder / "notes.txt", false, 5, 0},
        {other, true, 3, 0},
        {folder / "gone.qrp", true, 3, 1}, // "O relatório não foi encontrado!"
    };
    for (const Drop& drop : drops) {
        SCOPED_TRACE(drop.file.string());
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(drop.file.string()))});
        QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &enter);
        EXPECT_EQ(enter.isAccepted(), drop.accepted);
        if (drop.accepted) {
            QDropEvent dropped(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&window, &dropped);
        }
        EXPECT_EQ(printer.PageTotal(), drop.pages);
        ASSERT_EQ(dialogs.messages.size(), drop.messages);
    }
    EXPECT_EQ(dialogs.messages.back().text, "O relatório não foi encontrado!");
    EXPECT_EQ(window.windowTitle(), "other.QRP");
}

TEST_F(ReadingHabitsTest, EveryControlHasANameForScreenReadersAndThePageItsText)
{
    std::vector<QWidget*> controls = {window.PaginaSelecionada, window.ExitButton, window.QRPreview1};
    for (QToolButton* tool : window.ToolBar1->findChildren<QToolButton*>())
        if (tool->isVisible())
            controls.push_back(tool);
    ASSERT_GE(controls.size(), 14u);
    for (QWidget* control : controls)
        EXPECT_FALSE(control->accessibleName().isEmpty()) << control->objectName().toStdString();
    Key(Qt::Key_F10);
    EXPECT_EQ(QApplication::focusWidget(), window.ToolBar1->widgetForAction(window.ZoomFit)) << "F10 reaches the toolbar";
    Key(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), window.ToolBar1->widgetForAction(window.Zoom100));
    ClickPage();
    EXPECT_EQ(window.ToolBar1->widgetForAction(window.Zoom100)->focusPolicy(), Qt::NoFocus) << "until the focus leaves it";

    Key(Qt::Key_PageDown);
    QAccessibleInterface* page = QAccessible::queryAccessibleInterface(Preview().PageView());
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->text(QAccessible::Name), "Página 2");
    EXPECT_TRUE(page->text(QAccessible::Description).contains("Página 2")) << "the page's own text";
}

TEST_F(ReadingHabitsTest, ShiftDraggingSelectsTextThatCtrlCCopies)
{
    Key(Qt::Key_0, Qt::ControlModifier);
    Down().setValue(0);
    Across().setValue(0);
    QWidget* viewport = Preview().viewport();
    // "Página 1" is drawn at (100, 100) of the 794-pixel-wide page, 40 pixels high.
    const double scale = Preview().PageView()->width() / 798.0;
    const auto onViewport = [&](double x, double y) {
        return Preview().PageView()->mapTo(viewport, QPointF(x * scale, y * scale)).toPoint();
    };
    QTest::mousePress(viewport, Qt::LeftButton, Qt::ShiftModifier, onViewport(101, 125));
    QTest::mouseMove(viewport, onViewport(180, 125));
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::ShiftModifier, onViewport(180, 125));
    const QString part = Preview().PageView()->SelectedText();
    EXPECT_TRUE(part.startsWith("Pág")) << part.toStdString();
    EXPECT_LT(part.size(), 8);
    EXPECT_FALSE(Preview().PageView()->Marks().selected.isEmpty()) << "the selection shows";

    Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), part);
    Key(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(Preview().PageView()->SelectedText(), Preview().PageView()->ShownText());
    Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "Página 1");

    QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, onViewport(400, 400));
    EXPECT_TRUE(Preview().PageView()->SelectedText().isEmpty()) << "a plain click ends the selection";
}

namespace {

// Waits for the search the window started to end.
void WaitForSearch(TfrmKestanPreview& window)
{
    for (int i = 0; i < 500 && window.Search()->IsRunning(); ++i)
        QTest::qWait(10);
    QCoreApplication::processEvents();
}

} // namespace

TEST_F(ReadingHabitsTest, CtrlFFindsTextAcrossPagesAndMarksTheMatches)
{
    Key(Qt::Key_F, Qt::ControlModifier);
    auto* text = window.FindText()->findChild<QLineEdit*>("FindText");
    ASSERT_TRUE(window.FindText()->isVisible());
    ASSERT_EQ(QApplication::focusWidget(), text);

    struct Step {
        QString typed;
        Qt::KeyboardModifiers modifiers;
        int page;
        bool marked;
        const char* status;
    };
    const Step steps[] = {
        {"Página 3", Qt::NoModifier, 3, true, "1 ocorrência nesta página"},
        {"Página", Qt::NoModifier, 3, true, "1 ocorrência nesta página"}, // a new word, from the match shown
        {"Página", Qt::NoModifier, 4, true, "1 ocorrência nesta página"}, // the next one
        {"Página", Qt::ShiftModifier, 3, true, "1 ocorrência nesta página"},
        {"PÁGINA", Qt::NoModifier, 3, true, "1 ocorrência nesta página"}, // any case by default
        {"Inexistente", Qt::NoModifier, 3, false, "Não encontrado"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.typed.toStdString());
        text->setText(step.typed);
        QTest::keyClick(text, Qt::Key_Return, step.modifiers);
        WaitForSearch(window);
        EXPECT_EQ(Page(), step.page);
        EXPECT_EQ(window.PaginaSelecionada->text(), QString::number(step.page));
        EXPECT_EQ(!Preview().PageView()->Marks().current.isEmpty(), step.marked);
        EXPECT_EQ(window.FindText()->Status(), step.status);
    }

    window.LastPageClick();
    text->setText("Página");
    for (int expected : {5, 1}) {
        QTest::keyClick(text, Qt::Key_Return);
        WaitForSearch(window);
        EXPECT_EQ(Page(), expected) << "from the last page, wrapping round";
    }
    QTest::keyClick(text, Qt::Key_Escape);
    EXPECT_FALSE(window.FindText()->isVisible());
    EXPECT_TRUE(Preview().PageView()->Marks().found.isEmpty() && Preview().PageView()->Marks().current.isEmpty());
    EXPECT_TRUE(window.isVisible()) << "Esc in the find bar closes the bar, not the window";
}

TEST_F(ReadingHabitsTest, F9ShowsThumbnailsThatFollowAndTurnThePages)
{
    EXPECT_FALSE(window.ThumbnailDock()->isVisible()) << "hidden at first";
    Key(Qt::Key_F9);
    ASSERT_TRUE(window.ThumbnailDock()->isVisible());
    EXPECT_EQ(window.Thumbnails()->PageCount(), 5);
    Key(Qt::Key_End);
    EXPECT_EQ(window.Thumbnails()->CurrentPage(), 5);

    auto* list = window.Thumbnails()->findChild<QAbstractItemView*>("thumbnailList");
    QTest::qWait(20);
    const QRect third = list->visualRect(list->model()->index(2, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, third.center());
    EXPECT_EQ(Page(), 3);
    EXPECT_EQ(window.PaginaSelecionada->text(), "3");
    Key(Qt::Key_F9);
    EXPECT_FALSE(window.ThumbnailDock()->isVisible());
}

// The keyboard reads the report as soon as it opens, and entering the page box selects its number
// so that what is typed replaces it.
TEST_F(ReadingHabitsTest, TheOpenedReportHasTheKeysAndThePageBoxTakesANewNumberWhole)
{
    const auto path = folder / "r12.qrp";
    test::WriteA4Report(path, 12);
    window.OpenReportFile(QString::fromStdString(path.string()));
    EXPECT_EQ(window.focusWidget(), &Preview()) << "the page has the keys, not the page box";
    const int top = Down().value();
    Key(Qt::Key_Space);
    EXPECT_GT(Down().value(), top) << "Space scrolls the page";
    EXPECT_EQ(window.PaginaSelecionada->text(), "1");

    QTest::mouseClick(window.PaginaSelecionada, Qt::LeftButton, Qt::NoModifier, QPoint(50, 5));
    QTest::qWait(10);
    ASSERT_TRUE(window.PaginaSelecionada->hasFocus());
    QTest::keyClicks(window.PaginaSelecionada, "10");
    EXPECT_EQ(window.PaginaSelecionada->text(), "10") << "the click selected the number, not a place after it";
    Key(Qt::Key_Return);
    EXPECT_EQ(Page(), 10);
}

// The desktop's usual keys reach the commands; every command is also in the page's right-click
// menu with its key, and the buttons' tooltips name their keys.
TEST_F(ReadingHabitsTest, TheDesktopsKeysAndTheRightClickMenuReachEveryCommand)
{
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    Key(Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(dialogs.openRequests.size(), 1u) << "Ctrl+O";
    Key(Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(dialogs.saveRequests.size(), 1u) << "Ctrl+S";
    Key(Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(dialogs.printRequests.size(), 1u) << "Ctrl+P asks with the print dialog";
    EXPECT_TRUE(window.LoadReport->toolTip().contains("Ctrl+O"));
    EXPECT_TRUE(window.NextPage->toolTip().contains("Page Down"));

    QStringList entries;
    QTimer::singleShot(0, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (QAction* action : menu->actions())
                if (!action->isSeparator())
                    entries.push_back(action->text());
            menu->close();
        }
    });
    QContextMenuEvent click(QContextMenuEvent::Mouse, Middle(), Preview().viewport()->mapToGlobal(Middle()));
    QApplication::sendEvent(Preview().viewport(), &click);
    for (const char* entry : {"Copiar", "Próxima Página\tPage Down", "Carregar Relatório\tCtrl+O", "Salvar Relatório\tCtrl+S",
                              "Imprimir...\tCtrl+P", "Imprimir", "Configuração de Impressão", "Procurar\tCtrl+F",
                              "Miniaturas\tF9", "Tela cheia\tF11", "Fechar\tCtrl+W"})
        EXPECT_TRUE(entries.contains(entry)) << entry << " not in " << entries.join(" | ").toStdString();

    for (const Qt::Key key : {Qt::Key_W, Qt::Key_Q}) {
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        Key(key, Qt::ControlModifier);
        EXPECT_FALSE(window.isVisible()) << "Ctrl+" << QKeySequence(key).toString().toStdString() << " closes the viewer";
    }
}

// The first zoom step from a fitted page keeps the place being read: the scroll bar it brings must
// not send the view back to the page's top. The zoom in use is shown in the status bar.
TEST_F(ReadingHabitsTest, TheFirstZoomStepFromAFittedPageKeepsThePlaceAndTheZoomIsShown)
{
    window.ZoomToWidth->trigger();
    QTest::qWait(20);
    const auto* zoomPanel = window.findChild<QLabel*>("ZoomPanel");
    ASSERT_NE(zoomPanel, nullptr);
    EXPECT_EQ(zoomPanel->text(), QString("Zoom: %1%").arg(Preview().Zoom()));
    Down().setValue(Down().maximum() / 2);
    const QPointF centre(Preview().viewport()->width() / 2.0, Preview().viewport()->height() / 2.0);
    const QPointF before = Preview().PageView()->mapFrom(Preview().viewport(), centre);
    const QSizeF size = Preview().PageView()->size();
    Key(Qt::Key_Plus, Qt::ControlModifier);
    QTest::qWait(50); // the scroll bar that comes with the step lays the view out again
    ASSERT_TRUE(Across().isVisible()) << "the step brought a horizontal scroll bar";
    const QPointF after = Preview().PageView()->mapFrom(Preview().viewport(), centre);
    EXPECT_NEAR(after.y() / Preview().PageView()->height(), before.y() / size.height(), 0.02);
    EXPECT_NEAR(after.x() / Preview().PageView()->width(), before.x() / size.width(), 0.02);
    EXPECT_EQ(zoomPanel->text(), QString("Zoom: %1%").arg(Preview().Zoom()));
}

// A page turn paints the new page once, at the place it is read from: its top going on, its end
// going back; never first where the old page was scrolled to.
TEST_F(ReadingHabitsTest, APageTurnPaintsTheNewPageOnlyWhereItIsRead)
{
    struct Paint {
        int page;
        int scroll;
    };
    std::vector<Paint> paints;
    struct Recorder : QObject {
        std::function<void()> onPaint;
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Paint)
                onPaint();
            return false;
        }
    } recorder;
    recorder.onPaint = [&] { paints.push_back({Preview().PageView()->ShownPage(), Down().value()}); };
    Preview().PageView()->installEventFilter(&recorder);
    QTest::qWait(50); // the window's first layout is done
    for (const int step : {1, -1}) {
        Down().setValue(step > 0 ? Down().maximum() : 0);
        QTest::qWait(20);
        ASSERT_EQ(Down().value(), step > 0 ? Down().maximum() : 0);
        paints.clear();
        const int from = Page();
        if (step > 0)
            Key(Qt::Key_Space);
        else
            Key(Qt::Key_Space, Qt::ShiftModifier);
        QTest::qWait(50);
        ASSERT_EQ(Page(), from + step);
        ASSERT_FALSE(paints.empty());
        for (const Paint& paint : paints) {
            if (paint.page == Page()) {
                EXPECT_EQ(paint.scroll, step > 0 ? 0 : Down().maximum()) << "turning " << step;
            }
        }
    }
    Preview().PageView()->removeEventFilter(&recorder);
}

// The window narrows to 640 pixels with the find bar open, as it does without it.
TEST_F(ReadingHabitsTest, TheWindowNarrowsTo640PixelsWithTheFindBarOpen)
{
    window.ShowFindBar();
    window.FindText()->SetStatus("Procurando: página 1999 de 2000, 12345 ocorrências até aqui");
    QTest::qWait(20);
    window.resize(640, 480);
    QTest::qWait(20);
    EXPECT_LE(window.width(), 640);
    EXPECT_LE(window.minimumSizeHint().width(), 640) << "the find bar needs " << window.FindText()->minimumSizeHint().width();
}

// F11 fills the screen; Esc then leaves full screen first, and closes the window only after.
TEST_F(ReadingHabitsTest, EscLeavesFullScreenBeforeItCloses)
{
    Key(Qt::Key_F11);
    QTest::qWait(20);
    ASSERT_TRUE(window.isFullScreen());
    Key(Qt::Key_Escape);
    QTest::qWait(20);
    EXPECT_FALSE(window.isFullScreen());
    EXPECT_TRUE(window.isVisible());
    Key(Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
}
