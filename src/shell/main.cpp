// tarvolo: the report viewer. With a report file as its argument it opens the viewer window on
// that report and ends with it; without one it opens the main window. Without a display it says
// so in one line and exits with status 1.

#include "TfrmPrincipal.h"
#include "platform/DesktopLinks.h"
#include "platform/ExecutableVersion.h"
#include "platform/NativeFileName.h"
#include "platform/QtDialogService.h"
#include "platform/QtPrinterDevice.h"
#include "platform/QtTranslations.h"
#include "platform/RecentFiles.h"
#include "platform/RichTextPrinter.h"
#include "platform/XdgAssociationStore.h"
#include "printing/TQRExportFilter.h"

#include <QApplication>
#include <QFileInfo>
#include <QTranslator>

#include <cstdio>
#include <cstring>
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
        programName_ = tarvolo::platform::NativeFileName(programName);
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

// The arguments as the file system names files: Qt's own decoding replaces bytes that are not
// UTF-8, and a report under such a name could not be opened.
QStringList NativeArguments(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.push_back(tarvolo::platform::FileNameFromNative(argv[i]));
    return arguments;
}

} // namespace

const char* const kHelp =
    "usage: tarvolo [FILE]\n"
    "\n"
    "Tarvolo shows, prints and saves report files (.qrp).\n"
    "  tarvolo FILE    opens the report FILE in the viewer; the program ends when the viewer closes\n"
    "  tarvolo         opens the main window, from which reports are opened\n"
    "  --help          shows this text\n"
    "  --version       shows the program's version\n";

int main(int argc, char** argv)
{
    using namespace tarvolo;
    // Only an exact first argument is an option: anything else names a report file.
    if (argc > 1 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("tarvolo %s\n", platform::ExecutableVersion::Running().Text().toUtf8().constData());
        return 0;
    }
    // Message boxes are titled with the program's name: its file's name without the extension only,
    // so that "Kestan.Tarvolo.exe" is "Kestan.Tarvolo".
    const QString programName = QFileInfo(platform::FileNameFromNative(argv[0])).completeBaseName();
    auto startup = std::make_unique<StartupMessages>(programName);
    QApplication application(argc, argv);
    startup.reset();
    // The program speaks Portuguese, so Qt's buttons and dialogs do too, whatever the desktop's language.
    const std::unique_ptr<QTranslator> qtTexts = platform::InstallQtTranslations();
    application.setApplicationName(programName);
    application.setApplicationVersion(platform::ExecutableVersion::Running().Text());
    application.setDesktopFileName("tarvolo");

    platform::QtPrinterDevice applicationPrinter;
    platform::QtDialogService dialogs;
    platform::XdgAssociationStore associations;
    platform::QtDesktopLinks links;
    platform::QtRichTextPrinter richTextPrinter;
    const platform::RecentFiles recentFiles;
    platform::RecentFiles::SetApplicationList(&recentFiles);
    shell::TTelaDados::SetServices(&richTextPrinter, &dialogs);
    printing::ExportFilters().AddFilter(printing::TQRPdfExportFilter::Entry());
    shell::ShellServices services{dialogs, associations, applicationPrinter,
                                  [] { return std::make_unique<platform::QtPrinterDevice>(); }, links,
                                  QCoreApplication::applicationFilePath()};
    // QApplication has taken its own options out of argv.
    const int status = shell::RunTarvolo(services, NativeArguments(argc, argv));
    platform::RecentFiles::SetApplicationList(nullptr);
    return status;
}
