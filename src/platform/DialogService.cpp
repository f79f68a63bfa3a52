#include "DialogService.h"

#include <QMessageBox>

namespace tarvolo::platform {

void QtDialogService::ShowMessage(QWidget* parent, const QString& title, const QString& text, Icon icon)
{
    const QMessageBox::Icon qtIcon = icon == Icon::Information ? QMessageBox::Information
                                     : icon == Icon::Warning   ? QMessageBox::Warning
                                                               : QMessageBox::Critical;
    QMessageBox box(qtIcon, title, text, QMessageBox::Ok, parent);
    box.exec();
}

} // namespace tarvolo::platform
