// The geometry of device areas on its own: scan conversion, pixel rectangles and clip area
// combination, in device pixels.

#include "metafile/GdiConstants.h"
#include "render/detail/Areas.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <string>
#include <vector>

using namespace tarvolo::emf;
namespace gdi = tarvolo::emf::gdi;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

QPainterPath Figure(std::initializer_list<QPointF> points)
{
    QPainterPath path;
    for (const QPointF& point : points) {
        if (path.elementCount() == 0)
            path.moveTo(point);
        else
            path.lineTo(point);
    }
    return path;
}

QPainterPath Rect(double left, double top, double right, double bottom)
{
    return Figure({{left, top}, {right, top}, {right, bottom}, {left, bottom}, {left, top}});
}

// Both paths' figures in one path (operator+ would unite them).
QPainterPath Join(QPainterPath a, const QPainterPath& b)
{
    a.addPath(b);
    return a;
}

QPainterPath WithRule(QPainterPath path, Qt::FillRule rule)
{
    path.setFillRule(rule);
    return path;
}

// The pixels Qt's aliased rasteriser fills for a path, within bounds.
QRegion FilledByQt(const QPainterPath& path, Qt::FillRule rule, const QRect& bounds)
{
    QImage image(bounds.size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.translate(-bounds.topLeft());
        painter.fillPath(WithRule(path, rule), Qt::black);
    }
    std::vector<QRect> runs; // a row at a time, left to right: bands as QRegion keeps them
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width();) {
            if (image.pixel(x, y) == qRgb(255, 255, 255)) {
                ++x;
                continue;
            }
            const int start = x;
            while (x < image.width() && image.pixel(x, y) != qRgb(255, 255, 255))
                ++x;
            runs.emplace_back(bounds.left() + start, bounds.top() + y, x - start, 1);
        }
    }
    QRegion filled;
    filled.setRects(runs.data(), static_cast<int>(runs.size()));
    return filled;
}

// Regions may cover the same pixels in differently cut rectangles.
bool SamePixels(const QRegion& a, const QRegion& b)
{
    return a.xored(b).isEmpty();
}

std::string Describe(const QRegion& region)
{
    std::string text = std::to_string(region.rectCount()) + " rects:";
    for (const QRect& r : region)
        text += " (" + std::to_string(r.x()) + "," + std::to_string(r.y()) + " " + std::to_string(r.width()) + "x" +
                std::to_string(r.height()) + ")";
    return text;
}

QRegion RegionOf(const ClipArea& area, const QRect& limit)
{
    return area.outline ? ScanConvert(*area.outline, area.outline->fillRule(), limit) : area.region;
}

} // namespace

TEST(Areas, PixelBoundariesLieWherePixelCentresAre)
{
    const struct {
        double at;
        int boundary;
    } cases[] = {
        {0, 0},           {0.49, 0},         {0.5, 1},           {-0.5, 0},           {-0.51, -1},
        {1e7, 10000000},  {kNaN, -(1 << 26)}, {kInfinity, 1 << 26}, {-kInfinity, -(1 << 26)}, {1e300, 1 << 26},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PixelBoundary(c.at), c.boundary) << c.at;

    EXPECT_EQ(PixelRect({0.4, 0.6}, {10.5, 3.2}), QRect(0, 1, 11, 2));
    EXPECT_EQ(PixelRect({10.5, 3.2}, {0.4, 0.6}), QRect(0, 1, 11, 2)) << "corners either way round";
    EXPECT_TRUE(PixelRect({2.6, 0}, {3.4, 10}).isEmpty()) << "no pixel centre between the edges";
    EXPECT_EQ(ClipLimit(QRect(0, 0, 100, 50)), QRect(-100, -50, 300, 150));
}

