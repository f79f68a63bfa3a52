#include "TfrmPrincipal.h"

#include "ShellArt.h"
#include "TdtmImagens.h"
#include "TfrmSobre.h"
#include "platform/AssociationStore.h"
#include "platform/DialogService.h"
#include "viewer/TfrmKestanPreview.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>
#include <QWindowStateChangeEvent>

namespace tarvolo::shell {

namespace {

const char* const kReportTypeDescription = "Tarvolo : Visualizador de Relatórios";
const int kLogoRightGap = 18;
const int kLogoBottomGap = 40;
// How long the bar waits for the window manager to frame it (long: a busy desktop is slow to), and
// how often it looks.
const int kFrameWaitMs = 30000;
const int kFrameLookMs = 20;

// The argument without the blanks and control characters around it.
QString TrimmedArgument(const QString& argument)
{
    qsizetype first = 0, last = argument.size();
    while (first < last && argument[first].unicode() <= 32)
        ++first;
    while (last > first && argument[last - 1].unicode() <= 32)
        --last;
    return argument.mid(first, last - first);
}

// Ends a local event loop when the window it watches is hidden, which is how a closed window goes.
// A minimized window is hidden too, by the window system: that hide is spontaneous and ends nothing.
class HideWatcher : public QObject {
public:
    explicit HideWatcher(QEventLoop& loop) : loop_(loop) {}
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Hide && !event->spontaneous())
            loop_.quit();
        return false;
    }

private:
    QEventLoop& loop_;
};

// Shows a window modally and waits until it closes.
void ShowModal(QWidget& window)
{
    window.setWindowModality(Qt::ApplicationModal);
    QEventLoop loop;
    HideWatcher watcher(loop);
    window.installEventFilter(&watcher);
    window.show();
    loop.exec();
    window.removeEventFilter(&watcher);
}

} // namespace

