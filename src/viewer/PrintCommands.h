#pragma once

#include "printing/TQRPrinterSettings.h"

#include <QObject>

#include <memory>

class QWidget;

namespace tarvolo::platform {
class DialogService;
class PrinterDevice;
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
    void PrintSetup();
    // Prints with the choices kept; title is the job's title when the report has none.
    void Print(const QString& title);
    void Save();

    bool Printing() const { return printing_; }
    // A print running is cancelled after the page being printed.
    void CancelPrinting();

signals:
    // A print starts or ends: other commands wait for it, the pages must not change under it.
    void printingChanged(bool printing);

private:
    // Runs the print setup's steps that may fail; false when the user cancelled.
    bool RunPrintSetup();

    std::unique_ptr<printing::TQRReportPrinterSettings> settings_;
    printing::TQRPrinter& printer_;
    platform::PrinterDevice& applicationPrinter_;
    platform::DialogService& dialogs_;
    QWidget* window_;
    bool printing_ = false;
};

} // namespace tarvolo::viewer