// The scan converter lights exactly the pixels Qt's aliased rasteriser does.
TEST(Areas, ScanConversionLightsThePixelsQtFills)
{
    const QRect bounds(-8, -8, 72, 64);
    QPainterPath ellipse;
    ellipse.addEllipse(QRectF(3.3, 4.7, 25.2, 17.9));
    const struct {
        const char* name;
        QPainterPath path;
    } cases[] = {
        {"a rectangle on half pixels", Rect(0.5, 0.5, 10.5, 8.5)},
        {"a rectangle between pixel centres", Rect(0.2, 0.7, 10.3, 8.1)},
        {"a triangle", Figure({{2, 1}, {30, 5}, {10, 25}})},
        {"a thin sliver", Figure({{0, 0}, {40, 1}, {0, 1.2}})},
        {"a steep needle", Figure({{20, -3}, {20.6, 50}, {21, -3}})},
        {"a concave arrow", Figure({{5, 5}, {40, 20}, {5, 35}, {15, 20}})},
        {"a star that crosses itself", Figure({{30, 2}, {41, 36}, {12, 15}, {48, 15}, {19, 36}})},
        {"two figures that overlap", Join(Rect(2, 2, 30, 30), Rect(10.5, 10.5, 40, 40))},
        {"two figures, one inside the other turning back", Join(Rect(2, 2, 40, 40), Figure({{10, 10}, {10, 30}, {30, 30}, {30, 10}}))},
        {"a figure reaching past the bounds", Figure({{-30, -20}, {90, 10}, {10, 80}})},
        {"an open figure, filled closed", Figure({{3, 3}, {50, 9}, {20, 40}})},
        {"points nearly in a line", Figure({{1, 1}, {20, 15}, {40, 30}})},
    };
    for (const auto& c : cases) {
        for (const Qt::FillRule rule : {Qt::OddEvenFill, Qt::WindingFill}) {
            SCOPED_TRACE(std::string(c.name) + (rule == Qt::OddEvenFill ? ", alternate" : ", winding"));
            const QRegion scanned = ScanConvert(c.path, rule, bounds);
            const QRegion qt = FilledByQt(c.path, rule, bounds);
            EXPECT_FALSE(qt.isEmpty());
            EXPECT_TRUE(SamePixels(scanned, qt)) << "scanned " << Describe(scanned) << "\nQt fills " << Describe(qt);
        }
    }

    // Curves are flattened by other means than Qt's: an edge may move by a pixel along its row.
    const QRegion scanned = ScanConvert(ellipse, Qt::OddEvenFill, bounds), qt = FilledByQt(ellipse, Qt::OddEvenFill, bounds);
    const QRegion grown = qt + qt.translated(1, 0) + qt.translated(-1, 0);
    const QRegion shrunk = qt.intersected(qt.translated(1, 0)).intersected(qt.translated(-1, 0));
    EXPECT_EQ(scanned.boundingRect(), qt.boundingRect());
    EXPECT_TRUE(scanned.xored(qt).subtracted(grown.subtracted(shrunk)).isEmpty())
        << "scanned " << Describe(scanned) << "\nQt fills " << Describe(qt);
}

TEST(Areas, NothingToScanConvertLightsNothing)
{
    const QRect bounds(0, 0, 64, 64);
    QPainterPath point;
    point.moveTo(5, 5);
    const struct {
        const char* name;
        QPainterPath path;
        QRect bounds;
    } cases[] = {
        {"an empty path", QPainterPath(), bounds},
        {"a point", point, bounds},
        {"points exactly in a line", Figure({{1, 1}, {21, 16}, {41, 31}}), bounds},
        {"a flat figure", Figure({{1, 10.2}, {40, 10.2}, {20, 10.2}}), bounds},
        {"a figure between two rows of centres", Figure({{1, 10.6}, {40, 10.6}, {40, 11.4}, {1, 11.4}}), bounds},
        {"a figure outside the bounds", Rect(100, 100, 140, 140), bounds},
        {"coordinates that are no number", Figure({{kNaN, 1}, {40, kNaN}, {kNaN, kNaN}}), bounds},
        {"empty bounds", Rect(0, 0, 40, 40), QRect()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(ScanConvert(c.path, Qt::OddEvenFill, c.bounds).isEmpty());
        EXPECT_TRUE(ScanConvert(c.path, Qt::WindingFill, c.bounds).isEmpty());
    }
}

// Coordinates of a damaged record and figures of a great many edges stay within the bounds and
// within time. The time allowed is a safety net against a hang: this takes under a second, with
// the sanitizers too.
TEST(Areas, HostileFiguresScanConvertWithinTheBounds)
{
    const QRect bounds(0, 0, 256, 256);
    const auto start = std::chrono::steady_clock::now();

    // Edges millions of devices long cross the bounds at slopes fixed point cannot hold exactly.
    EXPECT_TRUE(SamePixels(ScanConvert(Figure({{-1e12, -1e12}, {1e12, -1e12}, {0, 1e12}}), Qt::WindingFill, bounds), QRegion(bounds)));
    EXPECT_TRUE(SamePixels(ScanConvert(Figure({{-1e300, 0}, {kInfinity, 0}, {0, 1e300}}), Qt::WindingFill, bounds), QRegion()))
        << "an edge with an endless end is left out, and what is left encloses nothing";
    const QRegion steep = ScanConvert(Figure({{0, -1e15}, {1, 1e15}, {200, 1e15}}), Qt::OddEvenFill, bounds);
    EXPECT_TRUE(bounds.contains(steep.boundingRect()) || steep.isEmpty());

    // A comb of 200000 edges, each crossing 200 rows.
    QPainterPath comb;
    comb.moveTo(0, 0);
    constexpr int kTeeth = 50000;
    for (int i = 0; i < kTeeth; ++i) {
        const double x = 256.0 * i / kTeeth;
        comb.lineTo(x, 0);
        comb.lineTo(x, 200);
        comb.lineTo(x + 128.0 / kTeeth, 200);
        comb.lineTo(x + 128.0 / kTeeth, 0);
    }
    const QRegion teeth = ScanConvert(comb, Qt::OddEvenFill, bounds);
    EXPECT_TRUE(bounds.contains(teeth.boundingRect()));
    EXPECT_LE(teeth.rectCount(), 256 * 200);

    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 60.0);
}

