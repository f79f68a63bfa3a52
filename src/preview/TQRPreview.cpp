#include "TQRPreview.h"

#include "printing/PageSource.h"
#include "printing/PaperSizeTable.h"

#include <QScrollBar>

#include <cmath>

namespace tarvolo::preview {

using printing::RoundHalfEven;

namespace {

// Without a printer object the preview sizes a Letter page, its millimetres taken as pixels.
constexpr long double kLetterWidth = 215.9L, kLetterLength = 279.4L;
constexpr long double kLargestPaper = 20000; // tenths of a millimetre

} // namespace

TQRPreview::TQRPreview(QWidget* parent) : QScrollArea(parent), content_(new QWidget), PageView_(new TQRPreviewImage(content_))
{
    setWidget(content_);
    setWidgetResizable(false);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    resize(250, 250);
    ApplyZoom();
}

TQRPreview::~TQRPreview()
{
    if (ReportPrinter_)
        AttachPrinter(nullptr);
}

void TQRPreview::AttachPrinter(printing::PageSource* printer)
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
    ReapplyZoomMode();
}

bool TQRPreview::event(QEvent* event)
{
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
