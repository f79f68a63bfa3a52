#include "QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace tarvolo::platform {

QString QtTranslationsFolder()
{
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
}

std::unique_ptr<QTranslator> InstallQtTranslations(const QString& folder)
{
    const QLocale portuguese(QLocale::Portuguese, QLocale::Brazil);
    // "qt" gathers the catalogs of every Qt module installed; "qtbase" alone holds the dialogs,
    // for an installation that lacks the gathering one.
    for (const char* catalog : {"qt", "qtbase"}) {
        auto translator = std::make_unique<QTranslator>();
        if (translator->load(portuguese, QString::fromLatin1(catalog), QStringLiteral("_"), folder) &&
            QCoreApplication::installTranslator(translator.get()))
            return translator;
    }
    return nullptr;
}

} // namespace tarvolo::platform
