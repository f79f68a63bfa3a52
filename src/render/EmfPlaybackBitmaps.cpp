#include "EmfPlayback.h"

#include "DibDecoder.h"
#include "metafile/GdiConstants.h"

#include <QPaintEngine>

#include <cmath>

namespace tarvolo::emf {

namespace {

// Whether a DIB's rows are stored bottom-up, which moves the origin of source rectangles.
bool IsBottomUp(const EmfRecord& r, std::uint32_t offBmi, std::uint32_t cbBmi)
{
    if (cbBmi < 12)
        return true;
    return r.U32(offBmi) == 12 ? r.I16(offBmi + 6) > 0 : r.I32(offBmi + 8) > 0;
}

// The part of a decoded DIB a source rectangle names, origin at the top left.
QImage SourcePart(const QImage& image, double x, double y, double width, double height, bool bottomUp)
{
    if (image.isNull())
        return {};
    if (bottomUp)
        y = image.height() - y - height;
    QRect part = QRectF(x, y, width, height).normalized().toRect().intersected(image.rect());
    if (part.isEmpty())
        return {};
    return part == image.rect() ? image : image.copy(part);
}

QRectF DestinationRect(double x, double y, double width, double height)
{
    return QRectF(x, y, width, height);
}

} // namespace

bool EmfPlayback::PlayBitmapRecord(const EmfRecord& r)
{
    switch (r.Type()) {
    case emr::StretchDIBits: {
        const std::uint32_t offBmi = r.U32(48), cbBmi = r.U32(52), offBits = r.U32(56), cbBits = r.U32(60);
        const QRectF dest = DestinationRect(r.I32(24), r.I32(28), r.I32(72), r.I32(76));
        const std::uint32_t rop = r.U32(68);
        if (cbBmi == 0) {
            PatternBlit(dest, rop);
            return true;
        }
        const QImage image = DibDecoder::Decode(r, offBmi, cbBmi, offBits, cbBits);
        DrawBitmap(dest, SourcePart(image, r.I32(32), r.I32(36), r.I32(40), r.I32(44), IsBottomUp(r, offBmi, cbBmi)), rop);
        return true;
    }
    case emr::SetDIBitsToDevice: {
        const std::uint32_t offBmi = r.U32(48), cbBmi = r.U32(52), offBits = r.U32(56), cbBits = r.U32(60);
        const double width = r.I32(40), height = r.I32(44);
        const QImage image = DibDecoder::Decode(r, offBmi, cbBmi, offBits, cbBits);
        DrawBitmap(DestinationRect(r.I32(24), r.I32(28), width, height),
                   SourcePart(image, r.I32(32), r.I32(36), width, height, IsBottomUp(r, offBmi, cbBmi)), gdi::SRCCOPY);
        return true;
    }
    case emr::BitBlt:
    case emr::StretchBlt:
    case emr::AlphaBlend:
    case emr::TransparentBlt:
    case emr::MaskBlt: {
        const QRectF dest = DestinationRect(r.I32(24), r.I32(28), r.I32(32), r.I32(36));
        const std::uint32_t rop = r.U32(40);
        const std::uint32_t offBmi = r.U32(84), cbBmi = r.U32(88), offBits = r.U32(92), cbBits = r.U32(96);
        if (cbBmi == 0) {
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
        QImage image = DibDecoder::Decode(r, offBmi, cbBmi, offBits, cbBits,
                                          sourceAlpha ? DibDecoder::Alpha::Premultiplied : DibDecoder::Alpha::Ignore);
        // Memory-DC bitmaps are addressed from their top row.
        image = SourcePart(image, sourceOrigin.x(), sourceOrigin.y(), srcWidth, srcHeight, false);
        if (image.isNull())
            return true;
        if (r.Type() == emr::TransparentBlt) {
            const QRgb key = QColor(static_cast<int>(rop & 0xFF), static_cast<int>((rop >> 8) & 0xFF),
                                    static_cast<int>((rop >> 16) & 0xFF)).rgb();
            image = image.convertToFormat(QImage::Format_ARGB32);
            for (int y = 0; y < image.height(); ++y) {
                auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
                for (int x = 0; x < image.width(); ++x)
                    if ((line[x] & 0xFFFFFF) == (key & 0xFFFFFF))
                        line[x] = 0;
            }
            DrawBitmap(dest, image, gdi::SRCCOPY);
        } else if (alphaBlend) {
            const double opacity = r.U8(42) / 255.0;
            painter_.save();
            painter_.setOpacity(painter_.opacity() * opacity);
            DrawBitmap(dest, image, gdi::SRCCOPY);
            painter_.restore();
        } else if (r.Type() == emr::MaskBlt) {
            const std::uint32_t offMaskBmi = r.U32(112), cbMaskBmi = r.U32(116), offMaskBits = r.U32(120), cbMaskBits = r.U32(124);
            const QImage mask = SourcePart(DibDecoder::Decode(r, offMaskBmi, cbMaskBmi, offMaskBits, cbMaskBits), r.I32(100),
                                           r.I32(104), srcWidth, srcHeight, false);
            // The common mask blit copies the source where the mask is set and keeps the destination elsewhere.
            const bool sourceWhereSet = (rop & 0xFF0000) == (gdi::SRCCOPY & 0xFF0000);
            if (!mask.isNull() && mask.size() == image.size()) {
                image = image.convertToFormat(QImage::Format_ARGB32);
                for (int y = 0; y < image.height(); ++y) {
                    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
                    for (int x = 0; x < image.width(); ++x) {
                        const bool set = qGray(mask.pixel(x, y)) >= 128;
                        if (set != sourceWhereSet)
                            line[x] = 0;
                    }
                }
            }
            DrawBitmap(dest, image, gdi::SRCCOPY);
        } else {
            DrawBitmap(dest, image, rop);
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
void EmfPlayback::DrawBitmap(const QRectF& logicalDest, const QImage& source, std::uint32_t rop)
{
    if (source.isNull() || logicalDest.width() == 0 || logicalDest.height() == 0)
        return;
    const QTransform toDevice = LogicalToDevice();
    const QRectF deviceRect = toDevice.mapRect(logicalDest);
    if (rop == gdi::SRCAND || rop == gdi::SRCPAINT || rop == gdi::SRCINVERT) {
        if (!pending_.empty() && pending_.back().deviceRect != deviceRect)
            FlushPendingBlits();
        pending_.push_back({logicalDest, deviceRect, toDevice, source.convertToFormat(QImage::Format_RGB32), rop});
        ResolvePendingIdioms();
        return;
    }
    FlushPendingBlits();
    QImage image = source;
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
    DrawImageAt(logicalDest, image, toDevice);
}

void EmfPlayback::DrawImageAt(const QRectF& logicalDest, const QImage& image, const QTransform& toDevice)
{
    ApplyClip();
    if (toDevice.type() <= QTransform::TxScale) {
        // Whole device pixels, like every other edge; a negative extent mirrors the image.
        const QRectF device = toDevice.mapRect(logicalDest);
        const QPointF corner1 = toDevice.map(logicalDest.topLeft()), corner2 = toDevice.map(logicalDest.bottomRight());
        const QRectF snapped(QPointF(std::round(device.left()), std::round(device.top())),
                             QPointF(std::round(device.right()), std::round(device.bottom())));
        const bool mirrorX = corner2.x() < corner1.x(), mirrorY = corner2.y() < corner1.y();
        painter_.setTransform(QTransform());
        painter_.drawImage(snapped, mirrorX || mirrorY ? image.mirrored(mirrorX, mirrorY) : image);
        return;
    }
    painter_.setTransform(toDevice);
    painter_.drawImage(logicalDest, image);
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

// What `destination AND mask, then OR source` leaves on white paper, with untouched pixels transparent.
QImage MaskThenPaint(const QImage& mask, const QImage& source)
{
    const QImage m = SameSize(mask, source.size());
    QImage result(source.size(), QImage::Format_ARGB32);
    for (int y = 0; y < result.height(); ++y) {
        const auto* ml = reinterpret_cast<const QRgb*>(m.constScanLine(y));
        const auto* sl = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        auto* out = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < result.width(); ++x)
            out[x] = IsWhite(ml[x]) && IsBlack(sl[x]) ? 0 : ((ml[x] | sl[x]) | 0xFF000000u);
    }
    return result;
}

// A single raster operation on white paper: AND keeps non-white pixels, OR and XOR non-black ones.
QImage AloneOnWhite(const QImage& source, std::uint32_t rop)
{
    QImage result = source.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < result.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < result.width(); ++x) {
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
        DrawImageAt(paint.logicalDest, MaskThenPaint(mask.image, paint.image), paint.toDevice);
        return;
    }
    if (n >= 3 && pending_[n - 3].rop == gdi::SRCINVERT && pending_[n - 2].rop == gdi::SRCAND &&
        pending_[n - 1].rop == gdi::SRCINVERT && pending_[n - 3].image == pending_[n - 1].image) {
        // XOR, AND mask, XOR: the source where the mask is black, the destination elsewhere.
        const PendingBlit source = pending_[n - 1], mask = pending_[n - 2];
        pending_.resize(n - 3);
        FlushPendingBlits();
        QImage result = source.image.convertToFormat(QImage::Format_ARGB32);
        const QImage m = SameSize(mask.image, result.size());
        for (int y = 0; y < result.height(); ++y)
            for (int x = 0; x < result.width(); ++x)
                if (!IsBlack(m.pixel(x, y)))
                    result.setPixel(x, y, 0);
        DrawImageAt(source.logicalDest, result, source.toDevice);
    }
}

void EmfPlayback::FlushPendingBlits()
{
    // A lone SRCINVERT may still begin an idiom, but the record after it decides that.
    for (const PendingBlit& blit : pending_)
        DrawImageAt(blit.logicalDest, AloneOnWhite(blit.image, blit.rop), blit.toDevice);
    pending_.clear();
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
