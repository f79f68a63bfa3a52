#include "render/detail/Areas.h"

#include "metafile/GdiConstants.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace tarvolo::emf {

int PixelBoundary(double v)
{
    constexpr double kFar = 1 << 26;
    if (!(v > -kFar)) // NaN too
        return -static_cast<int>(kFar);
    if (!(v < kFar))
        return static_cast<int>(kFar);
    return static_cast<int>(std::floor(v + 0.5));
}

QRect PixelRect(QPointF a, QPointF b)
{
    const int left = PixelBoundary(std::min(a.x(), b.x())), right = PixelBoundary(std::max(a.x(), b.x()));
    const int top = PixelBoundary(std::min(a.y(), b.y())), bottom = PixelBoundary(std::max(a.y(), b.y()));
    return right > left && bottom > top ? QRect(left, top, right - left, bottom - top) : QRect();
}

QRect ClipLimit(const QRect& device)
{
    return device.adjusted(-device.width(), -device.height(), device.width(), device.height());
}

// Combines many regions pairwise, so each rectangle takes part in a logarithmic number of
// combinations instead of one for every rectangle after it.
QRegion CombineMany(std::vector<QRegion> parts, bool exclusive)
{
    if (parts.empty())
        return {};
    while (parts.size() > 1) {
        std::size_t out = 0;
        for (std::size_t i = 0; i < parts.size(); i += 2)
            parts[out++] = i + 1 == parts.size() ? parts[i] : exclusive ? parts[i].xored(parts[i + 1]) : parts[i].united(parts[i + 1]);
        parts.resize(out);
    }
    return parts.front();
}

std::optional<std::vector<std::pair<QRect, int>>> PathRectangles(const QPainterPath& path)
{
    std::vector<std::pair<QRect, int>> rects;
    std::vector<QPointF> figure;
    auto finish = [&]() {
        if (figure.size() > 1 && figure.back() == figure.front())
            figure.pop_back();
        if (figure.size() <= 2) { // a point or a line: nothing inside
            figure.clear();
            return true;
        }
        if (figure.size() != 4)
            return false;
        const QPointF a = figure[0], b = figure[1], c = figure[2], d = figure[3];
        const bool across = a.y() == b.y() && b.x() == c.x() && c.y() == d.y() && d.x() == a.x();
        const bool down = a.x() == b.x() && b.y() == c.y() && c.x() == d.x() && d.y() == a.y();
        if (!across && !down)
            return false;
        const double turn = (b.x() - a.x()) * (c.y() - b.y()) - (b.y() - a.y()) * (c.x() - b.x());
        rects.emplace_back(PixelRect(a, c), turn > 0 ? 1 : -1);
        figure.clear();
        return true;
    };
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.isCurveTo() || e.type == QPainterPath::CurveToDataElement)
            return std::nullopt;
        if (e.isMoveTo() && !finish())
            return std::nullopt;
        const QPointF p(e.x, e.y);
        if (figure.empty() || figure.back() != p)
            figure.push_back(p);
    }
    if (!finish())
        return std::nullopt;
    return rects;
}

