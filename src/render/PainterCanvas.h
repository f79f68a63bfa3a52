#pragma once

#include "ReportCanvas.h"

class QPainter;

namespace tarvolo::emf {

// A report canvas that paints straight onto a QPainter (a printer's page), in its device pixels.
class PainterCanvas : public ReportCanvas {
public:
    explicit PainterCanvas(QPainter& painter) : painter_(painter) {}

    void MoveTo(int x, int y) override { position_ = QPoint(x, y); }
    void LineTo(int x, int y) override;
    void Rectangle(const QRect& rect) override;
    void FillRect(const QRect& rect) override;
    void Ellipse(const QRect& rect) override;
    void RoundRect(const QRect& rect, int cornerWidth, int cornerHeight) override;
    void Polyline(const QVector<QPoint>& points) override;
    void Polygon(const QVector<QPoint>& points) override;
    void TextOut(int x, int y, const QString& text) override;
    void TextRect(const QRect& rect, int x, int y, const QString& text) override;
    int TextWidth(const QString& text) override;
    void StretchDraw(const QRect& rect, const QImage& image) override;
    void StretchDraw(const QRect& rect, const Metafile& metafile) override;

private:
    void UsePenAndBrush(bool filled);
    void UseFont();

    QPainter& painter_;
    QPoint position_;
};

} // namespace tarvolo::emf
