#include "TQRPreviewImage.h"

#include "render/EmfPlayer.h"
#include "printing/PageSource.h"

#include <QPaintEvent>
#include <QPainter>

namespace tarvolo::preview {

TQRPreviewImage::TQRPreviewImage(QWidget* parent) : QWidget(parent)
{
    setGeometry(0, 0, 100, 50);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void TQRPreviewImage::ShowPage(int n)
{
    // Fetched before anything changes, so that a page that fails to load leaves the shown one.
    std::unique_ptr<emf::Metafile> page = ReportPrinter_ ? ReportPrinter_->FetchPage(n) : nullptr;
    ShownPage_ = n;
    ShownMetafile_ = std::move(page);
    drawn_ = QImage();
    repaint();
}

// The paper, the page stretched over the whole image, the frame and the shadow, in pixels of
// the image (GDI rectangles leave out their right and bottom edges).
void TQRPreviewImage::DrawPage(QPainter& painter, QSize size)
{
    const int w = size.width(), h = size.height();
    painter.fillRect(QRect(QPoint(1, 1), QPoint(w - 4, h - 4)), Qt::white);
    emf::EmfPlayer::Play(*ShownMetafile_, painter, QRectF(0, 0, w, h));
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(Qt::black, 0));
    painter.setBrush(Qt::NoBrush);
    painter.drawPolyline(QPolygon({QPoint(0, 0), QPoint(0, h - 3), QPoint(w - 3, h - 3), QPoint(w - 3, 0), QPoint(0, 0)}));
    painter.fillRect(QRect(QPoint(w - 2, 2), QPoint(w - 1, h - 1)), Qt::black);
    painter.fillRect(QRect(QPoint(2, h - 2), QPoint(w - 1, h - 1)), Qt::black);
}

void TQRPreviewImage::paintEvent(QPaintEvent* event)
{
    if (!ShownMetafile_)
        return; // the preview's background shows through
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * ratio).toSize();
    if (drawn_.size() != pixels) {
        drawn_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        drawn_.fill(Qt::transparent);
        drawn_.setDevicePixelRatio(ratio);
        QPainter painter(&drawn_);
        DrawPage(painter, size());
        ++pagesDrawn_;
    }
    QPainter painter(this);
    painter.drawImage(event->rect(), drawn_, QRectF(QPointF(event->rect().topLeft()) * ratio, QSizeF(event->rect().size()) * ratio));
}

} // namespace tarvolo::preview
