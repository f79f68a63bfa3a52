#include "TfrmKestanPreview.h"

#include "FindBar.h"
#include "FindController.h"
#include "PrintCommands.h"
#include "ThumbnailPanel.h"
#include "ViewerGlyphs.h"
#include "platform/DialogService.h"
#include "platform/NativeFileName.h"
#include "platform/RecentFiles.h"
#include "printing/TQRExportFilter.h"
#include "printing/TQRPrinter.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScopeGuard>
#include <QSpinBox>
#include <QStatusBar>
#include <QToolBar>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QValidator>

#include <algorithm>
#include <unistd.h>

namespace tarvolo::viewer {

namespace {

const char* const kNoReportCaption = "(Nenhum relatório aberto)";

void ProcessPendingEvents()
{
    QCoreApplication::processEvents();
}

bool IsEnterKey(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

bool IsPageKey(int key)
{
    return key == Qt::Key_Escape || key == Qt::Key_PageUp || key == Qt::Key_PageDown || key == Qt::Key_Home || key == Qt::Key_End;
}

// Limits what can be typed into a line edit to a length that may change. Unlike a maximum length it
// leaves setText alone, so the program can show a longer text than the user may type.
class TypingLengthValidator : public QValidator {
public:
    TypingLengthValidator(std::function<int()> limit, QObject* parent) : QValidator(parent), limit_(std::move(limit)) {}

    State validate(QString& input, int&) const override
    {
        return input.size() > limit_() ? Invalid : Acceptable;
    }

private:
    std::function<int()> limit_;
};

} // namespace

TfrmKestanPreview::TfrmKestanPreview(printing::TQRPrinter& printer, platform::PrinterDevice& applicationPrinter,
                                     platform::DialogService& dialogs, QWidget* parent)
    : QMainWindow(parent), ReportPrinter_(printer), dialogs_(dialogs)
{
    setWindowTitle(kNoReportCaption);
    setAcceptDrops(true);
    resize(652, 550);
    BuildToolBar();

    QRPreview1 = new preview::TQRPreview(this);
    QRPreview1->setObjectName("QRPreview1");
    QRPreview1->setAccessibleName("Relatório");
    // A click on the page gives it the keys that scroll; the window's page keys still come first.
    QRPreview1->setFocusPolicy(Qt::ClickFocus);
    setCentralWidget(QRPreview1);
    QRPreview1->OnTurnPage = [this](int step) { ReportingErrors([&] { step > 0 ? NextPageClick() : PrevPageClick(); }); };
    QRPreview1->OnPageAvailable = [this](QObject* sender, int page) { QRPreview1PageAvailable(sender, page); };
    QRPreview1->OnProgressUpdate = [this](QObject* sender, int progress) { QRPreview1ProgressUpdate(sender, progress); };
    QRPreview1->OnZoomChanged = [this](int zoom) {
        if (ZoomPanel)
            ZoomPanel->setText(QString("Zoom: %1%").arg(zoom));
    };

    ProgressPanel = new QLabel("0%");
    ProgressPanel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    ProgressPanel->setFixedWidth(40);
    PagePanel = new QLabel("Página");
    PagePanel->setMinimumWidth(50);
    statusBar()->addWidget(ProgressPanel);
    statusBar()->addWidget(PagePanel, 1);
    // The zoom in use, where the page's position is read.
    ZoomPanel = new QLabel;
    ZoomPanel->setObjectName("ZoomPanel");
    ZoomPanel->setAccessibleName("Zoom");
    statusBar()->addPermanentWidget(ZoomPanel);
    statusBar()->setSizeGripEnabled(false);

    work_ = std::make_shared<preview::WorkService>();
    QRPreview1->SetWorkService(work_);
    printCommands_ = new PrintCommands(ReportPrinter_, applicationPrinter, dialogs, this);
    connect(printCommands_, &PrintCommands::printingChanged, this, [this](bool printing) { ToolBar1->setEnabled(!printing); });
    setWindowState(Qt::WindowMaximized);
    QRPreview1->AttachPrinter(&ReportPrinter_);
    if (!ReportPrinter_.DocumentTitle.isEmpty())
        setWindowTitle(ReportPrinter_.DocumentTitle);
    LastShownProgress_ = 0;
    ZoomToWidth->setChecked(true);
    // Key preview: the window sees every key before the focused control.
    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);
    // Made after the key preview: their own keys (Esc in the find bar, arrows in the thumbnails)
    // stay theirs.
    CreateFindBar();
    CreateThumbnails();
    CreateCommandKeys();
}

namespace {

// The keys the window reads for a toolbar command, beyond any shortcut of its action.
struct CommandKeys {
    const char* action;
    const char* keys;
};
constexpr CommandKeys kWindowKeys[] = {
    {"ZoomFit", ""},          {"Zoom100", "Ctrl+0"},        {"ZoomToWidth", ""},
    {"FirstPage", "Home"},    {"PreviousPage", "Page Up"},  {"NextPage", "Page Down"},
    {"LastPage", "End"},      {"PrintSetup", ""},           {"Print", ""},
    {"SaveReport", "Ctrl+S"}, {"LoadReport", "Ctrl+O"},
};

} // namespace

void TfrmKestanPreview::CreateCommandKeys()
{
    LoadReport->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    SaveReport->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));

    PrintWithDialog = new QAction("Imprimir...", this);
    PrintWithDialog->setObjectName("PrintWithDialog");
    PrintWithDialog->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    connect(PrintWithDialog, &QAction::triggered, this, [this] { ReportingErrors([this] { PrintWithDialogClick(); }); });
    CloseWindow = new QAction("Fechar", this);
    CloseWindow->setObjectName("CloseWindow");
    CloseWindow->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_W), QKeySequence(Qt::CTRL | Qt::Key_Q)});
    connect(CloseWindow, &QAction::triggered, this, &TfrmKestanPreview::ExitClick);
    addActions({PrintWithDialog, CloseWindow});

    for (const CommandKeys& command : kWindowKeys) {
        auto* action = ToolBar1->findChild<QAction*>(command.action);
        if (!action)
            action = findChild<QAction*>(command.action);
        if (action && *command.keys)
            action->setToolTip(action->text() + " (" + command.keys + ")");
    }
    ExitButton->setToolTip("Fechar (Esc, Ctrl+W)");

    QRPreview1->OnContextMenu = [this](QMenu& menu) { AddCommandsTo(menu); };
}

