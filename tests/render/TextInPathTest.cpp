#include "metafile/GdiConstants.h"
#include "render/PageRenderer.h"
#include "support/InkComparison.h"
#include "support/MemoryCap.h"
#include "support/TestSupport.h"

#include <QImage>
#include <QString>

#include <gtest/gtest.h>

#include <bit>
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
using tarvolo::test::RecordBuilder;
namespace fs = std::filesystem;

// Text in a path bracket adds its glyph outlines to the path, where and as the text would be drawn.

namespace {

QImage DrawPicture(const std::string& name)
{
    const Metafile page(test::ReadFileBytes(fs::path(TARVOLO_FIXTURE_DIR) / "pictures" / name));
    return PageRenderer::RenderImage(page, PageRenderer::SizeAtDpi(page, 96), nullptr);
}

using ColourTest = std::function<bool(QRgb)>;
const ColourTest kRed = [](QRgb c) { return qRed(c) > 160 && qGreen(c) < 100 && qBlue(c) < 100; };
const ColourTest kBlue = [](QRgb c) { return qBlue(c) > 160 && qRed(c) < 100 && qGreen(c) < 100; };
const ColourTest kGreen = [](QRgb c) { return qGreen(c) > 160 && qRed(c) < 100 && qBlue(c) < 100; };

// Black where the image has the colour, white elsewhere, for InkComparison.
QImage Mask(const QImage& image, const ColourTest& colour)
{
    QImage mask(image.size(), QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            mask.setPixel(x, y, colour(image.pixel(x, y)) ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    return mask;
}

int Count(const QImage& image, const ColourTest& colour, const std::function<bool(int, int)>& where)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += where(x, y) && colour(image.pixel(x, y));
    return count;
}

QRect Box(const QImage& image, const ColourTest& colour)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (colour(image.pixel(x, y)))
                box = box.united(QRect(x, y, 1, 1));
    return box;
}

Bytes Font(std::int32_t height, std::int32_t escapement)
{
    Bytes face;
    for (QChar c : QString("Arial").leftJustified(32, QChar(0))) {
        face.push_back(static_cast<std::uint8_t>(c.unicode()));
        face.push_back(0);
    }
    return RecordBuilder(emr::ExtCreateFontIndirectW)
        .U32(1).I32(height).I32(0).I32(escapement).I32(escapement).I32(700).U32(0).U32(0)
        .Raw(face)
        .Build();
}

Bytes ExtTextOutW(QPoint at, const QString& text, const std::vector<std::int32_t>& dx, std::uint32_t options, QRect box)
{
    constexpr std::uint32_t kOffString = 76;
    Bytes string;
    for (QChar c : text) {
        string.push_back(static_cast<std::uint8_t>(c.unicode()));
        string.push_back(static_cast<std::uint8_t>(c.unicode() >> 8));
    }
    string.resize((string.size() + 3) / 4 * 4);
    RecordBuilder record(emr::ExtTextOutW);
    record.I32(0).I32(0).I32(-1).I32(-1).U32(gdi::GM_COMPATIBLE).U32(std::bit_cast<std::uint32_t>(1.0f))
        .U32(std::bit_cast<std::uint32_t>(1.0f))
        .I32(at.x()).I32(at.y()).U32(static_cast<std::uint32_t>(text.size())).U32(kOffString).U32(options)
        .I32(box.left()).I32(box.top()).I32(box.right() + 1).I32(box.bottom() + 1)
        .U32(dx.empty() ? 0 : kOffString + static_cast<std::uint32_t>(string.size()))
        .Raw(string);
    for (std::int32_t d : dx)
        record.I32(d);
    return record.Build();
}

} // namespace

TEST(TextInPath, StrokedTextOutlinesTheLettersWithoutFillingThem)
{
    const QImage drawn = DrawPicture("TextDrawn.emf");
    const QImage outlined = DrawPicture("TextOutlinedInAPath.emf");
    const QRect letters = Box(drawn, kBlue);
    ASSERT_GT(letters.width(), 150);
    const QRect near = letters.adjusted(-3, -3, 3, 3);

    EXPECT_GT(Count(outlined, kRed, [&](int x, int y) { return near.contains(x, y); }), 1000);
    EXPECT_EQ(Count(outlined, kRed, [&](int x, int y) { return !near.contains(x, y); }), 0);
    EXPECT_EQ(Count(outlined, kBlue, [](int, int) { return true; }), 0);
    // The strokes of the bold letters are far wider than the pen: their middles stay white.
    const int inside = Count(drawn, kBlue, [](int, int) { return true; });
    const int hollow = Count(drawn, kBlue, [&](int x, int y) { return outlined.pixel(x, y) == qRgb(255, 255, 255); });
    EXPECT_GT(hollow, inside / 3);
}

