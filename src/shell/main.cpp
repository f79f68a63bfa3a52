// tarvolo: the report viewer. With a report file as its argument it opens the viewer window on
// that report; without one it opens an empty viewer. Without a display it says so in one line
// and exits with status 1.

#include "viewer/TfrmKestanPreview.h"
#include "platform/DialogService.h"
#include "platform/QtPrinterDevice.h"
#include "printing/TQRExportFilter.h"
#include "printing/TQRPrinter.h"

#include <QApplication>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

// While the application starts, Qt's messages are held back: a start without a display ends in
// one line and exit status 1 instead of several lines of plugin advice and an abort.
class StartupMessages {
public:
    explicit StartupMessages(const QString& programName)
    {
        programName_ = programName.toLocal8Bit();
        previous_ = qInstallMessageHandler(&Hold);
    }
    StartupMessages(const StartupMessages&) = delete;
    StartupMessages& operator=(const StartupMessages&) = delete;

    // The application has started: messages go out as usual again, the held ones first.
    ~StartupMessages()
    {
        qInstallMessageHandler(previous_);
        for (const Held& message : held_) {
            const QMessageLogContext context(nullptr, 0, nullptr, message.category.constData());
            qt_message_output(message.type, context, message.text);
        }
        held_.clear();
    }

private:
    struct Held {
        QtMsgType type;
        QByteArray category;
        QString text;
    };

    static void Hold(QtMsgType type, const QMessageLogContext& context, const QString& text)
    {
        if (type == QtFatalMsg) {
            // The first sentence says what failed; the rest is advice about reinstalling.
            QString line = text.section('\n', 0, 0);
            const qsizetype sentenceEnd = line.indexOf(QLatin1String(". "));
            if (sentenceEnd >= 0)
                line.truncate(sentenceEnd + 1);
            std::fprintf(stderr, "%s: cannot open a display: %s\n", programName_.constData(), line.toLocal8Bit().constData());
            std::fflush(stderr);
            std::_Exit(1);
        }
        held_.push_back({type, QByteArray(context.category ? context.category : "default"), text});
    }

    static inline QByteArray programName_;
    static inline std::vector<Held> held_;
    QtMessageHandler previous_ = nullptr;
};

} // namespace

int main(int argc, char** argv)
{
    using namespace tarvolo;
    const QString programName = QFileInfo(QString::fromLocal8Bit(argv[0])).baseName();
    auto startup = std::make_unique<StartupMessages>(programName);
    QApplication application(argc, argv);
    startup.reset();
    application.setApplicationName(programName);

    platform::QtPrinterDevice applicationPrinter;
    platform::QtDialogService dialogs;
    printing::TQRPrinter printer(applicationPrinter, [] { return std::make_unique<platform::QtPrinterDevice>(); });
    printing::ExportFilters().AddFilter(printing::TQRPdfExportFilter::Entry());
    viewer::TfrmKestanPreview window(printer, applicationPrinter, dialogs);
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
