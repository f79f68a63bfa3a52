#include "ThumbnailPanel.h"

#include "preview/PageTiles.h"
#include "render/PageRenderer.h"

#include <QAbstractListModel>
#include <QKeyEvent>
#include <QListView>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOption>
#include <QStyledItemDelegate>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <utility>

namespace tarvolo::viewer {

namespace {

constexpr int kMargin = 6;    // around a thumbnail, inside its item
constexpr int kNumberGap = 3; // between the thumbnail and its page number
constexpr int kHighlight = 3; // the current page's frame

} // namespace

// One item per page; the pictures come from the panel, which draws them when they are asked for.
class ThumbnailModel : public QAbstractListModel {
public:
    explicit ThumbnailModel(ThumbnailPanel* panel) : QAbstractListModel(panel), panel_(panel) {}

    void Reset(int pageCount)
    {
        beginResetModel();
        rows_ = pageCount;
        endResetModel();
    }
    void PageDrawn(int page)
    {
        const QModelIndex item = index(page - 1);
        emit dataChanged(item, item, {Qt::DecorationRole});
    }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : rows_;
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || index.row() >= rows_)
            return {};
        const int page = index.row() + 1;
        switch (role) {
        case Qt::DisplayRole:
            return QString::number(page);
        case Qt::DecorationRole:
            return panel_->Decoration(page);
        case Qt::AccessibleTextRole:
        case Qt::ToolTipRole:
            return ThumbnailPanel::tr("Página %1").arg(page);
        default:
            return {};
        }
    }

private:
    ThumbnailPanel* panel_;
    int rows_ = 0;
};

namespace {

// Paints an item: the thumbnail centred in its box with a thin frame (a thick highlighted one for
// the current page) and the page number under it.
class ThumbnailDelegate : public QStyledItemDelegate {
public:
    ThumbnailDelegate(const ThumbnailPanel* panel, QObject* parent) : QStyledItemDelegate(parent), panel_(panel) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override
    {
        // Every item has this size, so the list never asks for a picture to lay itself out.
        const QSize box = panel_->ThumbnailBox();
        return QSize(box.width() + 2 * kMargin, box.height() + 2 * kMargin + kNumberGap + option.fontMetrics.height());
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QImage image = index.data(Qt::DecorationRole).value<QImage>();
        const QSize box = panel_->ThumbnailBox();
        const QRect boxRect(option.rect.left() + (option.rect.width() - box.width()) / 2, option.rect.top() + kMargin,
                            box.width(), box.height());
        const QSize shown = image.deviceIndependentSize().toSize();
        QRect picture(QPoint(0, 0), shown.isEmpty() ? box : shown);
        picture.moveCenter(boxRect.center());

        painter->save();
        painter->drawImage(picture, image);
        const bool current = option.state & QStyle::State_Selected;
        if (current) {
            const int half = kHighlight / 2;
            painter->setPen(QPen(option.palette.color(QPalette::Highlight), kHighlight, Qt::SolidLine, Qt::SquareCap,
                                 Qt::MiterJoin));
            painter->setBrush(Qt::NoBrush);
            painter->drawRect(picture.adjusted(-half - 1, -half - 1, half, half));
        } else {
            painter->setPen(option.palette.color(QPalette::Mid));
            painter->setBrush(Qt::NoBrush);
            painter->drawRect(picture.adjusted(-1, -1, 0, 0));
        }
        const QRect numberRect(option.rect.left(), boxRect.bottom() + 1 + kNumberGap, option.rect.width(),
                               option.fontMetrics.height());
        QFont font = option.font;
        font.setBold(current);
        painter->setFont(font);
        painter->setPen(option.palette.color(QPalette::Text));
        painter->drawText(numberRect, Qt::AlignCenter, index.data(Qt::DisplayRole).toString());
        if (option.state & QStyle::State_HasFocus && option.widget && option.widget->hasFocus()) {
            QStyleOptionFocusRect focus;
            focus.initFrom(option.widget);
            focus.rect = option.rect.adjusted(1, 1, -1, -1);
            option.widget->style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, option.widget);
        }
        painter->restore();
    }

private:
    const ThumbnailPanel* panel_;
};

} // namespace

