#include "render/detail/EmfPlayback.h"

#include "render/detail/DibDecoder.h"
#include "metafile/GdiConstants.h"

#include <QPaintDevice>
#include <QPaintEngine>

#include <algorithm>
#include <cmath>
#include <utility>

namespace tarvolo::emf {

namespace {

// The decoder's budget: sixteen times the pixels of the painter's device, which is a page full of
// pictures many times over, within these bounds.
constexpr std::int64_t kMinPixelBudget = std::int64_t{1} << 25;
constexpr std::int64_t kMaxPixelBudget = std::int64_t{1} << 28;

// Larger source parts are decoded only as far as they show (with a margin, so that smoothing at
// the edge of what shows reads the same pixels as with the whole bitmap).
constexpr std::int64_t kCropAbovePixels = std::int64_t{1} << 20;
constexpr int kCropMargin = 2;

QRectF DestinationRect(double x, double y, double width, double height)
{
    return QRectF(x, y, width, height);
}

// A destination in whole device pixels, like every other edge, and whether it mirrors the image.
struct DeviceBox {
    QRectF rect;
    bool mirrorX = false, mirrorY = false;
};

DeviceBox SnappedBox(const QTransform& toDevice, const QRectF& logicalDest)
{
    const QRectF device = toDevice.mapRect(logicalDest);
    const QPointF corner1 = toDevice.map(logicalDest.topLeft()), corner2 = toDevice.map(logicalDest.bottomRight());
    return {QRectF(QPointF(std::round(device.left()), std::round(device.top())),
                   QPointF(std::round(device.right()), std::round(device.bottom()))),
            corner2.x() < corner1.x(), corner2.y() < corner1.y()};
}

// The decoded size along one side: the part's own, unless it is more than twice what it covers
// on the device; then twice that, enough for smooth scaling to look as it would from the whole.
int DecodedLength(int partLength, double deviceLength)
{
    if (partLength <= 2 * deviceLength)
        return partLength;
    return std::clamp(static_cast<int>(std::ceil(2 * deviceLength)), 1, partLength);
}

std::int64_t Area(QSize size)
{
    return std::int64_t{size.width()} * size.height();
}

} // namespace

DibDecoder& EmfPlayback::Decoder()
{
    if (!decoder_) {
        const QPaintDevice* device = painter_.device();
        const std::int64_t area = device ? std::int64_t{device->width()} * device->height() : 0;
        decoder_.emplace(std::clamp(16 * area, kMinPixelBudget, kMaxPixelBudget));
    }
    return *decoder_;
}

EmfPlayback::BitmapPart EmfPlayback::DecodeShownPart(const EmfRecord& r, const StoredBitmap& bitmap, const QRectF& source,
                                                     bool dibRows, const QRectF& logicalDest, DibDecoder::Alpha alpha)
{
    BitmapPart result;
    const std::optional<DibShape> shape = DibDecoder::Shape(r, bitmap.offBmi, bitmap.cbBmi);
    if (!shape) {
        result.skipped = true;
        return result;
    }
    // The source rectangle with its origin at the top left (the rows of a DIB may count from the
    // bottom), in whole pixels, as much of it as lies on the bitmap.
    QRectF wanted = source;
    if (dibRows && shape->bottomUp)
        wanted.moveTop(shape->height - source.y() - source.height());
    wanted = wanted.normalized();
    auto onBitmap = [](double v, int length) {
        return v > 0 ? static_cast<int>(std::min(std::round(v), static_cast<double>(length))) : 0; // NaN too
    };
    const int left = onBitmap(wanted.left(), shape->width), right = onBitmap(wanted.right(), shape->width);
    const int top = onBitmap(wanted.top(), shape->height), bottom = onBitmap(wanted.bottom(), shape->height);
    const QRect part(left, top, right - left, bottom - top);
    if (part.isEmpty() || logicalDest.width() == 0 || logicalDest.height() == 0)
        return result;

    const QTransform toDevice = LogicalToDevice();
    const QRectF bounds = toDevice.mapRect(logicalDest);
    if (!std::isfinite(bounds.left()) || !std::isfinite(bounds.top()) || !std::isfinite(bounds.right()) ||
        !std::isfinite(bounds.bottom()))
        return result;
    ApplyClip();
    const QPaintDevice* device = painter_.device();
    QRectF visible(-1e9, -1e9, 2e9, 2e9);
    if (device && device->width() > 0 && device->height() > 0)
        visible = QRectF(0, 0, device->width(), device->height());
    if (painter_.hasClipping())
        visible = visible.intersected(painter_.clipBoundingRect());

    QRect decoded = part;
    QSize size = part.size();
    if (toDevice.type() <= QTransform::TxScale) {
        const DeviceBox box = SnappedBox(toDevice, logicalDest);
        const QRectF shown = box.rect.intersected(visible);
        if (shown.width() <= 0 || shown.height() <= 0)
            return result;
        if (Area(part.size()) > kCropAbovePixels) {
            // The share of the destination that shows, measured from the source's first column and row.
            double x0 = (shown.left() - box.rect.left()) / box.rect.width(), x1 = (shown.right() - box.rect.left()) / box.rect.width();
            double y0 = (shown.top() - box.rect.top()) / box.rect.height(), y1 = (shown.bottom() - box.rect.top()) / box.rect.height();
            if (box.mirrorX)
                std::tie(x0, x1) = std::pair(1 - x1, 1 - x0);
            if (box.mirrorY)
                std::tie(y0, y1) = std::pair(1 - y1, 1 - y0);
            const int shownLeft = std::max(part.left(), static_cast<int>(std::floor(part.x() + x0 * part.width())) - kCropMargin);
            const int shownRight = std::min(part.x() + part.width(), static_cast<int>(std::ceil(part.x() + x1 * part.width())) + kCropMargin);
            const int shownTop = std::max(part.top(), static_cast<int>(std::floor(part.y() + y0 * part.height())) - kCropMargin);
            const int shownBottom =
                std::min(part.y() + part.height(), static_cast<int>(std::ceil(part.y() + y1 * part.height())) + kCropMargin);
            if (shownRight <= shownLeft || shownBottom <= shownTop)
                return result;
            decoded = QRect(shownLeft, shownTop, shownRight - shownLeft, shownBottom - shownTop);
        }
        size = QSize(DecodedLength(decoded.width(), decoded.width() * box.rect.width() / part.width()),
                     DecodedLength(decoded.height(), decoded.height() * box.rect.height() / part.height()));
    } else {
        if (!bounds.intersects(visible))
            return result;
        const QPointF origin = toDevice.map(logicalDest.topLeft());
        const QPointF across = toDevice.map(logicalDest.topRight()) - origin, down = toDevice.map(logicalDest.bottomLeft()) - origin;
        size = QSize(DecodedLength(part.width(), std::hypot(across.x(), across.y())),
                     DecodedLength(part.height(), std::hypot(down.x(), down.y())));
    }

    DibDecoder::Options options;
    options.alpha = alpha;
    DibDecoder::Result image =
        Decoder().Decode(r, bitmap.offBmi, bitmap.cbBmi, bitmap.offBits, bitmap.cbBits, decoded, size, options);
    if (image.outcome != DibDecoder::Outcome::Decoded) {
        result.skipped = true;
        return result;
    }
    const double sx = static_cast<double>(size.width()) / decoded.width(), sy = static_cast<double>(size.height()) / decoded.height();
    result.image = std::move(image.image);
    result.whole = QRectF((part.x() - decoded.x()) * sx, (part.y() - decoded.y()) * sy, part.width() * sx, part.height() * sy);
    return result;
}

bool EmfPlayback::PlayBitmapRecord(const EmfRecord& r)
{
    switch (r.Type()) {
    case emr::StretchDIBits: {
        const StoredBitmap bitmap{r.U32(48), r.U32(52), r.U32(56), r.U32(60)};
        const QRectF dest = DestinationRect(r.I32(24), r.I32(28), r.I32(72), r.I32(76));
        const std::uint32_t rop = r.U32(68);
        if (bitmap.cbBmi == 0) {
            PatternBlit(dest, rop);
            return true;
        }
        const BitmapPart part = DecodeShownPart(r, bitmap, QRectF(r.I32(32), r.I32(36), r.I32(40), r.I32(44)), true, dest);
        if (part.skipped)
            return false;
        DrawBitmap(dest, part, rop);
        return true;
    }
    case emr::SetDIBitsToDevice: {
        const StoredBitmap bitmap{r.U32(48), r.U32(52), r.U32(56), r.U32(60)};
        const double width = r.I32(40), height = r.I32(44);
        const QRectF dest = DestinationRect(r.I32(24), r.I32(28), width, height);
        const BitmapPart part = DecodeShownPart(r, bitmap, QRectF(r.I32(32), r.I32(36), width, height), true, dest);
        if (part.skipped)
            return false;
        DrawBitmap(dest, part, gdi::SRCCOPY);
        return true;
    }
    case emr::BitBlt:
    case emr::StretchBlt:
    case emr::AlphaBlend:
    case emr::TransparentBlt:
    case emr::MaskBlt: {
        const QRectF dest = DestinationRect(r.I32(24), r.I32(28), r.I32(32), r.I32(36));
        const std::uint32_t rop = r.U32(40);
        const StoredBitmap bitmap{r.U32(84), r.U32(88), r.U32(92), r.U32(96)};
        if (bitmap.cbBmi == 0) {
            if (r.Type() == emr::BitBlt || r.Type() == emr::StretchBlt)
                PatternBlit(dest, rop);
            return true;
        }
        const bool stretched = r.Type() == emr::StretchBlt || r.Type() == emr::AlphaBlend || r.Type() == emr::TransparentBlt;
        const double srcWidth = stretched ? r.I32(100) : dest.width();
        const double srcHeight = stretched ? r.I32(104) : dest.height();
        // The source offset goes through the source DC's transform; report pages use plain offsets.
        const QTransform sourceTransform(r.F32(52), r.F32(56), r.F32(60), r.F32(64), r.F32(68), r.F32(72));
        const QPointF sourceOrigin = sourceTransform.isInvertible() ? sourceTransform.map(QPointF(r.I32(44), r.I32(48)))
                                                                    : QPointF(r.I32(44), r.I32(48));
        const bool alphaBlend = r.Type() == emr::AlphaBlend;
        const bool sourceAlpha = alphaBlend && (r.U8(43) & gdi::AC_SRC_ALPHA);
        // Memory-DC bitmaps are addressed from their top row.
        BitmapPart part = DecodeShownPart(r, bitmap, QRectF(sourceOrigin.x(), sourceOrigin.y(), srcWidth, srcHeight), false, dest,
                                          sourceAlpha ? DibDecoder::Alpha::Premultiplied : DibDecoder::Alpha::Ignore);
        if (part.skipped)
            return false;
        if (part.image.isNull())
            return true;
        if (r.Type() == emr::TransparentBlt) {
            const QRgb key = QColor(static_cast<int>(rop & 0xFF), static_cast<int>((rop >> 8) & 0xFF),
                                    static_cast<int>((rop >> 16) & 0xFF)).rgb();
            part.image = part.image.convertToFormat(QImage::Format_ARGB32);
            const int width = part.image.width(), height = part.image.height();
            for (int y = 0; y < height; ++y) {
                auto* line = reinterpret_cast<QRgb*>(part.image.scanLine(y));
                for (int x = 0; x < width; ++x)
                    if ((line[x] & 0xFFFFFF) == (key & 0xFFFFFF))
                        line[x] = 0;
            }
            DrawBitmap(dest, part, gdi::SRCCOPY);
        } else if (alphaBlend) {
            // Only the opacity changes, and back: the painter's clip stays what ApplyClip made it.
            FlushPendingBlits();
            const double opacity = painter_.opacity();
            painter_.setOpacity(opacity * r.U8(42) / 255.0);
            DrawBitmap(dest, part, gdi::SRCCOPY);
            painter_.setOpacity(opacity);
        } else if (r.Type() == emr::MaskBlt) {
            const StoredBitmap maskBitmap{r.U32(112), r.U32(116), r.U32(120), r.U32(124)};
            const BitmapPart mask = maskBitmap.cbBmi == 0 ? BitmapPart{}
                                                          : DecodeShownPart(r, maskBitmap, QRectF(r.I32(100), r.I32(104), srcWidth, srcHeight),
                                                                            false, dest);
            // The common mask blit copies the source where the mask is set and keeps the destination elsewhere.
            const bool sourceWhereSet = (rop & 0xFF0000) == (gdi::SRCCOPY & 0xFF0000);
            if (!mask.image.isNull() && mask.image.size() == part.image.size()) {
                const QImage m = mask.image.convertToFormat(QImage::Format_RGB32);
                part.image = part.image.convertToFormat(QImage::Format_ARGB32);
                const int width = part.image.width(), height = part.image.height();
                for (int y = 0; y < height; ++y) {
                    const auto* maskLine = reinterpret_cast<const QRgb*>(m.constScanLine(y));
                    auto* line = reinterpret_cast<QRgb*>(part.image.scanLine(y));
                    for (int x = 0; x < width; ++x)
                        if ((qGray(maskLine[x]) >= 128) != sourceWhereSet)
                            line[x] = 0;
                }
            }
            DrawBitmap(dest, part, gdi::SRCCOPY);
        } else {
            DrawBitmap(dest, part, rop);
        }
        return true;
    }
    case emr::PlgBlt:
        return false;
    default: return false;
    }
}

// Raster operations do not survive a printer or PDF painter. They are turned into what they
// give on white paper: an image whose pixels that leave the destination alone are transparent.
// The usual transparent-bitmap idioms come out exactly: a SRCAND mask then a SRCPAINT image, or
// a SRCINVERT image, a SRCAND mask and the same SRCINVERT image again.
void EmfPlayback::DrawBitmap(const QRectF& logicalDest, const BitmapPart& source, std::uint32_t rop)
{
    if (source.image.isNull() || logicalDest.width() == 0 || logicalDest.height() == 0)
        return;
    const QTransform toDevice = LogicalToDevice();
    const QRectF deviceRect = toDevice.mapRect(logicalDest);
    if (rop == gdi::SRCAND || rop == gdi::SRCPAINT || rop == gdi::SRCINVERT) {
        if (!pending_.empty() && pending_.back().deviceRect != deviceRect)
            FlushPendingBlits();
        pending_.push_back({logicalDest, deviceRect, toDevice, source.image.convertToFormat(QImage::Format_RGB32), source.whole, rop});
        ResolvePendingIdioms();
        // What is left waits only while it can still begin an idiom: a SRCINVERT, a SRCAND, or a
        // SRCINVERT then a SRCAND. So at most two images wait, each paid for from the pixel budget.
        std::size_t keep = 0;
        if (const auto n = pending_.size(); n > 0) {
            if (pending_[n - 1].rop == gdi::SRCINVERT)
                keep = 1;
            else if (pending_[n - 1].rop == gdi::SRCAND)
                keep = n >= 2 && pending_[n - 2].rop == gdi::SRCINVERT ? 2 : 1;
        }
        FlushPendingBlits(keep);
        return;
    }
    FlushPendingBlits();
    QImage image = source.image;
    switch (rop) {
    case gdi::SRCCOPY:
    case gdi::MERGECOPY:
        break;
    case gdi::NOTSRCCOPY:
    case gdi::NOTSRCERASE:
    case gdi::MERGEPAINT:
        image = image.convertToFormat(QImage::Format_RGB32);
        image.invertPixels();
        break;
    case gdi::SRCERASE:
        break;
    default:
        PatternBlit(logicalDest, rop);
        return;
    }
    DrawImageAt(logicalDest, image, source.whole, toDevice);
}

void EmfPlayback::DrawImageAt(const QRectF& logicalDest, const QImage& image, const QRectF& whole, const QTransform& toDevice)
{
    ApplyClip();
    if (toDevice.type() <= QTransform::TxScale) {
        // Whole device pixels, like every other edge; a negative extent mirrors the image.
        const DeviceBox box = SnappedBox(toDevice, logicalDest);
        painter_.setTransform(QTransform());
        if (box.mirrorX || box.mirrorY) {
            const QRectF mirrored(box.mirrorX ? image.width() - whole.right() : whole.left(),
                                  box.mirrorY ? image.height() - whole.bottom() : whole.top(), whole.width(), whole.height());
            painter_.drawImage(box.rect, image.mirrored(box.mirrorX, box.mirrorY), mirrored);
        } else {
            painter_.drawImage(box.rect, image, whole);
        }
        return;
    }
    painter_.setTransform(toDevice);
    painter_.drawImage(logicalDest, image, whole);
}

namespace {

bool IsWhite(QRgb c)
{
    return (c & 0xFFFFFF) == 0xFFFFFF;
}

bool IsBlack(QRgb c)
{
    return (c & 0xFFFFFF) == 0;
}

QImage SameSize(const QImage& image, QSize size)
{
    return image.size() == size ? image : image.scaled(size);
}

// The results below are opaque where they paint and transparent elsewhere, so they are made
// premultiplied already, as the painter wants them.

// What `destination AND mask, then OR source` leaves on white paper, with untouched pixels transparent.
QImage MaskThenPaint(const QImage& mask, const QImage& source)
{
    const QImage m = SameSize(mask, source.size());
    QImage result(source.size(), QImage::Format_ARGB32_Premultiplied);
    const int width = result.width(), height = result.height();
    for (int y = 0; y < height; ++y) {
        const auto* ml = reinterpret_cast<const QRgb*>(m.constScanLine(y));
        const auto* sl = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        auto* out = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < width; ++x)
            out[x] = IsWhite(ml[x]) && IsBlack(sl[x]) ? 0 : ((ml[x] | sl[x]) | 0xFF000000u);
    }
    return result;
}

// `source XOR, mask AND, source XOR`: the source where the mask is black, the destination elsewhere.
QImage InvertMaskInvert(const QImage& mask, QImage source)
{
    const QImage m = SameSize(mask, source.size());
    QImage result = std::move(source);
    result.convertTo(QImage::Format_ARGB32_Premultiplied);
    const int width = result.width(), height = result.height();
    for (int y = 0; y < height; ++y) {
        const auto* ml = reinterpret_cast<const QRgb*>(m.constScanLine(y));
        auto* out = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < width; ++x)
            if (!IsBlack(ml[x]))
                out[x] = 0;
    }
    return result;
}

