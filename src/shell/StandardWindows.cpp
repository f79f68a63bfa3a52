#include "StandardWindows.h"

#include "TTelaErros.h"

#include "platform/QtDialogService.h"
#include "platform/RichTextPrinter.h"
#include "render/Fonts.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTextEdit>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace tarvolo::shell {

namespace {

std::vector<TTelaOrigem*>& WindowList()
{
    static std::vector<TTelaOrigem*> windows;
    return windows;
}

FocusChangeHandler::Handler& InstalledHandler()
{
    static FocusChangeHandler::Handler handler;
    return handler;
}

QPointer<TTelaPrincipal>& MainWindow()
{
    static QPointer<TTelaPrincipal> window;
    return window;
}

platform::RichTextPrinter* servicesPrinter = nullptr;
platform::DialogService* servicesDialogs = nullptr;

platform::RichTextPrinter& ErrorWindowPrinter()
{
    static platform::QtRichTextPrinter qtPrinter;
    return servicesPrinter ? *servicesPrinter : qtPrinter;
}

platform::DialogService& ErrorWindowDialogs()
{
    static platform::QtDialogService qtDialogs;
    return servicesDialogs ? *servicesDialogs : qtDialogs;
}

// The memo family, rich edit controls included: they take Enter as a line break.
bool IsMultiLine(const QWidget* control)
{
    return qobject_cast<const QTextEdit*>(control) || qobject_cast<const QPlainTextEdit*>(control);
}

// The part of a hint after its first "|", or all of it.
QString LongHint(const QString& hint)
{
    const qsizetype bar = hint.indexOf('|');
    return bar < 0 ? hint : hint.mid(bar + 1);
}

// Panel 0's share of the bar: a 32-bit product, divided in floating point, truncated toward zero.
int StatusPanelWidth(int barWidth, int percent)
{
    const auto product = static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::int64_t>(barWidth) * percent));
    return static_cast<int>(std::trunc(product / 100.0));
}

} // namespace

// ---------------------------------------------------------------------------------------------

TStatusBar::TStatusBar(QWidget* parent) : QStatusBar(parent)
{
    setSizeGripEnabled(false);
}

void TStatusBar::SetPanels(const QList<int>& widths)
{
    qDeleteAll(panels_);
    panels_.clear();
    for (qsizetype i = 0; i < widths.size(); ++i) {
        auto* panel = new QLabel(this);
        panel->setObjectName(QString("Panel%1").arg(i));
        const bool last = i == widths.size() - 1;
        addWidget(panel, last ? 1 : 0);
        panels_.append(panel);
        SetPanelWidth(int(i), widths.at(i));
    }
}

int TStatusBar::PanelCount() const
{
    return int(panels_.size());
}

QLabel* TStatusBar::Panel(int index) const
{
    return index >= 0 && index < panels_.size() ? panels_.at(index) : nullptr;
}

QString TStatusBar::PanelText(int index) const
{
    const QLabel* panel = Panel(index);
    return panel ? panel->text() : QString();
}

void TStatusBar::SetPanelText(int index, const QString& text)
{
    if (QLabel* panel = Panel(index))
        panel->setText(text);
}

int TStatusBar::PanelWidth(int index) const
{
    const QLabel* panel = Panel(index);
    return panel ? panel->minimumWidth() : 0;
}

void TStatusBar::SetPanelWidth(int index, int width)
{
    QLabel* panel = Panel(index);
    if (!panel)
        return;
    width = std::max(width, 0);
    if (index == PanelCount() - 1)
        panel->setMinimumWidth(width);
    else
        panel->setFixedWidth(width);
}

// ---------------------------------------------------------------------------------------------

FocusChangeHandler::Handler FocusChangeHandler::Current()
{
    return InstalledHandler();
}

void FocusChangeHandler::Install(Handler handler)
{
    InstalledHandler() = std::move(handler);
    static QPointer<QCoreApplication> connectedTo;
    if (qApp && connectedTo != qApp) {
        QObject::connect(qApp, &QApplication::focusChanged, qApp, [] {
            // A copy: the handler may install another one while it runs.
            const Handler handler = InstalledHandler();
            if (handler)
                handler();
        });
        connectedTo = qApp;
    }
}

