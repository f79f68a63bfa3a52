// tarvolo: the report viewer. With a report file as its argument it opens the viewer window on
// that report; without one it opens an empty viewer.

#include "TfrmKestanPreview.h"
#include "platform/DialogService.h"
#include "platform/QtPrinterDevice.h"
#include "printing/TQRPrinter.h"

#include <QApplication>
#include <QFileInfo>

int main(int argc, char** argv)
{
    using namespace tarvolo;
    QApplication application(argc, argv);
    application.setApplicationName(QFileInfo(QString::fromLocal8Bit(argv[0])).baseName());

    platform::QtPrinterDevice applicationPrinter;
    platform::QtDialogService dialogs;
    printing::TQRPrinter printer(applicationPrinter, [] { return std::make_unique<platform::QtPrinterDevice>(); });
    viewer::TfrmKestanPreview window(printer, dialogs);
    window.show();

    const QStringList arguments = application.arguments();
    const QString report = arguments.size() > 1 ? arguments.at(1).trimmed() : QString();
    if (!report.isEmpty()) {
        try {
            window.OpenReportFile(report);
        } catch (const std::exception& error) {
            QString text = QString::fromLocal8Bit(error.what());
            if (!text.isEmpty() && text.back() > '.')
                text += '.';
            dialogs.ShowMessage(&window, application.applicationName(), text, platform::DialogService::Icon::Error);
        }
    }
    return application.exec();
}