void TfrmKestanPreview::AddCommandsTo(QMenu& menu)
{
    // Each entry runs the toolbar's own action, so that it is enabled when the button is.
    const auto add = [&](QAction* action, const QString& keys) {
        QAction* entry = menu.addAction(action->icon(), keys.isEmpty() ? action->text() : action->text() + '\t' + keys);
        entry->setObjectName(action->objectName());
        entry->setEnabled(action->isEnabled() && ToolBar1->isEnabled());
        connect(entry, &QAction::triggered, action, &QAction::trigger);
    };
    const auto keysOf = [](QAction* action) {
        for (const CommandKeys& command : kWindowKeys)
            if (action->objectName() == command.action)
                return QString(command.keys);
        return action->shortcut().toString(QKeySequence::NativeText);
    };
    for (QAction* action : {FirstPage, PreviousPage, NextPage, LastPage})
        add(action, keysOf(action));
    menu.addSeparator();
    for (QAction* action : {ZoomFit, Zoom100, ZoomToWidth})
        add(action, keysOf(action));
    menu.addSeparator();
    for (QAction* action : {findChild<QAction*>("Find"), thumbnailDock_->toggleViewAction()})
        add(action, action->shortcut().toString(QKeySequence::NativeText));
    menu.addSeparator();
    add(PrintSetup, {});
    add(Print, {});
    add(PrintWithDialog, PrintWithDialog->shortcut().toString(QKeySequence::NativeText));
    add(SaveReport, keysOf(SaveReport));
    add(LoadReport, keysOf(LoadReport));
    menu.addSeparator();
    QAction* fullScreen = menu.addAction(isFullScreen() ? "Sair da tela cheia\tF11" : "Tela cheia\tF11");
    fullScreen->setObjectName("FullScreen");
    connect(fullScreen, &QAction::triggered, this, &TfrmKestanPreview::ToggleFullScreen);
    add(CloseWindow, "Ctrl+W");
}

// Leaving full screen brings the window back as it was, maximized or not.
void TfrmKestanPreview::ToggleFullScreen()
{
    setWindowState(windowState() ^ Qt::WindowFullScreen);
}

