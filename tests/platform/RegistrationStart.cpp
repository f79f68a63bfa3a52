// Registers the report type as a start of the program does, in the desktop folders its
// environment names, without a window: exit status 1 and the error when it is refused.
//   registration_start EXECUTABLE
#include "platform/XdgAssociationStore.h"

#include <QCoreApplication>

#include <cstdio>
#include <exception>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QString executable = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QCoreApplication::applicationFilePath();
    try {
        tarvolo::platform::XdgAssociationStore store;
        tarvolo::platform::RegisterFileType(store, ".qrp", "qrp", QStringLiteral("Tarvolo : Visualizador de Relatórios"),
                                            executable, 0);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "refused: %s\n", error.what());
        return 1;
    }
    return 0;
}
