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

PageTiles::PageTiles(QObject* parent) : QObject(parent)
{
    pool_.setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
}

PageTiles::~PageTiles()
{
    generation_->fetch_add(1);
    pool_.clear();
    pool_.waitForDone();
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

const QImage* PageTiles::Find(const TileKey& key)
{
    const auto found = index_.constFind(key);
    if (found == index_.constEnd())
        return nullptr;
    entries_.splice(entries_.begin(), entries_, *found);
    return &entries_.front().image;
}

void PageTiles::Keep(const TileKey& key, QImage image)
{
    if (const auto found = index_.constFind(key); found != index_.constEnd()) {
        bytes_ -= (*found)->image.sizeInBytes();
        entries_.erase(*found);
    }
    bytes_ += image.sizeInBytes();
    entries_.push_front({key, std::move(image)});
    index_.insert(key, entries_.begin());
    Evict();
}

QImage PageTiles::Tile(const PageDrawing& drawing, QPoint index, Priority priority)
{
    const TileKey key = KeyOf(drawing, index);
    if (const QImage* kept = Find(key))
        return *kept;
    const QRect rect = TileRect(drawing, index);
    Queue(key, priority, [drawing, rect] { return Draw(drawing, rect, rect.size()); });
    return QImage();
}

void PageTiles::QueueOverview(const PageDrawing& drawing, Priority priority)
{
    const TileKey key = KeyOf(drawing, kOverviewIndex);
    if (!index_.contains(key))
        Queue(key, priority, [drawing] { return DrawOverview(drawing); });
}

void PageTiles::Queue(const TileKey& key, Priority priority, std::function<QImage()> draw)
{
    if (queued_.contains(key))
        return;
    queued_.insert(key);
    const int generation = generation_->load();
    pool_.start(
        [this, current = generation_, generation, key, draw = std::move(draw)] {
            if (current->load() != generation)
                return; // dropped while queued
            QImage image = draw();
            QMetaObject::invokeMethod(
                this, [this, generation, key, image] { Arrived(generation, key, image); }, Qt::QueuedConnection);
        },
        priority);
}

bool PageTiles::HasTile(const PageDrawing& drawing, QPoint index) const
{
    return index_.contains(KeyOf(drawing, index));
}

QImage PageTiles::Overview(const PageDrawing& drawing)
{
    const TileKey key = KeyOf(drawing, kOverviewIndex);
    if (const QImage* kept = Find(key))
        return *kept;
    QImage overview = DrawOverview(drawing);
    Keep(key, overview);
    return overview;
}

QImage PageTiles::DrawOverview(const PageDrawing& drawing)
{
    const QSize device = drawing.DeviceSize();
    const double scale = std::min(1.0, static_cast<double>(kOverviewSide) / std::max({device.width(), device.height(), 1}));
    PageDrawing small = drawing;
    small.ratio = drawing.ratio * scale;
    const QSize size = small.DeviceSize().expandedTo(QSize(1, 1));
    return Draw(small, QRect(QPoint(0, 0), size), size);
}

void PageTiles::Evict()
{
    // The newest entry stays even alone over the budget: it is the one about to be shown.
    while (bytes_ > budget_ && entries_.size() > 1) {
        bytes_ -= entries_.back().image.sizeInBytes();
        index_.remove(entries_.back().key);
        entries_.pop_back();
    }
}

void PageTiles::Arrived(int generation, const TileKey& key, QImage image)
{
    if (generation == generation_->load())
        queued_.remove(key);
    if (image.isNull())
        return;
    ++tilesDrawn_;
    Keep(key, std::move(image));
    emit TileDrawn();
}

void PageTiles::DropQueued()
{
    generation_->fetch_add(1);
    pool_.clear();
    queued_.clear();
}

void PageTiles::SetBudget(qint64 bytes)
{
    budget_ = bytes;
    Evict();
}

void PageTiles::WaitUntilIdle()
{
    while (!queued_.isEmpty()) {
        pool_.waitForDone();
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    }
}

} // namespace tarvolo::preview
