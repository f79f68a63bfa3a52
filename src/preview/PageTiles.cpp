#include "PageTiles.h"

#include "render/EmfPlayer.h"

#include <QCoreApplication>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tarvolo::preview {

QSize PageDrawing::DeviceSize() const
{
    return (QSizeF(logicalSize) * ratio).toSize();
}

std::uint64_t PageDrawing::ContentOf(const emf::Metafile& metafile)
{
    // FNV-1a over the whole page: a few microseconds for a report page, and pages of different
    // reports never share tiles.
    std::uint64_t hash = 14695981039346656037ull;
    for (std::uint8_t byte : metafile.Bytes())
        hash = (hash ^ byte) * 1099511628211ull;
    return hash ^ metafile.Bytes().size();
}

size_t qHash(const TileKey& key, size_t seed) noexcept
{
    return qHashMulti(seed, key.content, key.logicalSize.width(), key.logicalSize.height(), key.ratioPermille, key.index.x(),
                      key.index.y());
}

PageTiles::PageTiles(std::shared_ptr<WorkService> service, QObject* parent)
    : QObject(parent), work_(std::make_unique<WorkQueue>(std::move(service))), drawer_(&PageTiles::Draw)
{
}

PageTiles::~PageTiles()
{
    work_->Cancel();
}

void PageTiles::SetWorkService(std::shared_ptr<WorkService> service)
{
    work_->Cancel();
    queued_.clear();
    work_ = std::make_unique<WorkQueue>(std::move(service));
}

void PageTiles::SetDrawer(Drawer drawer)
{
    DropQueued();
    drawer_ = drawer ? std::move(drawer) : Drawer(&PageTiles::Draw);
}

QImage PageTiles::DamageImage(QSize size)
{
    QImage image(size.expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return image;
    image.fill(QColor(0xfb, 0xe9, 0xe9));
    QPainter painter(&image);
    painter.fillRect(image.rect(), QBrush(QColor(0xc0, 0x30, 0x30), Qt::BDiagPattern));
    return image;
}

QImage PageTiles::DrawOrDamage(const Drawer& drawer, const PageDrawing& drawing, QRect deviceRect, QSize imageSize)
{
    try {
        return drawer(drawing, deviceRect, imageSize);
    } catch (const std::exception& error) {
        qWarning("Cannot draw a part of a page: %s", error.what());
    } catch (...) {
        qWarning("Cannot draw a part of a page");
    }
    return DamageImage(imageSize);
}

TileKey PageTiles::KeyOf(const PageDrawing& drawing, QPoint index)
{
    return TileKey{drawing.content, drawing.logicalSize, static_cast<int>(std::lround(drawing.ratio * 1000)), index};
}

QRect PageTiles::TileRect(const PageDrawing& drawing, QPoint index)
{
    return QRect(index * kTileSide, QSize(kTileSide, kTileSide)).intersected(QRect(QPoint(0, 0), drawing.DeviceSize()));
}

QRect PageTiles::TilesCovering(const PageDrawing& drawing, const QRect& deviceArea)
{
    const QRect area = deviceArea.intersected(QRect(QPoint(0, 0), drawing.DeviceSize()));
    if (area.isEmpty())
        return QRect();
    return QRect(QPoint(area.left() / kTileSide, area.top() / kTileSide), QPoint(area.right() / kTileSide, area.bottom() / kTileSide));
}

// The paper and the page, as the preview has always drawn them, cut to deviceRect.
QImage PageTiles::Draw(const PageDrawing& drawing, QRect deviceRect, QSize imageSize)
{
    QImage image(imageSize, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return image;
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.translate(-deviceRect.topLeft());
    painter.scale(drawing.ratio, drawing.ratio);
    const int w = drawing.logicalSize.width(), h = drawing.logicalSize.height();
    painter.fillRect(QRect(QPoint(1, 1), QPoint(w - 4, h - 4)), Qt::white);
    emf::EmfPlayer::Play(*drawing.metafile, painter, QRectF(0, 0, w, h));
    return image;
}

QImage PageTiles::Tile(const PageDrawing& drawing, QPoint index, Priority priority)
{
    const TileKey key = KeyOf(drawing, index);
    if (const QImage* kept = cache_.Find(key))
        return *kept;
    const QRect rect = TileRect(drawing, index);
    Queue(key, priority, [drawer = drawer_, drawing, rect] { return DrawOrDamage(drawer, drawing, rect, rect.size()); });
    return QImage();
}

void PageTiles::QueueOverview(const PageDrawing& drawing, Priority priority)
{
    const TileKey key = KeyOf(drawing, kOverviewIndex);
    if (!cache_.Contains(key))
        Queue(key, priority, [drawer = drawer_, drawing] { return DrawOverview(drawer, drawing); });
}

void PageTiles::Queue(const TileKey& key, Priority priority, std::function<QImage()> draw)
{
    if (queued_.contains(key))
        return;
    queued_.insert(key);
    const std::uint64_t generation = work_->Generation();
    work_->Post(static_cast<WorkService::Priority>(priority), [this, generation, key, draw = std::move(draw)] {
        QImage image = draw();
        QMetaObject::invokeMethod(
            this, [this, generation, key, image] { Arrived(generation, key, image); }, Qt::QueuedConnection);
    });
}

bool PageTiles::HasTile(const PageDrawing& drawing, QPoint index) const
{
    return cache_.Contains(KeyOf(drawing, index));
}

QImage PageTiles::Overview(const PageDrawing& drawing)
{
    const TileKey key = KeyOf(drawing, kOverviewIndex);
    if (const QImage* kept = cache_.Find(key))
        return *kept;
    QImage overview = DrawOverview(drawer_, drawing);
    Keep(key, overview);
    return overview;
}

QImage PageTiles::DrawOverview(const Drawer& drawer, const PageDrawing& drawing)
{
    const QSize device = drawing.DeviceSize();
    const double scale = std::min(1.0, static_cast<double>(kOverviewSide) / std::max({device.width(), device.height(), 1}));
    PageDrawing small = drawing;
    small.ratio = drawing.ratio * scale;
    const QSize size = small.DeviceSize().expandedTo(QSize(1, 1));
    return DrawOrDamage(drawer, small, QRect(QPoint(0, 0), size), size);
}

void PageTiles::Arrived(std::uint64_t generation, const TileKey& key, QImage image)
{
    if (generation == work_->Generation())
        queued_.remove(key);
    if (image.isNull())
        return;
    ++tilesDrawn_;
    Keep(key, std::move(image));
    emit TileDrawn();
}

void PageTiles::DropQueued()
{
    work_->DropQueued();
    queued_.clear();
}

void PageTiles::Keep(const TileKey& key, QImage image)
{
    // The newest stays even alone over the budget: it is the one about to be shown.
    const qint64 bytes = image.sizeInBytes();
    cache_.Insert(key, std::move(image), bytes);
}

void PageTiles::SetBudget(qint64 bytes)
{
    cache_.SetBudget(bytes);
}

void PageTiles::WaitUntilIdle()
{
    while (!queued_.isEmpty()) {
        work_->WaitUntilIdle();
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    }
}

} // namespace tarvolo::preview