// Edges cross each row where Qt's aliased rasteriser has them cross it, in the same fixed point
// (26.6 points, 16.16 crossings), so both light the same pixels; but each row adds up its
// crossings instead of sorting them.
QRegion ScanConvert(const QPainterPath& path, Qt::FillRule rule, const QRect& bounds)
{
    if (bounds.isEmpty())
        return {};
    struct Edge {
        std::int64_t x, slope; // 16.16 crossing, plus half a pixel, on the current row, and its change per row
        int firstRow, endRow, direction;
    };
    // Far-off crossings stop where adding up their steps cannot overflow; they are off the bounds.
    constexpr std::int64_t kFarFixed = std::int64_t{1} << 58, kSteepest = std::int64_t{1} << 38;
    auto clampFixed = [&](double v) { return static_cast<std::int64_t>(std::clamp(v, -double(kFarFixed), double(kFarFixed))); };
    std::vector<Edge> edges;
    const int top = bounds.top(), endRow = bounds.bottom() + 1;
    auto fixed = [](double v) { return static_cast<std::int64_t>(std::floor(std::clamp(v, -1e9, 1e9) * 64 + 0.5)); };
    auto addEdge = [&](QPointF a, QPointF b) {
        if (!std::isfinite(a.x()) || !std::isfinite(b.x()) || !std::isfinite(a.y()) || !std::isfinite(b.y()))
            return;
        std::int64_t ax = fixed(a.x()), ay = fixed(a.y()), bx = fixed(b.x()), by = fixed(b.y());
        int direction = 1;
        if (ay > by) {
            std::swap(ax, bx);
            std::swap(ay, by);
            direction = -1;
        }
        const auto start = static_cast<int>((ay + 32) >> 6);
        const int first = std::max(start, top), end = std::min(static_cast<int>((by - 32) >> 6) + 1, endRow);
        if (first >= end)
            return;
        const std::int64_t x = 32768 + ax * 1024;
        if (bx == ax) {
            edges.push_back({x, 0, first, end, direction});
            return;
        }
        const double slope = static_cast<double>(bx - ax) / static_cast<double>(by - ay);
        const auto slopeFixed = std::clamp(static_cast<std::int64_t>(std::clamp(slope * 65536., -1e15, 1e15)), -kSteepest, kSteepest);
        const std::int64_t offset = std::int64_t{start} * 65536 + 32768 - ay * 1024;
        std::int64_t startX = std::abs(offset) < (std::int64_t{1} << 24) ? x + ((slopeFixed * offset) >> 16)
                                                                        : clampFixed(x + double(slopeFixed) * double(offset) / 65536.);
        // Rows above the bounds are stepped over at once.
        const std::int64_t skipped = first - start;
        startX = skipped < (std::int64_t{1} << 20) ? startX + slopeFixed * skipped : clampFixed(double(startX) + double(slopeFixed) * double(skipped));
        edges.push_back({std::clamp(startX, -kFarFixed, kFarFixed), slopeFixed, first, end, direction});
    };
    auto addFigure = [&](const QPointF* points, std::size_t count) {
        for (std::size_t i = 0; i + 1 < count; ++i)
            addEdge(points[i], points[i + 1]);
        if (count > 2)
            addEdge(points[count - 1], points[0]); // figures are filled closed
    };
    bool curved = false;
    for (int i = 0; i < path.elementCount() && !curved; ++i)
        curved = path.elementAt(i).isCurveTo();
    if (curved) {
        for (const QPolygonF& polygon : path.toSubpathPolygons())
            addFigure(polygon.constData(), static_cast<std::size_t>(polygon.size()));
    } else {
        edges.reserve(static_cast<std::size_t>(path.elementCount()));
        QPointF start, previous;
        int count = 0;
        for (int i = 0; i <= path.elementCount(); ++i) {
            const bool figureEnds = i == path.elementCount() || path.elementAt(i).isMoveTo();
            if (figureEnds && count > 2)
                addEdge(previous, start); // figures are filled closed
            if (i == path.elementCount())
                break;
            const QPointF point(path.elementAt(i).x, path.elementAt(i).y);
            if (figureEnds) {
                start = point;
                count = 0;
            } else {
                addEdge(previous, point);
            }
            previous = point;
            ++count;
        }
    }
    if (edges.empty())
        return {};

    // Edges by the row they start on.
    const int rows = endRow - top;
    std::vector<int> starts(static_cast<std::size_t>(rows) + 1, 0);
    for (const Edge& e : edges)
        ++starts[static_cast<std::size_t>(e.firstRow - top) + 1];
    for (int row = 0; row < rows; ++row)
        starts[static_cast<std::size_t>(row) + 1] += starts[static_cast<std::size_t>(row)];
    std::vector<int> byRow(edges.size());
    {
        std::vector<int> next(starts.begin(), starts.end() - 1);
        for (std::size_t i = 0; i < edges.size(); ++i)
            byRow[static_cast<std::size_t>(next[static_cast<std::size_t>(edges[i].firstRow - top)]++)] = static_cast<int>(i);
    }

    const int left = bounds.left(), width = bounds.width();
    std::vector<int> crossings(static_cast<std::size_t>(width), 0); // winding change at each pixel boundary
    std::vector<Edge> active; // copies, walked in order, row after row
    std::vector<QRect> rects, runs, previous;
    int bandTop = top;
    auto closeBand = [&](int row) {
        for (const QRect& run : previous)
            rects.emplace_back(run.left(), bandTop, run.width(), row - bandTop);
        previous.swap(runs);
        bandTop = row;
    };
    for (int row = top; row < endRow; ++row) {
        const auto rowIndex = static_cast<std::size_t>(row - top);
        for (int k = starts[rowIndex]; k < starts[rowIndex + 1]; ++k)
            active.push_back(edges[static_cast<std::size_t>(byRow[static_cast<std::size_t>(k)])]);
        runs.clear();
        int lowest = width, highest = -1;
        for (std::size_t k = 0; k < active.size();) {
            Edge& e = active[k];
            if (e.endRow <= row) {
                e = active.back();
                active.pop_back();
                continue;
            }
            ++k;
            const std::int64_t x = e.x;
            e.x = std::clamp(e.x + e.slope, -kFarFixed, kFarFixed);
            const std::int64_t boundary = (x >> 16) - left;
            if (boundary >= width)
                continue;
            const int at = static_cast<int>(std::max<std::int64_t>(boundary, 0));
            crossings[static_cast<std::size_t>(at)] += e.direction;
            lowest = std::min(lowest, at);
            highest = std::max(highest, at);
        }
        int winding = 0, runStart = -1;
        for (int x = lowest; x <= highest; ++x) {
            winding += crossings[static_cast<std::size_t>(x)];
            crossings[static_cast<std::size_t>(x)] = 0;
            const bool inside = rule == Qt::OddEvenFill ? (winding & 1) != 0 : winding != 0;
            if (inside && runStart < 0)
                runStart = x;
            else if (!inside && runStart >= 0) {
                runs.emplace_back(left + runStart, row, x - runStart, 1);
                runStart = -1;
            }
        }
        if (runStart >= 0) // inside up to the edge of the bounds
            runs.emplace_back(left + runStart, row, width - runStart, 1);
        bool same = runs.size() == previous.size();
        for (std::size_t i = 0; same && i < runs.size(); ++i)
            same = runs[i].left() == previous[i].left() && runs[i].width() == previous[i].width();
        if (!same)
            closeBand(row);
    }
    runs.clear();
    closeBand(endRow);
    QRegion region;
    region.setRects(rects.data(), static_cast<int>(rects.size()));
    return region;
}