void TfrmKestanPreview::PrintWithDialogClick()
{
    if (printCommands_->Printing() || !ToolBar1->isEnabled())
        return;
    if (printCommands_->PrintSetup())
        PrintClick();
}

void TfrmKestanPreview::CreateFindBar()
{
    auto* bar = new FindBar;
    auto* toolBar = new QToolBar("Procurar", this);
    toolBar->setObjectName("FindToolBar");
    toolBar->setMovable(false);
    toolBar->addWidget(bar);
    toolBar->hide();
    addToolBar(Qt::BottomToolBarArea, toolBar);
    auto* progress = new QLabel;
    progress->setObjectName("FindProgress");
    statusBar()->addPermanentWidget(progress);
    find_ = new FindController(bar, toolBar, progress, QRPreview1, this);
    find_->SetWorkService(work_);
    connect(find_, &FindController::pageWanted, this, [this](int page) { ReportingErrors([&] { GoToPage(page); }); });

    auto* find = new QAction("Procurar", this);
    find->setObjectName("Find");
    find->setShortcut(QKeySequence::Find);
    addAction(find);
    connect(find, &QAction::triggered, this, &TfrmKestanPreview::ShowFindBar);
}

void TfrmKestanPreview::CreateThumbnails()
{
    thumbnails_ = new ThumbnailPanel;
    thumbnails_->SetWorkService(work_);
    thumbnailDock_ = new QDockWidget("Miniaturas", this);
    thumbnailDock_->setObjectName("ThumbnailDock");
    thumbnailDock_->setWidget(thumbnails_);
    thumbnailDock_->setFeatures(QDockWidget::DockWidgetClosable);
    addDockWidget(Qt::LeftDockWidgetArea, thumbnailDock_);
    thumbnailDock_->hide();
    QAction* toggle = thumbnailDock_->toggleViewAction();
    toggle->setShortcut(Qt::Key_F9);
    addAction(toggle);
    connect(thumbnails_, &ThumbnailPanel::pageChosen, this, [this](int page) { ReportingErrors([&] { GoToPage(page); }); });
}

void TfrmKestanPreview::GoToPage(int page)
{
    QRPreview1->SetPageNumber(page);
    ShowPagePosition();
}

void TfrmKestanPreview::ShowFindBar()
{
    find_->Show();
}

FindBar* TfrmKestanPreview::FindText() const
{
    return find_->Bar();
}

TextSearch* TfrmKestanPreview::Search() const
{
    return find_->Search();
}

void TfrmKestanPreview::CancelBackgroundWork()
{
    find_->SetReport(nullptr);
    thumbnails_->SetReport(0, {});
    QRPreview1->PageView()->Tiles()->DropQueued();
}

TfrmKestanPreview::~TfrmKestanPreview()
{
    // Child widgets outlive this part of the window; their signals, and the focus changes their
    // deletion causes, must not reach it.
    qApp->disconnect(this);
    for (QObject* sender : std::initializer_list<QObject*>{PaginaSelecionada, find_, thumbnails_, printCommands_})
        sender->disconnect(this);
    CancelBackgroundWork();
    PaginaSelecionada->setValidator(nullptr);
    QRPreview1->AttachPrinter(nullptr);
}