// ---------------------------------------------------------------------------------------------

TTelaOrigem::TTelaOrigem(QWidget* owner) : QDialog(owner)
{
    setObjectName("TelaOrigem");
    setWindowTitle("TelaOrigem");
    resize(472, 299);
    WindowList().push_back(this);
}

TTelaOrigem::~TTelaOrigem()
{
    std::erase(WindowList(), this);
}

void TTelaOrigem::Create()
{
    if (created_)
        return;
    // Set first: a handler that fails has still run, and is not run again at the first show.
    created_ = true;
    FormCreate();
}

QList<TTelaOrigem*> TTelaOrigem::WindowsByFocus()
{
    return QList<TTelaOrigem*>(WindowList().begin(), WindowList().end());
}

void TTelaOrigem::FormCreate()
{
    // Wine's faces, Tahoma among them, live outside fontconfig; the player makes them known.
    emf::RegisterFallbackFonts();
    QFont desktopFont = QApplication::font();
    desktopFont.setFamily("Tahoma");
    desktopFont.setPointSize(8);
    setFont(desktopFont);
}

bool TTelaOrigem::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate) {
        auto& windows = WindowList();
        std::erase(windows, this);
        windows.insert(windows.begin(), this);
    }
    return QDialog::event(event);
}

void TTelaOrigem::showEvent(QShowEvent* event)
{
    Create();
    QDialog::showEvent(event);
}

// ---------------------------------------------------------------------------------------------

TTelaPadrao::TTelaPadrao(QWidget* owner) : TTelaOrigem(owner)
{
    setObjectName("TelaPadrao");
    setWindowTitle("TelaPadrao");
    setWindowFlag(Qt::WindowMinimizeButtonHint);
    setFixedSize(462, 277);

    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
    stbPadrao = new TStatusBar(this);
    stbPadrao->setObjectName("stbPadrao");
    stbPadrao->setFixedHeight(19);
    stbPadrao->SetPanels({200, 50});
    layout_->addWidget(stbPadrao, 0, Qt::AlignBottom);

    // Key preview: the window sees every key before the focused control, also in controls that
    // descendants add later.
    qApp->installEventFilter(this);
}

TTelaPadrao::~TTelaPadrao()
{
    qApp->removeEventFilter(this);
}

TCloseAction TTelaPadrao::AcaoFechar()
{
    return TCloseAction::Free;
}

int TTelaPadrao::exec()
{
    QPointer<TTelaPadrao> guard(this);
    inModalLoop_ = true;
    const int result = TTelaOrigem::exec();
    if (guard)
        inModalLoop_ = false;
    return result;
}

void TTelaPadrao::done(int result)
{
    TCloseAction action = TCloseAction::Hide;
    FormClose(action);
    if (action == TCloseAction::None) {
        setResult(mrNone);
        return;
    }
    if (action == TCloseAction::Minimize && !inModalLoop_) {
        showMinimized();
        return;
    }
    QPointer<TTelaPadrao> guard(this);
    TTelaOrigem::done(result);
    if (!guard)
        return;
    if (this == TTelaPrincipal::ApplicationMainWindow())
        QCoreApplication::quit();
    // A window shown modally belongs to its opener, which destroys it once the loop returns.
    if (action == TCloseAction::Free && !inModalLoop_)
        deleteLater();
}

QChar TTelaPadrao::KeyCharacter(const QKeyEvent* event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    if (modifiers & Qt::AltModifier)
        return {};
    const bool ctrl = modifiers & Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return QChar(ctrl ? 10 : 13);
    case Qt::Key_Escape: return QChar(27);
    case Qt::Key_Backspace: return QChar(8);
    case Qt::Key_Space: return QChar(' ');
    default: break;
    }
    if (ctrl)
        return event->key() >= Qt::Key_A && event->key() <= Qt::Key_Z ? QChar(event->key() - Qt::Key_A + 1) : QChar();
    const QString text = event->text();
    return text.size() == 1 ? text.at(0) : QChar();
}