// A single raster operation on white paper: AND keeps non-white pixels, OR and XOR non-black ones.
QImage AloneOnWhite(QImage source, std::uint32_t rop)
{
    QImage result = std::move(source);
    result.convertTo(QImage::Format_ARGB32_Premultiplied);
    const int width = result.width(), height = result.height();
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < width; ++x) {
            if (rop == gdi::SRCAND ? IsWhite(line[x]) : IsBlack(line[x]))
                line[x] = 0;
            else if (rop == gdi::SRCINVERT)
                line[x] = (~line[x] & 0xFFFFFF) | 0xFF000000u;
        }
    }
    return result;
}

} // namespace

void EmfPlayback::ResolvePendingIdioms()
{
    const auto n = pending_.size();
    if (n >= 2 && pending_[n - 2].rop == gdi::SRCAND && pending_[n - 1].rop == gdi::SRCPAINT) {
        const PendingBlit mask = pending_[n - 2], paint = pending_[n - 1];
        pending_.resize(n - 2);
        FlushPendingBlits();
        DrawImageAt(paint.logicalDest, MaskThenPaint(mask.image, paint.image), paint.whole, paint.toDevice);
        return;
    }
    if (n >= 3 && pending_[n - 3].rop == gdi::SRCINVERT && pending_[n - 2].rop == gdi::SRCAND &&
        pending_[n - 1].rop == gdi::SRCINVERT && pending_[n - 3].image == pending_[n - 1].image) {
        PendingBlit source = std::move(pending_[n - 1]);
        const PendingBlit mask = std::move(pending_[n - 2]);
        pending_.resize(n - 3);
        FlushPendingBlits();
        DrawImageAt(source.logicalDest, InvertMaskInvert(mask.image, std::move(source.image)), source.whole, source.toDevice);
    }
}

