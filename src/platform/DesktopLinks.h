#pragma once

#include <QUrl>

namespace tarvolo::platform {

// Opens a link the way the desktop does: a web address in the user's browser, a mailto: link in
// the user's mail program.
class DesktopLinks {
public:
    virtual ~DesktopLinks() = default;
    // False when nothing could open it.
    virtual bool Open(const QUrl& link) = 0;
};

// Through QDesktopServices (xdg-open on Linux desktops).
class QtDesktopLinks : public DesktopLinks {
public:
    bool Open(const QUrl& link) override;
};

} // namespace tarvolo::platform
