#pragma once

#include <QWidget>

namespace tarvolo::test {

// Where a key typed into window goes, as on a desktop: the control that has its focus, or the
// window itself when none has.
inline QWidget* KeyTarget(QWidget* window)
{
    QWidget* focus = window->focusWidget();
    return focus ? focus : window;
}

} // namespace tarvolo::test
