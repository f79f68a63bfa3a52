#include "TQRPreviewImage.h"

#include "PageMarks.h"

#include "printing/PageSource.h"
#include "render/PageRenderer.h"

#include <QAccessibleWidget>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <mutex>

namespace tarvolo::preview {

namespace {

QRect ToDevice(const QRect& logical, qreal ratio)
{
    return QRectF(QPointF(logical.topLeft()) * ratio, QSizeF(logical.size()) * ratio).toAlignedRect();
}

// The frame and the shadow, in pixels of the image (GDI rectangles leave out their right and
// bottom edges).
void DrawFrame(QPainter& painter, QSize size)
{
    const int w = size.width(), h = size.height();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(Qt::black, 0));
    painter.setBrush(Qt::NoBrush);
    painter.drawPolyline(QPolygon({QPoint(0, 0), QPoint(0, h - 3), QPoint(w - 3, h - 3), QPoint(w - 3, 0), QPoint(0, 0)}));
    painter.fillRect(QRect(QPoint(w - 2, 2), QPoint(w - 1, h - 1)), Qt::black);
    painter.fillRect(QRect(QPoint(2, h - 2), QPoint(w - 1, h - 1)), Qt::black);
}

// What screen readers learn of the page: its number and, when they ask, its text.
class PageViewAccessible : public QAccessibleWidget {
public:
    explicit PageViewAccessible(TQRPreviewImage* page) : QAccessibleWidget(page, QAccessible::Document) {}

    QString text(QAccessible::Text kind) const override
    {
        const auto* page = static_cast<const TQRPreviewImage*>(widget());
        if (kind == QAccessible::Name)
            return QString("Página %1").arg(page->ShownPage());
        if (kind == QAccessible::Description)
            return page->ShownText();
        return QAccessibleWidget::text(kind);
    }
};

QAccessibleInterface* PageViewAccessibility(const QString&, QObject* object)
{
    auto* page = dynamic_cast<TQRPreviewImage*>(object);
    return page ? new PageViewAccessible(page) : nullptr;
}

} // namespace

TQRPreviewImage::TQRPreviewImage(QWidget* parent)
    : QWidget(parent), tiles_(new PageTiles(std::make_shared<WorkService>(), this))
{
    static std::once_flag accessible;
    std::call_once(accessible, [] { QAccessible::installFactory(PageViewAccessibility); });
    setGeometry(0, 0, 100, 50);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    connect(tiles_, &PageTiles::TileDrawn, this, qOverload<>(&QWidget::update));
}

void TQRPreviewImage::ShowPage(int n)
{
    // Fetched before anything changes, so that a page that fails to load leaves the shown one.
    std::unique_ptr<emf::Metafile> page = ReportPrinter_ ? ReportPrinter_->FetchPage(n) : nullptr;
    ShownPage_ = n;
    ShownMetafile_ = std::move(page);
    shownContent_ = ShownMetafile_ ? PageDrawing::ContentOf(*ShownMetafile_) : 0;
    // Tiles of the page left behind wait no longer; those drawn ahead for this page are kept.
    tiles_->DropQueued();
    marks_ = PageMarks();
    shownPageText_.reset();
    selectionStart_ = selectionLength_ = 0;
    repaint();
}

QSize TQRPreviewImage::TextPageSize() const
{
    return ShownMetafile_ ? emf::PageRenderer::SizeAtDpi(*ShownMetafile_, 96) : QSize();
}

const emf::PageText& TQRPreviewImage::ShownPageText() const
{
    // Read from the page only when asked: nobody pays for it who does not search, select or listen.
    // Callers have a page.
    if (!shownPageText_)
        shownPageText_.emplace(*ShownMetafile_, TextPageSize());
    return *shownPageText_;
}

QString TQRPreviewImage::ShownText() const
{
    return ShownMetafile_ ? ShownPageText().Text() : QString();
}

// The character whose box holds the point, or else the nearest one, by its index in the text.
qsizetype TQRPreviewImage::CharacterAt(QPointF point) const
{
    const std::vector<QRectF>& boxes = ShownPageText().Boxes();
    const QSize measured = TextPageSize();
    const QPointF onPage(point.x() * measured.width() / std::max(width(), 1), point.y() * measured.height() / std::max(height(), 1));
    qsizetype nearest = -1;
    double best = 0;
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        const QRectF& box = boxes[i];
        if (box.isNull())
            continue;
        if (box.contains(onPage))
            return static_cast<qsizetype>(i);
        const double dx = std::max({box.left() - onPage.x(), 0.0, onPage.x() - box.right()});
        const double dy = std::max({box.top() - onPage.y(), 0.0, onPage.y() - box.bottom()});
        // Lines count more than columns: a point beside a line selects on that line.
        const double distance = dx + 4 * dy;
        if (nearest < 0 || distance < best) {
            nearest = static_cast<qsizetype>(i);
            best = distance;
        }
    }
    return nearest;
}

void TQRPreviewImage::SelectBetween(QPointF anchor, QPointF active)
{
    if (!ShownMetafile_)
        return;
    const qsizetype a = CharacterAt(anchor), b = CharacterAt(active);
    if (a < 0 || b < 0)
        return ClearSelection();
    Select(std::min(a, b), std::abs(b - a) + 1);
}

void TQRPreviewImage::SelectAll()
{
    if (ShownMetafile_)
        Select(0, ShownPageText().Text().size());
}

void TQRPreviewImage::ClearSelection()
{
    Select(0, 0);
}