TfrmPrincipal::TfrmPrincipal(ShellServices& services, QStringList arguments, QWidget* owner)
    : TTelaPrincipal(owner), services_(services), FirstArgument_(arguments.size() > 1 ? arguments.at(1) : QString())
{
    setObjectName("frmPrincipal");
    setWindowTitle("Kestan Tarvolo - Visualizador de Relatórios");
    setWindowFlags(Qt::Window | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowState(Qt::WindowNoState);
    resize(760, 595);
    FormLayout()->setContentsMargins(0, 0, 0, 0);
    FormLayout()->setSpacing(0);
    createActions();
    createMenus();
    createToolBar();

    Shape1 = new QFrame;
    Shape1->setObjectName("Shape1");
    Shape1->setFrameShape(QFrame::NoFrame);
    Shape1->setAutoFillBackground(true);
    Shape1->setBackgroundRole(QPalette::Window);
    Shape1->setMinimumHeight(1);
    AddClient(Shape1, 1);

    imgLogo = new QLabel(this);
    imgLogo->setObjectName("imgLogo");
    imgLogo->setPixmap(ShellArt::MainLogo(devicePixelRatio()));
    imgLogo->setAttribute(Qt::WA_TranslucentBackground);
    imgLogo->resize(237, 65);

    frameWatch_ = new QTimer(this);
    frameWatch_->setInterval(kFrameLookMs);
    connect(frameWatch_, &QTimer::timeout, this, &TfrmPrincipal::PlaceWhenFramed);
}

TfrmPrincipal::~TfrmPrincipal()
{
    if (TTelaPrincipal::ApplicationMainWindow() == this)
        TTelaPrincipal::SetApplicationMainWindow(nullptr);
}

void TfrmPrincipal::createActions()
{
    actEmissaoRels = new QAction("&Visualizar / Imprimir", this);
    actEmissaoRels->setObjectName("actEmissaoRels");
    connect(actEmissaoRels, &QAction::triggered, this, &TfrmPrincipal::actEmissaoRelsExecute);
    actSobre = new QAction("Sobre", this);
    actSobre->setObjectName("actSobre");
    connect(actSobre, &QAction::triggered, this, &TfrmPrincipal::actSobreExecute);
    actSistemaSair = new QAction("&Sair", this);
    actSistemaSair->setObjectName("actSistemaSair");
    connect(actSistemaSair, &QAction::triggered, this, &TfrmPrincipal::actSistemaSairExecute);
}

void TfrmPrincipal::createMenus()
{
    Relatrios1 = mnmMenu->addMenu("Relatórios");
    Relatrios1->setObjectName("Relatrios1");
    Relatrios1->addAction(actEmissaoRels);
    Ajuda1 = mnmMenu->addMenu("Ajuda");
    Ajuda1->setObjectName("Ajuda1");
    Ajuda1->addAction(actSobre);
}

void TfrmPrincipal::createToolBar()
{
    tbrPrincipal = new QToolBar;
    tbrPrincipal->setObjectName("tbrPrincipal");
    tbrPrincipal->setMovable(false);
    tbrPrincipal->setMinimumHeight(40);
    btnCadastroEmpresas = new QToolButton;
    btnCadastroEmpresas->setObjectName("btnCadastroEmpresas");
    btnCadastroEmpresas->setText("&Relatórios");
    btnCadastroEmpresas->setIcon(TdtmImagens::Instance().ButtonIcon(4));
    btnCadastroEmpresas->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    btnCadastroEmpresas->setAutoRaise(true);
    btnCadastroEmpresas->setMinimumSize(60, 36);
    connect(btnCadastroEmpresas, &QToolButton::clicked, this, &TfrmPrincipal::btnCadastroEmpresasClick);
    tbrPrincipal->addWidget(btnCadastroEmpresas);
    QWidget* ToolButton4 = new QWidget;
    ToolButton4->setObjectName("ToolButton4");
    ToolButton4->setFixedWidth(8);
    tbrPrincipal->addWidget(ToolButton4);
    AddClient(tbrPrincipal);
}

bool TfrmPrincipal::CommandLineMode() const
{
    return !TrimmedArgument(FirstArgument_).isEmpty();
}

void TfrmPrincipal::RequestTerminate(int status)
{
    terminateRequested_ = true;
    exitStatus_ = status;
}

// --- Creation ---------------------------------------------------------------------------------

void TfrmPrincipal::FormCreate()
{
    try {
        RegistrarExtensao(".qrp", "qrp", kReportTypeDescription, services_.executablePath, 0);
    } catch (const std::exception&) {
        services_.dialogs.ShowMessage(this, "ATENÇÃO!",
                                      "Você não tem permissão para modificar as configurações do registro.\n"
                                      "Comunique esse erro ao administrador do Sistema Operacional.",
                                      platform::DialogService::Icon::Error);
        RequestTerminate(1);
    }
    if (!CommandLineMode()) {
        TTelaPrincipal::FormCreate();
        return;
    }
    // The program is ending: a viewer opened now would close at once.
    if (terminateRequested_)
        return;
    try {
        AbrirTelaRelatorios();
    } catch (const std::exception& error) {
        // The main window comes up instead, without the standard set-up; closing it asks nothing.
        platform::ShowStandardError(services_.dialogs, this, error);
        return;
    }
    RequestTerminate(0);
    QCoreApplication::processEvents();
}

void TfrmPrincipal::RegistrarExtensao(const QString& extension, const QString& typeName, const QString& description,
                                      const QString& executable, int iconIndex)
{
    platform::RegisterFileType(services_.associations, extension, typeName, description, executable, iconIndex);
}

void TfrmPrincipal::AbrirTelaRelatorios()
{
    auto printer = std::make_unique<printing::TQRPrinter>(services_.applicationPrinter, services_.makePrinterDevice);
    auto viewer = std::make_unique<viewer::TfrmKestanPreview>(*printer, services_.applicationPrinter, services_.dialogs, this);
    viewer->setWindowFlag(Qt::Window);
    // The printer object goes first, then the viewer, also when opening the report fails.
    struct Release {
        std::unique_ptr<printing::TQRPrinter>& printer;
        std::unique_ptr<viewer::TfrmKestanPreview>& viewer;
        ~Release()
        {
            printer.reset();
            viewer.reset();
        }
    } release{printer, viewer};
    if (CommandLineMode())
        viewer->OpenReportFile(FirstArgument_);
    ShowModal(*viewer);
}

// --- Geometry ---------------------------------------------------------------------------------

QMargins TfrmPrincipal::FrameMargins() const
{
    const QWindow* handle = windowHandle();
    const QMargins frame = handle ? handle->frameMargins() : QMargins();
    // Until the window manager has put the window in its frame, the platform measures the window
    // against itself: no edge on the left or at the top, and whatever size the window system has
    // not yet taken up on the right and at the bottom. A frame has an edge on the left or at the top.
    const bool measured = frame.left() >= 0 && frame.top() >= 0 && frame.right() >= 0 && frame.bottom() >= 0;
    return measured && (frame.left() > 0 || frame.top() > 0) ? frame : QMargins();
}

void TfrmPrincipal::ApplyBarGeometry()
{
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen->availableGeometry();
    // The frame's outer edges go to the screen's: the client area lies inside the frame.
    const QMargins frame = FrameMargins();
    const int clientHeight = mnmMenu->sizeHint().height() + tbrPrincipal->sizeHint().height() + stbPadrao->sizeHint().height() + 1;
    setGeometry(area.left() + frame.left(), area.top() + frame.top(), area.width() - frame.left() - frame.right(), clientHeight);
}

void TfrmPrincipal::PlaceWhenFramed()
{
    if (!frameWatch_->isActive())
        return;
    // Without a window manager no frame ever comes, and the bar already lies where it belongs.
    const bool framed = !FrameMargins().isNull();
    if (framed || frameWait_.hasExpired(kFrameWaitMs))
        frameWatch_->stop();
    if (framed)
        ApplyBarGeometry();
}

void TfrmPrincipal::FormShow()
{
    TTelaPrincipal::FormShow();
    ApplyBarGeometry();
    // The window manager frames the window only once it is on the screen; the bar is placed
    // again then, with its frame's top-left corner at the screen's.
    frameWait_.start();
    frameWatch_->start();
    AjustePendente = true;
    // The bar counts as the maximized window until the user restores it from a real maximize.
    barMaximized_ = true;
    // The resize that follows showing the window takes up the pending adjustment.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (AjustePendente)
                FormResize();
        },
        Qt::QueuedConnection);
}

