#include "TdtmImagens.h"

#include "viewer/ViewerGlyphs.h"

#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPointer>

namespace tarvolo::shell {

namespace {

const QColor kInk(0x2B, 0x3A, 0x4F), kPaper(Qt::white), kGreen(0x2E, 0x9D, 0x3A), kRed(0xD3, 0x2F, 0x2F),
    kYellow(0xF5, 0xC2, 0x18), kBlue(0x1E, 0x64, 0xC8);


void Tick(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    p.drawEllipse(QPointF(8, 8), 6.8, 6.8);
    p.setPen(QPen(kPaper, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({QPointF(4.8, 8.2), QPointF(7, 10.5), QPointF(11.2, 5.6)}));
}

void Cross(QPainter& p)
{
    p.setPen(QPen(kRed, 1.6));
    p.setBrush(kPaper);
    p.drawEllipse(QPointF(8, 8), 6.3, 6.3);
    p.setPen(QPen(kRed, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(5.4, 5.4), QPointF(10.6, 10.6));
    p.drawLine(QPointF(10.6, 5.4), QPointF(5.4, 10.6));
}

// Two arcs chasing each other round the centre, each ending in an arrow head.
void CircularArrows(QPainter& p)
{
    const QRectF circle(3, 3, 10, 10);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kGreen, 1.8, Qt::SolidLine, Qt::FlatCap));
    p.drawArc(circle, 30 * 16, 130 * 16);
    p.drawArc(circle, 210 * 16, 130 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    p.drawPolygon(QPolygonF({QPointF(0.8, 7.2), QPointF(5.2, 7.2), QPointF(3, 10.2)}));
    p.drawPolygon(QPolygonF({QPointF(15.2, 8.8), QPointF(10.8, 8.8), QPointF(13, 5.8)}));
}

void Warning(QPainter& p)
{
    p.setPen(QPen(QColor(0x9A, 0x6B, 0x00), 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(kYellow);
    p.drawPolygon(QPolygonF({QPointF(8, 1.5), QPointF(15, 14.5), QPointF(1, 14.5)}));
    p.setPen(QPen(Qt::black, 1.8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8, 5.8), QPointF(8, 10));
    p.drawPoint(QPointF(8, 12.5));
}

void Information(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(kBlue);
    p.drawEllipse(QPointF(8, 8), 6.8, 6.8);
    p.setBrush(kPaper);
    p.drawEllipse(QPointF(8, 4.8), 1.2, 1.2);
    p.drawRect(QRectF(7, 7, 2, 5.5));
}

void DrawNormal(QPainter& p, int index)
{
    switch (index) {
    case 4: viewer::ViewerGlyphs::PaintPrinter(p); break;
    case 5: Tick(p); break;
    case 6: Cross(p); break;
    case 8: CircularArrows(p); break;
    case 11: Warning(p); break;
    case 12: Information(p); break;
    default: break;
    }
}

// A check box in a 12-unit box: 0 ticked, 1 empty.
void DrawCheckBox(QPainter& p, int index)
{
    p.setPen(QPen(kInk, 1));
    p.setBrush(kPaper);
    p.drawRect(QRectF(0.5, 0.5, 11, 11));
    if (index == 0) {
        p.setPen(QPen(kInk, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(QPolygonF({QPointF(2.8, 6), QPointF(5, 8.4), QPointF(9.2, 3.6)}));
    }
}

template <typename Draw>
QPixmap Render(int designSize, int size, Draw draw)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(double(size) / designSize, double(size) / designSize);
    draw(painter);
    return pixmap;
}

// The disabled look: light grey, the shape kept by its alpha.
QPixmap Greyed(const QPixmap& pixmap)
{
    QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int grey = 96 + qGray(line[x]) * 112 / 255;
            line[x] = qRgba(grey, grey, grey, qAlpha(line[x]));
        }
    }
    return QPixmap::fromImage(image);
}

} // namespace

TdtmImagens& TdtmImagens::Instance()
{
    static QPointer<TdtmImagens> instance;
    if (!instance)
        instance = new TdtmImagens(QCoreApplication::instance());
    return *instance;
}

TdtmImagens::TdtmImagens(QObject* owner) : QObject(owner)
{
    setObjectName("dtmImagens");
    for (int index = 0; index < kNormalCount; ++index) {
        const auto draw = [index](QPainter& p) { DrawNormal(p, index); };
        const QPixmap small = Render(16, 16, draw), large = Render(16, 32, draw);
        const QPixmap greySmall = Greyed(small), greyLarge = Greyed(large);
        QIcon normal, disabled, button;
        normal.addPixmap(small);
        normal.addPixmap(large);
        disabled.addPixmap(greySmall);
        disabled.addPixmap(greyLarge);
        button.addPixmap(small);
        button.addPixmap(large);
        button.addPixmap(greySmall, QIcon::Disabled);
        button.addPixmap(greyLarge, QIcon::Disabled);
        imgNormais.push_back(normal);
        imgDesabilitadas.push_back(disabled);
        buttonIcons_.push_back(button);
    }
    for (int index = 0; index < kCheckBoxCount; ++index) {
        const auto draw = [index](QPainter& p) { DrawCheckBox(p, index); };
        QIcon box;
        box.addPixmap(Render(12, 12, draw));
        box.addPixmap(Render(12, 24, draw));
        imgCheckBox.push_back(box);
    }
}

namespace {

const QIcon& At(const std::vector<QIcon>& list, int index)
{
    static const QIcon none;
    return index >= 0 && index < int(list.size()) ? list[std::size_t(index)] : none;
}

} // namespace

const QIcon& TdtmImagens::Normal(int index) const
{
    return At(imgNormais, index);
}

const QIcon& TdtmImagens::Disabled(int index) const
{
    return At(imgDesabilitadas, index);
}

const QIcon& TdtmImagens::CheckBox(int index) const
{
    return At(imgCheckBox, index);
}

const QIcon& TdtmImagens::ButtonIcon(int index) const
{
    return At(buttonIcons_, index);
}

} // namespace tarvolo::shell
