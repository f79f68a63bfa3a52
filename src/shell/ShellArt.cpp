#include "ShellArt.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>

namespace tarvolo::shell {

namespace {

const QColor kInk(0x2B, 0x3A, 0x4F), kAccent(0x2F, 0x6F, 0xC0), kMaroon(128, 0, 0);

QPixmap Canvas(QSize size, qreal ratio)
{
    QPixmap pixmap(size * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// A stack of two report sheets, the front one with ruled lines, in the given box.
void Sheets(QPainter& p, const QRectF& box)
{
    const qreal w = box.width() * 0.72, h = box.height() * 0.86;
    p.setPen(QPen(kInk, 1.2));
    p.setBrush(QColor(0xDD, 0xE5, 0xF0));
    p.drawRect(QRectF(box.right() - w, box.top(), w, h));
    const QRectF front(box.left(), box.bottom() - h, w, h);
    p.setBrush(Qt::white);
    p.drawRect(front);
    p.setPen(QPen(kAccent, 1.4));
    for (int i = 1; i <= 5; ++i) {
        const qreal y = front.top() + front.height() * i / 7.0;
        p.drawLine(QPointF(front.left() + w * 0.15, y), QPointF(front.right() - w * (i % 2 ? 0.15 : 0.35), y));
    }
}

} // namespace

QPixmap ShellArt::MainLogo(qreal devicePixelRatio)
{
    QPixmap pixmap = Canvas(QSize(237, 65), devicePixelRatio);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    Sheets(p, QRectF(6, 6, 48, 53));
    QFont title("Liberation Sans");
    title.setPixelSize(30);
    title.setBold(true);
    title.setItalic(true);
    p.setFont(title);
    p.setPen(kMaroon);
    p.drawText(QRectF(64, 4, 170, 36), Qt::AlignLeft | Qt::AlignVCenter, "Tarvolo");
    QFont subtitle("Liberation Sans");
    subtitle.setPixelSize(12);
    p.setFont(subtitle);
    p.setPen(kInk);
    p.drawText(QRectF(66, 40, 170, 18), Qt::AlignLeft | Qt::AlignVCenter, "Visualizador de Relatórios");
    return pixmap;
}

QPixmap ShellArt::AboutLogo(qreal devicePixelRatio)
{
    QPixmap pixmap = Canvas(QSize(69, 102), devicePixelRatio);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    Sheets(p, QRectF(6, 8, 57, 70));
    QFont name("Liberation Sans");
    name.setPixelSize(13);
    name.setBold(true);
    name.setItalic(true);
    p.setFont(name);
    p.setPen(kMaroon);
    p.drawText(QRectF(0, 80, 69, 20), Qt::AlignCenter, "Tarvolo");
    return pixmap;
}

} // namespace tarvolo::shell
