#include "render/detail/EmfPlayback.h"

#include "metafile/GdiConstants.h"

#include <algorithm>

namespace tarvolo::emf {

namespace {

// Qt's raster engine sets up a region clip with (rows x rectangles) spans at once; a region
// beyond this goes to it as a path, which it scan converts into the spans the region has.
constexpr std::int64_t kMaxRegionClipSpans = std::int64_t{1} << 21;

} // namespace

void EmfPlayback::ApplyClip()
{
    painter_.setTransform(QTransform());
    if (appliedClipSerial_ == state_.clipSerial)
        return;
    appliedClipSerial_ = state_.clipSerial;
    // The caller's clip, the meta region and the clip region together.
    std::optional<ClipArea> area = outerClip_;
    for (const std::optional<ClipArea>* part : {&state_.metaClip, &state_.clip}) {
        if (*part)
            area = area ? CombineAreas(*area, **part, gdi::RGN_AND, ClipLimit(deviceRect_)) : **part;
    }
    if (!area) {
        painter_.setClipping(false);
    } else if (area->outline) {
        painter_.setClipPath(*area->outline);
    } else if (static_cast<std::int64_t>(area->region.rectCount()) *
                   std::min(area->region.boundingRect().height(), std::max(deviceRect_.height(), 1)) <=
               kMaxRegionClipSpans) {
        painter_.setClipRegion(area->region);
    } else {
        QPainterPath outline;
        outline.addRegion(area->region);
        painter_.setClipPath(outline);
    }
}

// --- Region data -----------------------------------------------------------------------------

std::vector<QRectF> EmfPlayback::RegionRects(const EmfRecord& r, std::size_t offset, std::uint32_t size) const
{
    std::vector<QRectF> rects;
    if (size < 32)
        return rects;
    r.Span(offset, size);
    const std::uint32_t count = r.U32(offset + 8);
    const std::uint32_t headerSize = std::max<std::uint32_t>(r.U32(offset), 32);
    r.Span(offset + headerSize, count, 16);
    if (static_cast<std::uint64_t>(headerSize) + 16ull * count > size)
        throw EDamagedRecord();
    rects.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const QRectF rect = RectFrom(r.Rect(offset + headerSize + 16 * i));
        if (!rect.isEmpty())
            rects.push_back(rect);
    }
    return rects;
}

QPainterPath EmfPlayback::RegionPath(const EmfRecord& r, std::size_t offset, std::uint32_t size) const
{
    // Simplifying merges the rectangles into outlines for FrameRgn; its time grows far faster
    // than the rectangles do, so many are left as they are.
    constexpr std::size_t kMaxSimplifiedRects = 256;
    const std::vector<QRectF> rects = RegionRects(r, offset, size);
    QPainterPath region;
    region.reserve(static_cast<int>(5 * rects.size()));
    for (const QRectF& rect : rects)
        region.addRect(rect);
    region.setFillRule(Qt::WindingFill);
    return rects.size() <= kMaxSimplifiedRects ? region.simplified() : region;
}

// --- Clip regions ----------------------------------------------------------------------------

void EmfPlayback::CombineClip(const ClipArea& area, int mode)
{
    if (mode < gdi::RGN_AND || mode > gdi::RGN_COPY)
        return;
    if (mode == gdi::RGN_COPY || (mode == gdi::RGN_AND && !state_.clip)) {
        state_.clip = area;
    } else if (!state_.clip) {
        // No clip region is the whole surface: OR leaves it whole, XOR and DIFF cut the area out.
        if (mode == gdi::RGN_OR)
            return;
        ClipArea everything;
        everything.region = QRegion(ClipLimit(deviceRect_));
        state_.clip = CombineAreas(everything, area, gdi::RGN_DIFF, ClipLimit(deviceRect_));
    } else {
        state_.clip = CombineAreas(*state_.clip, area, mode, ClipLimit(deviceRect_));
    }
    state_.clipSerial = ++clipSerials_;
}

// The clip region joins the meta region, which later clip regions cannot reach past, and clipping
// starts over.
void EmfPlayback::SetMetaRegion()
{
    if (!state_.clip)
        return;
    state_.metaClip = state_.metaClip ? CombineAreas(*state_.metaClip, *state_.clip, gdi::RGN_AND, ClipLimit(deviceRect_)) : *state_.clip;
    state_.clip.reset();
    state_.clipSerial = ++clipSerials_;
}

bool EmfPlayback::PlayClipRecord(const EmfRecord& r)
{
    switch (r.Type()) {
    case emr::SelectClipPath:
        if (!inPath_) {
            QPainterPath path = path_;
            path.closeSubpath();
            path.setFillRule(state_.polyFillMode == gdi::WINDING ? Qt::WindingFill : Qt::OddEvenFill);
            CombineClip(AreaFromOutline(path, ClipLimit(deviceRect_)), r.I32(8));
            path_ = QPainterPath();
        }
        return true;
    case emr::IntersectClipRect:
    case emr::ExcludeClipRect:
        CombineClip(AreaFromRects({RectFrom(r.Rect(8))}, LogicalToDevice(), ClipLimit(deviceRect_)),
                    r.Type() == emr::IntersectClipRect ? gdi::RGN_AND : gdi::RGN_DIFF);
        return true;
    case emr::ExtSelectClipRgn: {
        const std::uint32_t size = r.U32(8);
        const int mode = r.I32(12);
        if (size < 32) {
            // No region: RGN_COPY takes the clip region away; the other modes need a region.
            if (mode == gdi::RGN_COPY && state_.clip) {
                state_.clip.reset();
                state_.clipSerial = ++clipSerials_;
            }
            return true;
        }
        // Region data is in the reference device's pixels.
        CombineClip(AreaFromRects(RegionRects(r, 16, size), ReferenceToDevice(), ClipLimit(deviceRect_)), mode);
        return true;
    }
    case emr::OffsetClipRgn:
        if (state_.clip) {
            const QTransform toDevice = LogicalToDevice();
            const QPointF offset = toDevice.map(QPointF(r.I32(8), r.I32(12))) - toDevice.map(QPointF(0, 0));
            if (state_.clip->outline)
                state_.clip->outline->translate(offset);
            else
                state_.clip->region = state_.clip->region.translated(PixelBoundary(offset.x()), PixelBoundary(offset.y())) &
                                      ClipLimit(deviceRect_);
            state_.clipSerial = ++clipSerials_;
        }
        return true;
    case emr::SetMetaRgn: SetMetaRegion(); return true;
    default: return false;
    }
}

} // namespace tarvolo::emf