void EmfPlayback::FlushPendingBlits(std::size_t keep)
{
    // The last `keep` blits may still begin an idiom, and the records after them decide that.
    const std::size_t drawn = pending_.size() > keep ? pending_.size() - keep : 0;
    for (std::size_t i = 0; i < drawn; ++i)
        DrawImageAt(pending_[i].logicalDest, AloneOnWhite(std::move(pending_[i].image), pending_[i].rop), pending_[i].whole,
                    pending_[i].toDevice);
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(drawn));
}

void EmfPlayback::PatternBlit(const QRectF& logicalDest, std::uint32_t rop)
{
    FlushPendingBlits();
    QPainterPath box;
    box.addRect(logicalDest.normalized());
    const QPainterPath device = LogicalToDevice().map(box);
    ApplyClip();
    switch (rop) {
    case gdi::BLACKNESS: painter_.fillPath(device, Qt::black); break;
    case gdi::WHITENESS: painter_.fillPath(device, Qt::white); break;
    case gdi::DSTCOPY: break;
    case gdi::DSTINVERT:
    case gdi::PATINVERT:
        if (painter_.paintEngine() && painter_.paintEngine()->type() == QPaintEngine::Raster) {
            painter_.setCompositionMode(rop == gdi::DSTINVERT ? QPainter::RasterOp_NotDestination
                                                              : QPainter::RasterOp_SourceXorDestination);
            painter_.fillPath(device, rop == gdi::DSTINVERT ? QBrush(Qt::black) : MakeBrush(state_.brush));
            painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
        }
        break;
    default: FillWithBrush(device, state_.brush); break;
    }
}

} // namespace tarvolo::emf