ThumbnailPanel::ThumbnailPanel(QWidget* parent)
    : QWidget(parent), model_(new ThumbnailModel(this)),
      work_(std::make_unique<preview::WorkQueue>(std::make_shared<preview::WorkService>()))
{
    setObjectName("ThumbnailPanel");
    setAccessibleName(tr("Miniaturas das páginas"));

    cache_.setMaxCost(kDefaultCacheBudget);

    // Pictures asked for while one frame paints are queued together, after the paint.
    queueUpdate_.setSingleShot(true);
    queueUpdate_.setInterval(0);
    connect(&queueUpdate_, &QTimer::timeout, this, &ThumbnailPanel::UpdateQueue);

    list_ = createList();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(list_);
    SetThumbnailWidth(kDefaultThumbnailWidth);
}

ThumbnailPanel::~ThumbnailPanel()
{
    work_->Cancel();
}

void ThumbnailPanel::SetWorkService(std::shared_ptr<preview::WorkService> service)
{
    DropEverything();
    work_->Cancel();
    work_ = std::make_unique<preview::WorkQueue>(std::move(service));
    // What was asked for comes again at the next paint.
    list_->viewport()->update();
}

QListView* ThumbnailPanel::createList()
{
    auto* list = new QListView(this);
    list->setObjectName("thumbnailList");
    list->setAccessibleName(tr("Miniaturas das páginas"));
    list->setModel(model_);
    list->setItemDelegate(new ThumbnailDelegate(this, list));
    list->setUniformItemSizes(true);
    list->setMovement(QListView::Static);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->installEventFilter(this);
    connect(list, &QListView::clicked, this, [this](const QModelIndex& index) { emit pageChosen(index.row() + 1); });
    // Scrolling far away leaves queued pages behind: drop them.
    connect(list->verticalScrollBar(), &QScrollBar::valueChanged, &queueUpdate_, qOverload<>(&QTimer::start));
    return list;
}

void ThumbnailPanel::SetReport(int pageCount, PageFetcher fetch)
{
    DropEverything();
    fetch_ = std::move(fetch);
    pageCount_ = std::max(0, pageCount);
    model_->Reset(pageCount_);
    list_->scrollToTop(); // a new report starts at its first page
}

void ThumbnailPanel::DropEverything()
{
    work_->DropQueued(); // results of drawings already started are thrown away
    pending_.clear();
    asked_.clear();
    missing_.clear();
    cache_.clear();
}

void ThumbnailPanel::SetCurrentPage(int page)
{
    if (page < 1 || page > pageCount_)
        return;
    const QModelIndex index = model_->index(page - 1);
    list_->setCurrentIndex(index);
    list_->scrollTo(index);
}

int ThumbnailPanel::CurrentPage() const
{
    const QModelIndex index = list_->currentIndex();
    return index.isValid() ? index.row() + 1 : 0;
}

QSize ThumbnailPanel::ThumbnailBox() const
{
    // Rounded up, so that an A4 page fills the whole width.
    return QSize(thumbnailWidth_, static_cast<int>(std::ceil(thumbnailWidth_ * 297.0 / 210.0)));
}

void ThumbnailPanel::SetThumbnailWidth(int width)
{
    thumbnailWidth_ = std::max(16, width);
    DropEverything();
    placeholder_ = QImage(ThumbnailBox(), QImage::Format_RGB32);
    placeholder_.fill(QColor(0xd8, 0xd8, 0xd8));
    list_->setMinimumWidth(sizeHint().width());
    // The list keeps its one item size until the model is reset.
    const int current = CurrentPage();
    model_->Reset(pageCount_);
    SetCurrentPage(current);
}