void TfrmKestanPreview::BuildToolBar()
{
    ToolBar1 = addToolBar("ToolBar1");
    ToolBar1->setObjectName("ToolBar1");
    ToolBar1->setMovable(false);
    ToolBar1->setIconSize(QSize(16, 16));

    auto button = [this](const char* name, const QString& hint, int glyph, void (TfrmKestanPreview::*handler)()) {
        QAction* action = ToolBar1->addAction(ViewerGlyphs::Glyph(glyph), hint);
        action->setObjectName(name);
        action->setToolTip(hint);
        connect(action, &QAction::triggered, this, [this, handler] {
            // A key may reach a command whose button is off while a print runs.
            if (ToolBar1->isEnabled())
                ReportingErrors([this, handler] { (this->*handler)(); });
        });
        return action;
    };

    Label1 = new QLabel(" Pá&gina: ", this);
    Label1->setVisible(false);
    ToolBar1->addSeparator()->setObjectName("ToolButton3");
    ZoomFit = button("ZoomFit", "Zoom - Tamanho da página", 0, &TfrmKestanPreview::ZoomToFitClick);
    Zoom100 = button("Zoom100", "Zoom - 100%", 1, &TfrmKestanPreview::ZoomTo100Click);
    ZoomToWidth = button("ZoomToWidth", "Zoom - Largura da página", 2, &TfrmKestanPreview::ZoomToWidthClick);
    auto* zoomGroup = new QActionGroup(this);
    for (QAction* zoom : {ZoomFit, Zoom100, ZoomToWidth}) {
        zoom->setCheckable(true);
        zoomGroup->addAction(zoom);
    }
    ToolBar1->addSeparator();
    FirstPage = button("FirstPage", "Primeira página", 3, &TfrmKestanPreview::FirstPageClick);
    PreviousPage = button("PreviousPage", "Página anterior", 4, &TfrmKestanPreview::PrevPageClick);

    PaginaSelecionada = new QLineEdit("1");
    PaginaSelecionada->setObjectName("PaginaSelecionada");
    PaginaSelecionada->setFixedWidth(60);
    PaginaSelecionada->setValidator(new TypingLengthValidator([this] { return PageBoxTypingLimit(); }, PaginaSelecionada));
    PaginaSelecionada->setToolTip("posiciona na página selecionada.");
    PaginaSelecionada->setEnabled(false);
    Label1->setBuddy(PaginaSelecionada);
    ToolBar1->addWidget(PaginaSelecionada);
    connect(PaginaSelecionada, &QLineEdit::editingFinished, this, [this] {
        if (!PaginaSelecionada->hasFocus())
            ReportingErrors([this] { PaginaSelecionadaExit(); });
    });

    UpDown = new QSpinBox(this);
    UpDown->setObjectName("UpDown");
    UpDown->setRange(1, 9999);
    UpDown->setValue(1);
    UpDown->setVisible(false);
    UpDown->setEnabled(false);

    NextPage = button("NextPage", "Próxima Página", 5, &TfrmKestanPreview::NextPageClick);
    LastPage = button("LastPage", "Última página", 6, &TfrmKestanPreview::LastPageClick);
    ToolBar1->addSeparator();
    PrintSetup = button("PrintSetup", "Configuração de Impressão", 7, &TfrmKestanPreview::PrintSetupClick);
    Print = button("Print", "Imprimir", 8, &TfrmKestanPreview::PrintClick);
    ToolBar1->addSeparator();
    SaveReport = button("SaveReport", "Salvar Relatório", 10, &TfrmKestanPreview::SaveClick);
    LoadReport = button("LoadReport", "Carregar Relatório", 9, &TfrmKestanPreview::LoadClick);
    ToolBar1->addSeparator();
    ExitButton = new QPushButton("&Fechar");
    ExitButton->setObjectName("ExitButton");
    ExitButton->setFocusPolicy(Qt::NoFocus);
    ExitButton->setFixedSize(52, 22);
    connect(ExitButton, &QPushButton::clicked, this, &TfrmKestanPreview::ExitClick);
    ToolBar1->addWidget(ExitButton);

    // Screen readers name every control.
    for (QAction* action : ToolBar1->actions())
        if (QWidget* tool = qobject_cast<QToolButton*>(ToolBar1->widgetForAction(action)))
            tool->setAccessibleName(action->text());
    // The buttons take the focus only after F10 and give it up as it leaves the toolbar, so that
    // the window's keys reach it as before.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (!now || !ToolBar1->isAncestorOf(now))
            SetToolBarFocusable(false);
    });
    PaginaSelecionada->setAccessibleName("Página");
    PaginaSelecionada->setAccessibleDescription(PaginaSelecionada->toolTip());
    UpDown->setAccessibleName("Página");
    ExitButton->setAccessibleName("Fechar");
}

