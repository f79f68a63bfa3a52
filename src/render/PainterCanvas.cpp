#include "PainterCanvas.h"

#include "EmfPlayer.h"
#include "render/detail/FontMapper.h"

#include <QFontMetrics>
#include <QPainter>

#include <cmath>

namespace tarvolo::emf {

void PainterCanvas::UsePenAndBrush(bool filled)
{
    if (pen.style == PenStyle::Clear) {
        painter_.setPen(Qt::NoPen);
    } else {
        QPen qpen(pen.color, std::max(pen.width, 1));
        static const Qt::PenStyle styles[] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine, Qt::DashDotLine, Qt::DashDotDotLine};
        qpen.setStyle(styles[std::min<std::uint32_t>(static_cast<std::uint32_t>(pen.style), 4)]);
        painter_.setPen(qpen);
    }
    painter_.setBrush(filled && brush.style == BrushStyle::Solid ? QBrush(brush.color) : QBrush(Qt::NoBrush));
}

void PainterCanvas::UseFont()
{
    QFont qfont(FontMapper::Instance().Family(font.face));
    qfont.setPixelSize(std::max(1, std::abs(font.height)));
    qfont.setBold(font.bold);
    qfont.setItalic(font.italic);
    qfont.setUnderline(font.underline);
    painter_.setFont(qfont);
    painter_.setPen(font.color);
}

void PainterCanvas::LineTo(int x, int y)
{
    UsePenAndBrush(false);
    painter_.drawLine(position_, QPoint(x, y));
    position_ = QPoint(x, y);
}

void PainterCanvas::Rectangle(const QRect& rect)
{
    UsePenAndBrush(true);
    painter_.drawRect(rect);
}

void PainterCanvas::FillRect(const QRect& rect)
{
    painter_.fillRect(rect, brush.color);
}

void PainterCanvas::Ellipse(const QRect& rect)
{
    UsePenAndBrush(true);
    painter_.drawEllipse(rect);
}

void PainterCanvas::RoundRect(const QRect& rect, int cornerWidth, int cornerHeight)
{
    UsePenAndBrush(true);
    painter_.drawRoundedRect(rect, cornerWidth / 2.0, cornerHeight / 2.0);
}

void PainterCanvas::Polyline(const QVector<QPoint>& points)
{
    UsePenAndBrush(false);
    painter_.drawPolyline(points.data(), static_cast<int>(points.size()));
}

void PainterCanvas::Polygon(const QVector<QPoint>& points)
{
    UsePenAndBrush(true);
    painter_.drawPolygon(points.data(), static_cast<int>(points.size()));
}

void PainterCanvas::TextOut(int x, int y, const QString& text)
{
    UseFont();
    painter_.drawText(QPoint(x, y + QFontMetrics(painter_.font()).ascent()), text);
}

void PainterCanvas::TextRect(const QRect& rect, int x, int y, const QString& text)
{
    painter_.save();
    painter_.setClipRect(rect, Qt::IntersectClip);
    TextOut(x, y, text);
    painter_.restore();
}

int PainterCanvas::TextWidth(const QString& text)
{
    UseFont();
    return QFontMetrics(painter_.font()).horizontalAdvance(text);
}

void PainterCanvas::StretchDraw(const QRect& rect, const QImage& image)
{
    painter_.drawImage(rect, image);
}

void PainterCanvas::StretchDraw(const QRect& rect, const Metafile& metafile)
{
    EmfPlayer::Play(metafile, painter_, rect);
}

} // namespace tarvolo::emf