QPainterPath SnapToPixels(const QPainterPath& path)
{
    QPainterPath snapped = path;
    for (int i = 0; i < snapped.elementCount(); ++i) {
        const QPainterPath::Element e = snapped.elementAt(i);
        snapped.setElementPositionAt(i, std::round(e.x), std::round(e.y));
    }
    return snapped;
}

QPainterPath WithoutRedundantPoints(const QPainterPath& path)
{
    for (int i = 0; i < path.elementCount(); ++i)
        if (path.elementAt(i).isCurveTo())
            return path;
    auto inRun = [](QPointF a, QPointF b, QPointF c) {
        const QPointF u = b - a, v = c - b;
        return u.x() * v.y() - u.y() * v.x() == 0 && u.x() * v.x() + u.y() * v.y() > 0;
    };
    QPainterPath reduced;
    reduced.setFillRule(path.fillRule());
    reduced.reserve(path.elementCount());
    std::vector<QPointF> figure;
    auto flush = [&]() {
        for (std::size_t i = 0; i < figure.size(); ++i) {
            if (i == 0)
                reduced.moveTo(figure[i]);
            else
                reduced.lineTo(figure[i]);
        }
        figure.clear();
    };
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.isMoveTo())
            flush();
        const QPointF p(e.x, e.y);
        if (!figure.empty() && figure.back() == p)
            continue;
        while (figure.size() >= 2 && inRun(figure[figure.size() - 2], figure.back(), p))
            figure.pop_back();
        figure.push_back(p);
    }
    flush();
    return reduced;
}

