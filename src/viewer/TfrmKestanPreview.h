#pragma once

#include "TextSearch.h"
#include "preview/TQRPreview.h"

#include <QMainWindow>

#include <functional>
#include <memory>
#include <optional>

class QAction;
class QActionGroup;
class QDockWidget;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSpinBox;
class QToolBar;

namespace tarvolo::platform {
class DialogService;
class PrinterDevice;
} // namespace tarvolo::platform
namespace tarvolo::printing {
class TQRPrinter;
}

namespace tarvolo::viewer {

class FindBar;
class FindController;
class PrintCommands;
class ThumbnailPanel;

// The window in which the user reads one report: zoom, page and file commands in a toolbar, the
// preview over the rest, and a status bar with the progress and the page position. It works on a
// report printer object that its creator owns; print setup works on the application's printer.
class TfrmKestanPreview : public QMainWindow {
public:
    TfrmKestanPreview(printing::TQRPrinter& printer, platform::PrinterDevice& applicationPrinter, platform::DialogService& dialogs,
                      QWidget* parent = nullptr);
    ~TfrmKestanPreview() override;

    // Opens a report file in the window; an error of the load reaches the caller.
    void OpenReportFile(const QString& fileName);
    void ApplyPrintSettings();
    void ShowPagePosition();
    void GoToTypedPage();
    void ReapplyZoomButton();

    // Handlers, named after their component and event.
    void ZoomToFitClick();
    void ZoomTo100Click();
    void ZoomToWidthClick();
    void FirstPageClick();
    void PrevPageClick();
    void NextPageClick();
    void LastPageClick();
    void ExitClick();
    void PrintSetupClick();
    void PrintClick();
    // Ctrl+P: the print setup, then the print when the user confirms it.
    void PrintWithDialogClick();
    void SaveClick();
    void LoadClick();
    // Opens a report the user named (by the load dialog or by dropping it on the window).
    void LoadReportFile(const QString& fileName);
    void QRPreview1PageAvailable(QObject* sender, int pageNum);
    void QRPreview1ProgressUpdate(QObject* sender, int progress);
    void PaginaSelecionadaExit();
    bool PaginaSelecionadaKeyDown(int key);
    bool UpDownChanging(int value);

    preview::TQRPreview* QRPreview1 = nullptr;
    QToolBar* ToolBar1 = nullptr;
    QAction *ZoomFit = nullptr, *Zoom100 = nullptr, *ZoomToWidth = nullptr;
    QAction *FirstPage = nullptr, *PreviousPage = nullptr, *NextPage = nullptr, *LastPage = nullptr;
    QAction *PrintSetup = nullptr, *Print = nullptr, *SaveReport = nullptr, *LoadReport = nullptr;
    // Commands beyond the toolbar's, with the desktop's usual keys: Ctrl+P, Ctrl+W and Ctrl+Q.
    QAction *PrintWithDialog = nullptr, *CloseWindow = nullptr;
    QLineEdit* PaginaSelecionada = nullptr;
    QSpinBox* UpDown = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* ExitButton = nullptr;
    QLabel* ProgressPanel = nullptr;
    QLabel* PagePanel = nullptr;
    QLabel* ZoomPanel = nullptr;

    // Reading comfort beyond the report commands: a find bar (Ctrl+F) and page thumbnails (F9).
    FindBar* FindText() const;
    TextSearch* Search() const;
    QDockWidget* ThumbnailDock() const { return thumbnailDock_; }
    ThumbnailPanel* Thumbnails() const { return thumbnails_; }
    void ShowFindBar();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void BuildToolBar();
    // F10 moves the focus to the toolbar; Tab then goes from button to button.
    void FocusToolBar();
    void SetToolBarFocusable(bool focusable);
    void FormKeyDown(QKeyEvent* event);
    int TypedPage() const;
    void SelectPageBoxText();
    // How many characters may be typed into the page box: enough for every page of the report.
    int PageBoxTypingLimit() const;
    // Runs a command; an error it raises is shown as the application shows errors that reach its
    // event loop.
    void ReportingErrors(const std::function<void()>& command);

    void CreateFindBar();
    void CreateThumbnails();
    // The desktop's keys for the commands, tooltips that name them, and the page's right-click
    // menu listing every command with its key.
    void CreateCommandKeys();
    void AddCommandsTo(QMenu& menu);
    void ToggleFullScreen();
    void GoToPage(int page);
    // Stops what the window's workers do for the report (search, thumbnails, tiles), so that
    // nothing of the window reads it any more.
    void CancelBackgroundWork();

    printing::TQRPrinter& ReportPrinter_;
    platform::DialogService& dialogs_;
    int LastShownProgress_ = 0;
    bool closeAfterPrint_ = false;

    std::shared_ptr<preview::WorkService> work_; // one pool for the window's tiles, thumbnails and search
    PrintCommands* printCommands_ = nullptr;
    FindController* find_ = nullptr;
    QDockWidget* thumbnailDock_ = nullptr;
    ThumbnailPanel* thumbnails_ = nullptr;
};

} // namespace tarvolo::viewer
