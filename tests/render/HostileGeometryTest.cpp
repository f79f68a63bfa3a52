#include "metafile/EmfRecordReader.h"
#include "metafile/GdiConstants.h"
#include "metafile/LittleEndian.h"
#include "render/PageRenderer.h"
#include "support/MemoryCap.h"
#include "support/TestSupport.h"

#include <QImage>
#include <QString>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

using namespace tarvolo;
using namespace tarvolo::emf;
using tarvolo::test::Bytes;
using tarvolo::test::MakeMetafile;
using tarvolo::test::MakeRecord;
namespace fs = std::filesystem;

// Pictures of hostile geometry (made by tests/fixtures/pictures/make-geometry-pictures.py) must
// draw in bounded time and memory, and draw what they describe.

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr double kSlowdown = 10;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr double kSlowdown = 10;
#else
constexpr double kSlowdown = 1;
#endif
#else
constexpr double kSlowdown = 1;
#endif

// Each picture took seconds to minutes before; drawn well it takes a small fraction of this.
constexpr double kSecondsPerPicture = 10.0 * kSlowdown; // a safety net; speed is for the benchmarks
constexpr std::size_t kExtraMegabytes = 400;

struct Drawn {
    QImage image;
    PlaybackReport report;
    double seconds = 0;
};

Drawn DrawAt96Dpi(const Bytes& bytes)
{
    const Metafile page(bytes);
    Drawn drawn;
    test::MemoryCap cap(kExtraMegabytes);
    const auto start = std::chrono::steady_clock::now();
    drawn.image = PageRenderer::RenderImage(page, PageRenderer::SizeAtDpi(page, 96), &drawn.report);
    drawn.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return drawn;
}

fs::path Picture(const std::string& name)
{
    return fs::path(TARVOLO_FIXTURE_DIR) / "pictures" / name;
}

bool Inked(const QImage& image, int x, int y)
{
    return qGray(image.pixel(x, y)) < 128;
}

// The pixels where the drawing and the expectation disagree, with the first of them named.
int CountMismatches(const QImage& image, const std::function<bool(int, int)>& expectInk, std::string& first)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (Inked(image, x, y) != expectInk(x, y) && count++ == 0)
                first = QStringLiteral("(%1, %2)").arg(x).arg(y).toStdString();
    return count;
}

// The comb of the polygon pictures: 200 teeth one pixel wide at every even x, from y = 100 to 300.
bool InComb(int x, int y)
{
    return y >= 100 && y < 300 && x % 2 == 0;
}

// ExtSelectClipRgn of a region of the given rectangles (reference device pixels).
Bytes ClipRegion(const std::vector<QRect>& rects, int mode)
{
    test::RecordBuilder builder(emr::ExtSelectClipRgn);
    builder.U32(static_cast<std::uint32_t>(32 + 16 * rects.size())).I32(mode);
    builder.U32(32).U32(gdi::RDH_RECTANGLES).U32(static_cast<std::uint32_t>(rects.size())).U32(static_cast<std::uint32_t>(16 * rects.size()));
    builder.I32(0).I32(0).I32(100).I32(100);
    for (const QRect& r : rects)
        builder.I32(r.left()).I32(r.top()).I32(r.right() + 1).I32(r.bottom() + 1);
    return builder.Build();
}

} // namespace

TEST(HostileGeometry, ClipPathOfManyRectanglesLetsPaintThroughTheirUnionOnly)
{
    const Bytes bytes = test::ReadFileBytes(Picture("ClipPathOfManyRectangles.emf"));
    // The rectangles the picture's path is made of, read back from it.
    std::vector<QRect> rects;
    EmfRecordReader reader(bytes);
    for (EmfRecord record; reader.Next(record);) {
        if (record.Type() == emr::Rectangle && rects.size() < 6000) {
            const RectL r = record.Rect(8);
            rects.emplace_back(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
        }
    }
    ASSERT_EQ(rects.size(), 6000u);
    std::vector<std::vector<bool>> inside(400, std::vector<bool>(400, false));
    for (const QRect& r : rects)
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                inside[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] = true;

    const Drawn drawn = DrawAt96Dpi(bytes);
    EXPECT_LT(drawn.seconds, kSecondsPerPicture);
    ASSERT_EQ(drawn.image.size(), QSize(400, 400));
    std::string first;
    EXPECT_EQ(CountMismatches(drawn.image, [&](int x, int y) { return inside[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)]; }, first), 0)
        << "first at " << first;
}

