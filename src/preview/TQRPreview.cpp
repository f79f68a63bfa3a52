#include "TQRPreview.h"

#include "printing/PageSource.h"
#include "printing/PaperSizeTable.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QScopeGuard>
#include <QScrollBar>
#include <QWheelEvent>

#include <cmath>

namespace tarvolo::preview {

using printing::RoundHalfEven;

namespace {

// Without a printer object the preview sizes a Letter page, its millimetres taken as pixels.
constexpr long double kLetterWidth = 215.9L, kLetterLength = 279.4L;
constexpr long double kLargestPaper = 20000; // tenths of a millimetre
// A wheel notch, in eighths of a degree.
constexpr int kWheelNotch = 120;

} // namespace

TQRPreview::TQRPreview(QWidget* parent) : QScrollArea(parent), content_(new QWidget), PageView_(new TQRPreviewImage(content_))
{
    setWidget(content_);
    setWidgetResizable(false);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    viewport()->setCursor(Qt::OpenHandCursor);
    resize(250, 250);
    ApplyZoom();
}

TQRPreview::~TQRPreview()
{
    if (ReportPrinter_)
        AttachPrinter(nullptr);
}

void TQRPreview::AttachPrinter(printing::PreviewSource* printer)
{
    if (ReportPrinter_)
        ReportPrinter_->DetachPreview(this);
    ReportPrinter_ = printer;
    PageView_->SetReportPrinter(printer);
    if (printer)
        printer->AttachPreview(this, [this] { AttachPrinter(nullptr); });
    SetPageNumber(1);
    ShowPage(1);
    viewport()->update();
}

void TQRPreview::SetWorkService(std::shared_ptr<WorkService> service)
{
    PageView_->Tiles()->SetWorkService(std::move(service));
}

void TQRPreview::SetPageNumber(int page)
{
    if ((page == PageNumber_ && PageView_->HasPage()) || page <= 0 || !ReportPrinter_ || page > ReportPrinter_->PageTotal())
        return;
    ShowPage(page);
    PageNumber_ = page;
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
}

void TQRPreview::ShowPage(int n)
{
    const QSize before = ShownSheet();
    PageView_->ShowPage(n);
    if (ShownSheet() != before)
        ReapplyZoomMode();
}

void TQRPreview::ReloadShownPage()
{
    ShowPage(PageView_->ShownPage());
}

QSize TQRPreview::ShownSheet() const
{
    if (!ReportPrinter_)
        return QSize(RoundHalfEven(kLetterWidth * 10), RoundHalfEven(kLetterLength * 10));
    const QSize sheet(ReportPrinter_->SheetWidth(), ReportPrinter_->SheetLength());
    const emf::Metafile* page = PageView_->ShownMetafile();
    if (!page)
        return sheet;
    const emf::EmfRect& frame = page->Header().rclFrame;
    const long double width = (static_cast<long double>(frame.right) - frame.left) / 10, height = (static_cast<long double>(frame.bottom) - frame.top) / 10;
    // A frame of no size, or one larger than any paper (2 m), is no paper to show.
    if (!(width >= 10 && height >= 10 && width <= kLargestPaper && height <= kLargestPaper))
        return sheet;
    // Within 2 mm a page is on its sheet: frames are measured by the recording device.
    if (std::fabs(width - sheet.width()) <= 20 && std::fabs(height - sheet.height()) <= 20)
        return sheet;
    return QSize(RoundHalfEven(width), RoundHalfEven(height));
}

void TQRPreview::SetZoom(int zoom)
{
    if (zoom < kMinZoom || zoom > kMaxZoom)
        return;
    ZoomMode_ = TPreviewZoomMode::zmPercent;
    Zoom_ = zoom;
    ApplyZoom();
}

void TQRPreview::ApplyZoom()
{
    int imageWidth, imageHeight;
    if (ReportPrinter_) {
        const QSize sheet = ShownSheet();
        imageWidth = ReportPrinter_->ToDeviceWidth(sheet.width() / 100.0L * Zoom_) + 4;
        imageHeight = ReportPrinter_->ToDeviceHeight(sheet.height() / 100.0L * Zoom_) + 4;
    } else {
        imageWidth = RoundHalfEven(kLetterWidth / 100 * Zoom_) + 4;
        imageHeight = RoundHalfEven(kLetterLength / 100 * Zoom_) + 4;
    }
    // Positions in unscrolled content coordinates; Width and Height are the preview's outer size.
    const int left = imageWidth < width() ? (width() - imageWidth) / 2 : 0;
    const int top = imageHeight < height() ? (height() - imageHeight) / 2 : 0;
    content_->resize(std::max(left + imageWidth, viewport()->width()), std::max(top + imageHeight, viewport()->height()));
    PageView_->setGeometry(left, top, imageWidth, imageHeight);
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    if (OnZoomChanged)
        OnZoomChanged(Zoom_);
}

void TQRPreview::FitPageToWindow()
{
    long double a, b;
    if (ReportPrinter_) {
        const QSize sheet = ShownSheet();
        const int pw = ReportPrinter_->ToDeviceWidth(sheet.width());
        const int ph = ReportPrinter_->ToDeviceHeight(sheet.height());
        if (pw <= 0 || ph <= 0) { // a paper of no size: keep the zoom
            ZoomMode_ = TPreviewZoomMode::zmFitPage;
            return;
        }
        a = RoundHalfEven(static_cast<long double>(width()) / pw * 95);
        b = RoundHalfEven(static_cast<long double>(height()) / ph * 95);
    } else {
        a = RoundHalfEven(width() / kLetterWidth * 95);
        b = RoundHalfEven(height() / kLetterLength * 95);
    }
    SetZoom(static_cast<int>(std::min(a, b)));
    ZoomMode_ = TPreviewZoomMode::zmFitPage;
}

void TQRPreview::FitPageWidth()
{
    if (ReportPrinter_) {
        const int pw = ReportPrinter_->ToDeviceWidth(ShownSheet().width());
        if (pw > 0)
            SetZoom(RoundHalfEven(static_cast<long double>(width()) / pw * 90));
    } else {
        SetZoom(RoundHalfEven(width() / kLetterWidth * 95));
    }
    ApplyZoom();
    ZoomMode_ = TPreviewZoomMode::zmFitWidth;
}

void TQRPreview::ReapplyZoomMode()
{
    if (ZoomMode_ == TPreviewZoomMode::zmFitPage)
        FitPageToWindow();
    else if (ZoomMode_ == TPreviewZoomMode::zmFitWidth)
        FitPageWidth();
    ApplyZoom();
}

void TQRPreview::RefreshPendingPage()
{
    if (ReportPrinter_ && !PageView_->HasPage() && PageView_->ShownPage() <= ReportPrinter_->PagesAvailable()) {
        FitPageWidth();
        ShowPage(PageView_->ShownPage());
    }
}

void TQRPreview::resizeEvent(QResizeEvent* event)
{
    QScrollArea::resizeEvent(event);
    if (ZoomMode_ != TPreviewZoomMode::zmPercent) {
        ReapplyZoomMode();
        return;
    }
    // At a zoom of its own the page stays where it is read: the first zoom step from a fitted
    // page brings a scroll bar, whose room resizes the view, and must not take the reader back to
    // the page's top.
    const int across = horizontalScrollBar()->value(), down = verticalScrollBar()->value();
    ApplyZoom();
    horizontalScrollBar()->setValue(across);
    verticalScrollBar()->setValue(down);
}

int TQRPreview::ZoomStep(int zoom, int steps)
{
    for (; steps > 0; --steps)
        zoom = std::max(zoom + 1, static_cast<int>(std::lround(zoom * 1.25)));
    for (; steps < 0; ++steps)
        zoom = std::min(zoom - 1, static_cast<int>(std::lround(zoom / 1.25)));
    return std::clamp(zoom, kMinZoom, kMaxZoom);
}

void TQRPreview::ZoomAbout(int zoom, QPointF viewportPoint)
{
    zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
    if (zoom == Zoom_ && ZoomMode_ == TPreviewZoomMode::zmPercent)
        return;
    // The point of the page under viewportPoint, as a share of the page's width and height.
    const QPointF onPage = PageView_->mapFrom(viewport(), viewportPoint);
    const double x = onPage.x() / std::max(PageView_->width(), 1), y = onPage.y() / std::max(PageView_->height(), 1);
    SetZoom(zoom);
    horizontalScrollBar()->setValue(static_cast<int>(std::lround(PageView_->x() + x * PageView_->width() - viewportPoint.x())));
    verticalScrollBar()->setValue(static_cast<int>(std::lround(PageView_->y() + y * PageView_->height() - viewportPoint.y())));
}

void TQRPreview::ZoomAboutCentre(int zoom)
{
    ZoomAbout(zoom, QPointF(viewport()->width() / 2.0, viewport()->height() / 2.0));
}

void TQRPreview::TurnPage(int step)
{
    // The new page is painted once, at the place it is read from: never at the old page's
    // scroll position first.
    viewport()->setUpdatesEnabled(false);
    const auto paintOnce = qScopeGuard([this] { viewport()->setUpdatesEnabled(true); });
    const int before = PageNumber_;
    if (OnTurnPage)
        OnTurnPage(step);
    else
        SetPageNumber(PageNumber_ + step);
    if (step < 0 && PageNumber_ != before)
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void TQRPreview::CopySelection()
{
    const QString text = PageView_->SelectedText();
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
}

QPointF TQRPreview::OnPage(QPointF viewportPoint) const
{
    return PageView_->mapFrom(viewport(), viewportPoint);
}

void TQRPreview::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    QAction* copy = menu.addAction("Copiar", this, &TQRPreview::CopySelection);
    copy->setShortcut(QKeySequence::Copy);
    copy->setEnabled(!PageView_->SelectedText().isEmpty());
    menu.addAction("Selecionar tudo", PageView_, &TQRPreviewImage::SelectAll)->setShortcut(QKeySequence::SelectAll);
    if (OnContextMenu) {
        menu.addSeparator();
        OnContextMenu(menu);
    }
    menu.exec(event->globalPos());
}

void TQRPreview::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy)) {
        CopySelection();
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        PageView_->SelectAll();
        return;
    }
    if (event->key() != Qt::Key_Space) {
        QScrollArea::keyPressEvent(event); // the arrows scroll
        return;
    }
    // Space reads on by a screen, and on onto the next page; Shift+Space back.
    QScrollBar* bar = verticalScrollBar();
    const bool back = event->modifiers() & Qt::ShiftModifier;
    if (!back && bar->value() >= bar->maximum())
        TurnPage(1);
    else if (back && bar->value() <= bar->minimum())
        TurnPage(-1);
    else
        bar->triggerAction(back ? QAbstractSlider::SliderPageStepSub : QAbstractSlider::SliderPageStepAdd);
}

