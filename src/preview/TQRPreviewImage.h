#pragma once

#include "metafile/Metafile.h"

#include <QImage>
#include <QWidget>

#include <memory>

namespace tarvolo::printing {
class PageSource;
}

namespace tarvolo::preview {

// The page of a preview: the page's metafile stretched over the image, on white paper with a black
// frame and a two-pixel shadow. The page is drawn once per size and kept, so scrolling and
// repainting do not replay the metafile.
class TQRPreviewImage : public QWidget {
public:
    explicit TQRPreviewImage(QWidget* parent);

    void ShowPage(int n);
    int ShownPage() const { return ShownPage_; }
    bool HasPage() const { return ShownMetafile_ != nullptr; }
    void SetReportPrinter(printing::PageSource* printer) { ReportPrinter_ = printer; }
    // How many times the page has been drawn from its metafile; for tests and benchmarks.
    int PagesDrawn() const { return pagesDrawn_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void DrawPage(QPainter& painter, QSize size);

    printing::PageSource* ReportPrinter_ = nullptr;
    int ShownPage_ = 1;
    std::unique_ptr<emf::Metafile> ShownMetafile_;
    QImage drawn_; // the page as last drawn, at the device pixel ratio
    int pagesDrawn_ = 0;
};

} // namespace tarvolo::preview
