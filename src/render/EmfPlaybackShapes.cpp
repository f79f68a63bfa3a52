#include "render/detail/EmfPlayback.h"

#include "metafile/GdiConstants.h"

#include <QPaintEngine>
#include <QtMath>

#include <algorithm>
#include <cmath>

namespace tarvolo::emf {

namespace {

enum : int { kArc = 0, kChord = 1, kPie = 2 };

// Figures with more elements than this are filled by ScanConvert (Areas) rather than by Qt's
// rasteriser, which sorts its edges again on every row and slows down far more than linearly on
// figures with many long edges. Smaller ones are drawn by Qt as they always were.
constexpr int kScanFillElements = 4096;
// The most points one record may draw: past it the record is counted as skipped.
constexpr std::uint64_t kMaxShapePoints = std::uint64_t{1} << 21;

} // namespace

std::vector<QPointF> EmfPlayback::ReadPoints(const EmfRecord& r, std::size_t countOffset, std::size_t pointsOffset, bool small) const
{
    const std::uint32_t count = r.U32(countOffset);
    r.Span(pointsOffset, count, small ? 4 : 8); // every point inside the record before anything is allocated
    std::vector<QPointF> points;
    points.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        if (small)
            points.emplace_back(r.I16(pointsOffset + 4 * i), r.I16(pointsOffset + 4 * i + 2));
        else
            points.emplace_back(r.I32(pointsOffset + 8 * i), r.I32(pointsOffset + 8 * i + 4));
    }
    return points;
}

// Figures of consecutive points straight into device coordinates, without a logical copy.
QPainterPath EmfPlayback::DeviceFigures(const EmfRecord& r, std::size_t pointsOffset, const std::vector<std::uint32_t>& counts,
                                        bool small, bool closed) const
{
    const QTransform toDevice = LogicalToDevice();
    std::size_t total = 0;
    for (const std::uint32_t count : counts)
        total += count;
    r.Span(pointsOffset, total, small ? 4 : 8);
    QPainterPath figures;
    figures.reserve(static_cast<int>(total + counts.size()));
    std::size_t at = pointsOffset;
    for (const std::uint32_t count : counts) {
        for (std::uint32_t i = 0; i < count; ++i, at += small ? 4 : 8) {
            const QPointF point = toDevice.map(small ? QPointF(r.I16(at), r.I16(at + 2)) : QPointF(r.I32(at), r.I32(at + 4)));
            if (i == 0)
                figures.moveTo(point);
            else
                figures.lineTo(point);
        }
        if (closed && count > 0)
            figures.closeSubpath();
    }
    return figures;
}

void EmfPlayback::FillWithBrush(const QPainterPath& devicePath, const GdiBrush& brush)
{
    if (brush.style == gdi::BS_NULL)
        return;
    painter_.setTransform(QTransform());
    if (brush.style == gdi::BS_HATCHED && state_.backgroundMode == gdi::OPAQUE)
        painter_.fillPath(devicePath, state_.backgroundColor);
    painter_.fillPath(devicePath, MakeBrush(brush));
}

bool EmfPlayback::RasterDevice() const
{
    return painter_.paintEngine() && painter_.paintEngine()->type() == QPaintEngine::Raster;
}

// A device path's inside as a path of the pixel rectangles ScanConvert finds on the device.
QPainterPath EmfPlayback::ScanFilled(const QPainterPath& devicePath, Qt::FillRule rule) const
{
    QPainterPath filled;
    filled.addRegion(ScanConvert(devicePath, rule, deviceRect_));
    return filled;
}

