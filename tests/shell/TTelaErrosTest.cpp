#include "shell/TTelaErros.h"
#include "shell/TdtmImagens.h"

#include "doubles/TestDialogService.h"
#include "doubles/TestRichTextPrinter.h"

#include <QApplication>
#include <QClipboard>
#include <QDate>
#include <QLineEdit>
#include <QLocale>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <ostream>

namespace tarvolo::shell {
namespace {

// A data window with two tab pages: edit1 on the first, edit2 and edit3 on the second.
class Owner : public TTelaDados {
public:
    Owner() : TTelaDados(nullptr, false)
    {
        tabs = new QTabWidget(pnlDados);
        tabs->setGeometry(0, 0, 400, 200);
        page1 = new QWidget;
        page2 = new QWidget;
        tabs->addTab(page1, "Geral");
        tabs->addTab(page2, "Endereço");
        edit1 = new QLineEdit(page1);
        edit2 = new QLineEdit(page2);
        edit3 = new QLineEdit(page2);
        edit3->move(0, 30);
        Create();
    }
    QTabWidget* tabs;
    QWidget* page1;
    QWidget* page2;
    QLineEdit* edit1;
    QLineEdit* edit2;
    QLineEdit* edit3;
};

class TTelaErrosTest : public ::testing::Test {
protected:
    TTelaErrosTest() : window(&owner, printer, dialogs) { window.Create(); }

    void Show()
    {
        owner.show();
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(QApplication::focusWidget(), key, modifiers);
    }

    QTreeWidgetItem* Group(const QString& text)
    {
        const auto found = window.tvwErros->findItems(text, Qt::MatchExactly);
        return found.isEmpty() ? nullptr : found.first();
    }

    QTreeWidgetItem* Node(const QString& text)
    {
        const auto found = window.tvwErros->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found.first();
    }

    void DoubleClick(QTreeWidgetItem* node)
    {
        for (QTreeWidgetItem* parent = node->parent(); parent; parent = parent->parent())
            parent->setExpanded(true);
        window.tvwErros->scrollToItem(node);
        const QPoint at = window.tvwErros->visualItemRect(node).center();
        QTest::mouseClick(window.tvwErros->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(window.tvwErros->viewport(), Qt::LeftButton, {}, at);
    }

    static QStringList Texts(const QTreeWidgetItem* parent)
    {
        QStringList texts;
        for (int i = 0; i < parent->childCount(); ++i)
            texts << parent->child(i)->text(0);
        return texts;
    }

    Owner owner;
    platform::TestRichTextPrinter printer;
    platform::TestDialogService dialogs;
    TTelaErros window;
};

TEST_F(TTelaErrosTest, TreeGroupsTheMessagesByKind)
{
    window.ListaErros = {{"Aviso 1", "", 1, owner.edit1, owner.page1},
                         {"Nome obrigatório", "Informe o nome completo", 0, owner.edit2, owner.page2},
                         {"Dica 1", "", 2, nullptr, nullptr},
                         {"Genérico 1", "Obs", 3, nullptr, nullptr},
                         {"Aviso 2", "", 1, nullptr, nullptr}};
    window.TemErrosFatais = window.TemAvisos = window.TemDicas = window.TemGenericos = true;

    Show();

    const QTreeWidget* tree = window.tvwErros;
    ASSERT_EQ(tree->topLevelItemCount(), 4);
    EXPECT_EQ((QStringList{tree->topLevelItem(0)->text(0), tree->topLevelItem(1)->text(0), tree->topLevelItem(2)->text(0),
                           tree->topLevelItem(3)->text(0)}),
              (QStringList{"Erros Fatais", "Avisos", "Dicas", "Genéricos"}));
    EXPECT_EQ(Texts(Group("Avisos")), (QStringList{"Aviso 1", "Aviso 2"}));
    EXPECT_EQ(Texts(Node("Nome obrigatório")), QStringList{"Informe o nome completo"});
    EXPECT_TRUE(Node("Informe o nome completo")->icon(0).isNull());

    const TdtmImagens& imagens = TdtmImagens::Instance();
    const std::pair<const char*, int> images[] = {{"Erros Fatais", 6}, {"Avisos", 11}, {"Dicas", 12}};
    for (const auto& [group, image] : images) {
        EXPECT_EQ(Group(group)->icon(0).cacheKey(), imagens.Normal(image).cacheKey()) << group;
        EXPECT_EQ(Group(group)->child(0)->icon(0).cacheKey(), imagens.Normal(image).cacheKey()) << group;
    }
    EXPECT_TRUE(Group("Genéricos")->icon(0).isNull());
    EXPECT_TRUE(Group("Erros Fatais")->isExpanded());
    EXPECT_FALSE(Group("Avisos")->isExpanded());
    EXPECT_FALSE(window.btnConfirmar->isEnabled());
}

TEST_F(TTelaErrosTest, DoubleClickOnAnObservationGoesToItsMessagesField)
{
    owner.show();
    owner.edit1->setFocus();
    window.ListaErros = {{"Nome obrigatório", "Informe o nome completo", 0, owner.edit2, owner.page2}};
    window.TemErrosFatais = true;
    Show();

    DoubleClick(Node("Informe o nome completo"));

    EXPECT_EQ(window.result(), mrRetry);
    EXPECT_TRUE(window.isHidden());
    EXPECT_EQ(owner.tabs->currentWidget(), owner.page2);
    EXPECT_EQ(owner.focusWidget(), owner.edit2);
}

TEST_F(TTelaErrosTest, FirstMessageWithAControlAndTheSameTextWins)
{
    window.ListaErros = {{"Duplicado", "", 1, nullptr, nullptr},
                         {"Duplicado", "", 1, owner.edit3, owner.page2},
                         {"Duplicado", "", 1, owner.edit1, owner.page1}};
    window.TemAvisos = true;
    Show();
    window.tvwErros->setCurrentItem(Group("Avisos")->child(2));

    Key(Qt::Key_Return, Qt::ControlModifier);

    EXPECT_EQ(window.result(), mrRetry);
    EXPECT_EQ(owner.focusWidget(), owner.edit3);
    EXPECT_EQ(owner.tabs->currentWidget(), owner.page2);
}

TEST_F(TTelaErrosTest, GroupNodeGoesNowhere)
{
    window.ListaErros = {{"Aviso", "", 1, owner.edit1, owner.page1}};
    window.TemAvisos = true;
    Show();
    window.tvwErros->setCurrentItem(Node("Aviso"));
    ASSERT_TRUE(window.btnAtualizar->isEnabled());

    DoubleClick(Group("Avisos"));

    EXPECT_FALSE(window.btnAtualizar->isEnabled());
    EXPECT_EQ(window.result(), mrNone);
    EXPECT_TRUE(window.isVisible());
}

TEST_F(TTelaErrosTest, CtrlSpaceConfirmsOnlyWithoutFatalErrors)
{
    for (const bool fatal : {true, false}) {
        SCOPED_TRACE(fatal);
        window.ListaErros = {{"Mensagem", "", fatal ? 0 : 1, nullptr, nullptr}};
        (fatal ? window.TemErrosFatais : window.TemAvisos) = true;
        window.setResult(mrNone);
        Show();

        Key(Qt::Key_Space, Qt::ControlModifier);

        EXPECT_EQ(window.result(), fatal ? mrNone : mrOk);
        EXPECT_EQ(window.isVisible(), fatal);
        if (fatal) {
            Key(Qt::Key_Escape);
            EXPECT_EQ(window.result(), mrCancel);
            EXPECT_TRUE(window.isHidden());
        }
    }
}

TEST_F(TTelaErrosTest, CtrlCCopiesTheSelectedNode)
{
    window.ListaErros = {{"Valor acima do limite", "", 1, nullptr, nullptr}};
    window.TemAvisos = true;
    Show();
    QApplication::clipboard()->setText("anterior");

    window.tvwErros->setCurrentItem(nullptr);
    Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "anterior");

