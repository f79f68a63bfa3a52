#include "shell/StandardWindows.h"
#include "shell/TTelaErros.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <ostream>

namespace tarvolo::shell {
namespace {

void ShowActive(QWidget& window)
{
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
}

// Keys go where the keyboard sends them: to the focused control.
void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : QApplication::activeWindow();
    ASSERT_NE(target, nullptr);
    QTest::keyClick(target, key, modifiers);
}

// A data window with three edit boxes on its data panel, in tab order.
class DataWindow : public TTelaDados {
public:
    explicit DataWindow(QWidget* owner = nullptr) : TTelaDados(owner, false)
    {
        for (int i = 0; i < 3; ++i) {
            edits[i] = new QLineEdit(pnlDados);
            edits[i]->setGeometry(10, 10 + 30 * i, 200, 22);
        }
        Create();
    }
    QLineEdit* edits[3] = {};
};

struct FocusCase {
    int from;
    Qt::KeyboardModifiers modifiers;
    int to;
    friend void PrintTo(const FocusCase& c, std::ostream* os)
    {
        *os << c.from << (c.modifiers ? " Shift+Enter " : " Enter ") << c.to;
    }
};

class EnterMovesFocus : public ::testing::TestWithParam<FocusCase> {};

TEST_P(EnterMovesFocus, ToTheNextOrPreviousFieldWrappingAround)
{
    DataWindow window;
    ShowActive(window);
    window.edits[GetParam().from]->setFocus();
    window.edits[GetParam().from]->setText("abc");

    Key(Qt::Key_Return, GetParam().modifiers);

    EXPECT_EQ(QApplication::focusWidget(), window.edits[GetParam().to]);
    EXPECT_EQ(window.edits[GetParam().from]->text(), "abc");
}

INSTANTIATE_TEST_SUITE_P(StandardWindows, EnterMovesFocus,
                         ::testing::Values(FocusCase{0, Qt::NoModifier, 1}, FocusCase{2, Qt::NoModifier, 0},
                                           FocusCase{1, Qt::ShiftModifier, 0}, FocusCase{0, Qt::ShiftModifier, 2}));

TEST(StandardWindows, EnterInAMultiLineBoxBreaksTheLine)
{
    DataWindow window;
    auto* memo = new QPlainTextEdit(window.pnlDados);
    memo->setGeometry(10, 100, 200, 60);
    ShowActive(window);
    memo->setFocus();

    QTest::keyClicks(memo, "a");
    Key(Qt::Key_Return);
    QTest::keyClicks(memo, "b");

    EXPECT_EQ(memo->toPlainText(), "a\nb");
    EXPECT_EQ(QApplication::focusWidget(), memo);
}

TEST(StandardWindows, CtrlSpaceTypesAndTogglesNothing)
{
    DataWindow window;
    auto* check = new QCheckBox("Ativo", window.pnlDados);
    check->setGeometry(10, 100, 100, 22);
    ShowActive(window);

    window.edits[0]->setFocus();
    QTest::keyClicks(window.edits[0], "ab");
    Key(Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(window.edits[0]->text(), "ab");

    check->setFocus();
    Key(Qt::Key_Space, Qt::ControlModifier);
    EXPECT_FALSE(check->isChecked());
    Key(Qt::Key_Space);
    EXPECT_TRUE(check->isChecked());
}

struct HintCase {
    QString hint;
    QList<int> panels;
    QString panel0;
    QString panel1;
    friend void PrintTo(const HintCase& c, std::ostream* os) { *os << c.hint.toStdString(); }
};

class HintInStatusBar : public ::testing::TestWithParam<HintCase> {};

TEST_P(HintInStatusBar, SplitsTheLongHintAtItsParenthesis)
{
    DataWindow window;
    window.stbPadrao->SetPanels(GetParam().panels);
    window.edits[1]->setToolTip(GetParam().hint);
    ShowActive(window);
    window.edits[0]->setFocus();
    window.stbPadrao->SetPanelText(1, "anterior");

    window.edits[1]->setFocus();

    EXPECT_EQ(window.stbPadrao->PanelText(0), GetParam().panel0);
    EXPECT_EQ(window.stbPadrao->PanelText(1), GetParam().panel1);
    EXPECT_EQ(window.stbPadrao->PanelCount(), GetParam().panels.size());
}

INSTANTIATE_TEST_SUITE_P(
    StandardWindows, HintInStatusBar,
    ::testing::Values(HintCase{"Confirmar (Ctrl+Espaço)", {300, 50}, "Confirmar ", "Ctrl+Espaço"},
                      HintCase{"Nome|Nome completo do cliente", {300, 50}, "Nome completo do cliente", ""},
                      HintCase{"Imprimir (Ctrl+I)", {300}, "Imprimir ", ""}));

TEST(StandardWindows, HintPanelsClearWhenNothingHasTheFocus)
{
    DataWindow window;
    window.edits[0]->setToolTip("Nome (F2)");
    ShowActive(window);
    window.edits[0]->setFocus();
    ASSERT_EQ(window.stbPadrao->PanelText(0), "Nome ");

    window.edits[0]->clearFocus();

    EXPECT_EQ(window.stbPadrao->PanelText(0), "");
    EXPECT_EQ(window.stbPadrao->PanelText(1), "");
}

TEST(StandardWindows, BoundLabelTurnsRedWhileItsControlHasTheFocus)
{
    DataWindow window;
    auto* lblNome = new QLabel("Nome", window.pnlDados);
    lblNome->setBuddy(window.edits[0]);
    auto* lblCidade = new QLabel("Cidade", window.pnlDados);
    lblCidade->setBuddy(window.edits[1]);
    auto* free = new QLabel("Livre", window.pnlDados);
    QPalette blue = free->palette();
    blue.setColor(QPalette::WindowText, Qt::blue);
    free->setPalette(blue);
    ShowActive(window);
    const auto colour = [](const QLabel* label) { return label->palette().color(QPalette::WindowText); };

    window.edits[0]->setFocus();
    EXPECT_EQ(colour(lblNome), QColor(255, 0, 0));
    EXPECT_EQ(colour(lblCidade), QColor(0, 0, 0));

    window.edits[1]->setFocus();
    EXPECT_EQ(colour(lblNome), QColor(0, 0, 0));
    EXPECT_EQ(colour(lblCidade), QColor(255, 0, 0));
    EXPECT_EQ(colour(free), QColor(Qt::blue));
}

struct WidthCase {
    int barWidth;
    int percent;
    int panelWidth;
    friend void PrintTo(const WidthCase& c, std::ostream* os) { *os << c.barWidth << " px at " << c.percent << " %"; }
};

class PanelShare : public ::testing::TestWithParam<WidthCase> {};

TEST_P(PanelShare, OfTheMainWindowSetsPanelZeroWhenShown)
{
    TTelaPrincipal mainWindow;
    mainWindow.PercStatusBar = GetParam().percent;
    TTelaPrincipal::SetApplicationMainWindow(&mainWindow);
    TTelaPadrao window;
    window.setFixedSize(GetParam().barWidth, 277);

    window.show();

    EXPECT_EQ(window.stbPadrao->width(), GetParam().barWidth);
    EXPECT_EQ(window.stbPadrao->PanelWidth(0), GetParam().panelWidth);
    TTelaPrincipal::SetApplicationMainWindow(nullptr);
}

INSTANTIATE_TEST_SUITE_P(StandardWindows, PanelShare,
                         ::testing::Values(WidthCase{400, 0, 200}, WidthCase{400, 50, 200}, WidthCase{462, 50, 231},
                                           WidthCase{462, 33, 152}));

TEST(StandardWindows, FocusHandlerIsClearedWhenTheWindowBehindHasAnotherName)
{
    TTelaPrincipal mainWindow;
    mainWindow.Create();
    mainWindow.setWindowState(Qt::WindowNoState);
    ShowActive(mainWindow);
    {
        DataWindow window(&mainWindow);
        ShowActive(window);
        ASSERT_TRUE(FocusChangeHandler::Current());
    }
    EXPECT_FALSE(FocusChangeHandler::Current());
}

TEST(StandardWindows, FocusHandlerIsRestoredWhenTheWindowBehindHasTheSameName)
{
    DataWindow first;
    first.setObjectName("frmCadastro");
    ShowActive(first);
    bool previousRan = false;
    FocusChangeHandler::Install([&] { previousRan = true; });
    {
        auto second = std::make_unique<TTelaDados>(&first, false);
        second->setObjectName("frmCadastro");
        second->Create();
        ShowActive(*second);
    }
    ASSERT_TRUE(FocusChangeHandler::Current());
    FocusChangeHandler::Current()();
    EXPECT_TRUE(previousRan);
    FocusChangeHandler::Install({});
}

struct EndCase {
    const char* name;
    std::function<void(DataWindow&)> end;
    int result;
    friend void PrintTo(const EndCase& c, std::ostream* os) { *os << c.name; }
};

class ModalEnd : public ::testing::TestWithParam<EndCase> {};

TEST_P(ModalEnd, GivesItsResultAndLeavesTheWindowToItsOpener)
{
    DataWindow window;
    QTimer::singleShot(0, &window, [&] {
        window.activateWindow();
        if (QTest::qWaitForWindowActive(&window))
            window.edits[0]->setFocus();
        GetParam().end(window);
    });
    QTimer::singleShot(5000, &window, [&] { window.done(-1); }); // a key that went astray fails, not hangs

    EXPECT_EQ(window.exec(), GetParam().result);

    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isHidden());
}

INSTANTIATE_TEST_SUITE_P(StandardWindows, ModalEnd,
                         ::testing::Values(EndCase{"Esc", [](DataWindow&) { Key(Qt::Key_Escape); }, mrCancel},
                                           EndCase{"CloseBox", [](DataWindow& w) { w.close(); }, mrCancel},
                                           EndCase{"SaiTela", [](DataWindow& w) { w.SaiTela(); }, mrAbort}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(StandardWindows, ModelessWindowIsDestroyedAfterItCloses)
{
    QPointer<TTelaPadrao> window = new TTelaPadrao;
    window->show();

    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    EXPECT_TRUE(window.isNull());
}

TEST(StandardWindows, DataWindowOwnsAHiddenMessageWindowForItsLife)
{
    auto window = std::make_unique<TTelaDados>(nullptr, true);
    window->Create();
    QPointer<TTelaErros> messages = window->TelaErros;
    ASSERT_FALSE(messages.isNull());
    window->show();
    EXPECT_TRUE(messages->isHidden());

    window.reset();

    EXPECT_TRUE(messages.isNull());
}

// A window whose F2 runs a command that, like a question in a message box, takes the focus away.
class FocusTakingWindow : public DataWindow {
public:
    int commands = 0;

protected:
    void FormKeyDown(int& key, Qt::KeyboardModifiers shift) override
    {
        DataWindow::FormKeyDown(key, shift);
        if (key == Qt::Key_F2) {
            ++commands;
            if (QWidget* focused = QApplication::focusWidget())
                focused->clearFocus();
        }
    }
};

TEST(StandardWindows, AKeyRunsTheWindowsCommandOnceWhenTheCommandTakesTheFocus)
{
    FocusTakingWindow window;
    ShowActive(window);
    window.edits[1]->setFocus();

    Key(Qt::Key_F2);

    EXPECT_EQ(window.commands, 1) << "the key, going on to the window, is not handled again";
    window.edits[1]->setFocus();
    Key(Qt::Key_F2);
    EXPECT_EQ(window.commands, 2) << "the next key is";
}

TEST(StandardWindows, EscLeavesADataWindowWithoutReachingTheFocusedField)
{
    DataWindow window;
    bool fieldGotEsc = false;
    struct EscSeen : QObject {
        bool& seen;
        explicit EscSeen(bool& s) : seen(s) {}
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
                seen = true;
            return false;
        }
    } watcher(fieldGotEsc);
    window.edits[0]->installEventFilter(&watcher);
    QTimer::singleShot(0, &window, [&] {
        window.activateWindow();
        if (QTest::qWaitForWindowActive(&window))
            window.edits[0]->setFocus();
        Key(Qt::Key_Escape);
    });
    QTimer::singleShot(5000, &window, [&] { window.done(-1); });

    EXPECT_EQ(window.exec(), mrCancel);
    EXPECT_FALSE(fieldGotEsc);
}

TEST(StandardWindows, FontIsTahomaEightPoints)
{
    TTelaPadrao window;
    window.Create();
    EXPECT_EQ(window.font().family(), "Tahoma");
    EXPECT_EQ(window.font().pointSize(), 8);
}

} // namespace
} // namespace tarvolo::shell
