#pragma once

#include <QString>

#include <memory>

class QTranslator;

namespace tarvolo::platform {

// The folder Qt's own translations are installed in.
QString QtTranslationsFolder();

// Installs Qt's own Brazilian Portuguese texts from folder (its standard buttons, file and print
// dialogs), so that they speak the program's language whatever the desktop's is. Without them
// Qt's English texts stay and nothing is installed (a null translator). The translator is removed
// from the application when it goes.
std::unique_ptr<QTranslator> InstallQtTranslations(const QString& folder = QtTranslationsFolder());

} // namespace tarvolo::platform
