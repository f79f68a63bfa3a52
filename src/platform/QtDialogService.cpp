#include "QtDialogService.h"

#include "DevNames.h"
#include "QtDeviceMode.h"

#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPageRanges>
#include <QPrintDialog>
#include <QPrintEngine>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRadioButton>
#include <QScreen>

#include <algorithm>
#include <utility>

namespace tarvolo::platform {

void QtDialogService::ShowMessage(QWidget* parent, const QString& title, const QString& text, Icon icon)
{
    const QMessageBox::Icon qtIcon = icon == Icon::None          ? QMessageBox::NoIcon
                                     : icon == Icon::Information ? QMessageBox::Information
                                     : icon == Icon::Warning   ? QMessageBox::Warning
                                                               : QMessageBox::Critical;
    QMessageBox box(qtIcon, title, text, QMessageBox::Ok, parent);
    box.exec();
}

bool QtDialogService::AskYesNo(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    return box.exec() == QMessageBox::Yes;
}

namespace {

// Moves a dialog to DialogPlacement the first time it is shown, and then says that it is on screen.
// prepare runs just before: a dialog that sets up its widgets as it is shown has done so then.
class DialogPlacer : public QObject {
public:
    DialogPlacer(QWidget* dialog, std::function<void()> shown, std::function<void()> prepare = nullptr)
        : QObject(dialog), dialog_(dialog), shown_(std::move(shown)), prepare_(std::move(prepare))
    {
        dialog->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == dialog_ && event->type() == QEvent::Show && !placed_) {
            placed_ = true;
            if (prepare_)
                prepare_();
            Place();
            if (shown_)
                shown_();
        }
        return false;
    }

private:
    void Place()
    {
        const QScreen* screen = dialog_->screen() ? dialog_->screen() : QGuiApplication::primaryScreen();
        if (!screen)
            return;
        const QRect area = screen->availableGeometry();
        dialog_->move(area.topLeft() + DialogPlacement(area.size(), dialog_->frameGeometry().size()));
    }

    QWidget* dialog_;
    std::function<void()> shown_;
    std::function<void()> prepare_;
    bool placed_ = false;
};

struct FilterPair {
    QString description;
    QStringList patterns;
};

std::vector<FilterPair> ParseFilter(const QString& windowsFilter)
{
    std::vector<FilterPair> pairs;
    if (windowsFilter.isEmpty())
        return pairs;
    const QStringList parts = windowsFilter.split(u'|');
    // A description left without its pattern is dropped, as an incomplete pair.
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        FilterPair pair{parts[i].trimmed(), {}};
        for (const QString& pattern : parts[i + 1].split(u';', Qt::SkipEmptyParts))
            if (!pattern.trimmed().isEmpty())
                pair.patterns.push_back(pattern.trimmed());
        if (pair.patterns.isEmpty())
            pair.patterns.push_back(QStringLiteral("*"));
        pairs.push_back(std::move(pair));
    }
    return pairs;
}

// The extension a name typed without one gets under a pattern like "*.PDF": "pdf". Nothing for
// patterns that name no single extension ("*", "*.*", "*.htm?").
QString PatternExtension(const QString& pattern)
{
    const qsizetype dot = pattern.lastIndexOf(u'.');
    if (dot < 0)
        return {};
    const QString extension = pattern.mid(dot + 1);
    if (extension.isEmpty() || extension.contains(u'*') || extension.contains(u'?') || extension.contains(u'['))
        return {};
    return extension.toLower();
}

// Asks the default extension of the selected filter just before Qt checks the name, so that the
// name it confirms an overwrite for is the name returned.
class FileDialog : public QFileDialog {
public:
    FileDialog(QWidget* parent, const FileDialogRequest& request, bool save) : QFileDialog(parent), save_(save)
    {
        setOption(QFileDialog::DontUseNativeDialog);
        setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        // The caller checks that an opened file exists, and says so in its own words.
        setFileMode(QFileDialog::AnyFile);
        setWindowTitle(request.title);
        for (const FilterPair& pair : ParseFilter(request.filter))
            extensions_.push_back(PatternExtension(pair.patterns.front()));
        const QStringList filters = QtNameFilters(request.filter);
        if (!filters.isEmpty())
            setNameFilters(filters);
        fallbackExtension_ = request.defaultExtension.toLower();
    }

    // Counted from 1; 1 also when there are no filters.
    int FilterIndex() const
    {
        return std::max<int>(static_cast<int>(nameFilters().indexOf(selectedNameFilter())), 0) + 1;
    }

