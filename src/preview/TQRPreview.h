#pragma once

#include "TQRPreviewImage.h"

#include <QScrollArea>

#include <functional>

namespace tarvolo::printing {
class PageSource;
}

namespace tarvolo::preview {

enum class TPreviewZoomMode { zmFitPage, zmFitWidth, zmPercent };

// A scrolling view of one page of a report (a page source, in this system the report printer object) at a zoom: sized and centred from the
// paper and the zoom, with fit-page, fit-width and fixed zoom re-applied on every resize. It turns
// the source's posted notifications into OnPageAvailable and OnProgressUpdate.
class TQRPreview : public QScrollArea {
public:
    static constexpr int kMinZoom = 2, kMaxZoom = 2000;

    explicit TQRPreview(QWidget* parent = nullptr);
    ~TQRPreview() override;

    void AttachPrinter(printing::PageSource* printer);
    printing::PageSource* ReportPrinter() const { return ReportPrinter_; }

    int PageNumber() const { return PageNumber_; }
    void SetPageNumber(int page);
    int Zoom() const { return Zoom_; }
    void SetZoom(int zoom);
    TPreviewZoomMode ZoomMode() const { return ZoomMode_; }
    void FitPageToWindow();
    void FitPageWidth();
    void ApplyZoom();
    void ReapplyZoomMode();
    void RefreshPendingPage();
    // Fetches the shown page again (another report was read into the printer object).
    void ReloadShownPage();
    // The paper the shown page is drawn on, in tenths of a millimetre: the report's sheet, or the
    // page's own frame when it has another size (a landscape page in a portrait report, a label).
    QSize ShownSheet() const;

    TQRPreviewImage* PageView() const { return PageView_; }

    std::function<void(QObject* sender, int pageNum)> OnPageAvailable;
    std::function<void(QObject* sender, int progress)> OnProgressUpdate;

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Shows page n; a page of another shape than the one before re-applies the zoom.
    void ShowPage(int n);

    QWidget* content_;
    TQRPreviewImage* PageView_;
    printing::PageSource* ReportPrinter_ = nullptr;
    int PageNumber_ = 1;
    int Zoom_ = 100;
    TPreviewZoomMode ZoomMode_ = TPreviewZoomMode::zmPercent;
};

} // namespace tarvolo::preview