void EmfPlayback::DrawPathInDevice(const QPainterPath& devicePath, bool fill, bool stroke)
{
    if (state_.rop2 == gdi::R2_NOP)
        return;
    ApplyClip();
    QPainterPath path = SnapToPixels(devicePath);
    // Figures of many points lose the points that add nothing on whole pixels; if they stay
    // large on a raster device, this player's scan converter fills them.
    bool large = path.elementCount() > kScanFillElements && RasterDevice();
    if (large) {
        path = WithoutRedundantPoints(path);
        large = path.elementCount() > kScanFillElements;
    }
    path.setFillRule(state_.polyFillMode == gdi::WINDING ? Qt::WindingFill : Qt::OddEvenFill);
    if (fill)
        FillWithBrush(large ? ScanFilled(path, path.fillRule()) : path, state_.brush);
    if (stroke) {
        const QTransform toDevice = LogicalToDevice();
        QPen pen = MakePen(toDevice);
        if (pen.style() != Qt::NoPen) {
            if (state_.rop2 == gdi::R2_WHITE)
                pen.setColor(Qt::white);
            else if (state_.rop2 == gdi::R2_BLACK)
                pen.setColor(Qt::black);
            painter_.setTransform(QTransform());
            const QRectF bounds = path.boundingRect();
            if (pen.isCosmetic() && bounds.width() < 1 && bounds.height() < 1) {
                if (path.elementCount() < 2 || bounds.width() + bounds.height() == 0)
                    return;
                // GDI lights at least the first pixel of a line; Qt draws nothing this short.
                painter_.fillRect(QRectF(std::floor(bounds.left()), std::floor(bounds.top()), 1, 1), pen.color());
            } else if (large && !pen.isCosmetic()) {
                // A wide pen's outline is filled like any other large figure.
                painter_.fillPath(ScanFilled(QPainterPathStroker(pen).createStroke(path), Qt::WindingFill), pen.brush());
            } else {
                painter_.strokePath(path, pen);
            }
        }
    }
}

void EmfPlayback::DrawShape(const QPainterPath& shape, bool fill, bool stroke)
{
    const QPainterPath devicePath = LogicalToDevice().map(shape);
    if (inPath_) {
        path_.addPath(devicePath);
        return;
    }
    DrawPathInDevice(devicePath, fill, stroke);
}

QPainterPath EmfPlayback::ArcPath(const RectL& box, PointL start, PointL end, int kind) const
{
    const QRectF rect = RectFrom(box);
    const QPointF center = rect.center();
    const double rx = std::max(rect.width() / 2, 1e-9), ry = std::max(rect.height() / 2, 1e-9);
    // The arc runs between the radial lines through the two points; Qt measures angles on the
    // ellipse itself, counter-clockwise on the screen.
    auto angleOf = [&](PointL p) { return qRadiansToDegrees(std::atan2(-(p.y - center.y()) / ry, (p.x - center.x()) / rx)); };
    const double a0 = angleOf(start), a1 = angleOf(end);
    double sweep = a1 - a0;
    if (state_.arcDirection == gdi::AD_CLOCKWISE) {
        sweep = std::fmod(sweep, 360.0);
        if (sweep >= 0)
            sweep -= 360.0;
    } else {
        sweep = std::fmod(sweep, 360.0);
        if (sweep <= 0)
            sweep += 360.0;
    }
    QPainterPath path;
    if (kind == kPie) {
        path.moveTo(center);
        path.arcTo(rect, a0, sweep);
    } else {
        path.arcMoveTo(rect, a0);
        path.arcTo(rect, a0, sweep);
    }
    if (kind != kArc)
        path.closeSubpath();
    return path;
}

