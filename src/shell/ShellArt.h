#pragma once

#include <QPixmap>

namespace tarvolo::shell {

// The shell's pictures, drawn in code so that they stay sharp at any screen scale.
class ShellArt {
public:
    // The wide logo of the main window: 237 × 65.
    static QPixmap MainLogo(qreal devicePixelRatio = 1);
    // The tall logo of the About window: 69 × 102.
    static QPixmap AboutLogo(qreal devicePixelRatio = 1);
};

} // namespace tarvolo::shell
