// Qt's own texts in the program's language: the dialogs the dialog service opens, read while they
// are open. A watchdog closes any dialog left open, so that a failing test cannot hang the suite.

#include "platform/QtDialogService.h"
#include "platform/QtTranslations.h"
#include "support/TestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QTimer>
#include <QTranslator>

#include <gtest/gtest.h>

#include <functional>

using namespace tarvolo;
using platform::InstallQtTranslations;
using platform::QtDialogService;

namespace {

// What a dialog says: its title, then its buttons' and labels' texts.
struct DialogTexts {
    QString title;
    QStringList buttons;
    QStringList labels;
};

// Opens a dialog with open and reads it once it is the active modal window; then closes it.
DialogTexts ReadDialog(const std::function<void()>& open)
{
    DialogTexts texts;
    bool read = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || read)
            return;
        read = true;
        texts.title = dialog->windowTitle();
        for (const QAbstractButton* button : dialog->findChildren<QAbstractButton*>())
            if (button->isVisibleTo(dialog) && !button->text().isEmpty())
                texts.buttons.push_back(button->text());
        for (const QLabel* label : dialog->findChildren<QLabel*>())
            if (label->isVisibleTo(dialog) && !label->text().isEmpty())
                texts.labels.push_back(label->text());
        dialog->reject();
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            dialog->reject();
    });
    poll.start(10);
    watchdog.start(10000);
    open();
    EXPECT_TRUE(read) << "the dialog did not open";
    return texts;
}

const platform::FileDialogRequest kOpenReport{"Carregar Relatório", "Relatório (*.QRP)|*.QRP", QString()};

const struct DialogCase {
    const char* what;
    std::function<void()> open;
    QStringList portugueseButtons;
    QStringList englishButtons;
} kDialogs[] = {
    {"question", [] { QtDialogService().AskYesNo(nullptr, "Confirmação", "Deseja realmente sair?"); },
     {"&Sim", "&Não"}, {"&Yes", "&No"}},
    {"open file", [] { QtDialogService().GetOpenFileName(nullptr, kOpenReport); }, {"&Abrir", "Cancelar"}, {"&Open", "Cancel"}},
    {"save file", [] { QtDialogService().GetSaveFileName(nullptr, kOpenReport); }, {"&Salvar", "Cancelar"}, {"&Save", "Cancel"}},
    {"print", [] {
         QPrinter printer;
         QPrintDialog(&printer).exec();
     },
     {"&Imprimir", "Cancelar"}, {"&Print", "Cancel"}},
};

} // namespace

TEST(QtTranslationsTest, QtsDialogsSpeakPortuguese)
{
    const std::unique_ptr<QTranslator> translator = InstallQtTranslations();
    ASSERT_TRUE(translator) << "no Portuguese catalog of Qt in " << platform::QtTranslationsFolder().toStdString();
    for (const DialogCase& dialog : kDialogs) {
        const DialogTexts texts = ReadDialog(dialog.open);
        for (const QString& button : dialog.portugueseButtons)
            EXPECT_TRUE(texts.buttons.contains(button)) << dialog.what << ": " << texts.buttons.join(", ").toStdString();
    }
    // The titles and labels Qt gives on its own.
    QPrinter printer;
    EXPECT_EQ(ReadDialog([&] { QPrintDialog(&printer).exec(); }).title, "Imprimir");
    EXPECT_TRUE(ReadDialog([] { QtDialogService().GetOpenFileName(nullptr, kOpenReport); }).labels.contains("&Nome do arquivo:"));
}

TEST(QtTranslationsTest, WithoutTheCatalogsQtStaysAsItWas)
{
    // A folder without Qt's catalogs, and the translator gone again: Qt's English texts.
    const test::TempDir empty;
    EXPECT_FALSE(InstallQtTranslations(QString::fromStdString(empty.Path().string())));
    InstallQtTranslations().reset();
    for (const DialogCase& dialog : kDialogs) {
        const DialogTexts texts = ReadDialog(dialog.open);
        for (const QString& button : dialog.englishButtons)
            EXPECT_TRUE(texts.buttons.contains(button)) << dialog.what << ": " << texts.buttons.join(", ").toStdString();
    }
}
