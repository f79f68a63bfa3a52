#pragma once

#include "metafile/Metafile.h"

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QVector>

#include <cstdint>

namespace tarvolo::emf {

// What a report producer draws a page with, in device pixels: a pen, a brush and a font set as
// properties, and the drawing calls. Recorded into a metafile or painted on a printer.
class ReportCanvas {
public:
    enum class PenStyle : std::uint32_t { Solid = 0, Dash = 1, Dot = 2, DashDot = 3, DashDotDot = 4, Clear = 5 };
    enum class BrushStyle { Solid, Clear };

    struct Pen {
        QColor color = Qt::black;
        int width = 1;
        PenStyle style = PenStyle::Solid;
        bool operator==(const Pen&) const = default;
    };
    struct Brush {
        QColor color = Qt::white;
        BrushStyle style = BrushStyle::Solid;
        bool operator==(const Brush&) const = default;
    };
    struct Font {
        QString face = "Arial";
        int height = -13; // pixels; negative is the character height, positive the cell height
        bool bold = false;
        bool italic = false;
        bool underline = false;
        QColor color = Qt::black;
        bool operator==(const Font&) const = default;
    };

    virtual ~ReportCanvas() = default;

    Pen pen;
    Brush brush;
    Font font;

    virtual void MoveTo(int x, int y) = 0;
    virtual void LineTo(int x, int y) = 0;
    virtual void Rectangle(const QRect& rect) = 0; // outlined with the pen, filled with the brush
    virtual void FillRect(const QRect& rect) = 0;  // the brush only
    virtual void Ellipse(const QRect& rect) = 0;
    virtual void RoundRect(const QRect& rect, int cornerWidth, int cornerHeight) = 0;
    virtual void Polyline(const QVector<QPoint>& points) = 0;
    virtual void Polygon(const QVector<QPoint>& points) = 0;
    // Text with its top-left corner at (x, y), in the font's colour on a transparent background.
    virtual void TextOut(int x, int y, const QString& text) = 0;
    // Text at (x, y) clipped to rect.
    virtual void TextRect(const QRect& rect, int x, int y, const QString& text) = 0;
    virtual int TextWidth(const QString& text) = 0;
    virtual void StretchDraw(const QRect& rect, const QImage& image) = 0;
    virtual void StretchDraw(const QRect& rect, const Metafile& metafile) = 0;
};

} // namespace tarvolo::emf
