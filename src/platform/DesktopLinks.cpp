#include "DesktopLinks.h"

#include <QDesktopServices>

namespace tarvolo::platform {

bool QtDesktopLinks::Open(const QUrl& link)
{
    return QDesktopServices::openUrl(link);
}

} // namespace tarvolo::platform