void TfrmKestanPreview::OpenReportFile(const QString& fileName)
{
    // A name that is not UTF-8 shows its odd bytes as replacement characters.
    setWindowTitle(QString::fromUtf8(platform::NativeFileName(QFileInfo(fileName).fileName())));
    printCommands_->ResetSettings();
    // The old report's work stops before it goes.
    CancelBackgroundWork();
    ReportPrinter_.ReadReportFile(platform::NativeFileName(fileName).toStdString());
    platform::RecentFiles::NoteOpened(fileName);
    const std::shared_ptr<printing::PageSource> pages = ReportPrinter_.SharedPages();
    find_->SetReport(pages);
    thumbnails_->SetReport(pages->PageTotal(), [pages](int n) { return pages->FetchPage(n); });
    ReapplyZoomButton();
    QRPreview1->SetPageNumber(1);
    QRPreview1->ReloadShownPage();
    ShowPagePosition();
    for (QAction* action : {PrintSetup, Print, ZoomFit, Zoom100, ZoomToWidth})
        action->setEnabled(true);
    const int total = ReportPrinter_.PageTotal();
    for (QAction* action : {FirstPage, PreviousPage, NextPage, LastPage})
        action->setEnabled(total > 1);
    if (total != 0) {
        PaginaSelecionada->setEnabled(true);
        UpDown->setEnabled(true);
        UpDown->setRange(1, std::min(total, 32767));
    } else {
        UpDown->setRange(0, 0);
        PaginaSelecionada->setEnabled(false);
        UpDown->setEnabled(false);
    }
    SaveReport->setEnabled(true);
    // The keys read the report from the start: Space and the arrows scroll the page.
    QRPreview1->setFocus(Qt::OtherFocusReason);
}

void TfrmKestanPreview::ApplyPrintSettings()
{
    printCommands_->ApplySettings();
}

// --- File and print commands ------------------------------------------------------------------

void TfrmKestanPreview::SaveClick()
{
    printCommands_->Save();
}

void TfrmKestanPreview::LoadClick()
{
    const QString type = printing::kReportFileText;
    const std::optional<platform::FileDialogAnswer> answer =
        dialogs_.GetOpenFileName(this, {"Carregar Relatório", type + " (*." + "QRP" + ")|*." + "QRP", QString()});
    if (answer)
        LoadReportFile(answer->fileName);
}

void TfrmKestanPreview::SetToolBarFocusable(bool focusable)
{
    for (QToolButton* tool : ToolBar1->findChildren<QToolButton*>())
        tool->setFocusPolicy(focusable ? Qt::TabFocus : Qt::NoFocus);
}

void TfrmKestanPreview::FocusToolBar()
{
    SetToolBarFocusable(true);
    for (QAction* action : ToolBar1->actions())
        if (QWidget* tool = ToolBar1->widgetForAction(action); tool && tool->isEnabled() && tool->isVisible() && tool->focusPolicy() != Qt::NoFocus) {
            tool->setFocus(Qt::ShortcutFocusReason);
            return;
        }
}

void TfrmKestanPreview::LoadReportFile(const QString& fileName)
{
    if (::access(platform::NativeFileName(fileName).constData(), F_OK) == 0)
        OpenReportFile(fileName);
    else
        dialogs_.ShowMessage(this, QCoreApplication::applicationName(), "O relatório não foi encontrado!", platform::DialogService::Icon::None);
}

