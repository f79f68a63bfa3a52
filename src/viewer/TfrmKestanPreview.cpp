#include "TfrmKestanPreview.h"

#include "FindBar.h"
#include "ThumbnailPanel.h"
#include "ViewerGlyphs.h"
#include "platform/DialogService.h"
#include "printing/TQRExportFilter.h"
#include "printing/TQRPrintDialog.h"
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
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QScopeGuard>
#include <QSpinBox>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QValidator>

#include <algorithm>

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
    : QMainWindow(parent), ReportPrinter_(printer), applicationPrinter_(applicationPrinter), dialogs_(dialogs)
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

    ProgressPanel = new QLabel("0%");
    ProgressPanel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    ProgressPanel->setFixedWidth(40);
    PagePanel = new QLabel("Página");
    PagePanel->setMinimumWidth(50);
    statusBar()->addWidget(ProgressPanel);
    statusBar()->addWidget(PagePanel, 1);
    statusBar()->setSizeGripEnabled(false);

    PrintSettings_ = std::make_unique<printing::TQRReportPrinterSettings>();
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
}

void TfrmKestanPreview::CreateFindBar()
{
    findBar_ = new FindBar;
    findToolBar_ = new QToolBar("Procurar", this);
    findToolBar_->setObjectName("FindToolBar");
    findToolBar_->setMovable(false);
    findToolBar_->addWidget(findBar_);
    findToolBar_->hide();
    addToolBar(Qt::BottomToolBarArea, findToolBar_);
    findProgress_ = new QLabel;
    findProgress_->setObjectName("FindProgress");
    statusBar()->addPermanentWidget(findProgress_);
    search_ = new TextSearch(this);

    auto* find = new QAction("Procurar", this);
    find->setShortcut(QKeySequence::Find);
    addAction(find);
    connect(find, &QAction::triggered, this, &TfrmKestanPreview::ShowFindBar);
    connect(findBar_, &FindBar::findRequested, this, &TfrmKestanPreview::Find);
    connect(findBar_, &FindBar::cancelRequested, this, [this] {
        search_->Cancel();
        FindFinished(false);
        findBar_->SetStatus("Procura interrompida");
    });
    connect(findBar_, &FindBar::closed, this, &TfrmKestanPreview::CloseFindBar);
    connect(search_, &TextSearch::progress, this,
            [this](int done, int total) { findProgress_->setText(QString("Procurando: página %1 de %2").arg(done).arg(total)); });
    connect(search_, &TextSearch::found, this, &TfrmKestanPreview::Found);
    connect(search_, &TextSearch::finished, this, &TfrmKestanPreview::FindFinished);
}

void TfrmKestanPreview::CreateThumbnails()
{
    thumbnails_ = new ThumbnailPanel;
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
    findToolBar_->show();
    findBar_->Activate();
}

void TfrmKestanPreview::Find(const QString& needle, bool matchCase, bool wholeWords, bool backwards)
{
    const int total = ReportPrinter_.PageTotal();
    if (total == 0 || needle.isEmpty())
        return;
    const bool again = needle == needle_ && matchCase == matchCase_ && wholeWords == wholeWords_;
    needle_ = needle;
    matchCase_ = matchCase;
    wholeWords_ = wholeWords;
    const int page = QRPreview1->PageNumber();
    // Next and previous step past the match on screen.
    qsizetype at = -1;
    if (again && currentMatch_ && currentMatch_->page == page)
        at = backwards ? currentMatch_->start : currentMatch_->start + 1;
    findBar_->SetSearching(true);
    findBar_->SetStatus(QString());
    search_->Start(total, [this](int n) { return ReportPrinter_.FetchPage(n); }, needle, matchCase, wholeWords, page, backwards, at);
}

void TfrmKestanPreview::Found(const TextMatch& match)
{
    currentMatch_ = match;
    if (match.page != QRPreview1->PageNumber())
        GoToPage(match.page); // shows the matches
    else
        ShowMatches();
}

void TfrmKestanPreview::FindFinished(bool anyFound)
{
    findBar_->SetSearching(false);
    findProgress_->clear();
    if (!anyFound) {
        currentMatch_.reset();
        ShowMatches();
        findBar_->SetStatus("Não encontrado");
    }
}

void TfrmKestanPreview::CloseFindBar()
{
    search_->Cancel();
    findBar_->SetSearching(false);
    findProgress_->clear();
    needle_.clear();
    currentMatch_.reset();
    ShowMatches();
    findToolBar_->hide();
    QRPreview1->setFocus();
}

