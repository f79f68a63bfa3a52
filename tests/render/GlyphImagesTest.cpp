#include "render/detail/GlyphImages.h"
#include "support/InkComparison.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>

#include <gtest/gtest.h>

using namespace tarvolo::emf;

// Large glyphs drawn from glyph images land where their outlines are, in their colour.
TEST(GlyphImages, GlyphsLieOnTheirOutlinesInTheTextColour)
{
    for (const qreal em : {70.3, 140.0, 255.5}) {
        SCOPED_TRACE(em);
        QFont qfont("Liberation Sans");
        qfont.setPixelSize(static_cast<int>(em));
        qfont.setHintingPreference(QFont::PreferNoHinting);
        QRawFont font = QRawFont::fromFont(qfont);
        font.setPixelSize(em);
        ASSERT_TRUE(GlyphImages::Draws(font));
        const QList<quint32> glyphs = font.glyphIndexesForString("Hag&W");
        QList<QPointF> positions;
        qreal x = 0;
        for (const QPointF& advance : font.advancesForGlyphIndexes(glyphs)) {
            positions.push_back(QPointF(x, 0));
            x += advance.x();
        }
        const QPointF origin(20.4, em * 1.2);
        const QSize size(static_cast<int>(x) + 40, static_cast<int>(em * 1.6));

        QImage outlines(size, QImage::Format_RGB32), drawn(size, QImage::Format_RGB32);
        outlines.fill(Qt::white);
        drawn.fill(Qt::white);
        {
            QPainter painter(&outlines);
            painter.setRenderHint(QPainter::Antialiasing);
            for (qsizetype i = 0; i < glyphs.size(); ++i)
                painter.fillPath(font.pathForGlyph(glyphs[i]).translated(origin + positions[i]), QColor(0, 0, 200));
        }
        {
            QPainter painter(&drawn);
            GlyphImages::Instance().Draw(painter, font, glyphs, positions, origin, QColor(0, 0, 200));
        }
        const auto ink = tarvolo::test::InkComparison::Compare(outlines, drawn);
        EXPECT_GT(ink.recall, 0.98);
        EXPECT_GT(ink.precision, 0.98);
        EXPECT_EQ(drawn.pixel(static_cast<int>(origin.x() + font.pathForGlyph(glyphs[0]).boundingRect().left()) + 3,
                              static_cast<int>(origin.y()) - 5),
                  qRgb(0, 0, 200))
            << "the H's stem, solid in the text colour";
    }
}
