#pragma once

// Qt's widgets behind the dialog service: the application's own dialogs. Only the program and the
// tests of these dialogs link them (tarvolo_platform_widgets); everything else asks DialogService.

#include "DialogService.h"

#include <QPoint>
#include <QSize>
#include <QString>
#include <QStringList>

namespace tarvolo::platform {

// Where a dialog of the given size goes on a screen of the given size: centred across, a third of
// the free height down. Negative when the dialog is larger than the screen.
QPoint DialogPlacement(QSize screen, QSize window);

// A "|"-joined filter as FileDialogRequest carries it, as Qt name filters ("Desc (*.EXT *.ext)"),
// one for each description and pattern pair. Patterns are listed in upper and lower case too,
// since names on Linux are matched case-sensitively and reports are often saved in either.
QStringList QtNameFilters(const QString& windowsFilter);

// Qt's message boxes, file dialogs and print dialog.
class QtDialogService : public DialogService {
public:
    void ShowMessage(QWidget* parent, const QString& title, const QString& text, Icon icon) override;
    bool AskYesNo(QWidget* parent, const QString& title, const QString& text) override;
    std::optional<FileDialogAnswer> GetSaveFileName(QWidget* parent, const FileDialogRequest& request) override;
    std::optional<FileDialogAnswer> GetOpenFileName(QWidget* parent, const FileDialogRequest& request) override;
    bool RunPrintDialog(QWidget* parent, PrintDialogBlock& block) override;

protected:
    // The printer the system prints to when none is chosen; empty when there is none. The print
    // dialog warns before it opens without one.
    virtual QString DefaultPrinterName() const;
};

} // namespace tarvolo::platform