void TQRPreviewImage::Select(qsizetype start, qsizetype length)
{
    selectionStart_ = start;
    selectionLength_ = length;
    PageMarks marks = marks_;
    marks.selected.clear();
    if (length > 0) {
        const QSize measured = TextPageSize();
        for (const QRectF& box : ShownPageText().BoxesOf(start, length))
            marks.selected.push_back(QRectF(box.x() / measured.width(), box.y() / measured.height(), box.width() / measured.width(),
                                            box.height() / measured.height()));
    }
    SetMarks(marks);
}

QString TQRPreviewImage::SelectedText() const
{
    return selectionLength_ > 0 ? ShownPageText().Text().mid(selectionStart_, selectionLength_) : QString();
}

void TQRPreviewImage::SetMarks(const PageMarks& marks)
{
    marks_ = marks;
    update();
}

void TQRPreviewImage::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    tiles_->DropQueued(); // tiles at the old zoom would only delay those at the new one
}

PageDrawing TQRPreviewImage::Drawing(std::shared_ptr<const emf::Metafile> metafile, std::uint64_t content) const
{
    return PageDrawing{std::move(metafile), content, size(), devicePixelRatioF()};
}

bool TQRPreviewImage::VisibleTilesReady() const
{
    if (!ShownMetafile_)
        return true;
    const PageDrawing drawing = Drawing(ShownMetafile_, shownContent_);
    const QRect tiles = PageTiles::TilesCovering(drawing, ToDevice(visibleRegion().boundingRect(), drawing.ratio));
    for (int row = tiles.top(); row <= tiles.bottom(); ++row)
        for (int column = tiles.left(); column <= tiles.right(); ++column)
            if (!tiles_->HasTile(drawing, QPoint(column, row)))
                return false;
    return true;
}

void TQRPreviewImage::paintEvent(QPaintEvent* event)
{
    if (!ShownMetafile_)
        return; // the preview's background shows through
    const PageDrawing drawing = Drawing(ShownMetafile_, shownContent_);
    // Room for the tiles on screen three times over (this page and the two drawn ahead) and the
    // overviews.
    const QRect visible = visibleRegion().boundingRect();
    const QRect onScreen = PageTiles::TilesCovering(drawing, ToDevice(visible, drawing.ratio));
    constexpr qint64 kTileBytes = qint64{4} * PageTiles::kTileSide * PageTiles::kTileSide;
    tiles_->SetBudget(std::clamp<qint64>(3 * kTileBytes * onScreen.width() * onScreen.height() + (16 << 20), 64 << 20, 512 << 20));

    QPainter painter(this);
    const QSize device = drawing.DeviceSize();
    // A repaint of the whole widget asks for the whole page: only what shows is drawn.
    const QRect tiles = PageTiles::TilesCovering(drawing, ToDevice(event->rect().intersected(visible), drawing.ratio));
    // The stand-in comes first: the workers start on the tiles once it is drawn, and do not slow
    // the drawing the window waits for.
    bool finished = true;
    for (int row = tiles.top(); row <= tiles.bottom() && finished; ++row)
        for (int column = tiles.left(); column <= tiles.right() && finished; ++column)
            finished = tiles_->HasTile(drawing, QPoint(column, row));
    const QImage overview = finished ? QImage() : tiles_->Overview(drawing);
    for (int row = tiles.top(); row <= tiles.bottom(); ++row)
        for (int column = tiles.left(); column <= tiles.right(); ++column) {
            const QRect deviceRect = PageTiles::TileRect(drawing, QPoint(column, row));
            const QRectF target(QPointF(deviceRect.topLeft()) / drawing.ratio, QSizeF(deviceRect.size()) / drawing.ratio);
            const QImage tile = tiles_->Tile(drawing, QPoint(column, row), PageTiles::Visible);
            if (!tile.isNull()) {
                painter.drawImage(target, tile);
                continue;
            }
            const double scale = static_cast<double>(overview.width()) / std::max(device.width(), 1);
            painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
            painter.drawImage(target, overview, QRectF(QPointF(deviceRect.topLeft()) * scale, QSizeF(deviceRect.size()) * scale));
        }
    DrawMarks(painter, marks_, size());
    DrawFrame(painter, size());
    if (finished)
        ReadAhead();
}

// The pages before and after, drawn for the part a page turn shows first: the top of the page,
// at the same zoom.
void TQRPreviewImage::ReadAhead()
{
    if (!ReportPrinter_ || tiles_->Queued() > 0)
        return;
    const PageDrawing shown = Drawing(ShownMetafile_, shownContent_);
    const TileKey done = PageTiles::KeyOf(shown, QPoint(ShownPage_, 0)); // the page's number stands for a tile
    if (done == readAheadDone_)
        return;
    readAheadDone_ = done;
    const QRect visible = visibleRegion().boundingRect();
    const QRect top = ToDevice(QRect(QPoint(0, 0), visible.size()), shown.ratio);
    for (int n : {ShownPage_ + 1, ShownPage_ - 1}) {
        if (n < 1 || n > ReportPrinter_->PageTotal())
            continue;
        std::shared_ptr<const emf::Metafile> page;
        try {
            page = ReportPrinter_->FetchPage(n);
        } catch (const std::exception&) {
            continue; // a damaged neighbour is reported when it is shown
        }
        if (!page)
            continue;
        const PageDrawing drawing = Drawing(page, PageDrawing::ContentOf(*page));
        tiles_->QueueOverview(drawing, PageTiles::ReadAhead);
        const QRect tiles = PageTiles::TilesCovering(drawing, top);
        for (int row = tiles.top(); row <= tiles.bottom(); ++row)
            for (int column = tiles.left(); column <= tiles.right(); ++column)
                tiles_->Tile(drawing, QPoint(column, row), PageTiles::ReadAhead);
    }
}

} // namespace tarvolo::preview