void TTelaPadrao::FormCreate()
{
    TTelaOrigem::FormCreate();
}

void TTelaPadrao::FormShow()
{
    const TTelaPrincipal* mainWindow = TTelaPrincipal::ApplicationMainWindow();
    if (mainWindow && mainWindow->PercStatusBar != 0 && stbPadrao->PanelCount() > 0)
        stbPadrao->SetPanelWidth(0, StatusPanelWidth(stbPadrao->width(), mainWindow->PercStatusBar));
}

void TTelaPadrao::FormClose(TCloseAction& action)
{
    action = AcaoFechar();
}

void TTelaPadrao::FormKeyDown(int&, Qt::KeyboardModifiers)
{
}

void TTelaPadrao::FormKeyPress(QChar& key)
{
    if (key == QChar(13)) {
        QWidget* focused = focusWidget();
        // A focused push button takes Enter as its click, before any key press.
        if (IsMultiLine(focused) || qobject_cast<QPushButton*>(focused))
            return;
        focusNextPrevChild(!ShiftPressionado);
        key = QChar();
    } else if (key == QChar(' ') && CtrlPressionado) {
        // Ctrl+Space is the windows' confirm shortcut: it never types a blank or toggles a control.
        key = QChar();
    }
}

void TTelaPadrao::KeyDown(int& key, Qt::KeyboardModifiers shift)
{
    FormKeyDown(key, shift);
    ShiftPressionado = shift & Qt::ShiftModifier;
    CtrlPressionado = shift & Qt::ControlModifier;
}

void TTelaPadrao::AddClient(QWidget* widget, int stretch)
{
    layout_->insertWidget(layout_->indexOf(stbPadrao), widget, stretch);
}

bool TTelaPadrao::eventFilter(QObject* watched, QEvent* event)
{
    // A key press goes on to the window's ancestors and the window itself without any other event
    // in between; whatever comes next ends its journey.
    if (event != handledKey_ || event->type() != QEvent::KeyPress)
        handledKey_ = nullptr;
    if (event->type() == QEvent::KeyPress) {
        // A key reaches the focused control first and may then travel up to the window; the
        // window's handlers run once, at the first stop.
        const QWidget* focused = QApplication::focusWidget();
        const bool focusHere = focused && focused->window() == this;
        const bool firstStop = focusHere ? watched == focused : watched == this;
        if (firstStop && event != handledKey_) {
            QPointer<TTelaPadrao> guard(this);
            if (HandleKey(static_cast<QKeyEvent*>(event)))
                return true;
            if (!guard)
                return false;
            // A handler that asked a question has left the focus elsewhere, so the key's further
            // stops could look like a first one: the same key is not handled twice.
            handledKey_ = event;
        }
    }
    return TTelaOrigem::eventFilter(watched, event);
}

bool TTelaPadrao::HandleKey(QKeyEvent* event)
{
    int key = event->key();
    KeyDown(key, event->modifiers());
    if (key == 0)
        return true;
    QChar character = KeyCharacter(event);
    if (character.isNull())
        return false;
    FormKeyPress(character);
    return character.isNull();
}

void TTelaPadrao::showEvent(QShowEvent* event)
{
    TTelaOrigem::showEvent(event);
    if (event->spontaneous())
        return;
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    FormShow();
}

void TTelaPadrao::closeEvent(QCloseEvent* event)
{
    if (!isVisible()) {
        event->accept();
        return;
    }
    // The close box and close() leave a modal window with cancel.
    QPointer<TTelaPadrao> guard(this);
    done(mrCancel);
    if (guard && isVisible())
        event->ignore();
    else
        event->accept();
}

void TTelaPadrao::keyPressEvent(QKeyEvent* event)
{
    // Not QDialog's: Enter and Esc belong to the window's key handlers, not to a default button.
    QWidget::keyPressEvent(event);
}

// ---------------------------------------------------------------------------------------------