    void accept() override
    {
        if (save_) {
            const auto index = static_cast<std::size_t>(FilterIndex() - 1);
            const QString extension = index < extensions_.size() ? extensions_[index] : QString();
            setDefaultSuffix(extension.isEmpty() ? fallbackExtension_ : extension);
        }
        QFileDialog::accept();
    }

private:
    bool save_;
    std::vector<QString> extensions_;
    QString fallbackExtension_;
};

std::optional<FileDialogAnswer> RunFileDialog(QWidget* parent, const FileDialogRequest& request, bool save)
{
    FileDialog dialog(parent, request, save);
    new DialogPlacer(&dialog, nullptr);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return FileDialogAnswer{dialog.selectedFiles().front(), dialog.FilterIndex()};
}

std::uint16_t PageNumber(int page)
{
    return static_cast<std::uint16_t>(std::clamp(page, 0, 0xFFFF));
}

// The widgets of Qt's print dialog this service sets and reads beyond its public interface.
constexpr char kListChoice[] = "pagesRadioButton";
constexpr char kListText[] = "pagesLineEdit";
constexpr char kRangeChoice[] = "printRange";
constexpr char kPageSetChoice[] = "pageSetCombo";

// Where Qt's dialog leaves the CUPS options it chose on the printer's engine, as key, value, key,
// value; its odd or even pages are only there.
constexpr auto kCupsOptions = static_cast<QPrintEngine::PrintEnginePropertyKey>(0xfe00);

// The print dialog with a typed page list checked as typed. Qt checks the printer's range from
// before the dialog instead: a good list is refused when the printer had none, and a malformed
// one is taken for all pages when it had one.
class PrintDialog : public QPrintDialog {
public:
    using QPrintDialog::QPrintDialog;

    void accept() override
    {
        const auto* listChosen = findChild<QRadioButton*>(kListChoice);
        const auto* list = findChild<QLineEdit*>(kListText);
        if (listChosen && list && listChosen->isChecked()) {
            const QPageRanges ranges = QPageRanges::fromString(list->text());
            if (ranges.isEmpty()) {
                // Qt's own words, so that its translations apply.
                QMessageBox::critical(this, tr("Invalid Pages Definition"),
                                      tr("%1 does not follow the correct syntax. Please use ',' to separate "
                                         "ranges and pages, '-' to define ranges and make sure ranges do "
                                         "not intersect with each other.")
                                          .arg(list->text()));
                return;
            }
            printer()->setPageRanges(ranges);
        }
        QPrintDialog::accept();
    }
};

// The layout row that holds widget directly, below layout.
QLayout* RowOf(QLayout* layout, const QWidget* widget)
{
    if (!layout)
        return nullptr;
    if (layout->indexOf(widget) >= 0)
        return layout;
    for (int i = 0; i < layout->count(); ++i)
        if (QLayout* row = RowOf(layout->itemAt(i)->layout(), widget))
            return row;
    return nullptr;
}

// Hides a choice with the widgets on its row: its spin boxes, text box and labels.
void HideChoice(QWidget* choice)
{
    if (!choice)
        return;
    QLayout* outer = choice->parentWidget() ? choice->parentWidget()->layout() : nullptr;
    QLayout* row = RowOf(outer, choice);
    if (!row || row == outer) {
        choice->hide();
        return;
    }
    for (int i = 0; i < row->count(); ++i)
        if (QWidget* widget = row->itemAt(i)->widget())
            widget->hide();
}

// A page list as it is typed in the dialog: "1,4,6-8". Ranges that hold no page are left out.
QString PageListText(const std::vector<PrintPageRange>& ranges)
{
    QStringList parts;
    for (const PrintPageRange& range : ranges) {
        if (range.nFromPage == 0 || range.nToPage < range.nFromPage)
            continue;
        parts.push_back(range.nFromPage == range.nToPage ? QString::number(range.nFromPage)
                                                         : QStringLiteral("%1-%2").arg(range.nFromPage).arg(range.nToPage));
    }
    return parts.join(u',');
}

// The odd or even page numbers the user chose. For a page range whose first page is even Qt
// swaps the two, since CUPS counts the pages of the job rather than their numbers.
PrintPageSet PageSetChosen(const QPrinter& printer, bool pageRangeOffered)
{
    const QStringList options = printer.printEngine()->property(kCupsOptions).toStringList();
    PrintPageSet set = PrintPageSet::All;
    for (qsizetype i = 0; i + 1 < options.size(); i += 2) {
        if (options[i] != u"page-set")
            continue;
        set = options[i + 1] == u"odd" ? PrintPageSet::Odd : options[i + 1] == u"even" ? PrintPageSet::Even : PrintPageSet::All;
    }
    if (set != PrintPageSet::All && pageRangeOffered && printer.printRange() == QPrinter::PageRange
        && printer.fromPage() % 2 == 0)
        set = set == PrintPageSet::Odd ? PrintPageSet::Even : PrintPageSet::Odd;
    return set;
}