bool EmfPlayback::PlayShapeRecord(const EmfRecord& r)
{
    switch (r.Type()) {
    case emr::LineTo: {
        const QPointF to(r.I32(8), r.I32(12));
        QPainterPath line;
        line.moveTo(state_.currentPosition);
        line.lineTo(to);
        if (inPath_)
            path_.lineTo(LogicalToDevice().map(to));
        else
            DrawShape(line, false, true);
        state_.currentPosition = to;
        return true;
    }
    case emr::Rectangle:
    case emr::Ellipse: {
        QPainterPath shape;
        const QRectF rect = RectFrom(r.Rect(8));
        if (r.Type() == emr::Rectangle)
            shape.addRect(rect);
        else
            shape.addEllipse(rect);
        DrawShape(shape, true, true);
        return true;
    }
    case emr::RoundRect: {
        QPainterPath shape;
        shape.addRoundedRect(RectFrom(r.Rect(8)), std::fabs(r.I32(24)) / 2.0, std::fabs(r.I32(28)) / 2.0);
        DrawShape(shape, true, true);
        return true;
    }
    case emr::Arc:
    case emr::Chord:
    case emr::Pie: {
        const int kind = r.Type() == emr::Arc ? kArc : r.Type() == emr::Chord ? kChord : kPie;
        DrawShape(ArcPath(r.Rect(8), r.Point(24), r.Point(32), kind), kind != kArc, true);
        return true;
    }
    case emr::ArcTo: {
        QPainterPath arc = ArcPath(r.Rect(8), r.Point(24), r.Point(32), kArc);
        QPainterPath shape;
        shape.moveTo(state_.currentPosition);
        shape.lineTo(arc.pointAtPercent(0));
        shape.connectPath(arc);
        state_.currentPosition = arc.currentPosition();
        DrawShape(shape, false, true);
        return true;
    }
    case emr::AngleArc: {
        const QPointF center(r.I32(8), r.I32(12));
        const double radius = r.U32(16);
        const double start = r.F32(20), sweep = r.F32(24);
        if (!std::isfinite(start) || !std::isfinite(sweep))
            return true;
        const QRectF rect(center.x() - radius, center.y() - radius, 2 * radius, 2 * radius);
        QPainterPath shape;
        shape.moveTo(state_.currentPosition);
        shape.arcTo(rect, start, std::clamp(sweep, -3600.0, 3600.0));
        state_.currentPosition = shape.currentPosition();
        DrawShape(shape, false, true);
        return true;
    }
    case emr::Polyline:
    case emr::Polyline16:
    case emr::Polygon:
    case emr::Polygon16:
    case emr::PolylineTo:
    case emr::PolylineTo16:
    case emr::PolyBezier:
    case emr::PolyBezier16:
    case emr::PolyBezierTo:
    case emr::PolyBezierTo16: {
        const std::uint32_t t = r.Type();
        const bool small = t == emr::Polyline16 || t == emr::Polygon16 || t == emr::PolylineTo16 || t == emr::PolyBezier16 ||
                           t == emr::PolyBezierTo16;
        const bool fromCurrent = t == emr::PolylineTo || t == emr::PolylineTo16 || t == emr::PolyBezierTo || t == emr::PolyBezierTo16;
        const bool bezier = t == emr::PolyBezier || t == emr::PolyBezier16 || t == emr::PolyBezierTo || t == emr::PolyBezierTo16;
        const bool polygon = t == emr::Polygon || t == emr::Polygon16;
        r.Span(28, r.U32(24), small ? 4 : 8); // every point inside the record, or the record is damaged
        if (r.U32(24) > kMaxShapePoints)
            return false;
        if (!bezier && !fromCurrent) {
            const QPainterPath figure = DeviceFigures(r, 28, {r.U32(24)}, small, polygon);
            if (inPath_)
                path_.addPath(figure);
            else if (!figure.isEmpty())
                DrawPathInDevice(figure, polygon, true);
            return true;
        }
        std::vector<QPointF> points = ReadPoints(r, 24, 28, small);
        if (fromCurrent)
            points.insert(points.begin(), state_.currentPosition);
        if (points.empty())
            return true;
        QPainterPath shape;
        shape.moveTo(points[0]);
        if (bezier) {
            for (std::size_t i = 1; i + 2 < points.size(); i += 3)
                shape.cubicTo(points[i], points[i + 1], points[i + 2]);
        } else {
            for (std::size_t i = 1; i < points.size(); ++i)
                shape.lineTo(points[i]);
        }
        if (polygon)
            shape.closeSubpath();
        if (fromCurrent)
            state_.currentPosition = shape.currentPosition();
        if (inPath_ && fromCurrent) {
            // Continue the figure in progress rather than starting a new one.
            const QPainterPath device = LogicalToDevice().map(shape);
            for (int i = 1; i < device.elementCount(); ++i) {
                const auto e = device.elementAt(i);
                if (e.type == QPainterPath::CurveToElement && i + 2 < device.elementCount()) {
                    path_.cubicTo(e, device.elementAt(i + 1), device.elementAt(i + 2));
                    i += 2;
                } else {
                    path_.lineTo(e);
                }
            }
            return true;
        }
        DrawShape(shape, polygon, true);
        return true;
    }
    case emr::PolyPolyline:
    case emr::PolyPolyline16:
    case emr::PolyPolygon:
    case emr::PolyPolygon16: {
        const std::uint32_t t = r.Type();
        const bool small = t == emr::PolyPolyline16 || t == emr::PolyPolygon16;
        const bool polygon = t == emr::PolyPolygon || t == emr::PolyPolygon16;
        const std::uint32_t polygons = r.U32(24);
        const std::uint32_t total = r.U32(28);
        r.Span(32, polygons, 4);
        const std::size_t pointsOffset = 32 + 4 * static_cast<std::size_t>(polygons);
        r.Span(pointsOffset, total, small ? 4 : 8);
        std::vector<std::uint32_t> counts(polygons);
        std::uint64_t index = 0;
        for (std::uint32_t p = 0; p < polygons; ++p) {
            counts[p] = r.U32(32 + 4 * p);
            index += counts[p];
            if (index > total)
                throw EDamagedRecord();
        }
        if (total > kMaxShapePoints)
            return false;
        const QPainterPath figures = DeviceFigures(r, pointsOffset, counts, small, polygon);
        if (inPath_)
            path_.addPath(figures);
        else if (!figures.isEmpty())
            DrawPathInDevice(figures, polygon, true);
        return true;
    }
    case emr::PolyDraw:
    case emr::PolyDraw16: {
        const bool small = r.Type() == emr::PolyDraw16;
        r.Span(28, r.U32(24), small ? 5 : 9); // every point and its type inside the record
        if (r.U32(24) > kMaxShapePoints)
            return false;
        const std::vector<QPointF> points = ReadPoints(r, 24, 28, small);
        const auto types = r.Span(28 + points.size() * (small ? 4 : 8), points.size());
        QPainterPath shape;
        shape.moveTo(state_.currentPosition);
        for (std::size_t i = 0; i < points.size(); ++i) {
            const std::uint8_t type = types[i] & ~gdi::PT_CLOSEFIGURE;
            if (type == gdi::PT_MOVETO)
                shape.moveTo(points[i]);
            else if (type == gdi::PT_BEZIERTO && i + 2 < points.size()) {
                shape.cubicTo(points[i], points[i + 1], points[i + 2]);
                i += 2;
            } else
                shape.lineTo(points[i]);
            if (types[i] & gdi::PT_CLOSEFIGURE)
                shape.closeSubpath();
        }
        state_.currentPosition = shape.currentPosition();
        DrawShape(shape, false, true);
        return true;
    }
    case emr::SetPixelV: {
        const QPointF device = LogicalToDevice().map(QPointF(r.I32(8), r.I32(12)));
        ApplyClip();
        painter_.setTransform(QTransform());
        painter_.fillRect(QRectF(std::floor(device.x()), std::floor(device.y()), 1, 1), ColorRef(r.U32(16)));
        return true;
    }
    case emr::FillRgn:
    case emr::PaintRgn:
    case emr::FrameRgn:
    case emr::InvertRgn: {
        const bool withBrush = r.Type() == emr::FillRgn || r.Type() == emr::FrameRgn;
        const std::size_t dataOffset = r.Type() == emr::FrameRgn ? 40 : withBrush ? 32 : 28;
        const QPainterPath region = LogicalToDevice().map(RegionPath(r, dataOffset, r.U32(24)));
        GdiBrush brush = state_.brush;
        if (withBrush) {
            const std::uint32_t index = r.U32(28);
            if (index & gdi::ENHMETA_STOCK_OBJECT) {
                const GdiBrush saved = state_.brush;
                SelectObject(index);
                brush = state_.brush;
                state_.brush = saved;
            } else if (const GdiObject* object = ObjectAt(index); object && std::holds_alternative<GdiBrush>(*object)) {
                brush = std::get<GdiBrush>(*object);
            }
        }
        ApplyClip();
        if (r.Type() == emr::FrameRgn) {
            const QPointF stroke = QPointF(r.I32(32), r.I32(36));
            const double width = std::max(1.0, std::fabs(stroke.x()) * std::sqrt(std::fabs(LogicalToDevice().determinant())));
            QPainterPathStroker stroker;
            stroker.setWidth(2 * width);
            FillWithBrush(stroker.createStroke(region).intersected(region), brush);
        } else if (r.Type() == emr::InvertRgn) {
            painter_.setTransform(QTransform());
            painter_.setCompositionMode(QPainter::RasterOp_NotDestination);
            painter_.fillPath(region, Qt::black);
            painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
        } else {
            FillWithBrush(region, brush);
        }
        return true;
    }
    case emr::GradientFill: {
        const std::uint32_t vertices = r.U32(24), count = r.U32(28), mode = r.U32(32);
        r.Span(36, vertices, 16);
        auto vertexPoint = [&](std::uint32_t i) { return QPointF(r.I32(36 + 16 * i), r.I32(40 + 16 * i)); };
        auto vertexColor = [&](std::uint32_t i) {
            return QColor(r.U16(44 + 16 * i) >> 8, r.U16(46 + 16 * i) >> 8, r.U16(48 + 16 * i) >> 8);
        };
        const std::size_t meshOffset = 36 + 16 * static_cast<std::size_t>(vertices);
        const QTransform toDevice = LogicalToDevice();
        ApplyClip();
        painter_.setTransform(QTransform());
        for (std::uint32_t i = 0; i < count && i < 65536; ++i) {
            if (mode == gdi::GRADIENT_FILL_TRIANGLE) { // filled with their mean colour
                const std::uint32_t a = r.U32(meshOffset + 12 * i), b = r.U32(meshOffset + 12 * i + 4), c = r.U32(meshOffset + 12 * i + 8);
                if (a >= vertices || b >= vertices || c >= vertices)
                    continue;
                QPainterPath triangle;
                triangle.moveTo(vertexPoint(a));
                triangle.lineTo(vertexPoint(b));
                triangle.lineTo(vertexPoint(c));
                triangle.closeSubpath();
                const QColor ca = vertexColor(a), cb = vertexColor(b), cc = vertexColor(c);
                painter_.fillPath(toDevice.map(triangle), QColor((ca.red() + cb.red() + cc.red()) / 3,
                                                                  (ca.green() + cb.green() + cc.green()) / 3,
                                                                  (ca.blue() + cb.blue() + cc.blue()) / 3));
            } else {
                const std::uint32_t a = r.U32(meshOffset + 8 * i), b = r.U32(meshOffset + 8 * i + 4);
                if (a >= vertices || b >= vertices)
                    continue;
                const QRectF rect = QRectF(vertexPoint(a), vertexPoint(b)).normalized();
                const QPointF from = toDevice.map(vertexPoint(a));
                const QPointF to = toDevice.map(mode == gdi::GRADIENT_FILL_RECT_H ? QPointF(vertexPoint(b).x(), vertexPoint(a).y())
                                                          : QPointF(vertexPoint(a).x(), vertexPoint(b).y()));
                QLinearGradient gradient(from, to);
                gradient.setColorAt(0, vertexColor(a));
                gradient.setColorAt(1, vertexColor(b));
                QPainterPath box;
                box.addRect(rect);
                painter_.fillPath(toDevice.map(box), gradient);
            }
        }
        return true;
    }
    case emr::ExtFloodFill:
        return false;
    default: return false;
    }
}

