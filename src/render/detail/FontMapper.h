#pragma once

#include "render/ByteCache.h"
#include "render/detail/GdiObjects.h"

#include <QHash>
#include <QRawFont>
#include <QString>

#include <cstdint>

namespace tarvolo::emf {

// Finds the font that stands in for a Windows face on this machine and hands it out at any pixel
// size. Windows' core faces map to metric-compatible ones (Liberation, Carlito, Wine's Tahoma
// and MS Sans Serif), so that text measured on Windows fits the same space here. Fonts are cached.
// Each thread has its own mapper (ThreadFonts): fonts and their glyph caches are not shared
// between threads.
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
    friend struct ThreadFontCaches;
    FontMapper();
    bool HasOutlines(const QString& family);
    // Large fonts keep large glyph images: the cache holds fewer of them. A font costs the area of
    // its em square in 1/256 square pixels, at least that of a 64-pixel em; sizes are whole
    // sixteenths of a pixel, so the cost is exact.
    static std::int64_t CacheCost(qreal emPixels);
    static constexpr std::int64_t kLeastCost = std::int64_t{64 * 64} << 8;
    static constexpr std::int64_t kCacheBudget = 96 * kLeastCost; // 96 fonts of 64 pixels or less
    static constexpr qsizetype kMaxRememberedFaces = 1024;

    QHash<QString, QString> families_;
    QHash<QString, bool> outlined_; // family -> has outlines
    ByteCache<QString, QRawFont> cache_{kCacheBudget};
};

} // namespace tarvolo::emf
