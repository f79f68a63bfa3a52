#pragma once

#include "render/ByteCache.h"

#include <QColor>
#include <QGlyphRun>
#include <QHash>
#include <QImage>
#include <QRawFont>

class QPainter;

namespace tarvolo::emf {

// Qt's raster engine caches glyph images only up to 64 pixels and fills larger glyphs as
// outlines, one path each: titles at print resolution and all text at high zoom. This draws
// upright glyphs up to kLargestEm pixels from coloured glyph images kept per thread instead,
// placed on whole pixels. The cache is bounded in bytes. For raster devices only: elsewhere the
// text would become pictures.
class GlyphImages {
public:
    static constexpr qreal kSmallestEm = 64;
    static constexpr qreal kLargestEm = 256;

    // The calling thread's cache (ThreadFonts).
    static GlyphImages& Instance();

    // Whether glyphs of this font are drawn here rather than by Qt.
    static bool Draws(const QRawFont& font) { return font.pixelSize() > kSmallestEm && font.pixelSize() <= kLargestEm; }
    // Draws the glyphs of a run at origin + their positions, in the painter's device pixels (its
    // transform must be the identity).
    void Draw(QPainter& painter, const QRawFont& font, const QList<quint32>& glyphs, const QList<QPointF>& positions,
              QPointF origin, QColor color);

private:
    struct Key {
        QString font;
        quint32 glyph;
        QRgb color;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        size_t operator()(const Key& key) const noexcept { return qHashMulti(0, key.font, key.glyph, key.color); }
    };
    struct Glyph {
        QImage image; // premultiplied, in the glyph's colour; null for a glyph with no ink
        QPoint offset; // of the image's top left from the glyph's origin
    };
    static constexpr qint64 kBudget = 8 << 20;

    const Glyph& Find(const QRawFont& font, const QString& fontKey, quint32 glyph, QRgb color);

    ByteCache<Key, Glyph, KeyHash> glyphs_{kBudget}; // charged the bytes of their images
};

} // namespace tarvolo::emf