namespace {

// The one report file a drag carries, or nothing.
QString DroppedReport(const QMimeData* data)
{
    if (!data || !data->hasUrls() || data->urls().size() != 1)
        return QString();
    const QUrl url = data->urls().front();
    if (!url.isLocalFile())
        return QString();
    // The path's bytes as the file system holds them, also where they are not UTF-8.
    const QString file = platform::FileNameFromNative(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
    return file.endsWith(".qrp", Qt::CaseInsensitive) ? file : QString();
}

} // namespace

void TfrmKestanPreview::dragEnterEvent(QDragEnterEvent* event)
{
    if (!printCommands_->Printing() && !DroppedReport(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void TfrmKestanPreview::dropEvent(QDropEvent* event)
{
    const QString file = DroppedReport(event->mimeData());
    if (printCommands_->Printing() || file.isEmpty())
        return;
    event->acceptProposedAction();
    ReportingErrors([&] { LoadReportFile(file); });
}

void TfrmKestanPreview::PrintSetupClick()
{
    printCommands_->PrintSetup();
}

void TfrmKestanPreview::PrintClick()
{
    closeAfterPrint_ = false;
    const auto closeIfAsked = qScopeGuard([this] {
        // The window was closed while the print ran: it goes once the print is dropped.
        if (closeAfterPrint_)
            QTimer::singleShot(0, this, &QWidget::close);
    });
    printCommands_->Print(windowTitle(), QRPreview1->PageNumber());
}

void TfrmKestanPreview::ReapplyZoomButton()
{
    if (ZoomFit->isChecked())
        ZoomToFitClick();
    else if (Zoom100->isChecked())
        ZoomTo100Click();
    else
        ZoomToWidthClick();
}

void TfrmKestanPreview::ZoomToFitClick()
{
    ProcessPendingEvents();
    QRPreview1->FitPageToWindow();
    QRPreview1->ApplyZoom();
}

void TfrmKestanPreview::ZoomTo100Click()
{
    ProcessPendingEvents();
    QRPreview1->SetZoom(100);
    QRPreview1->ApplyZoom();
}

void TfrmKestanPreview::ZoomToWidthClick()
{
    ProcessPendingEvents();
    QRPreview1->FitPageWidth();
    QRPreview1->ApplyZoom();
}

void TfrmKestanPreview::FirstPageClick()
{
    QRPreview1->SetPageNumber(1);
    ShowPagePosition();
}

void TfrmKestanPreview::PrevPageClick()
{
    QRPreview1->SetPageNumber(QRPreview1->PageNumber() - 1);
    ShowPagePosition();
}

void TfrmKestanPreview::NextPageClick()
{
    QRPreview1->SetPageNumber(QRPreview1->PageNumber() + 1);
    ShowPagePosition();
}

void TfrmKestanPreview::LastPageClick()
{
    QRPreview1->SetPageNumber(ReportPrinter_.PageTotal());
    ShowPagePosition();
}

void TfrmKestanPreview::ExitClick()
{
    close();
}

void TfrmKestanPreview::ShowPagePosition()
{
    PagePanel->setText(QString("Página %1 de %2").arg(QRPreview1->PageNumber()).arg(ReportPrinter_.PageTotal()));
    PaginaSelecionada->setText(QString::number(QRPreview1->PageNumber()));
    if (thumbnails_)
        thumbnails_->SetCurrentPage(QRPreview1->PageNumber());
    if (find_ && find_->Active())
        find_->ShowMatches();
}

int TfrmKestanPreview::TypedPage() const
{
    bool ok = false;
    const int n = PaginaSelecionada->text().toInt(&ok);
    return ok ? n : 0;
}

void TfrmKestanPreview::SelectPageBoxText()
{
    PaginaSelecionada->setFocus();
    PaginaSelecionada->selectAll();
}

int TfrmKestanPreview::PageBoxTypingLimit() const
{
    return std::max<int>(4, QString::number(ReportPrinter_.PageTotal()).size());
}

void TfrmKestanPreview::GoToTypedPage()
{
    ProcessPendingEvents();
    const int n = TypedPage();
    if (n != QRPreview1->PageNumber()) {
        try {
            QRPreview1->SetPageNumber(n);
        } catch (...) {
            // The box goes back to the page on screen, so that leaving it does not try (and report)
            // the same page again.
            ShowPagePosition();
            throw;
        }
    }
    ShowPagePosition();
}

bool TfrmKestanPreview::PaginaSelecionadaKeyDown(int key)
{
    if (!IsEnterKey(key))
        return false;
    // The text is selected also when the page fails to load.
    const auto selectText = qScopeGuard([this] { PaginaSelecionada->selectAll(); });
    if (TypedPage() > ReportPrinter_.PageTotal()) {
        PaginaSelecionada->setText(QString::number(QRPreview1->PageNumber()));
        dialogs_.ShowMessage(this, "Seleção de página",
                             QString("Informe um número de página entre 1 e %1.").arg(ReportPrinter_.PageTotal()),
                             platform::DialogService::Icon::Information);
    } else {
        GoToTypedPage();
    }
    return true;
}

void TfrmKestanPreview::PaginaSelecionadaExit()
{
    GoToTypedPage();
}

bool TfrmKestanPreview::UpDownChanging(int)
{
    if (TypedPage() > ReportPrinter_.PageTotal())
        return false;
    GoToTypedPage();
    return true;
}

void TfrmKestanPreview::QRPreview1PageAvailable(QObject*, int)
{
    ShowPagePosition();
    if (ReportPrinter_.State() == printing::PrinterState::Finished) {
        PrintSetup->setEnabled(true);
        Print->setEnabled(true);
    }
}

void TfrmKestanPreview::QRPreview1ProgressUpdate(QObject*, int progress)
{
    if (progress >= LastShownProgress_ + 5) {
        ProgressPanel->setText(QString("%1%").arg(progress));
        LastShownProgress_ = progress;
    }
    if (progress == 0 || progress == 100)
        ProgressPanel->clear();
}

void TfrmKestanPreview::FormKeyDown(QKeyEvent* event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    const bool onlyCtrl = modifiers == Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_Escape:
        // Full screen is left first, as in other viewers; otherwise Esc closes.
        isFullScreen() ? ToggleFullScreen() : ExitClick();
        break;
    case Qt::Key_PageUp: onlyCtrl ? FirstPageClick() : PrevPageClick(); break;
    case Qt::Key_PageDown: onlyCtrl ? LastPageClick() : NextPageClick(); break;
    case Qt::Key_Home: FirstPageClick(); break;
    case Qt::Key_End: LastPageClick(); break;
    case Qt::Key_Plus:
    case Qt::Key_Equal: // the plus key without Shift
        if (onlyCtrl || modifiers == (Qt::ControlModifier | Qt::ShiftModifier))
            QRPreview1->ZoomAboutCentre(preview::TQRPreview::ZoomStep(QRPreview1->Zoom(), 1));
        break;
    case Qt::Key_Minus:
        if (onlyCtrl)
            QRPreview1->ZoomAboutCentre(preview::TQRPreview::ZoomStep(QRPreview1->Zoom(), -1));
        break;
    case Qt::Key_0:
        if (onlyCtrl)
            QRPreview1->ZoomAboutCentre(100);
        break;
    case Qt::Key_F10: FocusToolBar(); break;
    case Qt::Key_F11: ToggleFullScreen(); break;
    case Qt::Key_Up:
    case Qt::Key_Down:
        // The page commands run even while their buttons are disabled.
        if (PaginaSelecionada->hasFocus()) {
            const auto backToBox = qScopeGuard([this] { SelectPageBoxText(); });
            event->key() == Qt::Key_Up ? NextPageClick() : PrevPageClick();
        }
        break;
    default: break;
    }
}

bool TfrmKestanPreview::eventFilter(QObject* watched, QEvent* event)
{
    // Entering the page box selects its number, so that typing replaces it; after the click that
    // placed the cursor, hence on the next turn of the event loop.
    if (watched == PaginaSelecionada && event->type() == QEvent::FocusIn)
        QTimer::singleShot(0, PaginaSelecionada, [box = PaginaSelecionada] {
            if (box->hasFocus())
                box->selectAll();
        });
    if (event->type() == QEvent::KeyPress) {
        // A key reaches the focused control first and may then travel up to the window; the
        // window's handler runs once, at the first stop.
        QWidget* focus = QApplication::focusWidget();
        const bool firstStop = watched == focus || (watched == this && (!focus || !isAncestorOf(focus)));
        if (firstStop) {
            auto* key = static_cast<QKeyEvent*>(event);
            // Enter in the page box is consumed even when the page it names fails to load.
            const bool pageBoxEnter = watched == PaginaSelecionada && IsEnterKey(key->key());
            ReportingErrors([&] {
                FormKeyDown(key);
                if (watched == PaginaSelecionada)
                    PaginaSelecionadaKeyDown(key->key());
            });
            if (pageBoxEnter)
                return true;
            // The page keys are the window's: the preview does not also scroll with them.
            if (watched == QRPreview1 && IsPageKey(key->key()))
                return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TfrmKestanPreview::ReportingErrors(const std::function<void()>& command)
{
    try {
        command();
    } catch (const std::exception& error) {
        platform::ShowStandardError(dialogs_, this, error);
    }
}

void TfrmKestanPreview::closeEvent(QCloseEvent* event)
{
    if (printCommands_->Printing()) {
        // Closing while a print runs cancels the print; the window closes at its end.
        printCommands_->CancelPrinting();
        closeAfterPrint_ = true;
        event->ignore();
        return;
    }
    // Nothing of the window reads the report once it is closed: its owner may release the
    // printer object next.
    CancelBackgroundWork();
    ReportPrinter_.NotifyPreviewClosed();
    event->accept();
}

void TfrmKestanPreview::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    QRPreview1->ApplyZoom();
}

} // namespace tarvolo::viewer