TEST(Areas, FiguresOfAxisAlignedRectanglesAreFoundWithTheirSense)
{
    QPainterPath curved;
    curved.addEllipse(QRectF(0, 0, 10, 10));
    using Rects = std::vector<std::pair<QRect, int>>;
    const struct {
        const char* name;
        QPainterPath path;
        std::optional<Rects> rects;
    } cases[] = {
        {"nothing", QPainterPath(), Rects{}},
        {"a rectangle turning clockwise on the screen", Rect(0, 0, 10, 5), Rects{{QRect(0, 0, 10, 5), 1}}},
        {"the same turning back", Figure({{0, 0}, {0, 5}, {10, 5}, {10, 0}}), Rects{{QRect(0, 0, 10, 5), -1}}},
        {"a rectangle on half pixels", Rect(0.5, 0.5, 10.5, 5.4), Rects{{QRect(1, 1, 10, 4), 1}}},
        {"a line beside a rectangle", Join(Figure({{0, 0}, {40, 40}}), Rect(2, 2, 4, 4)), Rects{{QRect(2, 2, 2, 2), 1}}},
        {"two rectangles", Join(Rect(0, 0, 4, 4), Figure({{10, 10}, {10, 12}, {12, 12}, {12, 10}})),
         Rects{{QRect(0, 0, 4, 4), 1}, {QRect(10, 10, 2, 2), -1}}},
        {"a turned square", Figure({{5, 0}, {10, 5}, {5, 10}, {0, 5}}), std::nullopt},
        {"a pentagon", Figure({{0, 0}, {10, 0}, {10, 10}, {5, 12}, {0, 10}}), std::nullopt},
        {"a curve", curved, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PathRectangles(c.path), c.rects);
    }
}

TEST(Areas, ManyRegionsCombineIntoTheirUnionOrTheirOddCover)
{
    const std::vector<QRegion> squares = {QRegion(0, 0, 10, 10), QRegion(5, 0, 10, 10), QRegion(0, 5, 10, 10)};
    EXPECT_TRUE(CombineMany({}, false).isEmpty());
    EXPECT_TRUE(SamePixels(CombineMany(squares, false), squares[0] + squares[1] + squares[2]));
    EXPECT_TRUE(SamePixels(CombineMany(squares, true), squares[0].xored(squares[1]).xored(squares[2])));
    std::vector<QRegion> strips;
    for (int i = 0; i < 1000; ++i)
        strips.emplace_back(i, 0, 1, 10 + i % 3);
    EXPECT_EQ(CombineMany(strips, false).boundingRect(), QRect(0, 0, 1000, 12));
}

