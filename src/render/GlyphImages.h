#pragma once

#include <QColor>
#include <QGlyphRun>
#include <QHash>
#include <QImage>
#include <QRawFont>

#include <list>

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

    // The calling thread's cache.
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
    friend size_t qHash(const Key& key, size_t seed) noexcept { return qHashMulti(seed, key.font, key.glyph, key.color); }
    struct Glyph {
        QImage image; // premultiplied, in the glyph's colour; null for a glyph with no ink
        QPoint offset; // of the image's top left from the glyph's origin
    };
    struct Entry {
        Key key;
        Glyph glyph;
    };
    static constexpr qint64 kBudget = 8 << 20;

    const Glyph& Find(const QRawFont& font, const QString& fontKey, quint32 glyph, QRgb color);

    std::list<Entry> entries_; // most recently used first
    QHash<Key, std::list<Entry>::iterator> index_;
    qint64 bytes_ = 0;
};

} // namespace tarvolo::emf