void TfrmPrincipal::FormResize()
{
    if (AjustePendente) {
        ApplyBarGeometry();
        AjustePendente = false;
        FormActivate();
        return;
    }
    imgLogo->setVisible(!Maximized() || frameGeometry().height() > 500);
}

void TfrmPrincipal::FormActivate()
{
    imgLogo->setVisible(frameGeometry().height() > 500);
}

void TfrmPrincipal::PlaceLogo()
{
    const QRect client = Shape1->geometry();
    imgLogo->move(client.right() + 1 - kLogoRightGap - imgLogo->width(), client.bottom() + 1 - kLogoBottomGap - imgLogo->height());
    imgLogo->raise();
}

void TfrmPrincipal::resizeEvent(QResizeEvent* event)
{
    TTelaPrincipal::resizeEvent(event);
    if (layout())
        layout()->activate();
    PlaceLogo();
    if (isVisible())
        FormResize();
}

bool TfrmPrincipal::Maximized() const
{
    return isMaximized() || barMaximized_;
}

void TfrmPrincipal::moveEvent(QMoveEvent* event)
{
    TTelaPrincipal::moveEvent(event);
    PlaceWhenFramed();
}

void TfrmPrincipal::changeEvent(QEvent* event)
{
    TTelaPrincipal::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange &&
        (static_cast<QWindowStateChangeEvent*>(event)->oldState() & Qt::WindowMaximized) && !isMaximized())
        barMaximized_ = false;
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
}

// --- Closing and keys -------------------------------------------------------------------------

void TfrmPrincipal::FormClose(TCloseAction& action)
{
    if (CommandLineMode() || services_.dialogs.AskYesNo(this, "Confirmação", "Deseja realmente sair?"))
        TTelaPrincipal::FormClose(action);
    else
        action = TCloseAction::None;
}

void TfrmPrincipal::FormKeyPress(QChar& key)
{
    TTelaPrincipal::FormKeyPress(key);
    if (key == QChar(27)) {
        // Taken here: the focused control does not get it, before or after the question.
        key = QChar();
        close();
    }
}

// --- Commands ---------------------------------------------------------------------------------

void TfrmPrincipal::btnCadastroEmpresasClick()
{
    AbrirTelaRelatorios();
}

void TfrmPrincipal::actEmissaoRelsExecute()
{
    AbrirTelaRelatorios();
}

void TfrmPrincipal::actSobreExecute()
{
    TfrmSobre about(this, true, services_.links);
    about.Create();
    about.exec();
}

void TfrmPrincipal::actSistemaSairExecute()
{
    close();
}

// --- The program ------------------------------------------------------------------------------

int RunTarvolo(ShellServices& services, const QStringList& arguments)
{
    QPointer<TfrmPrincipal> window = new TfrmPrincipal(services, arguments);
    window->Create();
    TTelaPrincipal::SetApplicationMainWindow(window);
    if (window->TerminateRequested()) {
        const int status = window->ExitStatus();
        delete window;
        return status;
    }
    window->show();
    const int status = QApplication::exec();
    delete window;
    return status;
}

} // namespace tarvolo::shell
