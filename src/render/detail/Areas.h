#pragma once

#include <QPainterPath>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QRegion>
#include <QTransform>

#include <optional>
#include <utility>
#include <vector>

// Areas of the painter's device: the pixels a figure covers, and the combinations of clip areas.
// Pure functions of their arguments, in device pixels.
namespace tarvolo::emf {

// An area of the painter's device. GDI clips to sets of whole device pixels; an area made only
// of such pixels is a region, anything else (a rotated rectangle, a curve) keeps the outline that
// bounds it, filled by its fill rule. Both are implicitly shared, so copies are cheap.
struct ClipArea {
    QRegion region;
    std::optional<QPainterPath> outline; // set when the area is not a region
};

// Clip outlines combine as outlines (exact, and vector in vector output) up to this size
// together; beyond it they become regions first, as path boolean operations grow faster than
// the outlines do.
constexpr int kMaxClipOutlineElements = 4096;

// The pixel boundary at a device coordinate: a pixel lies past an edge when its centre does, as
// Qt's aliased rasteriser and GDI's rounding of device coordinates both have it. Far-off
// coordinates stop at a bound that keeps every width well inside int.
int PixelBoundary(double v);
// The whole pixels between two corners; empty when they enclose no pixel centre.
QRect PixelRect(QPointF a, QPointF b);
// Clip regions reach as far past the device as the device's own size: enough for OffsetClipRgn
// to bring back what it moved away, and a bound on how many rectangles a region can hold.
QRect ClipLimit(const QRect& device);

// GDI works in whole device pixels: coordinates are rounded, not cut, so a scale a hair below
// one does not move edges and lines a pixel to the left.
QPainterPath SnapToPixels(const QPainterPath& path);
// Points that add nothing once a figure is on whole pixels: repeats of the point before, and
// points inside a straight run. Without them the outline and the pen's way along it are the same.
// A path with curves comes back as it is.
QPainterPath WithoutRedundantPoints(const QPainterPath& path);

// The pixels a device path encloses by a fill rule, as a region within `bounds`, lit as Qt's
// aliased rasteriser lights them. Time is linear in the edges, the rows they cross and the width
// they span, and memory in the edges and the width of `bounds`.
QRegion ScanConvert(const QPainterPath& path, Qt::FillRule rule, const QRect& bounds);

// The rectangles of a path in device coordinates, with the sense each turns in (1 or -1), when
// every figure of it is an axis-aligned rectangle or encloses nothing; otherwise nothing.
std::optional<std::vector<std::pair<QRect, int>>> PathRectangles(const QPainterPath& path);
// The union of regions, or with `exclusive` the pixels an odd number of them cover.
QRegion CombineMany(std::vector<QRegion> parts, bool exclusive);

// A device path as a clip area within `limit`. Rectangles on whole pixels make a region, by the
// path's fill rule; anything else stays an outline, and a large outline is scan converted.
ClipArea AreaFromOutline(const QPainterPath& devicePath, const QRect& limit);
// Rectangles (right and bottom edges outside) mapped by toDevice, as a clip area of their union.
ClipArea AreaFromRects(const std::vector<QRectF>& rects, const QTransform& toDevice, const QRect& limit);
// One area combined with another by a region mode (RGN_AND, RGN_OR, RGN_XOR, RGN_DIFF; any other
// takes b). Regions combine exactly; outlines combine as outlines while they are small, and are
// scan converted to regions within `limit` when they are not.
ClipArea CombineAreas(const ClipArea& a, const ClipArea& b, int mode, const QRect& limit);

} // namespace tarvolo::emf
