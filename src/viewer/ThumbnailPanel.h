#pragma once

#include "metafile/Metafile.h"
#include "preview/WorkService.h"

#include <QCache>
#include <QHash>
#include <QImage>
#include <QSet>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>
#include <set>

class QListView;

namespace tarvolo::viewer {

class ThumbnailModel;

// The side panel listing a small picture of every page with its number under it. Opening a report
// costs nothing: a page is fetched and drawn (on worker threads) only once its item is on screen,
// and the drawn thumbnails are kept in a cache bounded in bytes. A page that cannot be read or
// drawn shows its damage in its place.
class ThumbnailPanel : public QWidget {
    Q_OBJECT

public:
    // Page n (from 1) of the report, or nothing for a page that is missing. Called on worker
    // threads, several at once; it holds what it reads from (a page source) for as long as a job
    // may call it.
    using PageFetcher = std::function<std::unique_ptr<emf::Metafile>(int n)>;
    static constexpr int kDefaultThumbnailWidth = 150;
    static constexpr qint64 kDefaultCacheBudget = 32 << 20;

    explicit ThumbnailPanel(QWidget* parent = nullptr);
    ~ThumbnailPanel() override;

    // Draws on service (the window's) instead of a service of its own.
    void SetWorkService(std::shared_ptr<preview::WorkService> service);

    // A new report (0 pages: none): the old one's thumbnails and the work queued for it are dropped.
    void SetReport(int pageCount, PageFetcher fetch);
    int PageCount() const { return pageCount_; }
    // Marks the page the window shows and scrolls it into view; does not emit pageChosen.
    void SetCurrentPage(int page);
    int CurrentPage() const;

    void SetThumbnailWidth(int width);
    int ThumbnailWidth() const { return thumbnailWidth_; }
    // The box a thumbnail is fitted into: the thumbnail width by the height of a portrait A4 page.
    QSize ThumbnailBox() const;
    void SetCacheBudget(qint64 bytes);
    qint64 CacheBytes() const { return cache_.totalCost(); }

    // The page's thumbnail, or a null image while it is not drawn.
    QImage Thumbnail(int page) const;
    // Pages queued for drawing or being drawn.
    int Pending() const { return static_cast<int>(pending_.size()); }

    QSize sizeHint() const override;

signals:
    // The user clicked a thumbnail, or pressed Enter on one.
    void pageChosen(int page);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class ThumbnailModel;
    enum JobState { Queued, Started, Dropped };

    QListView* createList();
    // What the list shows for a page: its thumbnail, or the placeholder while the page is asked for.
    QImage Decoration(int page);
    bool IsOnScreen(int page) const;
    // Starts drawing the pages asked for that are still on screen, and drops queued pages that
    // scrolled out of sight.
    void UpdateQueue();
    void Queue(int page);
    void Arrived(std::uint64_t generation, int page, bool missing, QImage image);
    void DropEverything();

    ThumbnailModel* model_;
    QListView* list_;
    PageFetcher fetch_;
    int pageCount_ = 0;
    int thumbnailWidth_ = kDefaultThumbnailWidth;
    QImage placeholder_;
    QCache<int, QImage> cache_;
    QSet<int> missing_;   // pages the fetcher had no metafile for
    std::set<int> asked_; // shown as placeholders since the last queue update, top first
    QHash<int, std::shared_ptr<std::atomic<int>>> pending_;
    QTimer queueUpdate_;
    std::unique_ptr<preview::WorkQueue> work_;
};

} // namespace tarvolo::viewer