int PageSetIndex(PrintPageSet set)
{
    // The dialog lists all, odd and even pages, in this order.
    switch (set) {
    case PrintPageSet::All: return 0;
    case PrintPageSet::Odd: return 1;
    case PrintPageSet::Even: return 2;
    }
    return 0;
}

} // namespace

QPoint DialogPlacement(QSize screen, QSize window)
{
    return {(screen.width() - window.width()) / 2, (screen.height() - window.height()) / 3};
}

QStringList QtNameFilters(const QString& windowsFilter)
{
    QStringList filters;
    for (const FilterPair& pair : ParseFilter(windowsFilter)) {
        QStringList patterns;
        for (const QString& pattern : pair.patterns)
            for (const QString& form : {pattern.toUpper(), pattern.toLower(), pattern})
                if (!patterns.contains(form))
                    patterns.push_back(form);
        // A description that shows its patterns already ("Report file(*.QRP)") gets the full list
        // in their place, so that Qt reads every pattern from the parentheses at the end.
        QString description = pair.description;
        if (description.endsWith(u')')) {
            const qsizetype open = description.lastIndexOf(u'(');
            if (open >= 0)
                description = description.left(open).trimmed();
        }
        filters.push_back(description + QStringLiteral(" (") + patterns.join(u' ') + u')');
    }
    return filters;
}

std::optional<FileDialogAnswer> QtDialogService::GetSaveFileName(QWidget* parent, const FileDialogRequest& request)
{
    return RunFileDialog(parent, request, true);
}

std::optional<FileDialogAnswer> QtDialogService::GetOpenFileName(QWidget* parent, const FileDialogRequest& request)
{
    return RunFileDialog(parent, request, false);
}

QString QtDialogService::DefaultPrinterName() const
{
    return QPrinterInfo::defaultPrinterName();
}

