#include "PageMarks.h"

#include <QColor>
#include <QPainter>

namespace tarvolo::preview {

void DrawMarks(QPainter& painter, const PageMarks& marks, QSize size)
{
    const auto draw = [&](const QList<QRectF>& rects, QColor color) {
        for (const QRectF& share : rects)
            painter.fillRect(QRectF(share.x() * size.width(), share.y() * size.height(), share.width() * size.width(),
                                    share.height() * size.height()),
                             color);
    };
    painter.setCompositionMode(QPainter::CompositionMode_Multiply);
    draw(marks.found, QColor(255, 236, 120));
    draw(marks.current, QColor(255, 170, 60));
    draw(marks.selected, QColor(150, 190, 255));
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

} // namespace tarvolo::preview
