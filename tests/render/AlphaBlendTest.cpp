// Icons alpha-blended with their own per-pixel alpha must show the page through their transparent
// parts, not a black box. Each picture is a fixture written by
// tests/fixtures/pictures/make-alphablend-pictures.py: a white page with a red band left of x = 140,
// and over the band's edge a 16 x 16 design icon (opaque blue disc, half-transparent blue ring,
// clear corners) in one of the forms such icons come in.

#include "render/PageRenderer.h"
#include "support/TestSupport.h"

#include <QImage>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>

using namespace tarvolo;
using namespace tarvolo::emf;

namespace {

const QRgb kRed = qRgb(255, 0, 0);
const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kBlue = qRgb(0, 0, 255);
constexpr int kRedRight = 140;

struct Picture {
    const char* fixture;
    QRect dest;     // the icon's box on the 96-dpi page
    bool iconShows; // false: alpha is zero everywhere, so the page shows through all of it
};

const Picture kPictures[] = {
    {"AlphaBlendIconWithPerPixelAlpha.emf", QRect(100, 100, 160, 160), true},
    {"AlphaBlendBitfieldsIconWithPerPixelAlpha.emf", QRect(100, 100, 160, 160), true},
    {"AlphaBlendIconShrunk.emf", QRect(100, 100, 64, 64), true},
    {"AlphaBlendPartOfIconStrip.emf", QRect(100, 100, 160, 160), true},
    // The ring's blue is one above its alpha: on white it must saturate, not carry into green.
    {"AlphaBlendIconWithColourAboveAlpha.emf", QRect(100, 100, 160, 160), true},
    // The disc adds its blue to white paper, which stays white.
    {"AlphaBlendWithAlphaZeroEverywhere.emf", QRect(100, 100, 160, 160), false},
};

enum class Part { Clear, Ring, Disc };

// Points in the middle of 2 x 2 design units that are all of one part of the icon.
struct Probe {
    const char* name;
    double u, v;
    Part part;
};

const Probe kProbes[] = {
    {"top left corner", 1, 1, Part::Clear},    {"top right corner", 15, 1, Part::Clear},
    {"bottom left corner", 1, 15, Part::Clear}, {"bottom right corner", 15, 15, Part::Clear},
    {"ring on the left", 2, 8, Part::Ring},     {"ring on the right", 14, 8, Part::Ring},
    {"disc", 8, 8, Part::Disc},
};

// What GDI gives: the premultiplied source plus what is under it times one minus its alpha.
QRgb Expected(Part part, QRgb under)
{
    switch (part) {
    case Part::Disc: return kBlue;
    case Part::Ring: {
        auto over = [](int source, int destination) { return source + (destination * 127 + 127) / 255; };
        return qRgb(over(0, qRed(under)), over(0, qGreen(under)), over(128, qBlue(under)));
    }
    case Part::Clear: break;
    }
    return under;
}

bool Near(QRgb a, QRgb b)
{
    return std::abs(qRed(a) - qRed(b)) <= 3 && std::abs(qGreen(a) - qGreen(b)) <= 3 && std::abs(qBlue(a) - qBlue(b)) <= 3;
}

struct Colour {
    QRgb rgb;
};

std::ostream& operator<<(std::ostream& out, Colour c)
{
    return out << '(' << qRed(c.rgb) << ", " << qGreen(c.rgb) << ", " << qBlue(c.rgb) << ')';
}

void PrintTo(const Picture& picture, std::ostream* out)
{
    *out << picture.fixture;
}

class AlphaBlendTest : public testing::TestWithParam<Picture> {};

TEST_P(AlphaBlendTest, TransparentPartsShowThePageAndTheRingBlendsWithIt)
{
    const Picture& picture = GetParam();
    const Metafile page(test::ReadFileBytes(std::filesystem::path(TARVOLO_FIXTURE_DIR) / "pictures" / picture.fixture));
    PlaybackReport report;
    const QImage image = PageRenderer::RenderImage(page, PageRenderer::SizeAtDpi(page, 96), &report);
    ASSERT_EQ(image.size(), QSize(605, 454));
    EXPECT_FALSE(report.damaged);
    EXPECT_EQ(report.SkippedCount(), 0);

    for (const Probe& probe : kProbes) {
        const int x = picture.dest.x() + static_cast<int>(probe.u * picture.dest.width() / 16);
        const int y = picture.dest.y() + static_cast<int>(probe.v * picture.dest.height() / 16);
        const QRgb under = x < kRedRight ? kRed : kWhite;
        const QRgb expected = picture.iconShows ? Expected(probe.part, under) : under;
        const QRgb drawn = image.pixel(x, y);
        EXPECT_TRUE(Near(drawn, expected)) << probe.name << " at " << x << ", " << y << ": " << Colour{drawn}
                                           << " instead of " << Colour{expected};
    }

    // Nothing in or around the icon is dark: no box, no rim, no dots.
    int dark = 0;
    const QRect around = picture.dest.adjusted(-2, -2, 2, 2);
    for (int y = around.top(); y <= around.bottom(); ++y)
        for (int x = around.left(); x <= around.right(); ++x)
            dark += qMax(qMax(qRed(image.pixel(x, y)), qGreen(image.pixel(x, y))), qBlue(image.pixel(x, y))) < 100;
    EXPECT_EQ(dark, 0);
}

INSTANTIATE_TEST_SUITE_P(Icons, AlphaBlendTest, testing::ValuesIn(kPictures), [](const testing::TestParamInfo<Picture>& info) {
    std::string name = info.param.fixture;
    return name.substr(0, name.find('.'));
});

} // namespace