void TfrmKestanPreview::ShowMatches()
{
    preview::TQRPreviewImage* page = QRPreview1->PageView();
    preview::PageMarks marks;
    marks.selected = page->Marks().selected;
    if (!needle_.isEmpty() && page->HasPage()) {
        const emf::PageText& text = page->ShownPageText();
        const int number = QRPreview1->PageNumber();
        const std::vector<TextMatch> matches = TextSearch::MatchesOnPage(text.Text(), number, needle_, matchCase_, wholeWords_);
        const std::optional<TextMatch> current =
            currentMatch_ && currentMatch_->page == number ? currentMatch_ : std::optional<TextMatch>();
        const preview::PageMarks found = TextSearch::MarksFor(text, page->TextPageSize(), matches, current);
        marks.found = found.found;
        marks.current = found.current;
        findBar_->SetStatus(matches.size() == 1 ? QString("1 ocorrência nesta página")
                                                : QString("%1 ocorrências nesta página").arg(matches.size()));
    }
    page->SetMarks(marks);
    if (!marks.current.isEmpty()) {
        const QRectF share = marks.current.front();
        const QPointF centre = page->pos() + QPointF(share.center().x() * page->width(), share.center().y() * page->height());
        QRPreview1->ensureVisible(static_cast<int>(centre.x()), static_cast<int>(centre.y()), 100, 100);
    }
}

TfrmKestanPreview::~TfrmKestanPreview()
{
    // Child widgets outlive this part of the window; their signals, and the focus changes their
    // deletion causes, must not reach it.
    qApp->disconnect(this);
    for (QObject* sender : std::initializer_list<QObject*>{PaginaSelecionada, findBar_, search_, thumbnails_})
        sender->disconnect(this);
    search_->Cancel();
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
        connect(action, &QAction::triggered, this, [this, handler] { ReportingErrors([this, handler] { (this->*handler)(); }); });
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
    setWindowTitle(QFileInfo(fileName).fileName());
    PrintSettings_ = std::make_unique<printing::TQRReportPrinterSettings>();
    ApplyPrintSettings();
    // Nothing may read the old report while it goes: the search first, then the thumbnails.
    search_->Cancel();
    search_->ForgetPages();
    currentMatch_.reset();
    thumbnails_->SetReport(0, {});
    ReportPrinter_.ReadReportFile(fileName.toStdString());
    thumbnails_->SetReport(ReportPrinter_.PageTotal(), [this](int n) { return ReportPrinter_.FetchPage(n); });
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
}

void TfrmKestanPreview::ApplyPrintSettings()
{
    ReportPrinter_.SelectPrinter(PrintSettings_->SelectedPrinter);
    ReportPrinter_.FirstPage = PrintSettings_->FirstPage;
    ReportPrinter_.LastPage = PrintSettings_->LastPage;
    ReportPrinter_.SetCopies(PrintSettings_->Copies);
    ReportPrinter_.SetOrientation(PrintSettings_->Orientation);
    ReportPrinter_.DocumentTitle = PrintSettings_->DocumentTitle;
}

// --- File and print commands ------------------------------------------------------------------

void TfrmKestanPreview::SaveClick()
{
    const std::optional<platform::FileDialogAnswer> answer =
        dialogs_.GetSaveFileName(this, {"Salvar Relatório", printing::ExportFilters().SaveDialogFilter(), "QRP"});
    if (!answer)
        return;
    if (answer->filterIndex <= 1) {
        ReportPrinter_.WriteReportFile(answer->fileName.toStdString());
        return;
    }
    const auto& entries = printing::ExportFilters().FilterEntries;
    const auto entry = static_cast<std::size_t>(answer->filterIndex - 2);
    if (entry >= entries.size())
        return;
    const std::unique_ptr<QObject> filter = entries[entry].FilterClass(answer->fileName);
    ReportPrinter_.ExportReport(filter.get());
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
    if (QFileInfo::exists(fileName))
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
    return url.isLocalFile() && url.toLocalFile().endsWith(".qrp", Qt::CaseInsensitive) ? url.toLocalFile() : QString();
}

} // namespace

