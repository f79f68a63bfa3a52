#include "QtDialogService.h"

#include "DevNames.h"
#include "QtDeviceMode.h"

#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
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
class DialogPlacer : public QObject {
public:
    DialogPlacer(QWidget* dialog, std::function<void()> shown) : QObject(dialog), dialog_(dialog), shown_(std::move(shown))
    {
        dialog->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == dialog_ && event->type() == QEvent::Show && !placed_) {
            placed_ = true;
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

// PD_SHOWHELP is not acted on: there is no help system here to open from the dialog.
bool QtDialogService::RunPrintDialog(QWidget* parent, PrintDialogBlock& block)
{
    QPrinter printer(QPrinter::HighResolution);
    const DeviceNames names = ReadDevNames(block.hDevNames);
    if (!names.device.isEmpty())
        printer.setPrinterName(names.device);
    if (block.hDevMode)
        ApplyDeviceMode(printer, *block.hDevMode);
    else if (block.nCopies > 0)
        printer.setCopyCount(block.nCopies);
    printer.setCollateCopies((block.Flags & PD_COLLATE) != 0);
    const bool fileOffered = (block.Flags & (PD_HIDEPRINTTOFILE | PD_DISABLEPRINTTOFILE)) == 0;
    const bool startOnFile = fileOffered && (block.Flags & PD_PRINTTOFILE);
    const QString file = QDir::homePath() + QStringLiteral("/print.pdf");
    // The dialog shows the file name it finds, then selects the printer named; a PDF output set
    // once it is built makes it start on printing to the file instead.
    if (startOnFile)
        printer.setOutputFileName(file);
    QPrintDialog dialog(&printer, parent);
    if (startOnFile)
        printer.setOutputFileName(file);
    QAbstractPrintDialog::PrintDialogOptions options =
        QAbstractPrintDialog::PrintCollateCopies | QAbstractPrintDialog::PrintShowPageSize;
    if (!(block.Flags & PD_NOPAGENUMS))
        options |= QAbstractPrintDialog::PrintPageRange;
    if (!(block.Flags & PD_NOSELECTION))
        options |= QAbstractPrintDialog::PrintSelection;
    if (fileOffered)
        options |= QAbstractPrintDialog::PrintToFile;
    dialog.setOptions(options);
    if (block.nMaxPage >= block.nMinPage && block.nMaxPage > 0)
        dialog.setMinMax(block.nMinPage, block.nMaxPage);
    if (block.Flags & PD_PAGENUMS) {
        dialog.setPrintRange(QAbstractPrintDialog::PageRange);
        if (block.nFromPage > 0 && block.nToPage >= block.nFromPage)
            dialog.setFromTo(block.nFromPage, block.nToPage);
    } else if (block.Flags & PD_SELECTION) {
        dialog.setPrintRange(QAbstractPrintDialog::Selection);
    } else {
        dialog.setPrintRange(QAbstractPrintDialog::AllPages);
    }
    new DialogPlacer(&dialog, block.shown);
    const int result = dialog.exec();
    if (block.closed)
        block.closed();
    if (result != QDialog::Accepted)
        return false;

    std::uint32_t flags = block.Flags & ~(PD_SELECTION | PD_PAGENUMS | PD_COLLATE | PD_PRINTTOFILE);
    if (dialog.printRange() == QAbstractPrintDialog::Selection)
        flags |= PD_SELECTION;
    else if (dialog.printRange() == QAbstractPrintDialog::PageRange)
        flags |= PD_PAGENUMS;
    if (printer.collateCopies())
        flags |= PD_COLLATE;
    const bool toFile = !printer.outputFileName().isEmpty();
    if (toFile)
        flags |= PD_PRINTTOFILE;
    block.Flags = flags;
    block.nFromPage = PageNumber(dialog.fromPage());
    block.nToPage = PageNumber(dialog.toPage());
    // The copies stay in the device mode, as with a driver that makes the copies itself.
    block.nCopies = 1;
    // A file has no queue to name: the printer chosen before stands.
    if (!toFile && !printer.printerName().isEmpty())
        block.hDevNames = MakeDevNames(DeviceNamesOf(printer));
    block.hDevMode = DeviceModeOf(printer);
    return true;
}

} // namespace tarvolo::platform