void TQRPreview::wheelEvent(QWheelEvent* event)
{
    const int delta = event->angleDelta().y();
    if (event->modifiers() & Qt::ControlModifier) {
        wheelZoom_ += delta;
        const int steps = wheelZoom_ / kWheelNotch;
        wheelZoom_ -= steps * kWheelNotch;
        if (steps != 0)
            ZoomAbout(ZoomStep(Zoom_, steps), event->position());
        event->accept();
        return;
    }
    QScrollBar* bar = verticalScrollBar();
    const bool pastEnd = delta < 0 && bar->value() >= bar->maximum(), beforeStart = delta > 0 && bar->value() <= bar->minimum();
    if (!pastEnd && !beforeStart) {
        wheelPastEdge_ = 0;
        QScrollArea::wheelEvent(event);
        return;
    }
    // A whole notch past the edge turns the page: a touchpad's small steps do not flip pages.
    wheelPastEdge_ += std::abs(delta);
    if (wheelPastEdge_ >= kWheelNotch) {
        wheelPastEdge_ = 0;
        TurnPage(pastEnd ? 1 : -1);
    }
    event->accept();
}

void TQRPreview::mousePressEvent(QMouseEvent* event)
{
    setFocus(Qt::MouseFocusReason);
    if (event->button() != Qt::LeftButton) {
        QScrollArea::mousePressEvent(event);
        return;
    }
    if (event->modifiers() & Qt::ShiftModifier) {
        selecting_ = true;
        selectionAnchor_ = OnPage(event->position());
        PageView_->SelectBetween(selectionAnchor_, selectionAnchor_);
        return;
    }
    PageView_->ClearSelection();
    dragging_ = true;
    dragOrigin_ = event->position().toPoint();
    dragScroll_ = QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
    viewport()->setCursor(Qt::ClosedHandCursor);
}