TEST(HostileGeometry, ManyPixelsThroughAClipRegionOfManyRectanglesSetTheClipOnce)
{
    // A checkerboard of 2-pixel cells, rows XOR columns, then 10 000 SetPixelV.
    const Bytes bytes = test::ReadFileBytes(Picture("ClipRegionOfManyRectanglesThenManyPixels.emf"));
    std::vector<std::vector<bool>> set(400, std::vector<bool>(400, false));
    EmfRecordReader reader(bytes);
    int pixels = 0;
    for (EmfRecord record; reader.Next(record);) {
        if (record.Type() == emr::SetPixelV) {
            set[static_cast<std::size_t>(record.I32(12))][static_cast<std::size_t>(record.I32(8))] = true;
            ++pixels;
        }
    }
    ASSERT_EQ(pixels, 10000);

    const Drawn drawn = DrawAt96Dpi(bytes);
    EXPECT_LT(drawn.seconds, kSecondsPerPicture);
    ASSERT_EQ(drawn.image.size(), QSize(400, 400));
    std::string first;
    EXPECT_EQ(CountMismatches(drawn.image,
                              [&](int x, int y) {
                                  const bool cell = (x % 4 < 2) != (y % 4 < 2);
                                  return set[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] && cell;
                              },
                              first),
              0)
        << "first at " << first;
}

TEST(HostileGeometry, FiguresOfManyLongEdgesFillTheirShapeInBoundedTime)
{
    // A comb of 200 teeth traced back and forth: as one polygon, as a polygon per tooth, and as
    // a path bracket filled; every tracing is 25 000 edges of 200 rows each.
    for (const char* name : {"PolygonOfManyPoints.emf", "PolyPolygonOfManyPolygons.emf", "PathOfManyPoints.emf"}) {
        const Drawn drawn = DrawAt96Dpi(test::ReadFileBytes(Picture(name)));
        EXPECT_LT(drawn.seconds, kSecondsPerPicture) << name;
        EXPECT_EQ(drawn.report.SkippedCount(), 0) << name;
        ASSERT_EQ(drawn.image.size(), QSize(400, 400)) << name;
        std::string first;
        EXPECT_EQ(CountMismatches(drawn.image, InComb, first), 0) << name << ": first at " << first;
    }
}

TEST(HostileGeometry, PolylineOfManyPointsWithAWidePenStrokesInBoundedTime)
{
    // The comb traced back and forth as one polyline, with a pen three pixels wide: the strokes
    // of neighbouring teeth run together into a band over y = 100..300 (and a pixel or two past
    // it, where the pen's joins are).
    const Drawn drawn = DrawAt96Dpi(test::ReadFileBytes(Picture("PolylineOfManyPoints.emf")));
    EXPECT_LT(drawn.seconds, kSecondsPerPicture);
    ASSERT_EQ(drawn.image.size(), QSize(400, 400));
    std::string first;
    EXPECT_EQ(CountMismatches(
                  drawn.image.copy(0, 0, 400, 97), [](int, int) { return false; }, first), 0) << "above, first at " << first;
    EXPECT_EQ(CountMismatches(
                  drawn.image.copy(0, 100, 400, 200), [](int, int) { return true; }, first), 0) << "inside, first at " << first;
    EXPECT_EQ(CountMismatches(
                  drawn.image.copy(0, 304, 400, 96), [](int, int) { return false; }, first), 0) << "below, first at " << first;
}

