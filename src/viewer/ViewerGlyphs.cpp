#include "ViewerGlyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace tarvolo::viewer {

namespace {

const QColor kInk(0x2B, 0x3A, 0x4F), kAccent(0x2F, 0x6F, 0xC0), kPaper(Qt::white);

// A sheet of paper with a folded corner, in a 16-unit box.
void Sheet(QPainter& p, QRectF r)
{
    QPainterPath sheet;
    sheet.moveTo(r.left(), r.top());
    sheet.lineTo(r.right() - 3, r.top());
    sheet.lineTo(r.right(), r.top() + 3);
    sheet.lineTo(r.right(), r.bottom());
    sheet.lineTo(r.left(), r.bottom());
    sheet.closeSubpath();
    p.setPen(QPen(kInk, 1));
    p.setBrush(kPaper);
    p.drawPath(sheet);
}

void Magnifier(QPainter& p)
{
    p.setPen(QPen(kAccent, 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(9.5, 9.5), 3.2, 3.2);
    p.setPen(QPen(kAccent, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(12, 12), QPointF(14.6, 14.6));
}

// An arrow head pointing left or right, with or without a bar at its tip.
void Arrow(QPainter& p, bool right, bool bar)
{
    QPolygonF head = right ? QPolygonF({QPointF(5, 3.5), QPointF(11.5, 8), QPointF(5, 12.5)})
                           : QPolygonF({QPointF(11, 3.5), QPointF(4.5, 8), QPointF(11, 12.5)});
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawPolygon(head);
    if (bar)
        p.drawRect(right ? QRectF(12, 3.5, 1.8, 9) : QRectF(2.2, 3.5, 1.8, 9));
}


void DrawGlyph(QPainter& p, int index)
{
    switch (index) {
    case 0: // zoom to page
        Sheet(p, QRectF(2.5, 1.5, 9, 12));
        Magnifier(p);
        break;
    case 1: { // zoom 100 %
        Magnifier(p);
        QFont font("Liberation Sans");
        font.setPixelSize(7);
        font.setBold(true);
        p.setFont(font);
        p.setPen(kInk);
        p.drawText(QRectF(0, 0, 10, 8), Qt::AlignCenter, "1:1");
        break;
    }
    case 2: // zoom to width
        Sheet(p, QRectF(1.5, 3.5, 13, 9));
        p.setPen(QPen(kAccent, 1.4));
        p.drawLine(QPointF(3, 8), QPointF(13, 8));
        p.setBrush(kAccent);
        p.drawPolygon(QPolygonF({QPointF(2.5, 8), QPointF(5, 6), QPointF(5, 10)}));
        p.drawPolygon(QPolygonF({QPointF(13.5, 8), QPointF(11, 6), QPointF(11, 10)}));
        break;
    case 3: Arrow(p, false, true); break;
    case 4: Arrow(p, false, false); break;
    case 5: Arrow(p, true, false); break;
    case 6: Arrow(p, true, true); break;
    case 7: // print setup
        ViewerGlyphs::PaintPrinter(p);
        p.setPen(QPen(kAccent, 1.6));
        p.setBrush(kPaper);
        p.drawEllipse(QPointF(12.2, 12.2), 2.6, 2.6);
        break;
    case 8: ViewerGlyphs::PaintPrinter(p); break;
    case 9: { // load report: an open folder
        p.setPen(QPen(kInk, 1));
        p.setBrush(QColor(0xF2, 0xC1, 0x4E));
        p.drawPolygon(QPolygonF({QPointF(1.5, 3.5), QPointF(6, 3.5), QPointF(7.5, 5), QPointF(13.5, 5), QPointF(13.5, 13.5),
                                 QPointF(1.5, 13.5)}));
        p.setBrush(QColor(0xF8, 0xD9, 0x86));
        p.drawPolygon(QPolygonF({QPointF(3.5, 7.5), QPointF(15, 7.5), QPointF(13.5, 13.5), QPointF(1.5, 13.5)}));
        break;
    }
    case 10: // save report: a diskette
        p.setPen(QPen(kInk, 1));
        p.setBrush(kAccent);
        p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 1.5, 1.5);
        p.setBrush(kPaper);
        p.drawRect(QRectF(4.5, 1.5, 7, 5));
        p.drawRect(QRectF(3.5, 9.5, 9, 5));
        break;
    default: break;
    }
}

QPixmap Draw(int index, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 16.0, size / 16.0);
    DrawGlyph(painter, index);
    return pixmap;
}

} // namespace

QIcon ViewerGlyphs::Glyph(int index)
{
    QIcon icon;
    icon.addPixmap(Draw(index, 16));
    icon.addPixmap(Draw(index, 32));
    return icon;
}

void ViewerGlyphs::PaintPrinter(QPainter& p)
{
    p.setPen(QPen(kInk, 1));
    p.setBrush(kPaper);
    p.drawRect(QRectF(4.5, 1.5, 7, 5));
    p.setBrush(QColor(0xB8, 0xC4, 0xD4));
    p.drawRoundedRect(QRectF(1.5, 6.5, 13, 6), 1.5, 1.5);
    p.setBrush(kPaper);
    p.drawRect(QRectF(4.5, 10.5, 7, 4));
}

} // namespace tarvolo::viewer
