// The program's start in both modes, the main window as a bar across the screen, its close
// question and its commands, with the operating system's services replaced by test doubles.

#include "doubles/TestAssociationStore.h"
#include "doubles/TestDesktopLinks.h"
#include "doubles/TestDialogService.h"
#include "doubles/TestPrinterDevice.h"
#include "platform/ExecutableVersion.h"
#include "platform/XdgAssociationStore.h"
#include "shell/TfrmPrincipal.h"
#include "shell/TfrmSobre.h"
#include "support/ReportFixtures.h"
#include "support/TestSupport.h"
#include "viewer/TfrmKestanPreview.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace tarvolo;
using namespace tarvolo::platform;
using namespace tarvolo::shell;

namespace {

// Keys go where a user's keys go: to the focused control, or to the window when none has the focus.
QWidget* KeyTarget(QWidget& window)
{
    return window.focusWidget() ? window.focusWidget() : &window;
}

template <typename T>
T* OpenWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* window = dynamic_cast<T*>(widget); window && window->isVisible())
            return window;
    return nullptr;
}

// Runs act on the first visible window of type T once it is open (it may be modal), within 5 s.
template <typename T>
void WhenOpen(std::function<void(T&)> act)
{
    auto* poll = new QTimer;
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    QObject::connect(poll, &QTimer::timeout, [poll, act, started] {
        if (T* window = OpenWindow<T>()) {
            poll->stop();
            poll->deleteLater();
            act(*window);
        } else if (started->elapsed() > 5000) {
            poll->stop();
            poll->deleteLater();
            ADD_FAILURE() << "the window did not open";
            if (auto* modal = QApplication::activeModalWidget())
                modal->close();
        }
    });
    poll->start(10);
}

class ShellTest : public ::testing::Test {
protected:
    ShellServices Services(AssociationStore& store)
    {
        return {dialogs, store, applicationPrinter, [] { return std::make_unique<TestPrinterDevice>(); }, links, kExecutable};
    }

    std::unique_ptr<TfrmPrincipal> Start(const QStringList& arguments)
    {
        auto window = std::make_unique<TfrmPrincipal>(services, arguments);
        window->Create();
        return window;
    }

    QString InFolder(const char* name) const { return QString::fromStdString((folder / name).string()); }

    QString Report(const char* name)
    {
        const auto path = folder / name;
        test::WriteA4Report(path, 3);
        return QString::fromStdString(path.string());
    }

    static inline const QString kExecutable = "/opt/tarvolo programs/bin/tarvolo";
    test::TempDir folder;
    TestDialogService dialogs;
    TestAssociationStore associations;
    TestPrinterDevice applicationPrinter;
    TestDesktopLinks links;
    ShellServices services = Services(associations);
};

} // namespace

TEST_F(ShellTest, EveryStartRecordsTheProgramAsTheHandlerOfReportFiles)
{
    auto window = Start({"tarvolo"});
    const std::vector<std::pair<QString, QString>> expected = {
        {".qrp", "qrp"},
        {"qrp", "Tarvolo : Visualizador de Relatórios"},
        {"qrp\\DefaultIcon", kExecutable + ",0"},
        {"qrp\\Shell\\Open", "&Open"},
        {"qrp\\Shell\\Open\\Command", "\"" + kExecutable + "\" \"%1\""},
    };
    EXPECT_EQ(associations.writes, expected);
    EXPECT_EQ(associations.exports, 1);
}

TEST_F(ShellTest, WithoutAFileTheMainWindowIsABarAcrossTheTopAndClosingAsksFirst)
{
    for (const QStringList& arguments : {QStringList{"tarvolo"}, QStringList{"tarvolo", "   "}, QStringList{"tarvolo", " \t\n "}}) {
        SCOPED_TRACE(arguments.join('|').toStdString());
        auto window = Start(arguments);
        ASSERT_FALSE(window->TerminateRequested());
        window->show();
        QTest::qWait(20);
        const QRect area = window->screen()->availableGeometry();
        EXPECT_EQ(window->frameGeometry().topLeft(), area.topLeft());
        EXPECT_EQ(window->frameGeometry().width(), area.width());
        EXPECT_LT(window->height(), 200) << "as tall as its menu, toolbar and status bar";
        EXPECT_EQ(window->windowTitle(), "Kestan Tarvolo - Visualizador de Relatórios");
        EXPECT_FALSE(window->imgLogo->isVisible());

        dialogs.questions.clear();
        dialogs.yesNoAnswers = {false};
        window->close();
        ASSERT_EQ(dialogs.questions.size(), 1u);
        EXPECT_EQ(dialogs.questions[0].title, "Confirmação");
        EXPECT_EQ(dialogs.questions[0].text, "Deseja realmente sair?");
        EXPECT_TRUE(window->isVisible()) << "No keeps the window";
        dialogs.yesNoAnswers = {true};
        QTest::keyClick(KeyTarget(*window), Qt::Key_Escape);
        EXPECT_EQ(dialogs.questions.size(), 2u) << "Esc asks the same";
        EXPECT_FALSE(window->isVisible());
    }
}