// --- Paths -----------------------------------------------------------------------------------

bool EmfPlayback::PlayPathRecord(const EmfRecord& r)
{
    switch (r.Type()) {
    case emr::BeginPath:
        inPath_ = true;
        path_ = QPainterPath();
        path_.moveTo(LogicalToDevice().map(state_.currentPosition));
        return true;
    case emr::EndPath: inPath_ = false; return true;
    case emr::AbortPath:
        inPath_ = false;
        path_ = QPainterPath();
        return true;
    case emr::CloseFigure:
        if (inPath_)
            path_.closeSubpath();
        return true;
    case emr::FlattenPath: return true;
    case emr::WidenPath: {
        QPainterPathStroker stroker(MakePen(QTransform()));
        const double width = std::fabs(state_.pen.width) * std::sqrt(std::fabs(LogicalToDevice().determinant()));
        stroker.setWidth(std::clamp(std::isfinite(width) ? width : 1.0, 1.0, kMaxDevicePenWidth));
        path_ = stroker.createStroke(path_);
        return true;
    }
    case emr::FillPath:
    case emr::StrokePath:
    case emr::StrokeAndFillPath: {
        if (inPath_)
            return true;
        const bool fill = r.Type() != emr::StrokePath;
        const bool stroke = r.Type() != emr::FillPath;
        QPainterPath path = path_;
        if (fill)
            path.closeSubpath();
        DrawPathInDevice(path, fill, stroke);
        path_ = QPainterPath();
        return true;
    }
    default: return false;
    }
}

} // namespace tarvolo::emf