TEST(HostileGeometry, PolygonOfAMillionPointsFillsItsShapeInBoundedTime)
{
    // The comb traced 1249 times: a Polygon16 of a million points, made here rather than kept.
    std::vector<QPoint> forward{{0, 100}};
    for (int k = 0; k < 200; ++k)
        forward.insert(forward.end(), {{2 * k, 300}, {2 * k + 1, 300}, {2 * k + 1, 100}, {2 * k + 2, 100}});
    std::vector<QPoint> points;
    for (int pass = 0; pass < 1249; ++pass) {
        if (pass % 2 == 0)
            points.insert(points.end(), forward.begin(), forward.end());
        else
            points.insert(points.end(), forward.rbegin(), forward.rend());
    }
    ASSERT_GT(points.size(), 1000000u);
    test::RecordBuilder polygon(emr::Polygon16);
    polygon.I32(0).I32(100).I32(400).I32(300).U32(static_cast<std::uint32_t>(points.size()));
    for (const QPoint& p : points)
        polygon.U16(static_cast<std::uint16_t>(p.x())).U16(static_cast<std::uint16_t>(p.y()));
    Bytes bytes = MakeMetafile({MakeRecord(emr::SelectObject, {gdi::BLACK_BRUSH}), MakeRecord(emr::SelectObject, {gdi::NULL_PEN}),
                                polygon.Build()});
    WriteI32LE(bytes.data() + 32, 10586); // a 400 x 400 pixel page
    WriteI32LE(bytes.data() + 36, 10573);

    // A million points cross the page's rows 2.5 million times; it took 45 s before the fill was
    // linear and takes about one now, so the bound leaves room for a busy machine.
    const Drawn drawn = DrawAt96Dpi(bytes);
    EXPECT_LT(drawn.seconds, 3 * kSecondsPerPicture);
    EXPECT_FALSE(drawn.report.damaged);
    ASSERT_EQ(drawn.image.size(), QSize(400, 400));
    std::string first;
    EXPECT_EQ(CountMismatches(drawn.image, InComb, first), 0) << "first at " << first;
}

TEST(HostileGeometry, ShapesOfMoreThanTwoMillionPointsAreSkippedAndPlaybackGoesOn)
{
    constexpr std::uint32_t kPoints = (1u << 21) + 1;
    for (const std::uint32_t type : {emr::Polygon16, emr::PolylineTo16, emr::PolyBezier16, emr::PolyDraw16, emr::PolyPolygon16}) {
        test::RecordBuilder shape(type);
        shape.I32(0).I32(0).I32(100).I32(100);
        if (type == emr::PolyPolygon16)
            shape.U32(1).U32(kPoints).U32(kPoints);
        else
            shape.U32(kPoints);
        shape.Raw(Bytes(4 * std::size_t{kPoints}, 0));
        if (type == emr::PolyDraw16)
            shape.Raw(Bytes(kPoints, gdi::PT_LINETO)).Raw(Bytes((4 - kPoints % 4) % 4, 0)); // padded to whole words
        const Drawn drawn = DrawAt96Dpi(MakeMetafile({MakeRecord(emr::SelectObject, {gdi::BLACK_BRUSH}), shape.Build(),
                                                      MakeRecord(emr::Rectangle, {10, 10, 50, 50})}));
        EXPECT_LT(drawn.seconds, kSecondsPerPicture) << type;
        EXPECT_EQ(drawn.report.skippedRecords.count(type) ? drawn.report.skippedRecords.at(type) : 0, 1) << type;
        EXPECT_FALSE(drawn.report.damaged) << type;
        EXPECT_TRUE(Inked(drawn.image, 30, 30)) << type;
    }
}

