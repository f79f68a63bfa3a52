// Pictures of the main window's bar, the About window and the viewer finding text for the
// documentation, drawn on a real X server (scripts/screenshots.sh runs this under Xvfb).
//   shell_screenshots OUTPUT_FOLDER

#include "doubles/TestAssociationStore.h"
#include "doubles/TestDesktopLinks.h"
#include "doubles/TestDialogService.h"
#include "doubles/TestPrinterDevice.h"
#include "shell/TfrmPrincipal.h"
#include "shell/TfrmSobre.h"
#include "printing/TQRPrinter.h"
#include "viewer/FindBar.h"
#include "viewer/TfrmKestanPreview.h"
#include "viewer/ThumbnailPanel.h"

#include <QApplication>
#include <QDockWidget>
#include <QLineEdit>
#include <QScreen>
#include <QTest>

#include <cstdio>

using namespace tarvolo;

namespace {

bool Save(QWidget& window, const QString& path)
{
    QTest::qWait(500);
    const QRect frame = window.frameGeometry();
    const QPixmap picture = window.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    return picture.save(path);
}

// The viewer on the sample report with its thumbnails, having found a customer's name.
bool SaveFinding(const QString& path)
{
    platform::TestDialogService dialogs;
    platform::TestPrinterDevice printers;
    printing::TQRPrinter printer(printers, [] { return std::make_unique<platform::TestPrinterDevice>(); });
    viewer::TfrmKestanPreview window(printer, printers, dialogs);
    window.showNormal();
    window.resize(1180, 760);
    window.OpenReportFile(TARVOLO_SOURCE_DIR "/samples/sample-report.qrp");
    window.ThumbnailDock()->show();
    window.ShowFindBar();
    auto* text = window.FindText()->findChild<QLineEdit*>("FindText");
    text->setText("Ferretería");
    QTest::keyClick(text, Qt::Key_Return);
    for (int i = 0; i < 300 && (window.Search()->IsRunning() || window.Thumbnails()->Pending() > 0); ++i)
        QTest::qWait(10);
    window.QRPreview1->PageView()->Tiles()->WaitUntilIdle();
    return Save(window, path);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    application.setApplicationName("tarvolo");
    if (argc != 2) {
        std::fprintf(stderr, "usage: shell_screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    platform::TestDialogService dialogs;
    platform::TestAssociationStore associations;
    platform::TestPrinterDevice printers;
    platform::TestDesktopLinks links;
    shell::ShellServices services{dialogs, associations, printers, [] { return std::make_unique<platform::TestPrinterDevice>(); }, links,
                                  "/usr/bin/tarvolo"};

    auto* window = new shell::TfrmPrincipal(services, {"tarvolo"});
    window->Create();
    window->show();
    bool saved = Save(*window, folder + "/main-window.png");

    {
        shell::TfrmSobre about(window, true, links);
        about.Create();
        about.show();
        saved = Save(about, folder + "/about.png") && saved;
    }
    delete window;
    saved = SaveFinding(folder + "/find.png") && saved;
    return saved ? 0 : 1;
}
