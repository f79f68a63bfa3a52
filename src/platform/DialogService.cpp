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

namespace tarvolo::platform {

std::optional<FileDialogAnswer> QtDialogService::GetSaveFileName(QWidget*, const FileDialogRequest&)
{
    return std::nullopt;
}

std::optional<FileDialogAnswer> QtDialogService::GetOpenFileName(QWidget*, const FileDialogRequest&)
{
    return std::nullopt;
}

bool QtDialogService::RunPrintDialog(QWidget*, PrintDialogBlock&)
{
    return false;
}

} // namespace tarvolo::platform