TEST(HostileGeometry, ClipRegionsCombineByTheirModesAndFollowSavedStatesAndTheMetaRegion)
{
    // Paint goes on a 100 x 100 page through the clip; each case names pixels inside and outside.
    const std::vector<Bytes> paint = {MakeRecord(emr::SelectObject, {gdi::BLACK_BRUSH}), MakeRecord(emr::SelectObject, {gdi::NULL_PEN}),
                                      MakeRecord(emr::Rectangle, {-1, -1, 101, 101})};
    const Bytes left = ClipRegion({QRect(0, 0, 50, 100)}, gdi::RGN_COPY);
    const Bytes top = ClipRegion({QRect(0, 0, 100, 50)}, gdi::RGN_COPY);
    auto topWith = [](int mode) { return ClipRegion({QRect(0, 0, 100, 50)}, mode); };
    struct Case {
        const char* name;
        std::vector<Bytes> records;
        std::vector<QPoint> inked, blank;
    };
    const Case cases[] = {
        {"AND", {left, topWith(gdi::RGN_AND)}, {{25, 25}}, {{75, 25}, {25, 75}, {75, 75}}},
        {"OR", {left, topWith(gdi::RGN_OR)}, {{25, 25}, {75, 25}, {25, 75}}, {{75, 75}}},
        {"XOR", {left, topWith(gdi::RGN_XOR)}, {{75, 25}, {25, 75}}, {{25, 25}, {75, 75}}},
        {"DIFF", {left, topWith(gdi::RGN_DIFF)}, {{25, 75}}, {{25, 25}, {75, 25}, {75, 75}}},
        {"COPY", {left, topWith(gdi::RGN_COPY)}, {{25, 25}, {75, 25}}, {{25, 75}, {75, 75}}},
        {"XOR with no clip region cuts the region out", {topWith(gdi::RGN_XOR)}, {{25, 75}}, {{25, 25}}},
        {"rectangle records",
         {MakeRecord(emr::IntersectClipRect, {0, 0, 50, 100}), MakeRecord(emr::ExcludeClipRect, {0, 0, 100, 50})},
         {{25, 75}},
         {{25, 25}, {75, 75}}},
        {"a clip path of two rectangles",
         {MakeRecord(emr::BeginPath, {}), MakeRecord(emr::Rectangle, {0, 0, 50, 50}), MakeRecord(emr::Rectangle, {50, 50, 100, 100}),
          MakeRecord(emr::EndPath, {}), MakeRecord(emr::SelectClipPath, {gdi::RGN_COPY})},
         {{25, 25}, {75, 75}},
         {{75, 25}, {25, 75}}},
        {"overlapping path rectangles by the alternate rule",
         {MakeRecord(emr::BeginPath, {}), MakeRecord(emr::Rectangle, {0, 0, 100, 50}), MakeRecord(emr::Rectangle, {0, 0, 50, 100}),
          MakeRecord(emr::EndPath, {}), MakeRecord(emr::SelectClipPath, {gdi::RGN_COPY})},
         {{75, 25}, {25, 75}},
         {{25, 25}, {75, 75}}},
        {"RestoreDC takes back the clip set after SaveDC",
         {left, MakeRecord(emr::SaveDC, {}), top, MakeRecord(emr::RestoreDC, {-1})},
         {{25, 75}},
         {{75, 25}}},
        {"offset", {left, MakeRecord(emr::OffsetClipRgn, {50, 0})}, {{75, 25}}, {{25, 25}}},
        {"the meta region bounds later clip regions",
         {left, MakeRecord(emr::SetMetaRgn, {}), top},
         {{25, 25}},
         {{75, 25}, {25, 75}}},
        {"removing the clip region keeps the meta region",
         {left, MakeRecord(emr::SetMetaRgn, {}), top, MakeRecord(emr::ExtSelectClipRgn, {0, gdi::RGN_COPY})},
         {{25, 25}, {25, 75}},
         {{75, 25}}},
        {"RestoreDC takes back a meta region set after SaveDC",
         {MakeRecord(emr::SaveDC, {}), left, MakeRecord(emr::SetMetaRgn, {}), MakeRecord(emr::RestoreDC, {-1})},
         {{25, 25}, {75, 25}},
         {}},
    };
    for (const Case& c : cases) {
        std::vector<Bytes> records = c.records;
        records.insert(records.end(), paint.begin(), paint.end());
        PlaybackReport report;
        const QImage image = PageRenderer::RenderImage(Metafile(MakeMetafile(records)), QSize(100, 100), &report);
        EXPECT_EQ(report.SkippedCount(), 0) << c.name;
        for (const QPoint& p : c.inked)
            EXPECT_TRUE(Inked(image, p.x(), p.y())) << c.name << " at " << p.x() << ", " << p.y();
        for (const QPoint& p : c.blank)
            EXPECT_FALSE(Inked(image, p.x(), p.y())) << c.name << " at " << p.x() << ", " << p.y();
    }
}
