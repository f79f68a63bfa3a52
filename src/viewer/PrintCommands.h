#pragma once

#include "printing/TQRPrinterSettings.h"

#include <QObject>

#include <memory>

class QWidget;

namespace tarvolo::platform {
class DialogService;
class PrinterDevice;
class PrintJobError;
} // namespace tarvolo::platform
namespace tarvolo::printing {
class TQRPrinter;
}

namespace tarvolo::viewer {

// The viewer's commands that put the report elsewhere: the print setup, whose choices it keeps
// for the report, printing with them, and saving the report or exporting it. Errors reach the
// caller, except those the print setup reports itself.
class PrintCommands : public QObject {
    Q_OBJECT

public:
    PrintCommands(printing::TQRPrinter& printer, platform::PrinterDevice& applicationPrinter, platform::DialogService& dialogs,
                  QWidget* window);
    ~PrintCommands() override;

    // Another report: the choices start over.
    void ResetSettings();
    // Hands the choices to the printer object.
    void ApplySettings();
    // True when the user confirmed the setup and its choices were taken.
    bool PrintSetup();
    // Prints with the choices kept; title is the job's title when the report has none, and
    // currentPage the page shown, printed alone when the user chose the current page. A print the
    // spooler does not take, or a cancelled one, is reported to the user here.
    void Print(const QString& title, int currentPage);
    void Save();

    bool Printing() const { return printing_; }
    // A print running is cancelled after the page being printed, without a word: the window
    // asking for it is closing.
    void CancelPrinting();

signals:
    // A print starts or ends: other commands wait for it, the pages must not change under it.
    void printingChanged(bool printing);

private:
    // Runs the print setup's steps that may fail; false when the user cancelled.
    bool RunPrintSetup();
    // Prints with the choices kept, the window's commands off meanwhile.
    void RunPrint(const QString& title, int currentPage);
    // The printer's place in today's list of queues, for the chosen printer's name.
    int PrinterIndexOf(const QString& name) const;
    void ReportPrintFailure(const platform::PrintJobError& error);

    std::unique_ptr<printing::TQRReportPrinterSettings> settings_;
    printing::TQRPrinter& printer_;
    platform::PrinterDevice& applicationPrinter_;
    platform::DialogService& dialogs_;
    QWidget* window_;
    bool printing_ = false;
    bool closing_ = false;
};

} // namespace tarvolo::viewer
