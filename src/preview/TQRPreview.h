#pragma once

#include "TQRPreviewImage.h"

#include <QScrollArea>

#include <functional>

class QMenu;

namespace tarvolo::printing {
class PreviewSource;
}

namespace tarvolo::preview {

enum class TPreviewZoomMode { zmFitPage, zmFitWidth, zmPercent };

// A scrolling view of one page of a report (in this system the report printer object) at a zoom: sized and centred from the
// paper and the zoom, with fit-page, fit-width and fixed zoom re-applied on every resize. It turns
// the source's posted notifications into OnPageAvailable and OnProgressUpdate.
class TQRPreview : public QScrollArea {
public:
    static constexpr int kMinZoom = 2, kMaxZoom = 2000;

    explicit TQRPreview(QWidget* parent = nullptr);
    ~TQRPreview() override;

    void AttachPrinter(printing::PreviewSource* printer);
    printing::PreviewSource* ReportPrinter() const { return ReportPrinter_; }

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
    // Draws the tiles on service: a window gives its preview the service its other work runs on.
    void SetWorkService(std::shared_ptr<WorkService> service);

    // Zoom steps (Ctrl+wheel, Ctrl+plus and Ctrl+minus, a pinch), about a point of the viewport
    // that stays where it is: the mouse, or the viewport's centre.
    static int ZoomStep(int zoom, int steps);
    void ZoomAbout(int zoom, QPointF viewportPoint);
    void ZoomAboutCentre(int zoom);

    std::function<void(QObject* sender, int pageNum)> OnPageAvailable;
    std::function<void(QObject* sender, int progress)> OnProgressUpdate;
    // Reading on past a page's end (+1) or back before its start (-1), by Space or the wheel:
    // the owner turns the page as its page commands do.
    std::function<void(int step)> OnTurnPage;
    // Told the zoom in percent whenever the page is laid out anew.
    std::function<void(int zoom)> OnZoomChanged;
    // Adds the window's commands below the page's own in its right-click menu.
    std::function<void(QMenu& menu)> OnContextMenu;

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // Shows page n; a page of another shape than the one before re-applies the zoom.
    void ShowPage(int n);
    // Turns to the next or previous page; going back shows the previous page's end.
    void TurnPage(int step);
    void CopySelection();
    QPointF OnPage(QPointF viewportPoint) const;

    QWidget* content_;
    TQRPreviewImage* PageView_;
    printing::PreviewSource* ReportPrinter_ = nullptr;
    int PageNumber_ = 1;
    int Zoom_ = 100;
    TPreviewZoomMode ZoomMode_ = TPreviewZoomMode::zmPercent;
    bool dragging_ = false;
    bool selecting_ = false;         // Shift+drag selects text instead of panning
    QPointF selectionAnchor_;        // where it began, on the page
    QPoint dragOrigin_, dragScroll_; // where a pan began, in the viewport, and the scroll then
    int wheelPastEdge_ = 0;          // wheel turned past the page's end or start, in eighths of a degree
    int wheelZoom_ = 0;              // Ctrl+wheel not yet turned into a zoom step
};

} // namespace tarvolo::preview
