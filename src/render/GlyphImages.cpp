#include "render/detail/GlyphImages.h"

#include "render/detail/ThreadFonts.h"

#include <QPainter>

#include <cmath>

namespace tarvolo::emf {

GlyphImages& GlyphImages::Instance()
{
    return ThreadGlyphImages();
}

const GlyphImages::Glyph& GlyphImages::Find(const QRawFont& font, const QString& fontKey, quint32 glyph, QRgb color)
{
    const Key key{fontKey, glyph, color};
    if (const Glyph* found = glyphs_.Find(key))
        return *found;

    Glyph made;
    const QImage alpha = font.alphaMapForGlyph(glyph, QRawFont::PixelAntialiasing).convertToFormat(QImage::Format_Alpha8);
    if (!alpha.isNull() && alpha.width() > 0 && alpha.height() > 0) {
        // The alpha map's top left is the glyph's bounding box's, on whole pixels.
        const QRectF box = font.boundingRect(glyph);
        made.offset = QPoint(static_cast<int>(std::floor(box.left())), static_cast<int>(std::floor(box.top())));
        made.image = QImage(alpha.size(), QImage::Format_ARGB32_Premultiplied);
        const int r = qRed(color), g = qGreen(color), b = qBlue(color), a = qAlpha(color);
        for (int y = 0; y < alpha.height(); ++y) {
            const uchar* coverage = alpha.constScanLine(y);
            auto* out = reinterpret_cast<QRgb*>(made.image.scanLine(y));
            for (int x = 0; x < alpha.width(); ++x) {
                const int c = coverage[x] * a / 255;
                out[x] = qRgba(r * c / 255, g * c / 255, b * c / 255, c);
            }
        }
    }
    const qsizetype bytes = made.image.sizeInBytes();
    glyphs_.Insert(key, std::move(made), bytes);
    return *glyphs_.Find(key); // the newest entry stays, whatever its size
}

void GlyphImages::Draw(QPainter& painter, const QRawFont& font, const QList<quint32>& glyphs, const QList<QPointF>& positions,
                       QPointF origin, QColor color)
{
    const QString fontKey = font.familyName() + '|' + font.styleName() + '|' + QString::number(font.weight()) + '|' +
                            QString::number(static_cast<int>(font.style())) + '|' + QString::number(font.pixelSize());
    const QRgb rgb = color.rgba();
    for (qsizetype i = 0; i < glyphs.size() && i < positions.size(); ++i) {
        const Glyph& glyph = Find(font, fontKey, glyphs[i], rgb);
        if (glyph.image.isNull())
            continue;
        const QPointF at = origin + positions[i];
        painter.drawImage(QPoint(static_cast<int>(std::lround(at.x())) + glyph.offset.x(),
                                 static_cast<int>(std::lround(at.y())) + glyph.offset.y()),
                          glyph.image);
    }
}

} // namespace tarvolo::emf
