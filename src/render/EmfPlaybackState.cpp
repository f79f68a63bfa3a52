#include "render/detail/EmfPlayback.h"

#include "metafile/GdiConstants.h"

#include <algorithm>
#include <cmath>

namespace tarvolo::emf {

namespace {

// The playback device's metrics, which fixed mapping modes scale by (as GDI scales them by the
// device a metafile plays on): a 96-dpi screen.
constexpr double kPlaybackPixelsX = 1024, kPlaybackPixelsY = 768;
constexpr double kPlaybackMillimetresX = 271, kPlaybackMillimetresY = 203;

QTransform ReadXform(const EmfRecord& record, std::size_t offset)
{
    return QTransform(record.F32(offset), record.F32(offset + 4), record.F32(offset + 8), record.F32(offset + 12),
                      record.F32(offset + 16), record.F32(offset + 20));
}

bool IsFinite(const QTransform& t)
{
    return std::isfinite(t.m11()) && std::isfinite(t.m12()) && std::isfinite(t.m21()) && std::isfinite(t.m22()) &&
           std::isfinite(t.dx()) && std::isfinite(t.dy());
}

bool IsBlit(std::uint32_t type)
{
    return type == emr::BitBlt || type == emr::StretchBlt || type == emr::StretchDIBits || type == emr::MaskBlt;
}

} // namespace

int PlaybackReport::SkippedCount() const
{
    int count = 0;
    for (const auto& [type, times] : skippedRecords)
        count += times;
    return count;
}

PlaybackReport EmfPlayer::Play(const Metafile& metafile, QPainter& painter, const QRectF& target)
{
    return EmfPlayback(metafile, painter, target).Run();
}

PlaybackReport EmfPlayer::Play(const Metafile& metafile, QPainter& painter, const QRectF& target, const TextSink& sink)
{
    return EmfPlayback(metafile, painter, target, sink ? &sink : nullptr).Run();
}

EmfPlayback::EmfPlayback(const Metafile& metafile, QPainter& painter, const QRectF& target, const TextSink* textSink)
    : metafile_(metafile), painter_(painter), textSink_(textSink)
{
    const EmfHeader& header = metafile.Header();
    const double frameWidth = static_cast<double>(header.rclFrame.right) - header.rclFrame.left;
    const double frameHeight = static_cast<double>(header.rclFrame.bottom) - header.rclFrame.top;
    // The frame (0.01 mm) onto the target, through the reference device's pixel size.
    if (frameWidth != 0 && frameHeight != 0 && header.szlDevice.cx > 0 && header.szlDevice.cy > 0) {
        const double pixelWidthMm = static_cast<double>(header.szlMillimeters.cx) / header.szlDevice.cx;
        const double pixelHeightMm = static_cast<double>(header.szlMillimeters.cy) / header.szlDevice.cy;
        const double sx = target.width() * 100.0 / frameWidth * pixelWidthMm;
        const double sy = target.height() * 100.0 / frameHeight * pixelHeightMm;
        init_ = QTransform(sx, 0, 0, sy, target.left() - target.width() / frameWidth * header.rclFrame.left,
                           target.top() - target.height() / frameHeight * header.rclFrame.top);
    } else {
        init_ = QTransform::fromTranslate(target.left(), target.top());
    }
    // Everything is drawn in the painter's device coordinates, whatever transform the caller set.
    init_ = init_ * painter.transform();
    deviceOrigin_ = painter.transform().map(QPointF(0, 0));
    if (painter.device())
        deviceRect_ = QRect(0, 0, painter.device()->width(), painter.device()->height());
    if (painter.hasClipping()) {
        QPainterPath outer = painter.transform().map(painter.clipPath());
        outer.setFillRule(Qt::WindingFill);
        outerClip_ = AreaFromOutline(outer, ClipLimit(deviceRect_));
    }
    objects_.resize(std::max<std::size_t>(header.nHandles, 1));
    SelectObject(gdi::SYSTEM_FONT); // a device context starts with the system font
}

PlaybackReport EmfPlayback::Run()
{
    painter_.save();
    painter_.setRenderHint(QPainter::TextAntialiasing, true);
    painter_.setRenderHint(QPainter::Antialiasing, false);
    painter_.setRenderHint(QPainter::SmoothPixmapTransform, true);

    EmfRecordReader reader(metafile_.Bytes());
    EmfRecord record;
    while (reader.Next(record)) {
        try {
            if (!pending_.empty() && !IsBlit(record.Type()))
                FlushPendingBlits();
            if (PlayRecord(record))
                ++report_.recordsPlayed;
            else
                ++report_.skippedRecords[record.Type()];
        } catch (const EDamagedRecord&) {
            report_.damaged = true;
            break;
        }
    }
    FlushPendingBlits();
    report_.damaged = report_.damaged || reader.Damaged();
    painter_.restore();
    return report_;
}

bool EmfPlayback::PlayRecord(const EmfRecord& record)
{
    switch (record.Type()) {
    case emr::Header:
    case emr::Eof:
    case emr::GdiComment: // EMF+ and other private data: the EMF records that follow draw the page
        return true;
    default:
        break;
    }
    if (PlayStateRecord(record) || PlayObjectRecord(record) || PlayShapeRecord(record) || PlayPathRecord(record) ||
        PlayClipRecord(record))
        return true;
    const bool played = PlayTextRecord(record) || PlayBitmapRecord(record);
    // Text clipped to its rectangle narrows the painter's clip, and an alpha blend draws inside a
    // saved painter state that takes the clip back: the next drawing sets it again.
    const std::uint32_t type = record.Type();
    if (type == emr::AlphaBlend || type == emr::PolyTextOutA || type == emr::PolyTextOutW ||
        ((type == emr::ExtTextOutA || type == emr::ExtTextOutW) && (record.U32(52) & gdi::ETO_CLIPPED)) ||
        (type == emr::SmallTextOut && (record.U32(20) & gdi::ETO_CLIPPED)))
        InvalidatePainterClip();
    return played;
}

bool EmfPlayback::PlayStateRecord(const EmfRecord& r)
{
    switch (r.Type()) {
    case emr::SetMapMode: SetMapMode(r.I32(8)); return true;
    case emr::SetWindowOrgEx: state_.windowOrigin = QPointF(r.I32(8), r.I32(12)); return true;
    case emr::SetViewportOrgEx: state_.viewportOrigin = QPointF(r.I32(8), r.I32(12)); return true;
    case emr::SetWindowExtEx:
    case emr::SetViewportExtEx: {
        if (state_.mapMode != gdi::MM_ISOTROPIC && state_.mapMode != gdi::MM_ANISOTROPIC)
            return true;
        const QPointF extent(r.I32(8), r.I32(12));
        if (extent.x() == 0 || extent.y() == 0)
            return true;
        (r.Type() == emr::SetWindowExtEx ? state_.windowExtent : state_.viewportExtent) = extent;
        if (state_.mapMode == gdi::MM_ISOTROPIC)
            FixIsotropic();
        return true;
    }
    case emr::ScaleViewportExtEx:
    case emr::ScaleWindowExtEx: {
        if (state_.mapMode != gdi::MM_ISOTROPIC && state_.mapMode != gdi::MM_ANISOTROPIC)
            return true;
        const double xNum = r.I32(8), xDenom = r.I32(12), yNum = r.I32(16), yDenom = r.I32(20);
        if (xDenom == 0 || yDenom == 0)
            return true;
        QPointF& extent = r.Type() == emr::ScaleViewportExtEx ? state_.viewportExtent : state_.windowExtent;
        const QPointF scaled(std::trunc(extent.x() * xNum / xDenom), std::trunc(extent.y() * yNum / yDenom));
        if (scaled.x() != 0 && scaled.y() != 0)
            extent = scaled;
        if (state_.mapMode == gdi::MM_ISOTROPIC)
            FixIsotropic();
        return true;
    }
    case emr::SetWorldTransform: {
        const QTransform xform = ReadXform(r, 8);
        if (IsFinite(xform) && xform.determinant() != 0)
            state_.world = xform;
        return true;
    }
    case emr::ModifyWorldTransform: {
        const QTransform xform = ReadXform(r, 8);
        if (!IsFinite(xform))
            return true;
        switch (r.U32(32)) {
        case gdi::MWT_IDENTITY: state_.world = QTransform(); break;
        case gdi::MWT_LEFTMULTIPLY: state_.world = xform * state_.world; break;
        case gdi::MWT_RIGHTMULTIPLY: state_.world = state_.world * xform; break;
        case gdi::MWT_SET: state_.world = xform; break;
        default: break;
        }
        return true;
    }
    case emr::SaveDC:
        if (saved_.size() < kMaxSaveDepth)
            saved_.push_back(state_);
        return true;
    case emr::RestoreDC: RestoreDC(r.I32(8)); return true;
    case emr::SetBkMode: state_.backgroundMode = r.I32(8); return true;
    case emr::SetBkColor: state_.backgroundColor = ColorRef(r.U32(8)); return true;
    case emr::SetTextColor: state_.textColor = ColorRef(r.U32(8)); return true;
    case emr::SetTextAlign: state_.textAlign = r.U32(8); return true;
    case emr::SetPolyFillMode: state_.polyFillMode = r.I32(8); return true;
    case emr::SetRop2: state_.rop2 = r.I32(8); return true;
    case emr::SetArcDirection: state_.arcDirection = r.I32(8); return true;
    case emr::SetMiterLimit: state_.miterLimit = r.U32(8); return true;
    case emr::SetBrushOrgEx: state_.brushOrigin = QPointF(r.I32(8), r.I32(12)); return true;
    case emr::MoveToEx: state_.currentPosition = QPointF(r.I32(8), r.I32(12));
        if (inPath_)
            path_.moveTo(LogicalToDevice().map(state_.currentPosition));
        return true;
    // State that changes nothing this player draws.
    case emr::SetStretchBltMode:
    case emr::SetMapperFlags:
    case emr::SetIcmMode:
    case emr::SetColorAdjustment:
    case emr::SetLayout:
    case emr::RealizePalette:
    case emr::SetColorSpace:
    case emr::CreateColorSpace:
    case emr::DeleteColorSpace:
        return true;
    default: return false;
    }
}

void EmfPlayback::SetMapMode(int mode)
{
    if (mode == state_.mapMode && (mode == gdi::MM_ISOTROPIC || mode == gdi::MM_ANISOTROPIC))
        return;
    auto fixed = [&](double unitsPerMmX, double unitsPerMmY) {
        state_.windowExtent = QPointF(std::round(kPlaybackMillimetresX * unitsPerMmX), std::round(kPlaybackMillimetresY * unitsPerMmY));
        state_.viewportExtent = QPointF(kPlaybackPixelsX, -kPlaybackPixelsY);
    };
    switch (mode) {
    case gdi::MM_TEXT:
        state_.windowExtent = state_.viewportExtent = QPointF(1, 1);
        break;
    case gdi::MM_LOMETRIC:
    case gdi::MM_ISOTROPIC: fixed(10, 10); break;
    case gdi::MM_HIMETRIC: fixed(100, 100); break;
    case gdi::MM_LOENGLISH: fixed(100 / 25.4, 100 / 25.4); break;
    case gdi::MM_HIENGLISH: fixed(1000 / 25.4, 1000 / 25.4); break;
    case gdi::MM_TWIPS: fixed(1440 / 25.4, 1440 / 25.4); break;
    case gdi::MM_ANISOTROPIC: break;
    default: return;
    }
    state_.mapMode = mode;
}

// Isotropic mode keeps one unit the same length in x and y: the larger viewport extent shrinks.
void EmfPlayback::FixIsotropic()
{
    const double xdim = std::fabs(state_.viewportExtent.x() * kPlaybackMillimetresX / (kPlaybackPixelsX * state_.windowExtent.x()));
    const double ydim = std::fabs(state_.viewportExtent.y() * kPlaybackMillimetresY / (kPlaybackPixelsY * state_.windowExtent.y()));
    if (xdim > ydim) {
        const double minimum = state_.viewportExtent.x() >= 0 ? 1 : -1;
        state_.viewportExtent.setX(std::floor(state_.viewportExtent.x() * ydim / xdim + 0.5));
        if (state_.viewportExtent.x() == 0)
            state_.viewportExtent.setX(minimum);
    } else if (ydim > 0) {
        const double minimum = state_.viewportExtent.y() >= 0 ? 1 : -1;
        state_.viewportExtent.setY(std::floor(state_.viewportExtent.y() * xdim / ydim + 0.5));
        if (state_.viewportExtent.y() == 0)
            state_.viewportExtent.setY(minimum);
    }
}

void EmfPlayback::RestoreDC(std::int32_t level)
{
    // Negative: that many levels back; positive: back to the state the level-th SaveDC saved.
    const auto depth = static_cast<std::int64_t>(saved_.size());
    const std::int64_t target = level < 0 ? depth + level : static_cast<std::int64_t>(level) - 1;
    if (level == 0 || target < 0 || target >= depth)
        return;
    state_ = saved_[static_cast<std::size_t>(target)];
    saved_.resize(static_cast<std::size_t>(target));
}

} // namespace tarvolo::emf