void TQRPreview::mouseMoveEvent(QMouseEvent* event)
{
    if (selecting_) {
        PageView_->SelectBetween(selectionAnchor_, OnPage(event->position()));
        return;
    }
    if (!dragging_) {
        QScrollArea::mouseMoveEvent(event);
        return;
    }
    const QPoint moved = event->position().toPoint() - dragOrigin_;
    horizontalScrollBar()->setValue(dragScroll_.x() - moved.x());
    verticalScrollBar()->setValue(dragScroll_.y() - moved.y());
}

void TQRPreview::mouseReleaseEvent(QMouseEvent* event)
{
    if (selecting_) {
        selecting_ = false;
        PageView_->SelectBetween(selectionAnchor_, OnPage(event->position()));
        return;
    }
    if (!dragging_) {
        QScrollArea::mouseReleaseEvent(event);
        return;
    }
    dragging_ = false;
    viewport()->setCursor(Qt::OpenHandCursor);
}

bool TQRPreview::event(QEvent* event)
{
    if (event->type() == QEvent::NativeGesture) {
        const auto* gesture = static_cast<QNativeGestureEvent*>(event);
        if (gesture->gestureType() == Qt::ZoomNativeGesture) {
            const QPointF at = viewport()->mapFrom(this, gesture->position());
            ZoomAbout(static_cast<int>(std::lround(Zoom_ * (1 + gesture->value()))), at);
            return true;
        }
    }
    if (event->type() != printing::PrinterMessageEvent::EventType())
        return QScrollArea::event(event);
    const auto* message = static_cast<printing::PrinterMessageEvent*>(event);
    const int value = message->WParam & 0xFFFF;
    if (message->Message == printing::MSG_PAGE_AVAILABLE) {
        if (value == PageNumber_)
            RefreshPendingPage();
        if (OnPageAvailable)
            OnPageAvailable(this, value);
    } else if (message->Message == printing::MSG_PROGRESS_UPDATE && OnProgressUpdate) {
        OnProgressUpdate(this, value);
    }
    return true;
}

} // namespace tarvolo::preview
