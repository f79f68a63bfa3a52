#pragma once

#include "GdiObjects.h"

#include <QHash>
#include <QRawFont>
#include <QString>

#include <list>

namespace tarvolo::emf {

// Finds the font that stands in for a Windows face on this machine and hands it out at any pixel
// size. Windows' core faces map to metric-compatible ones (Liberation, Carlito, Wine's Tahoma
// and MS Sans Serif), so that text measured on Windows fits the same space here. Fonts are cached.
// Each thread has its own mapper: fonts and their glyph caches are not shared between threads.
class FontMapper {
public:
    // The calling thread's mapper.
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
    // Large fonts keep large glyph images: the cache holds fewer of them.
    static double CacheCost(qreal emPixels);
    static constexpr double kCacheBudget = 96;
    static constexpr qsizetype kMaxRememberedFaces = 1024;

    struct CachedFont {
        QString key;
        QRawFont font;
        double cost;
    };
    QHash<QString, QString> families_;
    QHash<QString, bool> outlined_; // family -> has outlines
    std::list<CachedFont> cache_; // most recently used first
    double cacheCost_ = 0;
};

} // namespace tarvolo::emf