void TfrmKestanPreview::dragEnterEvent(QDragEnterEvent* event)
{
    if (!printing_ && !DroppedReport(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void TfrmKestanPreview::dropEvent(QDropEvent* event)
{
    const QString file = DroppedReport(event->mimeData());
    if (printing_ || file.isEmpty())
        return;
    event->acceptProposedAction();
    ReportingErrors([&] { LoadReportFile(file); });
}

void TfrmKestanPreview::PrintSetupClick()
{
    try {
        RunPrintSetup();
    } catch (const std::exception&) {
        dialogs_.ShowMessage(this, "Error", "Não foi possível configurar a impressora.", platform::DialogService::Icon::Error);
    }
}

bool TfrmKestanPreview::RunPrintSetup()
{
    printing::TQRPrintDialog dialog(applicationPrinter_, dialogs_, this);
    printing::TPrinterSettings::ReloadDeviceDefaults(applicationPrinter_);
    applicationPrinter_.SetPrinterIndex(PrintSettings_->SelectedPrinter);
    dialog.Options = {printing::TPrintDialogOption::poPageNums, printing::TPrintDialogOption::poWarning};
    platform::DeviceMode mode = applicationPrinter_.GetDeviceMode();
    mode.dmFields |= platform::DM_ORIENTATION;
    mode.dmOrientation = PrintSettings_->Orientation == printing::TPrinterOrientation::poLandscape ? platform::DMORIENT_LANDSCAPE
                                                                                                 : platform::DMORIENT_PORTRAIT;
    applicationPrinter_.SetDevice(applicationPrinter_.Names(), mode);
    dialog.SetCopies(PrintSettings_->Copies);
    dialog.MinPage = 0;
    dialog.MaxPage = 9999;
    if (ReportPrinter_.State() == printing::PrinterState::Finished) {
        dialog.MinPage = 1;
        dialog.MaxPage = ReportPrinter_.PageTotal();
        dialog.FromPage = 1;
        dialog.ToPage = ReportPrinter_.PageTotal();
    }
    if (!dialog.RunDialog())
        return false;
    PrintSettings_->SelectedPrinter = applicationPrinter_.PrinterIndex();
    PrintSettings_->Copies = dialog.Copies();
    PrintSettings_->Orientation = applicationPrinter_.GetDeviceMode().dmOrientation == platform::DMORIENT_LANDSCAPE
                                      ? printing::TPrinterOrientation::poLandscape
                                      : printing::TPrinterOrientation::poPortrait;
    PrintSettings_->DocumentTitle = applicationPrinter_.Title();
    if (dialog.PrintRange == printing::TPrintRange::prPageNums) {
        PrintSettings_->FirstPage = dialog.FromPage;
        PrintSettings_->LastPage = dialog.ToPage;
    } else {
        PrintSettings_->FirstPage = 0;
        PrintSettings_->LastPage = 0;
    }
    ApplyPrintSettings();
    return true;
}

void TfrmKestanPreview::PrintClick()
{
    // A job with no title of its own carries the report's name into the print queue.
    const QString title = ReportPrinter_.DocumentTitle;
    if (title.isEmpty() && ReportPrinter_.State() == printing::PrinterState::Finished)
        ReportPrinter_.DocumentTitle = windowTitle();
    // A cancel belongs to the print it was asked for, not to the next one.
    ReportPrinter_.CancelRequested = false;

    QProgressDialog progress(this);
    progress.setObjectName("PrintProgress");
    progress.setWindowTitle(windowTitle());
    progress.setCancelButtonText("Cancelar");
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    progress.setAutoReset(false);
    connect(&progress, &QProgressDialog::canceled, this, [this] { ReportPrinter_.RequestCancel(); });
    ReportPrinter_.PrintProgress = [&progress](int done, int count) {
        progress.setMaximum(count);
        progress.setLabelText(QString("Imprimindo página %1 de %2").arg(done).arg(count));
        progress.setValue(done - 1);
    };
    // Other commands wait for the print: the pages must not change under it.
    ToolBar1->setEnabled(false);
    printing_ = true;
    const auto restore = qScopeGuard([&] {
        ReportPrinter_.PrintProgress = nullptr;
        ReportPrinter_.DocumentTitle = title;
        printing_ = false;
        ToolBar1->setEnabled(true);
    });
    ReportPrinter_.PrintReport();
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
    if (!needle_.isEmpty())
        ShowMatches();
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
    case Qt::Key_Escape: ExitClick(); break;
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
    case Qt::Key_F11: isFullScreen() ? showNormal() : showFullScreen(); break;
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
    if (printing_) {
        // Closing while a print runs cancels the print; the window stays for its end.
        ReportPrinter_.RequestCancel();
        event->ignore();
        return;
    }
    ReportPrinter_.NotifyPreviewClosed();
    event->accept();
}

void TfrmKestanPreview::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    QRPreview1->ApplyZoom();
}

} // namespace tarvolo::viewer
