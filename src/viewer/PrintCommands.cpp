#include "PrintCommands.h"

#include "platform/DialogService.h"
#include "platform/NativeFileName.h"
#include "platform/PrintJobError.h"
#include "printing/TQRExportFilter.h"
#include "printing/TQRPrintDialog.h"
#include "printing/TQRPrinter.h"

#include <QCoreApplication>
#include <QProgressDialog>
#include <QScopeGuard>
#include <QWidget>

#include <optional>

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
    settings_->SelectedPrinter = PrinterIndexOf(settings_->PrinterName);
    printer_.SelectPrinterNamed(settings_->PrinterName);
    printer_.FirstPage = settings_->FirstPage;
    printer_.LastPage = settings_->LastPage;
    printer_.PageChoice = settings_->PageChoice;
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
        printer_.WriteReportFile(platform::NativeFileName(answer->fileName).toStdString());
        return;
    }
    const auto& entries = printing::ExportFilters().FilterEntries;
    const auto entry = static_cast<std::size_t>(answer->filterIndex - 2);
    if (entry >= entries.size())
        return;
    const std::unique_ptr<QObject> filter = entries[entry].FilterClass(answer->fileName);
    printer_.ExportReport(filter.get());
}

bool PrintCommands::PrintSetup()
{
    try {
        return RunPrintSetup();
    } catch (const std::exception&) {
        dialogs_.ShowMessage(window_, "Error", "Não foi possível configurar a impressora.", platform::DialogService::Icon::Error);
        return false;
    }
}

bool PrintCommands::RunPrintSetup()
{
    printing::TQRPrintDialog dialog(applicationPrinter_, dialogs_, window_);
    printing::TPrinterSettings::ReloadDeviceDefaults(applicationPrinter_);
    // A printer chosen earlier that has gone since: the setup starts on the default one.
    settings_->SelectedPrinter = PrinterIndexOf(settings_->PrinterName);
    applicationPrinter_.SetPrinterIndex(settings_->SelectedPrinter);
    dialog.Options = {printing::TPrintDialogOption::poPageNums, printing::TPrintDialogOption::poWarning,
                      printing::TPrintDialogOption::poCurrentPage};
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
    settings_->PrinterName = settings_->SelectedPrinter < 0 ? QString() : applicationPrinter_.Names().device;
    settings_->Copies = dialog.Copies();
    settings_->Orientation = applicationPrinter_.GetDeviceMode().dmOrientation == platform::DMORIENT_LANDSCAPE
                                 ? printing::TPrinterOrientation::poLandscape
                                 : printing::TPrinterOrientation::poPortrait;
    settings_->DocumentTitle = applicationPrinter_.Title();
    settings_->FirstPage = 0;
    settings_->LastPage = 0;
    settings_->PageChoice = {{}, dialog.PageSet, dialog.Reverse};
    settings_->CurrentPage = dialog.PrintRange == printing::TPrintRange::prCurrentPage;
    if (dialog.PrintRange == printing::TPrintRange::prPageNums) {
        settings_->FirstPage = dialog.FromPage;
        settings_->LastPage = dialog.ToPage;
        if (dialog.PageRanges.size() > 1)
            settings_->PageChoice.Ranges = dialog.PageRanges;
    }
    ApplySettings();
    return true;
}

int PrintCommands::PrinterIndexOf(const QString& name) const
{
    return name.isEmpty() ? -1 : static_cast<int>(applicationPrinter_.Printers().indexOf(name));
}

void PrintCommands::Print(const QString& title, int currentPage)
{
    const bool finished = printer_.State() == printing::PrinterState::Finished;
    if (finished && !printer_.HasPrinter()) {
        dialogs_.ShowMessage(window_, QCoreApplication::applicationName(),
                             "Não há impressoras instaladas, ou o serviço de impressão (CUPS) não responde.",
                             platform::DialogService::Icon::Error);
        return;
    }
    std::optional<platform::PrintJobError> failure;
    try {
        RunPrint(title, currentPage);
    } catch (const platform::PrintJobError& error) {
        failure = error;
    }
    // Said once the print is over and the window's commands are back.
    if (failure) {
        ReportPrintFailure(*failure);
    } else if (const printing::TPrintOutcome& outcome = printer_.LastPrint(); outcome.Cancelled && !closing_) {
        dialogs_.ShowMessage(window_, QCoreApplication::applicationName(),
                             QString("Impressão cancelada após a página %1; nada foi impresso.").arg(outcome.LastPageDrawn),
                             platform::DialogService::Icon::Information);
    }
}

void PrintCommands::RunPrint(const QString& title, int currentPage)
{
    const bool finished = printer_.State() == printing::PrinterState::Finished;
    // A job with no title of its own carries the report's name into the print queue.
    const QString ownTitle = printer_.DocumentTitle;
    if (ownTitle.isEmpty() && finished)
        printer_.DocumentTitle = title;
    const int firstPage = printer_.FirstPage;
    const int lastPage = printer_.LastPage;
    const printing::TPageChoice pageChoice = printer_.PageChoice;
    if (settings_->CurrentPage) {
        printer_.FirstPage = printer_.LastPage = currentPage;
        printer_.PageChoice.Ranges.clear();
    }
    // A cancel belongs to the print it was asked for, not to the next one.
    printer_.CancelRequested = false;
    closing_ = false;

    QProgressDialog progress(window_);
    progress.setObjectName("PrintProgress");
    progress.setWindowTitle(title);
    progress.setCancelButtonText("Cancelar");
    // Not modal: the report stays readable while it prints, and the window's close button stays
    // live, which Qt would otherwise ignore under a modal dialog; closing cancels the print.
    progress.setWindowModality(Qt::NonModal);
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
        printer_.FirstPage = firstPage;
        printer_.LastPage = lastPage;
        printer_.PageChoice = pageChoice;
        printing_ = false;
        emit printingChanged(false);
    });
    printer_.PrintReport();
}

void PrintCommands::CancelPrinting()
{
    if (!printing_)
        return;
    closing_ = true;
    printer_.RequestCancel();
}

// What the spooler or the system said, in the window's words; the queue and CUPS' own reason
// are named so that the user can tell a refusing queue from a missing one.
void PrintCommands::ReportPrintFailure(const platform::PrintJobError& error)
{
    using Reason = platform::PrintJobError::Reason;
    const QString queue = error.queue();
    QString text;
    switch (error.reason()) {
    case Reason::NoDefaultPrinter:
        text = "Nenhuma impressora padrão está definida. Escolha uma impressora na Configuração de Impressão.";
        break;
    case Reason::QueueMissing:
        text = QString("A impressora \"%1\" não existe mais: %2").arg(queue, error.detail());
        break;
    case Reason::NotAccepting:
        text = QString("A impressora \"%1\" não está aceitando trabalhos: %2").arg(queue, error.detail());
        break;
    case Reason::SpoolerUnavailable:
        text = QString("O serviço de impressão (CUPS) não responde; nada foi enviado para a impressora \"%1\": %2")
                   .arg(queue, error.detail());
        break;
    case Reason::Refused:
        text = QString("A impressora \"%1\" recusou o trabalho: %2").arg(queue, error.detail());
        break;
    case Reason::NotWritten:
        text = QString("O trabalho para a impressora \"%1\" não pôde ser gravado: %2").arg(queue, error.detail());
        break;
    }
    dialogs_.ShowMessage(window_, QCoreApplication::applicationName(), text, platform::DialogService::Icon::Error);
}

} // namespace tarvolo::viewer
