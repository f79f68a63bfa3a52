#include "TTelaErros.h"

#include "platform/DialogService.h"

#include "TdtmImagens.h"

#include "platform/RichTextPrinter.h"

#include <QApplication>
#include <QClipboard>
#include <QDate>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLocale>
#include <QScopeGuard>
#include <QTabWidget>
#include <QTextDocument>
#include <QTime>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace tarvolo::shell {

namespace {

QToolButton* CreateButton(QToolBar* bar, const char* name, const QString& caption, const QString& hint, int glyph,
                          QSize size)
{
    auto* button = new QToolButton(bar);
    button->setObjectName(name);
    button->setText(caption);
    button->setToolTip(hint);
    button->setIcon(TdtmImagens::Instance().ButtonIcon(glyph));
    button->setIconSize(QSize(16, 16));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setAutoRaise(true);
    button->setFixedSize(size);
    button->setFocusPolicy(Qt::NoFocus);
    bar->addWidget(button);
    return button;
}

QToolBar* CreateToolBar(QWidget* parent, const char* name)
{
    auto* bar = new QToolBar(parent);
    bar->setObjectName(name);
    bar->setMovable(false);
    bar->setIconSize(QSize(16, 16));
    return bar;
}

// Makes page the current page of the tab widget that holds it.
void ActivatePage(QWidget* page)
{
    for (QWidget* parent = page->parentWidget(); parent; parent = parent->parentWidget())
        if (auto* tabs = qobject_cast<QTabWidget*>(parent); tabs && tabs->indexOf(page) >= 0) {
            tabs->setCurrentWidget(page);
            return;
        }
}

const char* GroupHeading(std::int32_t tipo)
{
    switch (tipo) {
    case 0: return "-Erros Fatais";
    case 1: return "-Avisos";
    case 2: return "-Dicas";
    case 3: return "-Genéricos";
    default: return nullptr;
    }
}

} // namespace

TTelaErros::TTelaErros(QWidget* owner, platform::RichTextPrinter& printer, platform::DialogService& dialogs)
    : TTelaPadrao(owner), printer_(printer), dialogs_(dialogs)
{
    setObjectName("TelaErros");
    setWindowTitle("Análise dos dados");
    setWindowFlag(Qt::WindowMinimizeButtonHint, false);
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    resize(488, 344);
    stbPadrao->SetPanels({350, 50});

    pnlTop = new QWidget(this);
    pnlTop->setObjectName("pnlTop");
    pnlTop->setFixedHeight(42);
    auto* topLayout = new QHBoxLayout(pnlTop);
    topLayout->setContentsMargins(0, 0, 0, 0);
    topLayout->setSpacing(0);
    tbrAcao = CreateToolBar(pnlTop, "tbrAcao");
    btnImprimir = CreateButton(tbrAcao, "btnImprimir", "Imprimir", "Imprimir (Ctrl+I)", 4, QSize(42, 36));
    tbrConfirmar = CreateToolBar(pnlTop, "tbrConfirmar");
    tbrConfirmar->setFixedWidth(114);
    btnAtualizar = CreateButton(tbrConfirmar, "btnAtualizar", "Atualizar", "Corrigir Erros (Ctrl+Enter)", 8, QSize(51, 36));
    ToolButton2 = new QWidget(tbrConfirmar);
    ToolButton2->setObjectName("ToolButton2");
    ToolButton2->setFixedWidth(8);
    tbrConfirmar->addWidget(ToolButton2);
    btnConfirmar = CreateButton(tbrConfirmar, "btnConfirmar", "Confirmar", "Confirmar (Ctrl+Espaço)", 5, QSize(51, 36));
    topLayout->addWidget(tbrAcao, 1);
    topLayout->addWidget(tbrConfirmar);
    AddClient(pnlTop);

    auto* treeArea = new QWidget(this);
    auto* treeLayout = new QVBoxLayout(treeArea);
    treeLayout->setContentsMargins(8, 6, 8, 8);
    tvwErros = new QTreeWidget(treeArea);
    tvwErros->setObjectName("tvwErros");
    tvwErros->setHeaderHidden(true);
    tvwErros->setIndentation(19);
    tvwErros->setIconSize(QSize(16, 16));
    tvwErros->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvwErros->setToolTip("Seta esquerda e direita para retrair e expandir as mensagens");
    treeLayout->addWidget(tvwErros);
    AddClient(treeArea, 1);

    connect(btnImprimir, &QToolButton::clicked, this, [this] {
        try {
            btnImprimirClick();
        } catch (const std::exception& error) {
            platform::ShowStandardError(dialogs_, this, error);
        }
    });
    connect(btnAtualizar, &QToolButton::clicked, this, &TTelaErros::btnAtualizarClick);
    connect(btnConfirmar, &QToolButton::clicked, this, &TTelaErros::btnConfirmarClick);
    connect(tvwErros, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* node) { tvwErrosChange(node); });
    connect(tvwErros, &QTreeWidget::itemDoubleClicked, this, [this] { tvwErrosDblClick(); });
}

TCloseAction TTelaErros::AcaoFechar()
{
    return TCloseAction::Hide;
}

void TTelaErros::FormCreate()
{
    TTelaPadrao::FormCreate();
    TemErrosFatais = TemAvisos = TemDicas = TemGenericos = false;
}