TEST(TextInPath, FilledOrClippingTextCoversWhatTheDrawnTextCovers)
{
    const QImage drawn = Mask(DrawPicture("TextDrawn.emf"), kBlue);
    struct Case {
        const char* picture;
        ColourTest colour;
    };
    for (const Case& c : {Case{"TextFilledInAPath.emf", kBlue}, Case{"TextAsTheClipPath.emf", kGreen}}) {
        SCOPED_TRACE(c.picture);
        const QImage painted = Mask(DrawPicture(c.picture), c.colour);
        const auto ink = test::InkComparison::Compare(drawn, painted);
        EXPECT_GT(ink.recall, 0.97);
        EXPECT_GT(ink.precision, 0.97);
        // Nothing outside the letters' box, whatever the share.
        const QRect near = Box(drawn, [](QRgb p) { return qGray(p) < 128; }).adjusted(-2, -2, 2, 2);
        EXPECT_EQ(Count(painted, [](QRgb p) { return qGray(p) < 128; },
                        [&](int x, int y) { return !near.contains(x, y); }),
                  0);
    }
}

TEST(TextInPath, OutlinesArePlacedAsTheTextWouldBeDrawn)
{
    struct Case {
        const char* name;
        std::uint32_t align;
        std::int32_t escapement;
        QPoint at;
        std::vector<std::int32_t> dx;
        std::uint32_t pathOptions; // added to the text in the path only
    };
    const QRect page(0, 0, 100, 100);
    const Case cases[] = {
        {"top left", gdi::TA_TOP | gdi::TA_LEFT, 0, {10, 20}, {}, 0},
        {"baseline centre", gdi::TA_BASELINE | gdi::TA_CENTER, 0, {50, 60}, {}, 0},
        {"bottom right", gdi::TA_BOTTOM | gdi::TA_RIGHT, 0, {95, 90}, {}, 0},
        {"turned a quarter", gdi::TA_BASELINE, 900, {60, 95}, {}, 0},
        {"spread by advances", gdi::TA_TOP, 0, {5, 30}, {40, 40}, 0},
        {"from the current position", gdi::TA_TOP | gdi::TA_UPDATECP, 0, {0, 0}, {}, 0},
        {"with an opaque clipping box", gdi::TA_TOP, 0, {10, 20}, {}, gdi::ETO_OPAQUE | gdi::ETO_CLIPPED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto text = [&](std::uint32_t options) {
            std::vector<Bytes> records = {MakeRecord(emr::SetBkColor, {0}), MakeRecord(emr::SetBkMode, {gdi::TRANSPARENT}),
                                          Font(-30, c.escapement), MakeRecord(emr::SelectObject, {1}),
                                          MakeRecord(emr::SetTextAlign, {c.align}), MakeRecord(emr::MoveToEx, {10, 40})};
            // With the current position in use the second run starts where the first ends.
            for (const QString& run : c.align & gdi::TA_UPDATECP ? QStringList{"W", "I"} : QStringList{"WI"})
                records.push_back(ExtTextOutW(c.at, run, c.dx, options, page));
            return records;
        };
        const QImage drawn = PageRenderer::RenderImage(Metafile(MakeMetafile(text(0))), page.size(), nullptr);

        std::vector<Bytes> path = {MakeRecord(emr::BeginPath, {})};
        for (const Bytes& r : text(c.pathOptions))
            path.push_back(r);
        const QImage atTextTime = PageRenderer::RenderImage(Metafile(MakeMetafile(path)), page.size(), nullptr);
        path.push_back(MakeRecord(emr::EndPath, {}));
        path.push_back(MakeRecord(emr::SelectObject, {gdi::BLACK_BRUSH}));
        path.push_back(MakeRecord(emr::FillPath, {0, 0, 100, 100}));
        const QImage filled = PageRenderer::RenderImage(Metafile(MakeMetafile(path)), page.size(), nullptr);

        const auto ink = test::InkComparison::Compare(drawn, filled);
        EXPECT_GT(Box(drawn, [](QRgb p) { return qGray(p) < 128; }).width(), 15);
        EXPECT_GT(ink.recall, 0.95);
        EXPECT_GT(ink.precision, 0.95);
        EXPECT_EQ(Box(atTextTime, [](QRgb p) { return p != qRgb(255, 255, 255); }), QRect()) << "painted inside the bracket";
    }
}

// A text record of hundreds of thousands of glyphs inside a path stays within the path's bound:
// its outlines stop joining the path, and playback goes on in bounded time and memory.
TEST(TextInPath, AHugeRunOfGlyphsDoesNotGrowThePathWithoutBound)
{
#if defined(__SANITIZE_ADDRESS__)
    constexpr double kSeconds = 200;
#else
    constexpr double kSeconds = 20;
#endif
    const QRect page(0, 0, 400, 400);
    const Bytes picture = MakeMetafile({MakeRecord(emr::BeginPath, {}), ExtTextOutW(QPoint(0, 100), QString(300000, 'W'), {}, 0, page),
                                        MakeRecord(emr::EndPath, {}), MakeRecord(emr::SelectObject, {gdi::BLACK_BRUSH}),
                                        MakeRecord(emr::FillPath, {0, 0, 400, 400}), MakeRecord(emr::Rectangle, {10, 10, 50, 50})});
    const Metafile metafile(picture);
    test::MemoryCap cap(400);
    const auto start = std::chrono::steady_clock::now();
    const QImage image = PageRenderer::RenderImage(metafile, PageRenderer::SizeAtDpi(metafile, 96));
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), kSeconds);
    EXPECT_LT(qGray(image.pixel(30, 30)), 128) << "playback goes on after the text";
}
