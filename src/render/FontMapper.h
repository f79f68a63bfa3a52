#pragma once

#include "GdiObjects.h"

#include <QHash>
#include <QRawFont>
#include <QString>

#include <list>
#include <mutex>

namespace tarvolo::emf {

// Finds the font that stands in for a Windows face on this machine and hands it out at any pixel
// size. Windows' core faces map to metric-compatible ones (Liberation, Carlito, Wine's Tahoma
// and MS Sans Serif), so that text measured on Windows fits the same space here. Fonts are cached.
class FontMapper {
public:
    static FontMapper& Instance();

    // The family that draws faceName here.
    QString Family(const QString& faceName);
    // The font for a logical font with its em square emPixels high. Glyphs drawn turned, mirrored
    // or stretched need outlines: a bitmap-only face (Windows' System, MS Sans Serif) then gives
    // way to the default family.
    QRawFont Font(const GdiFont& font, qreal emPixels, bool needsOutlines = false);
    // The em size in pixels of a logical font whose height, scaled by scale, is the character
    // height when negative and the cell height (ascent plus descent) when positive.
    double EmPixels(const GdiFont& font, double height, double scale);

private:
    FontMapper();
    bool HasOutlines(const QString& family);
    static constexpr std::size_t kCacheSize = 96;
    static constexpr qsizetype kMaxRememberedFaces = 1024;

    std::mutex mutex_;
    QHash<QString, QString> families_;
    QHash<QString, bool> outlined_; // family -> has outlines
    std::list<std::pair<QString, QRawFont>> cache_; // most recently used first
};

} // namespace tarvolo::emf