// Asks as a message box does: the question has the keyboard while it is open, so the window's
// focused control has lost the focus when the answer comes.
class FocusTakingDialogs : public TestDialogService {
public:
    bool AskYesNo(QWidget* parent, const QString& title, const QString& text) override
    {
        if (QWidget* focused = QApplication::focusWidget())
            focused->clearFocus();
        return TestDialogService::AskYesNo(parent, title, text);
    }
};

TEST_F(ShellTest, EscThenNoAsksOnce)
{
    FocusTakingDialogs asking;
    ShellServices withAsking{asking, associations, applicationPrinter, [] { return std::make_unique<TestPrinterDevice>(); },
                             links, kExecutable};
    TfrmPrincipal window(withAsking, {"tarvolo"});
    window.Create();
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    window.btnCadastroEmpresas->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), window.btnCadastroEmpresas);

    QTest::keyClick(window.btnCadastroEmpresas, Qt::Key_Escape);

    EXPECT_EQ(asking.questions.size(), 1u);
    EXPECT_TRUE(window.isVisible()) << "No keeps the window";
}

TEST_F(ShellTest, MinimizingTheViewerLeavesItOpen)
{
    for (const bool fromCommandLine : {true, false}) {
        SCOPED_TRACE(fromCommandLine ? "from the command line" : "from the main window");
        bool openWhenMinimized = false;
        bool openAfterwards = false;
        WhenOpen<viewer::TfrmKestanPreview>([&](viewer::TfrmKestanPreview& viewer) {
            viewer.showMinimized();
            openWhenMinimized = viewer.isMinimized();
            // Still there a moment later, then restored and closed by the user.
            QTimer::singleShot(50, &viewer, [&] {
                openAfterwards = true;
                viewer.showNormal();
                viewer.close();
            });
        });
        std::unique_ptr<TfrmPrincipal> window;
        if (fromCommandLine) {
            window = Start({"tarvolo", Report("vendas.qrp")});
            EXPECT_TRUE(window->TerminateRequested()) << "the program ends when the viewer closes";
        } else {
            window = Start({"tarvolo"});
            window->show();
            window->btnCadastroEmpresas->click();
            EXPECT_TRUE(window->isVisible());
        }
        EXPECT_TRUE(openWhenMinimized);
        EXPECT_TRUE(openAfterwards) << "the viewer's run ended when it was minimized";
        EXPECT_EQ(OpenWindow<viewer::TfrmKestanPreview>(), nullptr);
    }
}

TEST_F(ShellTest, AReportOnTheCommandLineOpensTheViewerAndTheProgramEndsWithIt)
{
    const QString report = Report("vendas.qrp");
    QString shownTitle;
    WhenOpen<viewer::TfrmKestanPreview>([&](viewer::TfrmKestanPreview& viewer) {
        shownTitle = viewer.windowTitle();
        viewer.close();
    });
    auto window = Start({"tarvolo", report, "ignored.qrp"});
    EXPECT_EQ(shownTitle, "vendas.qrp");
    EXPECT_TRUE(window->TerminateRequested());
    EXPECT_EQ(window->ExitStatus(), 0);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(dialogs.questions.empty());
}

TEST_F(ShellTest, TheViewerGetsTheArgumentWithTheBlanksAroundIt)
{
    const QString named = Report(" vendas.qrp ");
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(folder.Path().string())));
    QString shownTitle;
    WhenOpen<viewer::TfrmKestanPreview>([&](viewer::TfrmKestanPreview& viewer) {
        shownTitle = viewer.windowTitle();
        viewer.close();
    });
    auto window = Start({"tarvolo", " vendas.qrp "});
    QDir::setCurrent("/");
    EXPECT_EQ(shownTitle, " vendas.qrp ");
    EXPECT_TRUE(window->TerminateRequested());
}

