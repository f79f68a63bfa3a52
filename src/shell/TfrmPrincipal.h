#pragma once

#include "StandardWindows.h"
#include "printing/TQRPrinter.h"

#include <QElapsedTimer>
#include <QMargins>
#include <QStringList>

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QToolBar;
class QTimer;
class QToolButton;

namespace tarvolo::platform {
class AssociationStore;
class DesktopLinks;
class DialogService;
class PrinterDevice;
} // namespace tarvolo::platform

namespace tarvolo::shell {

// What the shell's windows ask of the operating system.
struct ShellServices {
    platform::DialogService& dialogs;
    platform::AssociationStore& associations;
    platform::PrinterDevice& applicationPrinter;
    printing::PrinterDeviceFactory makePrinterDevice;
    platform::DesktopLinks& links;
    QString executablePath; // recorded as the handler of report files
};

// The main window. With a report file as the first argument it opens the viewer on it at its
// creation and asks the application to end when the viewer closes; without one it is a bar across
// the top of the screen from which the user opens viewers and the About window.
class TfrmPrincipal : public TTelaPrincipal {
    Q_OBJECT

public:
    TfrmPrincipal(ShellServices& services, QStringList arguments, QWidget* owner = nullptr);
    ~TfrmPrincipal() override;

    // Whether the application was asked to end while the window was created; it is then never
    // shown. ExitStatus() is the program's status for that end.
    bool TerminateRequested() const { return terminateRequested_; }
    int ExitStatus() const { return exitStatus_; }

    void btnCadastroEmpresasClick();
    void actEmissaoRelsExecute();
    void actSobreExecute();
    void actSistemaSairExecute();
    void FormResize();
    void FormActivate();

    QToolBar* tbrPrincipal = nullptr;
    QToolButton* btnCadastroEmpresas = nullptr;
    QAction* actEmissaoRels = nullptr;
    QAction* actSobre = nullptr;
    QAction* actSistemaSair = nullptr;
    QMenu* Relatrios1 = nullptr;
    QMenu* Ajuda1 = nullptr;
    QFrame* Shape1 = nullptr;
    QLabel* imgLogo = nullptr;

protected:
    void FormCreate() override;
    void FormShow() override;
    void FormClose(TCloseAction& action) override;
    void FormKeyPress(QChar& key) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void createActions();
    void createMenus();
    void createToolBar();
    void RegistrarExtensao(const QString& extension, const QString& typeName, const QString& description, const QString& executable,
                           int iconIndex);
    void AbrirTelaRelatorios();
    // The window across the top of the screen, as tall as its menu, toolbar and status bar, its
    // frame included once the window manager has drawn one.
    void ApplyBarGeometry();
    QMargins FrameMargins() const;
    // While the window waits for its frame: places the bar again as soon as the frame is known.
    void PlaceWhenFramed();
    void PlaceLogo();
    bool CommandLineMode() const;
    // Shown as the bar, the window stands for a maximized one, as it is recorded on other desktops.
    bool Maximized() const;
    void RequestTerminate(int status);

    ShellServices& services_;
    QString FirstArgument_; // as the command line holds it, untrimmed
    bool AjustePendente = false;
    bool barMaximized_ = false;
    QTimer* frameWatch_ = nullptr;
    QElapsedTimer frameWait_;
    bool terminateRequested_ = false;
    int exitStatus_ = 0;
};

// The program: registers the file type, then runs the main window until the application ends.
int RunTarvolo(ShellServices& services, const QStringList& arguments);

} // namespace tarvolo::shell
