#pragma once

#include "PageMarks.h"
#include "PageTiles.h"
#include "render/PageText.h"

#include <QWidget>

#include <memory>
#include <optional>

namespace tarvolo::printing {
class PreviewSource;
}

namespace tarvolo::preview {

// The page of a preview: the page's metafile stretched over the image, on white paper with a black
// frame and a two-pixel shadow. Only what shows is drawn, in tiles on worker threads, kept for
// scrolling and repainting; a tile not drawn yet shows the page's overview scaled. Once what
// shows is finished, the neighbouring pages are drawn ahead at the same zoom.
class TQRPreviewImage : public QWidget {
public:
    explicit TQRPreviewImage(QWidget* parent);

    void ShowPage(int n);
    int ShownPage() const { return ShownPage_; }
    bool HasPage() const { return ShownMetafile_ != nullptr; }
    const emf::Metafile* ShownMetafile() const { return ShownMetafile_.get(); }
    void SetReportPrinter(printing::PreviewSource* printer) { ReportPrinter_ = printer; }
    PageTiles* Tiles() const { return tiles_; }
    // The shown page's text, read from it the first time it is asked for (there must be a page);
    // its boxes are in pixels of TextPageSize().
    const emf::PageText& ShownPageText() const;
    QSize TextPageSize() const;
    // The shown page's text in reading order, as screen readers are given it.
    QString ShownText() const;
    // Selects the text between two points of this widget, in reading order; all of it; none.
    void SelectBetween(QPointF anchor, QPointF active);
    void SelectAll();
    void ClearSelection();
    QString SelectedText() const;
    void SetMarks(const PageMarks& marks);
    const PageMarks& Marks() const { return marks_; }
    // Every tile of the part of the page on screen is drawn: no overview stands in for one.
    bool VisibleTilesReady() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    PageDrawing Drawing(std::shared_ptr<const emf::Metafile> metafile, std::uint64_t content) const;
    void ReadAhead();
    qsizetype CharacterAt(QPointF point) const;
    void Select(qsizetype start, qsizetype length);

    printing::PreviewSource* ReportPrinter_ = nullptr;
    int ShownPage_ = 1;
    std::shared_ptr<const emf::Metafile> ShownMetafile_;
    std::uint64_t shownContent_ = 0;
    PageTiles* tiles_;
    PageMarks marks_;
    mutable std::optional<emf::PageText> shownPageText_;
    qsizetype selectionStart_ = 0, selectionLength_ = 0;
    TileKey readAheadDone_; // the page and zoom whose neighbours were last drawn ahead
};

} // namespace tarvolo::preview