TEST(Areas, OutlinesBecomeRegionsWhenTheyAreWholePixels)
{
    const QRect limit(-100, -100, 300, 300);
    QPainterPath many;
    for (int i = 0; i < 1500; ++i) // more elements than outlines combine with
        many.addPolygon(QPolygonF({QPointF(i % 90, 0.5), QPointF(i % 90 + 1.5, 3.3), QPointF(i % 90, 6.1)}));
    const struct {
        const char* name;
        QPainterPath path;
        bool region;
        QRegion pixels;
    } cases[] = {
        {"a rectangle", Rect(0.4, 0.4, 10.6, 5.2), true, QRegion(0, 0, 11, 5)},
        {"overlapping rectangles by alternate filling",
         WithRule(Join(Rect(0, 0, 10, 10), Rect(5, 5, 15, 15)), Qt::OddEvenFill), true,
         QRegion(0, 0, 10, 10).xored(QRegion(5, 5, 10, 10))},
        {"overlapping rectangles turning alike, by winding", WithRule(Join(Rect(0, 0, 10, 10), Rect(5, 5, 15, 15)), Qt::WindingFill),
         true, QRegion(0, 0, 10, 10).united(QRegion(5, 5, 10, 10))},
        {"rectangles turning apart, by winding, cancel out",
         WithRule(Join(Rect(0, 0, 10, 10), Figure({{5, 5}, {5, 15}, {15, 15}, {15, 5}})), Qt::WindingFill), false,
         QRegion(0, 0, 10, 10).xored(QRegion(5, 5, 10, 10))},
        {"a rectangle past the limit is cut", Rect(-500, 0, 10, 10), true, QRegion(-100, 0, 110, 10)},
        {"a triangle", Figure({{0, 0}, {30, 0}, {0, 30}}), false, ScanConvert(Figure({{0, 0}, {30, 0}, {0, 30}}), Qt::OddEvenFill, limit)},
        {"a large outline", many, true, ScanConvert(many, Qt::OddEvenFill, limit)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ClipArea area = AreaFromOutline(c.path, limit);
        EXPECT_EQ(!area.outline, c.region);
        EXPECT_TRUE(SamePixels(RegionOf(area, limit), c.pixels)) << Describe(RegionOf(area, limit));
    }
}

TEST(Areas, RectanglesMapToARegionWhileTheyStayUpright)
{
    const QRect limit(0, 0, 100, 100);
    const std::vector<QRectF> rects = {QRectF(1, 1, 4, 4), QRectF(3, 3, 4, 4)};
    const struct {
        const char* name;
        QTransform toDevice;
        bool region;
        QRegion pixels;
    } cases[] = {
        {"unchanged", QTransform(), true, QRegion(1, 1, 4, 4) + QRegion(3, 3, 4, 4)},
        {"scaled and moved", QTransform(2, 0, 0, 3, 10, 0), true, QRegion(12, 3, 8, 12) + QRegion(16, 9, 8, 12)},
        {"mirrored", QTransform(-1, 0, 0, 1, 20, 0), true, QRegion(15, 1, 4, 4) + QRegion(13, 3, 4, 4)},
        {"a quarter turn", QTransform(0, 1, -1, 0, 20, 0), true, QRegion(15, 1, 4, 4) + QRegion(13, 3, 4, 4)},
        {"moved past the limit", QTransform::fromTranslate(-3, 0), true, QRegion(0, 1, 2, 4) + QRegion(0, 3, 4, 4)},
        {"turned a little", QTransform().rotate(10), false, QRegion()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ClipArea area = AreaFromRects(rects, c.toDevice, limit);
        EXPECT_EQ(!area.outline, c.region);
        if (c.region) {
            EXPECT_TRUE(SamePixels(area.region, c.pixels)) << Describe(area.region);
        }
    }
    EXPECT_TRUE(AreaFromRects({}, QTransform(), limit).region.isEmpty());
}

// Region modes, between regions and between outlines, come to the same pixels.
TEST(Areas, AreasCombineByEveryRegionMode)
{
    const QRect limit(-50, -50, 200, 200);
    const QRegion a = QRegion(0, 0, 20, 20), b = QRegion(10, 5, 20, 10);
    const struct {
        int mode;
        QRegion pixels;
    } modes[] = {
        {gdi::RGN_AND, a.intersected(b)}, {gdi::RGN_OR, a.united(b)},   {gdi::RGN_XOR, a.xored(b)},
        {gdi::RGN_DIFF, a.subtracted(b)}, {gdi::RGN_COPY, b},           {0, b},
    };
    auto regionArea = [](const QRegion& region) { return ClipArea{region, std::nullopt}; };
    auto outlineArea = [](const QRegion& region) {
        QPainterPath outline;
        outline.addRegion(region);
        return ClipArea{QRegion(), outline};
    };
    for (const auto& m : modes) {
        SCOPED_TRACE("mode " + std::to_string(m.mode));
        const ClipArea regions = CombineAreas(regionArea(a), regionArea(b), m.mode, limit);
        EXPECT_FALSE(regions.outline) << "regions stay regions";
        EXPECT_TRUE(SamePixels(regions.region, m.pixels)) << Describe(regions.region);
        const ClipArea outlines = CombineAreas(outlineArea(a), regionArea(b), m.mode, limit);
        ASSERT_TRUE(outlines.outline) << "small outlines stay outlines";
        EXPECT_TRUE(SamePixels(RegionOf(outlines, limit), m.pixels)) << Describe(RegionOf(outlines, limit));
    }
}

TEST(Areas, EmptyAndLargeAreasCombine)
{
    const QRect limit(0, 0, 100, 100);
    const QRegion square(10, 10, 20, 20);
    const ClipArea empty, solid{square, std::nullopt};
    EXPECT_TRUE(CombineAreas(empty, solid, gdi::RGN_AND, limit).region.isEmpty());
    EXPECT_TRUE(SamePixels(CombineAreas(empty, solid, gdi::RGN_OR, limit).region, square));
    EXPECT_TRUE(SamePixels(CombineAreas(empty, solid, gdi::RGN_XOR, limit).region, square));
    EXPECT_TRUE(CombineAreas(empty, solid, gdi::RGN_DIFF, limit).region.isEmpty());
    EXPECT_TRUE(SamePixels(CombineAreas(solid, empty, gdi::RGN_DIFF, limit).region, square));

    // Outlines too large to combine as outlines are scan converted within the limit.
    QPainterPath many;
    for (int i = 0; i < 900; ++i)
        many.addRect(QRectF(i % 100 + 0.25, i / 100 * 10 + 0.25, 0.5, 5.5));
    many.setFillRule(Qt::WindingFill);
    const ClipArea large{QRegion(), many};
    const ClipArea combined = CombineAreas(large, solid, gdi::RGN_AND, limit);
    EXPECT_FALSE(combined.outline);
    EXPECT_TRUE(SamePixels(combined.region, ScanConvert(many, Qt::WindingFill, limit).intersected(square)));
}

TEST(Areas, FiguresOnWholePixelsLoseThePointsThatAddNothing)
{
    QPainterPath curved = Figure({{0, 0}, {5, 0}});
    curved.cubicTo(QPointF(6, 1), QPointF(7, 2), QPointF(8, 3));
    const struct {
        const char* name;
        QPainterPath path;
        QPainterPath reduced;
    } cases[] = {
        {"repeated points", Figure({{0, 0}, {0, 0}, {10, 0}, {10, 0}, {10, 10}}), Figure({{0, 0}, {10, 0}, {10, 10}})},
        {"points inside a straight run", Figure({{0, 0}, {2, 0}, {5, 0}, {10, 0}, {10, 3}, {10, 10}}),
         Figure({{0, 0}, {10, 0}, {10, 10}})},
        {"a run that turns back keeps its turn", Figure({{0, 0}, {10, 0}, {4, 0}}), Figure({{0, 0}, {10, 0}, {4, 0}})},
        {"each figure on its own", Join(Figure({{0, 0}, {5, 0}, {9, 0}}), Figure({{9, 0}, {9, 5}, {9, 9}})),
         Join(Figure({{0, 0}, {9, 0}}), Figure({{9, 0}, {9, 9}}))},
        {"curves stay as they are", curved, curved},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(WithoutRedundantPoints(c.path), c.reduced);
    }
    EXPECT_EQ(WithoutRedundantPoints(WithRule(Figure({{0, 0}, {1, 1}}), Qt::WindingFill)).fillRule(), Qt::WindingFill);
    EXPECT_EQ(SnapToPixels(Figure({{0.4, 0.6}, {10.5, -0.5}, {-1.5, 2.49}})), Figure({{0, 1}, {11, -1}, {-2, 2}}));
}
