#include "DialogService.h"

#include <QCoreApplication>

namespace tarvolo::platform {

void ShowStandardError(DialogService& dialogs, QWidget* parent, const std::exception& error)
{
    QString text = QString::fromUtf8(error.what());
    if (!text.isEmpty() && text.back() > '.')
        text += '.';
    dialogs.ShowMessage(parent, QCoreApplication::applicationName(), text, DialogService::Icon::Error);
}

} // namespace tarvolo::platform