void ThumbnailPanel::SetCacheBudget(qint64 bytes)
{
    cache_.setMaxCost(std::max<qint64>(0, bytes));
}

QImage ThumbnailPanel::Thumbnail(int page) const
{
    const QImage* image = cache_.object(page);
    return image ? *image : QImage();
}

QSize ThumbnailPanel::sizeHint() const
{
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    return QSize(thumbnailWidth_ + 2 * kMargin + scrollBar + 2 * list_->frameWidth() + 2, 400);
}

bool ThumbnailPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == list_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        const QModelIndex index = list_->currentIndex();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && index.isValid()) {
            emit pageChosen(index.row() + 1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

QImage ThumbnailPanel::Decoration(int page)
{
    if (const QImage* image = cache_.object(page))
        return *image;
    if (!missing_.contains(page) && !pending_.contains(page)) {
        asked_.insert(page);
        queueUpdate_.start();
    }
    return placeholder_;
}

bool ThumbnailPanel::IsOnScreen(int page) const
{
    return list_->isVisible() && list_->visualRect(model_->index(page - 1)).intersects(list_->viewport()->rect());
}

void ThumbnailPanel::UpdateQueue()
{
    for (auto it = pending_.begin(); it != pending_.end();) {
        int queued = Queued;
        if (!IsOnScreen(it.key()) && it.value()->compare_exchange_strong(queued, Dropped))
            it = pending_.erase(it);
        else
            ++it;
    }
    for (const int page : std::exchange(asked_, {})) {
        if (IsOnScreen(page) && !cache_.contains(page) && !pending_.contains(page) && !missing_.contains(page))
            Queue(page);
    }
}

void ThumbnailPanel::Queue(int page)
{
    if (!fetch_) {
        missing_.insert(page);
        return;
    }
    auto state = std::make_shared<std::atomic<int>>(Queued);
    pending_.insert(page, state);
    const std::uint64_t generation = work_->Generation();
    // The job holds its own copy of the fetcher and so of the pages it reads from.
    work_->Post(preview::WorkService::Thumbnails, [this, fetch = fetch_, generation, state, page, box = ThumbnailBox(),
                                                    ratio = list_->devicePixelRatioF()] {
        int queued = Queued;
        if (!state->compare_exchange_strong(queued, Started))
            return; // scrolled out of sight while queued
        QImage image;
        bool missing = false;
        try {
            const std::unique_ptr<emf::Metafile> metafile = fetch(page);
            if (metafile) {
                QSize logical = emf::PageRenderer::SizeAtDpi(*metafile, 96);
                logical = logical.isEmpty() ? box : logical.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
                const QSize device = (QSizeF(logical) * ratio).toSize();
                image = emf::PageRenderer::RenderImage(*metafile, device, nullptr, emf::PageRenderer::Cores::One);
            } else {
                missing = true;
            }
        } catch (const std::exception& error) {
            // The page shows its damage in its place; reading on is up to the user.
            qWarning("Cannot draw the thumbnail of page %d: %s", page, error.what());
            image = preview::PageTiles::DamageImage((QSizeF(box) * ratio).toSize());
        }
        image.setDevicePixelRatio(ratio);
        QMetaObject::invokeMethod(
            this, [this, generation, page, missing, image = std::move(image)] { Arrived(generation, page, missing, image); },
            Qt::QueuedConnection);
    });
}

void ThumbnailPanel::Arrived(std::uint64_t generation, int page, bool missing, QImage image)
{
    if (generation != work_->Generation())
        return;
    pending_.remove(page);
    if (missing) {
        missing_.insert(page);
        model_->PageDrawn(page);
        return;
    }
    const qint64 bytes = image.sizeInBytes();
    // A picture that cannot be drawn or kept would otherwise be drawn again at every paint.
    if (image.isNull() || !cache_.insert(page, new QImage(std::move(image)), bytes))
        missing_.insert(page);
    model_->PageDrawn(page);
}

} // namespace tarvolo::viewer