    window.tvwErros->setCurrentItem(Node("Valor acima do limite"));
    Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "Valor acima do limite");
}

TEST_F(TTelaErrosTest, ClosedWindowShowsEmptyWhenShownAgain)
{
    window.ListaErros = {{"Erro", "", 0, nullptr, nullptr}};
    window.TemErrosFatais = true;
    Show();
    Key(Qt::Key_Escape);
    ASSERT_TRUE(window.isHidden());

    Show();

    EXPECT_EQ(window.tvwErros->topLevelItemCount(), 0);
    EXPECT_TRUE(window.btnConfirmar->isEnabled());
}

struct PrintCase {
    const char* name;
    std::vector<TErro> messages;
    QStringList body; // the lines after the title and its empty line
    QStringList sorted;
    friend void PrintTo(const PrintCase& c, std::ostream* os) { *os << c.name; }
};

class PrintedList : public TTelaErrosTest, public ::testing::WithParamInterface<PrintCase> {};

TEST_P(PrintedList, SortsByKindAndPrintsOneJob)
{
    window.ListaErros = GetParam().messages;
    Show();

    Key(Qt::Key_I, Qt::ControlModifier);

    ASSERT_EQ(printer.jobs.size(), 1u);
    EXPECT_EQ(printer.jobs[0].title, "Erros");
    const QStringList lines = printer.jobs[0].text.split('\n');
    ASSERT_GE(lines.size(), 5);
    EXPECT_EQ(lines.mid(0, 3), (QStringList{"", "", ""}));
    const QString date = QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);
    EXPECT_TRUE(lines[3].startsWith("Análise dos dados                Data:" + date + "  Hora:")) << lines[3].toStdString();
    EXPECT_EQ(lines.mid(4), QStringList{""} + GetParam().body);
    QStringList sorted;
    for (const TErro& erro : window.ListaErros)
        sorted << erro.Mensagem;
    EXPECT_EQ(sorted, GetParam().sorted);
}

INSTANTIATE_TEST_SUITE_P(
    TTelaErros, PrintedList,
    ::testing::Values(PrintCase{"Empty", {}, {}, {}},
                      PrintCase{"WarningFatalWarning",
                                {{"Aviso A", "", 1, nullptr, nullptr},
                                 {"Fatal", "Corrija", 0, nullptr, nullptr},
                                 {"Aviso B", "Veja", 1, nullptr, nullptr}},
                                {"", "-Erros Fatais", "", "Mensagem:  Fatal", "Observação:  Corrija", "", "-Avisos", "",
                                 "Mensagem:  Aviso A", "Observação:  ", "", "Mensagem:  Aviso B", "Observação:  Veja"},
                                {"Fatal", "Aviso A", "Aviso B"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TTelaErrosTest, PrintingErrorIsReportedAfterTheListWasSorted)
{
    printer.failure = "There is no default printer currently selected";
    window.ListaErros = {{"Dica", "", 2, nullptr, nullptr}, {"Fatal", "", 0, nullptr, nullptr}};

    EXPECT_THROW(window.btnImprimirClick(), std::runtime_error);
    EXPECT_EQ(window.ListaErros.front().Mensagem, "Fatal");

    window.btnImprimir->click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "There is no default printer currently selected.");
    EXPECT_EQ(dialogs.messages[0].icon, platform::DialogService::Icon::Error);
    EXPECT_TRUE(printer.jobs.empty());
}

} // namespace
} // namespace tarvolo::shell