namespace {

// Paths and regions alike, one with the other by a region mode.
template <typename Area, typename Xor> Area ByMode(const Area& a, const Area& b, int mode, Xor xored)
{
    switch (mode) {
    case gdi::RGN_AND: return a.intersected(b);
    case gdi::RGN_OR: return a.united(b);
    case gdi::RGN_DIFF: return a.subtracted(b);
    case gdi::RGN_XOR: return xored(a, b);
    default: return b;
    }
}

} // namespace

ClipArea CombineAreas(const ClipArea& a, const ClipArea& b, int mode, const QRect& limit)
{
    ClipArea result;
    auto regionOf = [&](const ClipArea& area) {
        return area.outline ? ScanConvert(*area.outline, area.outline->fillRule(), limit) : area.region;
    };
    auto sizeOf = [](const ClipArea& area) {
        return area.outline ? static_cast<std::int64_t>(area.outline->elementCount()) : 5 * std::int64_t{area.region.rectCount()};
    };
    if ((a.outline || b.outline) && sizeOf(a) + sizeOf(b) <= kMaxClipOutlineElements) {
        auto outlineOf = [](const ClipArea& area) {
            if (area.outline)
                return *area.outline;
            QPainterPath outline;
            outline.addRegion(area.region);
            return outline;
        };
        result.outline = ByMode(outlineOf(a), outlineOf(b), mode,
                                [](const QPainterPath& pa, const QPainterPath& pb) { return pa.united(pb).subtracted(pa.intersected(pb)); });
        return result;
    }
    result.region = ByMode(regionOf(a), regionOf(b), mode, [](const QRegion& ra, const QRegion& rb) { return ra.xored(rb); });
    return result;
}

ClipArea AreaFromOutline(const QPainterPath& devicePath, const QRect& limit)
{
    ClipArea area;
    if (const auto rects = PathRectangles(devicePath)) {
        const bool oddEven = devicePath.fillRule() == Qt::OddEvenFill;
        const bool oneSense = std::all_of(rects->begin(), rects->end(), [&](const auto& rect) { return rect.second == rects->front().second; });
        // Winding rectangles that turn both ways may cancel out, which the scan converter counts.
        if (oddEven || oneSense) {
            std::vector<QRegion> parts;
            parts.reserve(rects->size());
            for (const auto& rect : *rects)
                parts.emplace_back(rect.first & limit);
            area.region = CombineMany(std::move(parts), oddEven);
            return area;
        }
    }
    if (devicePath.elementCount() > kMaxClipOutlineElements)
        area.region = ScanConvert(devicePath, devicePath.fillRule(), limit);
    else
        area.outline = devicePath;
    return area;
}

ClipArea AreaFromRects(const std::vector<QRectF>& rects, const QTransform& toDevice, const QRect& limit)
{
    const bool keepsAxes = toDevice.isAffine() && ((toDevice.m12() == 0 && toDevice.m21() == 0) || (toDevice.m11() == 0 && toDevice.m22() == 0));
    if (keepsAxes) {
        std::vector<QRegion> parts;
        parts.reserve(rects.size());
        for (const QRectF& rect : rects) {
            const QRectF device = toDevice.mapRect(rect);
            parts.emplace_back(PixelRect(device.topLeft(), device.bottomRight()) & limit);
        }
        ClipArea area;
        area.region = CombineMany(std::move(parts), false);
        return area;
    }
    QPainterPath outline;
    outline.reserve(static_cast<int>(5 * rects.size()));
    for (const QRectF& rect : rects)
        outline.addPolygon(toDevice.map(QPolygonF(rect)));
    outline.setFillRule(Qt::WindingFill);
    return AreaFromOutline(outline, limit);
}

} // namespace tarvolo::emf
