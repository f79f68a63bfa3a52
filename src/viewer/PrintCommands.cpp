#include "PrintCommands.h"

#include "platform/DialogService.h"
#include "printing/TQRExportFilter.h"
#include "printing/TQRPrintDialog.h"
#include "printing/TQRPrinter.h"

#include <QProgressDialog>
#include <QScopeGuard>
#include <QWidget>

namespace tarvolo::viewer {

PrintCommands::PrintCommands(printing::TQRPrinter& printer, platform::PrinterDevice& applicationPrinter,
                             platform::DialogService& dialogs, QWidget* window)
    : QObject(window), settings_(std::make_unique<printing::TQRReportPrinterSettings>()), printer_(printer),
      applicationPrinter_(applicationPrinter), dialogs_(dialogs), window_(window)
{
}

PrintCommands::~PrintCommands() = default;

void PrintCommands::ResetSettings()
{
    settings_ = std::make_unique<printing::TQRReportPrinterSettings>();
    ApplySettings();
}

void PrintCommands::ApplySettings()
{
    printer_.SelectPrinter(settings_->SelectedPrinter);
    printer_.FirstPage = settings_->FirstPage;
    printer_.LastPage = settings_->LastPage;
    printer_.SetCopies(settings_->Copies);
    printer_.SetOrientation(settings_->Orientation);
    printer_.DocumentTitle = settings_->DocumentTitle;
}

void PrintCommands::Save()
{
    const std::optional<platform::FileDialogAnswer> answer =
        dialogs_.GetSaveFileName(window_, {"Salvar Relatório", printing::ExportFilters().SaveDialogFilter(), "QRP"});
    if (!answer)
        return;
    if (answer->filterIndex <= 1) {
        printer_.WriteReportFile(answer->fileName.toStdString());
        return;
    }
    const auto& entries = printing::ExportFilters().FilterEntries;
    const auto entry = static_cast<std::size_t>(answer->filterIndex - 2);
    if (entry >= entries.size())
        return;
    const std::unique_ptr<QObject> filter = entries[entry].FilterClass(answer->fileName);
    printer_.ExportReport(filter.get());
}

void PrintCommands::PrintSetup()
{
    try {
        RunPrintSetup();
    } catch (const std::exception&) {
        dialogs_.ShowMessage(window_, "Error", "Não foi possível configurar a impressora.", platform::DialogService::Icon::Error);
    }
}

bool PrintCommands::RunPrintSetup()
{
    printing::TQRPrintDialog dialog(applicationPrinter_, dialogs_, window_);
    printing::TPrinterSettings::ReloadDeviceDefaults(applicationPrinter_);
    applicationPrinter_.SetPrinterIndex(settings_->SelectedPrinter);
    dialog.Options = {printing::TPrintDialogOption::poPageNums, printing::TPrintDialogOption::poWarning};
    platform::DeviceMode mode = applicationPrinter_.GetDeviceMode();
    mode.dmFields |= platform::DM_ORIENTATION;
    mode.dmOrientation = settings_->Orientation == printing::TPrinterOrientation::poLandscape ? platform::DMORIENT_LANDSCAPE
                                                                                               : platform::DMORIENT_PORTRAIT;
    applicationPrinter_.SetDevice(applicationPrinter_.Names(), mode);
    dialog.SetCopies(settings_->Copies);
    dialog.MinPage = 0;
    dialog.MaxPage = 9999;
    if (printer_.State() == printing::PrinterState::Finished) {
        dialog.MinPage = 1;
        dialog.MaxPage = printer_.PageTotal();
        dialog.FromPage = 1;
        dialog.ToPage = printer_.PageTotal();
    }
    if (!dialog.RunDialog())
        return false;
    settings_->SelectedPrinter = applicationPrinter_.PrinterIndex();
    settings_->Copies = dialog.Copies();
    settings_->Orientation = applicationPrinter_.GetDeviceMode().dmOrientation == platform::DMORIENT_LANDSCAPE
                                 ? printing::TPrinterOrientation::poLandscape
                                 : printing::TPrinterOrientation::poPortrait;
    settings_->DocumentTitle = applicationPrinter_.Title();
    if (dialog.PrintRange == printing::TPrintRange::prPageNums) {
        settings_->FirstPage = dialog.FromPage;
        settings_->LastPage = dialog.ToPage;
    } else {
        settings_->FirstPage = 0;
        settings_->LastPage = 0;
    }
    ApplySettings();
    return true;
}

void PrintCommands::Print(const QString& title)
{
    // A job with no title of its own carries the report's name into the print queue.
    const QString ownTitle = printer_.DocumentTitle;
    if (ownTitle.isEmpty() && printer_.State() == printing::PrinterState::Finished)
        printer_.DocumentTitle = title;
    // A cancel belongs to the print it was asked for, not to the next one.
    printer_.CancelRequested = false;

    QProgressDialog progress(window_);
    progress.setObjectName("PrintProgress");
    progress.setWindowTitle(title);
    progress.setCancelButtonText("Cancelar");
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    progress.setAutoReset(false);
    connect(&progress, &QProgressDialog::canceled, this, [this] { printer_.RequestCancel(); });
    printer_.PrintProgress = [&progress](int done, int count) {
        progress.setMaximum(count);
        progress.setLabelText(QString("Imprimindo página %1 de %2").arg(done).arg(count));
        progress.setValue(done - 1);
    };
    printing_ = true;
    emit printingChanged(true);
    const auto restore = qScopeGuard([&] {
        printer_.PrintProgress = nullptr;
        printer_.DocumentTitle = ownTitle;
        printing_ = false;
        emit printingChanged(false);
    });
    printer_.PrintReport();
}

void PrintCommands::CancelPrinting()
{
    if (printing_)
        printer_.RequestCancel();
}

} // namespace tarvolo::viewer
