#pragma once

#include "WorkService.h"
#include "metafile/Metafile.h"
#include "render/ByteCache.h"

#include <QHash>
#include <QImage>
#include <QObject>
#include <QRect>
#include <QSet>

#include <atomic>
#include <functional>
#include <cstdint>
#include <memory>

namespace tarvolo::preview {

// A page as the preview shows it: its metafile stretched over a paper of logicalSize pixels,
// white inside a one-pixel frame and the shadow, at a device pixel ratio.
struct PageDrawing {
    std::shared_ptr<const emf::Metafile> metafile;
    std::uint64_t content = 0; // identifies the metafile's bytes: another report's page 1 is another drawing
    QSize logicalSize;
    qreal ratio = 1;

    QSize DeviceSize() const;
    static std::uint64_t ContentOf(const emf::Metafile& metafile);
};

// One piece of a drawing: a square tile of the page's device pixels, or (index -1, -1) the
// page's overview, a small image of the whole page shown scaled while tiles are drawn.
struct TileKey {
    std::uint64_t content = 0;
    QSize logicalSize;
    int ratioPermille = 1000;
    QPoint index;

    bool operator==(const TileKey&) const = default;
};
size_t qHash(const TileKey& key, size_t seed = 0) noexcept;

// Draws pages in tiles on worker threads and keeps them, with the overviews, in a cache bounded
// in bytes (the least recently used go first). Tiles asked for while queued are queued once. A
// tile that cannot be drawn shows the damage in its place.
class PageTiles : public QObject {
    Q_OBJECT

public:
    static constexpr int kTileSide = 768;
    static constexpr int kOverviewSide = 768; // the overview's longer side, at most
    enum Priority { ReadAhead = WorkService::ReadAhead, Visible = WorkService::VisibleTiles };
    // Draws deviceRect of a drawing into an image of imageSize; the player's, unless a test says.
    using Drawer = std::function<QImage(const PageDrawing& drawing, QRect deviceRect, QSize imageSize)>;

    explicit PageTiles(std::shared_ptr<WorkService> service, QObject* parent = nullptr);
    ~PageTiles() override;

    // Moves the tiles' drawing to another service: the window's, shared with its other work.
    void SetWorkService(std::shared_ptr<WorkService> service);
    void SetDrawer(Drawer drawer);
    // The player's drawing of deviceRect of a drawing, into an image of imageSize.
    static QImage Draw(const PageDrawing& drawing, QRect deviceRect, QSize imageSize);
    // What a tile that failed to draw shows: the paper hatched in red.
    static QImage DamageImage(QSize size);

    // The tile if it is drawn; otherwise a null image, and the tile is queued for drawing.
    QImage Tile(const PageDrawing& drawing, QPoint index, Priority priority);
    bool HasTile(const PageDrawing& drawing, QPoint index) const;
    // The page's overview, drawn now if it is not kept.
    QImage Overview(const PageDrawing& drawing);
    // The page's overview drawn by a worker, for a page about to be shown.
    void QueueOverview(const PageDrawing& drawing, Priority priority);
    static TileKey KeyOf(const PageDrawing& drawing, QPoint index);
    // The device rectangle of a tile, and the tiles a device rectangle touches.
    static QRect TileRect(const PageDrawing& drawing, QPoint index);
    static QRect TilesCovering(const PageDrawing& drawing, const QRect& deviceArea);

    // Tiles queued and not started are dropped (the page or the zoom changed); tiles being drawn
    // are kept when they finish.
    void DropQueued();
    int Queued() const { return static_cast<int>(queued_.size()); }
    void SetBudget(qint64 bytes);
    qint64 Budget() const { return cache_.Budget(); }
    qint64 Bytes() const { return cache_.Bytes(); }
    // Tiles drawn from their metafiles so far; for tests and benchmarks.
    int TilesDrawn() const { return tilesDrawn_; }
    // Waits until no tile is queued or being drawn; for tests and benchmarks.
    void WaitUntilIdle();

signals:
    void TileDrawn();

private:
    struct KeyHash {
        size_t operator()(const TileKey& key) const noexcept { return qHash(key); }
    };
    static constexpr QPoint kOverviewIndex{-1, -1};
    static QImage DrawOverview(const Drawer& drawer, const PageDrawing& drawing);
    // Draws with the drawer; an error gives the damage image.
    static QImage DrawOrDamage(const Drawer& drawer, const PageDrawing& drawing, QRect deviceRect, QSize imageSize);
    void Queue(const TileKey& key, Priority priority, std::function<QImage()> draw);
    void Keep(const TileKey& key, QImage image);
    void Arrived(std::uint64_t generation, const TileKey& key, QImage image);

    std::unique_ptr<WorkQueue> work_;
    Drawer drawer_;
    emf::ByteCache<TileKey, QImage, KeyHash> cache_{64 << 20};
    QSet<TileKey> queued_;
    int tilesDrawn_ = 0;
};

} // namespace tarvolo::preview