void TTelaErros::FormShow()
{
    TTelaPadrao::FormShow();
    tvwErros->clear();
    NoErrosFatais = NoAvisos = NoDicas = NoGenericos = nullptr;

    const TdtmImagens& imagens = TdtmImagens::Instance();
    const auto addGroup = [&](const QString& text, int image) {
        auto* node = new QTreeWidgetItem(tvwErros, {text});
        if (image >= 0)
            node->setIcon(0, imagens.Normal(image));
        return node;
    };
    if (TemErrosFatais) {
        NoErrosFatais = addGroup("Erros Fatais", 6);
        btnConfirmar->setEnabled(false);
    }
    if (TemAvisos)
        NoAvisos = addGroup("Avisos", 11);
    if (TemDicas)
        NoDicas = addGroup("Dicas", 12);
    if (TemGenericos)
        NoGenericos = addGroup("Genéricos", -1);

    for (const TErro& erro : ListaErros) {
        QTreeWidgetItem* group = GroupNode(erro.Tipo);
        if (!group)
            continue;
        auto* node = new QTreeWidgetItem(group, {erro.Mensagem});
        node->setIcon(0, group->icon(0));
        if (!erro.Observacao.isEmpty())
            new QTreeWidgetItem(node, {erro.Observacao});
    }
    if (NoErrosFatais)
        NoErrosFatais->setExpanded(true);
    tvwErrosChange(tvwErros->currentItem());
}

void TTelaErros::FormClose(TCloseAction& action)
{
    TTelaPadrao::FormClose(action);
    ListaErros.clear();
    TemErrosFatais = TemAvisos = TemDicas = TemGenericos = false;
    btnConfirmar->setEnabled(true);
}

void TTelaErros::FormKeyDown(int& key, Qt::KeyboardModifiers shift)
{
    // Replaces the standard handler, which does nothing.
    if (!(shift & Qt::ControlModifier))
        return;
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (btnAtualizar->isEnabled())
            btnAtualizar->click();
        break;
    case Qt::Key_Space:
        if (btnConfirmar->isEnabled()) {
            btnConfirmar->click();
            key = 0;
        }
        break;
    case Qt::Key_I:
        if (btnImprimir->isEnabled())
            btnImprimir->click();
        break;
    default: break;
    }
}

void TTelaErros::FormKeyPress(QChar& key)
{
    TTelaPadrao::FormKeyPress(key);
    if (key == QChar(27)) {
        close();
        return;
    }
    // The tree's own key press comes after the window's.
    if (!key.isNull() && focusWidget() == tvwErros)
        tvwErrosKeyPress(key);
}

void TTelaErros::tvwErrosChange(QTreeWidgetItem* node)
{
    btnAtualizar->setEnabled(node && node->parent());
}

void TTelaErros::tvwErrosDblClick()
{
    IrParaMensagem();
}

void TTelaErros::tvwErrosKeyPress(QChar& key)
{
    if (key != QChar(3))
        return;
    // The tree's own copy would take the current node even when it is not selected.
    key = QChar();
    if (const QTreeWidgetItem* node = tvwErros->currentItem())
        QApplication::clipboard()->setText(node->text(0));
}

void TTelaErros::btnAtualizarClick()
{
    IrParaMensagem();
}

void TTelaErros::btnConfirmarClick()
{
    done(mrOk);
}

void TTelaErros::IrParaMensagem()
{
    const QTreeWidgetItem* node = tvwErros->currentItem();
    if (!node || !node->parent())
        return;
    const QString text = node->text(0);
    const auto found = std::find_if(ListaErros.begin(), ListaErros.end(), [&](const TErro& erro) {
        return erro.Controle && (erro.Mensagem == text || erro.Observacao == text);
    });
    if (found == ListaErros.end())
        return;
    // Closing empties ListaErros.
    const TErro erro = *found;
    done(mrRetry);
    if (erro.Pagina)
        ActivatePage(erro.Pagina);
    // The control's window is inactive behind this one: the control becomes its focused control
    // and has the keyboard once that window is active again.
    if (erro.Controle)
        erro.Controle->setFocus();
}

void TTelaErros::btnImprimirClick()
{
    setCursor(Qt::WaitCursor);
    const auto restoreCursor = qScopeGuard([this] { unsetCursor(); });

    // Exchange sort, in place: messages of one kind may change places, and the order stays.
    for (std::size_t i = 0; i < ListaErros.size(); ++i)
        for (std::size_t j = i + 1; j < ListaErros.size(); ++j)
            if (ListaErros[i].Tipo > ListaErros[j].Tipo)
                std::swap(ListaErros[i], ListaErros[j]);

    const QLocale locale = QLocale::system();
    const QString date = locale.toString(QDate::currentDate(), QLocale::ShortFormat);
    const QString time = locale.toString(QTime::currentTime(), QLocale::LongFormat);
    QStringList lines{QString(), QString(), QString()};
    lines << "Análise dos dados                Data:" + date + "  Hora:" + time << QString();
    for (std::size_t i = 0; i < ListaErros.size(); ++i) {
        const TErro& erro = ListaErros[i];
        if (i == 0 || erro.Tipo != ListaErros[i - 1].Tipo) {
            lines << QString();
            if (const char* heading = GroupHeading(erro.Tipo))
                lines << heading;
        }
        lines << QString() << "Mensagem:  " + erro.Mensagem << "Observação:  " + erro.Observacao;
    }

    QTextDocument document;
    QFont documentFont = font();
    documentFont.setPointSize(11);
    document.setDefaultFont(documentFont);
    document.setPlainText(lines.join('\n'));
    printer_.Print("Erros", document);
}

QTreeWidgetItem* TTelaErros::GroupNode(std::int32_t tipo) const
{
    switch (tipo) {
    case 0: return NoErrosFatais;
    case 1: return NoAvisos;
    case 2: return NoDicas;
    case 3: return NoGenericos;
    default: return nullptr;
    }
}

} // namespace tarvolo::shell