TEST_F(ShellTest, AMissingFileIsReportedAndTheMainWindowThenClosesWithoutAQuestion)
{
    auto window = Start({"tarvolo", InFolder("missing.qrp")});
    EXPECT_FALSE(window->TerminateRequested());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].icon, DialogService::Icon::Error);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith("Cannot open file")) << dialogs.messages[0].text.toStdString();
    window->show();
    window->close();
    EXPECT_TRUE(dialogs.questions.empty());
    EXPECT_FALSE(window->isVisible());
}

TEST_F(ShellTest, ARefusedRegistrationIsReportedAndEndsTheProgram)
{
    for (const QStringList& arguments : {QStringList{"tarvolo"}, QStringList{"tarvolo", Report("vendas.qrp")}}) {
        associations = TestAssociationStore();
        associations.refuseWrite = 1;
        dialogs.messages.clear();
        auto window = Start(arguments);
        EXPECT_TRUE(associations.writes.empty());
        EXPECT_EQ(associations.exports, 0);
        ASSERT_EQ(dialogs.messages.size(), 1u);
        EXPECT_EQ(dialogs.messages[0].title, "ATENÇÃO!");
        EXPECT_EQ(dialogs.messages[0].text, "Você não tem permissão para modificar as configurações do registro.\n"
                                            "Comunique esse erro ao administrador do Sistema Operacional.");
        EXPECT_EQ(dialogs.messages[0].icon, DialogService::Icon::Error);
        EXPECT_TRUE(window->TerminateRequested());
        EXPECT_EQ(window->ExitStatus(), 1);
        EXPECT_EQ(OpenWindow<viewer::TfrmKestanPreview>(), nullptr);
    }
}

TEST_F(ShellTest, AnUnwritableConfigurationFolderEndsTheProgramAfterTheMessage)
{
    test::WriteFileBytes(folder / "not-a-folder", test::Bytes{'x'});
    XdgAssociationStore store(InFolder("not-a-folder/config"), InFolder("data"));
    ShellServices withStore = Services(store);
    TfrmPrincipal window(withStore, {"tarvolo"});
    window.Create();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].title, "ATENÇÃO!");
    EXPECT_TRUE(window.TerminateRequested());
    EXPECT_FALSE(std::filesystem::exists(folder / "data"));
}

TEST_F(ShellTest, TheLogoShowsOnlyOnAWindowTallerThan500Pixels)
{
    auto window = Start({"tarvolo"});
    window->show();
    QTest::qWait(20);
    const int frame = window->frameGeometry().height() - window->height();
    for (const int height : {500, 501}) { // outer heights, frame included
        window->resize(800, height - frame);
        window->FormActivate();
        EXPECT_EQ(window->imgLogo->isVisible(), height > 500) << height;
    }
}

TEST_F(ShellTest, EachViewerOpenedFromTheMainWindowHasAPrinterObjectOfItsOwn)
{
    auto window = Start({"tarvolo"});
    window->show();
    QPointer<viewer::TfrmKestanPreview> first;
    WhenOpen<viewer::TfrmKestanPreview>([&](viewer::TfrmKestanPreview& viewer) {
        first = &viewer;
        EXPECT_EQ(viewer.windowTitle(), "(Nenhum relatório aberto)");
        viewer.close();
    });
    window->btnCadastroEmpresas->click();
    EXPECT_TRUE(first.isNull()) << "released when its modal run ends";
    bool second = false;
    WhenOpen<viewer::TfrmKestanPreview>([&](viewer::TfrmKestanPreview& viewer) {
        second = true;
        viewer.close();
    });
    window->actEmissaoRels->trigger();
    EXPECT_TRUE(second);
}

TEST_F(ShellTest, TheAboutWindowShowsTheVersionAndOpensItsLinksThroughTheDesktop)
{
    auto window = Start({"tarvolo"});
    window->show();
    QString version;
    WhenOpen<TfrmSobre>([&](TfrmSobre& about) {
        version = about.lblVersao->text();
        QTest::mouseClick(about.lblEmail2, Qt::LeftButton);
        QTest::mouseClick(about.lblHttp, Qt::LeftButton);
        QTest::keyClick(KeyTarget(about), Qt::Key_Space, Qt::ControlModifier);
    });
    window->actSobre->trigger();
    EXPECT_EQ(version, ExecutableVersion::Running().Text());
    ASSERT_EQ(links.opened.size(), 2u);
    EXPECT_EQ(links.opened[0].scheme(), "mailto");
    EXPECT_EQ(links.opened[1].scheme(), "https");
}