// PD_SHOWHELP is not acted on: there is no help system here to open from the dialog.
bool QtDialogService::RunPrintDialog(QWidget* parent, PrintDialogBlock& block)
{
    // As Windows' dialog does: the warning first, and then the dialog all the same.
    if (!(block.Flags & PD_NOWARNING) && DefaultPrinterName().isEmpty())
        ShowMessage(parent, QStringLiteral("Impressão"),
                    QStringLiteral("Nenhuma impressora padrão está definida. Escolha uma impressora."), Icon::Warning);

    QPrinter printer(QPrinter::HighResolution);
    const DeviceNames names = ReadDevNames(block.hDevNames);
    if (!names.device.isEmpty())
        printer.setPrinterName(names.device);
    if (block.hDevMode)
        ApplyDeviceMode(printer, *block.hDevMode);
    else if (block.nCopies > 0)
        printer.setCopyCount(block.nCopies);
    // Not offered: the collation asked for comes back as it went.
    printer.setCollateCopies((block.Flags & PD_COLLATE) != 0);
    printer.setPageOrder(block.reverseOrder ? QPrinter::LastPageFirst : QPrinter::FirstPageFirst);
    const bool fileOffered = (block.Flags & (PD_HIDEPRINTTOFILE | PD_DISABLEPRINTTOFILE)) == 0;
    const bool startOnFile = fileOffered && (block.Flags & PD_PRINTTOFILE);
    const QString file = QDir::homePath() + QStringLiteral("/print.pdf");
    // The dialog shows the file name it finds, then selects the printer named; a PDF output set
    // once it is built makes it start on printing to the file instead.
    if (startOnFile)
        printer.setOutputFileName(file);
    PrintDialog dialog(&printer, parent);
    if (startOnFile)
        printer.setOutputFileName(file);

    // No collation, which is the printer driver's, and no printer properties: the caller takes
    // the printer's own defaults after the dialog, and their paper, pages per sheet and job
    // options would be lost.
    const bool pagesOffered = !(block.Flags & PD_NOPAGENUMS);
    const bool selectionOffered = !(block.Flags & PD_NOSELECTION);
    const bool currentOffered = !(block.Flags & PD_NOCURRENTPAGE);
    QAbstractPrintDialog::PrintDialogOptions options;
    if (pagesOffered)
        options |= QAbstractPrintDialog::PrintPageRange;
    if (selectionOffered)
        options |= QAbstractPrintDialog::PrintSelection;
    if (currentOffered)
        options |= QAbstractPrintDialog::PrintCurrentPage;
    if (fileOffered)
        options |= QAbstractPrintDialog::PrintToFile;
    dialog.setOptions(options);
    if (block.nMaxPage >= block.nMinPage && block.nMaxPage > 0)
        dialog.setMinMax(block.nMinPage, block.nMaxPage);
    // Set even when the dialog starts on all pages: Qt shows 1 to 1 for a range never set.
    const int lowest = std::max<int>(1, block.nMinPage);
    if (block.nFromPage > 0 && block.nToPage >= block.nFromPage)
        dialog.setFromTo(block.nFromPage, block.nToPage);
    else if (block.nMaxPage >= lowest)
        dialog.setFromTo(lowest, block.nMaxPage);
    // A range the dialog does not offer would be chosen unseen: all pages instead.
    QAbstractPrintDialog::PrintRange startRange = QAbstractPrintDialog::AllPages;
    if (currentOffered && (block.Flags & PD_CURRENTPAGE))
        startRange = QAbstractPrintDialog::CurrentPage;
    else if (pagesOffered && (block.Flags & PD_PAGENUMS))
        startRange = QAbstractPrintDialog::PageRange;
    else if (selectionOffered && (block.Flags & PD_SELECTION))
        startRange = QAbstractPrintDialog::Selection;
    dialog.setPrintRange(startRange);
    if (auto* pageSet = dialog.findChild<QComboBox*>(kPageSetChoice))
        pageSet->setCurrentIndex(PageSetIndex(block.pageSet));
    const QString startList = startRange == QAbstractPrintDialog::PageRange && block.pageRanges.size() > 1
                                  ? PageListText(block.pageRanges)
                                  : QString();
    // Qt sets its range choices as it shows the dialog, and with CUPS offers page ranges even
    // when the caller takes none; both are settled once that is done.
    const auto prepare = [&dialog, pagesOffered, startList] {
        if (!pagesOffered) {
            HideChoice(dialog.findChild<QRadioButton*>(kRangeChoice));
            HideChoice(dialog.findChild<QRadioButton*>(kListChoice));
        }
        auto* listChoice = dialog.findChild<QRadioButton*>(kListChoice);
        auto* list = dialog.findChild<QLineEdit*>(kListText);
        if (!startList.isEmpty() && listChoice && list) {
            listChoice->setChecked(true);
            list->setText(startList);
        }
    };
    new DialogPlacer(&dialog, block.shown, prepare);
    const int result = dialog.exec();
    if (block.closed)
        block.closed();
    if (result != QDialog::Accepted)
        return false;

    std::uint32_t flags = block.Flags & ~(PD_SELECTION | PD_PAGENUMS | PD_CURRENTPAGE | PD_COLLATE | PD_PRINTTOFILE);
    block.pageRanges.clear();
    switch (dialog.printRange()) {
    case QAbstractPrintDialog::Selection:
        flags |= PD_SELECTION;
        break;
    case QAbstractPrintDialog::CurrentPage:
        flags |= PD_CURRENTPAGE;
        break;
    case QAbstractPrintDialog::PageRange:
        flags |= PD_PAGENUMS;
        for (const QPageRanges::Range& range : printer.pageRanges().toRangeList())
            block.pageRanges.push_back({PageNumber(range.from), PageNumber(range.to)});
        break;
    case QAbstractPrintDialog::AllPages:
        break;
    }
    if (printer.collateCopies())
        flags |= PD_COLLATE;
    const bool toFile = !printer.outputFileName().isEmpty();
    if (toFile)
        flags |= PD_PRINTTOFILE;
    block.Flags = flags;
    block.nFromPage = PageNumber(dialog.fromPage());
    block.nToPage = PageNumber(dialog.toPage());
    block.pageSet = PageSetChosen(printer, pagesOffered);
    block.reverseOrder = printer.pageOrder() == QPrinter::LastPageFirst;
    // The copies stay in the device mode, as with a driver that makes the copies itself.
    block.nCopies = 1;
    // A file has no queue to name: the printer chosen before stands.
    if (!toFile && !printer.printerName().isEmpty())
        block.hDevNames = MakeDevNames(DeviceNamesOf(printer));
    block.hDevMode = DeviceModeOf(printer);
    return true;
}

} // namespace tarvolo::platform
