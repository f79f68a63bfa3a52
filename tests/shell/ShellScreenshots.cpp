// Pictures of the main window's bar and the About window for the documentation, drawn on a real X
// server (scripts/screenshots.sh runs this under Xvfb).
//   shell_screenshots OUTPUT_FOLDER

#include "doubles/TestAssociationStore.h"
#include "doubles/TestDesktopLinks.h"
#include "doubles/TestDialogService.h"
#include "doubles/TestPrinterDevice.h"
#include "shell/TfrmPrincipal.h"
#include "shell/TfrmSobre.h"

#include <QApplication>
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
    return saved ? 0 : 1;
}