TTelaPrincipal::TTelaPrincipal(QWidget* owner) : TTelaPadrao(owner)
{
    setObjectName("TelaPrincipal");
    setWindowTitle("TelaPrincipal");
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    resize(470, 287);
    mnmMenu = new QMenuBar(this);
    mnmMenu->setObjectName("mnmMenu");
    FormLayout()->setMenuBar(mnmMenu);
    setWindowState(Qt::WindowMaximized);
}

TTelaPrincipal::~TTelaPrincipal()
{
    if (MainWindow() == this)
        MainWindow() = nullptr;
}

TTelaPrincipal* TTelaPrincipal::ApplicationMainWindow()
{
    return MainWindow();
}

void TTelaPrincipal::SetApplicationMainWindow(TTelaPrincipal* window)
{
    MainWindow() = window;
}

// ---------------------------------------------------------------------------------------------

TTelaDados::TTelaDados(QWidget* owner, bool ComTelaErros) : TTelaPadrao(owner)
{
    setObjectName("TelaDados");
    setWindowTitle("TelaDados");
    setWindowFlag(Qt::WindowMinimizeButtonHint, false);
    setFixedSize(460, 275);
    pnlDados = new QWidget(this);
    pnlDados->setObjectName("pnlDados");
    AddClient(pnlDados, 1);
    stbPadrao->SetPanels({300, 50});

    PossuiTelaErros = false;
    TelaErros = nullptr;
    if (ComTelaErros) {
        TelaErros = new TTelaErros(this, ErrorWindowPrinter(), ErrorWindowDialogs());
        TelaErros->Create();
        PossuiTelaErros = true;
    }
}

TTelaDados::~TTelaDados()
{
    FormDestroy();
}

void TTelaDados::SetServices(platform::RichTextPrinter* printer, platform::DialogService* dialogs)
{
    servicesPrinter = printer;
    servicesDialogs = dialogs;
}

void TTelaDados::SaiTela()
{
    done(mrAbort);
}

void TTelaDados::FormCreate()
{
    TTelaPadrao::FormCreate();
    NomeOriginal = objectName();
    EventoAnterior = FocusChangeHandler::Current();
    FocusChangeHandler::Install([window = QPointer<TTelaDados>(this)] {
        if (window)
            window->MudouControleAtivo();
    });
}

void TTelaDados::FormKeyPress(QChar& key)
{
    TTelaPadrao::FormKeyPress(key);
    if (key == QChar(27)) {
        key = QChar();
        close();
    }
}

void TTelaDados::FormDestroy()
{
    const QList<TTelaOrigem*> windows = WindowsByFocus();
    if (windows.size() > 1 && windows.at(1)->objectName() == NomeOriginal)
        FocusChangeHandler::Install(EventoAnterior);
    else
        FocusChangeHandler::Install({});
    if (PossuiTelaErros) {
        delete TelaErros;
        TelaErros = nullptr;
    }
}

void TTelaDados::MudouControleAtivo()
{
    QWidget* form = QApplication::activeWindow();
    if (!form)
        return;
    const QWidget* focused = form->focusWidget();
    const auto* standard = qobject_cast<TTelaPadrao*>(form);
    if (TStatusBar* bar = standard ? standard->stbPadrao : nullptr) {
        QString panel0;
        QString panel1;
        if (focused) {
            const QString hint = LongHint(focused->toolTip());
            const qsizetype parenthesis = hint.indexOf('(');
            if (parenthesis >= 0) {
                panel0 = hint.left(parenthesis);
                panel1 = hint.mid(parenthesis + 1, std::max<qsizetype>(hint.size() - parenthesis - 2, 0));
            } else {
                panel0 = hint;
            }
        }
        bar->SetPanelText(0, panel0);
        bar->SetPanelText(1, panel1);
    }
    for (QLabel* label : form->findChildren<QLabel*>()) {
        if (!label->buddy())
            continue;
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, label->buddy() == focused ? QColor(255, 0, 0) : QColor(0, 0, 0));
        label->setPalette(palette);
    }
}

} // namespace tarvolo::shell
