// Pictures whose bitmaps and brushes once made the player decode, keep or recolour far more
// pixels than a page shows. Each is a fixture written by tests/fixtures/pictures/make-bitmap-pictures.py.

#include "metafile/GdiConstants.h"
#include "render/PageRenderer.h"
#include "support/MemoryCap.h"
#include "support/TestSupport.h"

#include <QImage>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

using namespace tarvolo;
using namespace tarvolo::emf;

namespace {

// A page of these draws in a fraction of a second in a release build; sanitizers and unoptimised
// builds are many times slower.
#if defined(__SANITIZE_ADDRESS__)
constexpr double kSlowdown = 15;
#elif !defined(NDEBUG)
constexpr double kSlowdown = 5;
#else
constexpr double kSlowdown = 1;
#endif
// A safety net against a hang, ten times what a picture takes on a busy machine: speed is measured
// by the benchmarks.
constexpr double kSecondsAllowed = 10.0 * kSlowdown;
// The 605 x 454 page itself needs about a megabyte; this leaves room for Qt and nothing like the
// gigabytes the pictures once took. What the process holds at its peak may grow by a few images
// of the page's size, no more. (AddressSanitizer holds freed memory back, so it is not measured there.)
constexpr std::size_t kExtraMegabytes = 400;
constexpr double kPeakGrowthMegabytes = 64;

const QRgb kGreen = qRgb(0, 128, 0);
const QRgb kWhite = qRgb(255, 255, 255);

struct Drawn {
    QImage image;
    PlaybackReport report;
};

// The fixture drawn at 96 dpi, within the time and memory allowed.
Drawn DrawBounded(const char* name)
{
    const Metafile page(test::ReadFileBytes(std::filesystem::path(TARVOLO_FIXTURE_DIR) / "pictures" / name));
    Drawn drawn;
    [[maybe_unused]] const double peakBefore = test::PeakResidentMegabytes();
    const auto start = std::chrono::steady_clock::now();
    {
        const test::MemoryCap cap(kExtraMegabytes);
        drawn.image = PageRenderer::RenderImage(page, PageRenderer::SizeAtDpi(page, 96), &drawn.report);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, kSecondsAllowed) << name;
#if !defined(__SANITIZE_ADDRESS__)
    // A peak reached by an earlier test hides growth here, but never makes this fail wrongly.
    EXPECT_LT(test::PeakResidentMegabytes() - peakBefore, kPeakGrowthMegabytes) << name;
#endif
    EXPECT_FALSE(drawn.report.damaged) << name;
    EXPECT_EQ(drawn.image.size(), QSize(605, 454)) << name;
    return drawn;
}

// Everything written to the process's standard error (the file descriptor, as C libraries write
// it) while it lives.
class StandardErrorCapture {
public:
    StandardErrorCapture() : file_(std::tmpfile())
    {
        std::fflush(stderr);
        saved_ = dup(2);
        dup2(fileno(file_), 2);
    }
    ~StandardErrorCapture()
    {
        Restore();
        std::fclose(file_);
    }
    StandardErrorCapture(const StandardErrorCapture&) = delete;
    StandardErrorCapture& operator=(const StandardErrorCapture&) = delete;

    std::string Text()
    {
        Restore();
        std::string text;
        std::rewind(file_);
        for (int c; (c = std::fgetc(file_)) != EOF;)
            text.push_back(static_cast<char>(c));
        return text;
    }

private:
    void Restore()
    {
        if (saved_ < 0)
            return;
        std::fflush(stderr);
        dup2(saved_, 2);
        close(saved_);
        saved_ = -1;
    }

    std::FILE* file_;
    int saved_ = -1;
};

} // namespace

TEST(HostileBitmaps, PatternBrushesOfHugeRleBitmapsKeepOnlyATile)
{
    // Forty brushes of 2^25-pixel bitmaps from a few hundred bytes each, all alive at once.
    const Drawn drawn = DrawBounded("ManyRlePatternBrushes.emf");
    EXPECT_EQ(drawn.report.SkippedCount(), 0);
    for (int i = 0; i < 40; ++i) {
        const int x = 40 + 70 * (i % 8), y = 40 + 70 * (i / 8);
        EXPECT_EQ(drawn.image.pixel(x, y), kGreen) << "square " << i << " is filled with its brush";
    }
}

TEST(HostileBitmaps, HugeRleBlitsStopAtThePlaybacksPixelBudget)
{
    // Two hundred page-sized blits of 2^25-pixel bitmaps from 260 bytes each.
    const Drawn drawn = DrawBounded("ManyRleStretchDIBits.emf");
    const auto skipped = drawn.report.skippedRecords.find(emr::StretchDIBits);
    ASSERT_NE(skipped, drawn.report.skippedRecords.end()) << "blits beyond the budget are reported";
    EXPECT_GT(skipped->second, 0);
    EXPECT_LT(skipped->second, 200) << "the blits within the budget are drawn";
    EXPECT_EQ(drawn.image.pixel(9, 450), kGreen);
    EXPECT_EQ(drawn.image.pixel(300, 200), kWhite);
}

TEST(HostileBitmaps, HugeDestinationsDecodeOnlyWhatShows)
{
    // Ten 2^25-pixel bitmaps stretched fifty times past the page: a corner of each shows.
    const Drawn drawn = DrawBounded("HugeDestinationBitmaps.emf");
    EXPECT_EQ(drawn.report.SkippedCount(), 0);
    for (const QPoint p : {QPoint(5, 5), QPoint(300, 200), QPoint(600, 450)})
        EXPECT_EQ(drawn.image.pixel(p), qRgb(180, 100, 200)) << "the last bitmap covers the page at " << p.x() << "," << p.y();
}

TEST(HostileBitmaps, LargeMonochromeBrushIsRecolouredOncePerColours)
{
    // One 512 x 1024 monochrome brush fills 400 boxes, the text colour changing for each.
    const Drawn drawn = DrawBounded("LargeMonochromeBrush.emf");
    EXPECT_EQ(drawn.report.SkippedCount(), 0);
    for (const int i : {0, 1, 398, 399}) {
        const int x = (10 + 29 * (i % 20) + 12) | 1, y = 10 + 22 * (i / 20) + 10;
        const QRgb text = i % 2 ? qRgb(255, 0, 0) : qRgb(0, 0, 255);
        EXPECT_EQ(drawn.image.pixel(x, y), text) << "box " << i << ": 0 bits take the text colour";
        EXPECT_EQ(drawn.image.pixel(x + 1, y), kWhite) << "box " << i << ": 1 bits take the background colour";
    }
}

TEST(HostileBitmaps, SrcInvertBlitsWaitingForAPartnerAreBounded)
{
    // Twenty-five page-sized SRCINVERT blits of 2^25-pixel bitmaps, none of which pairs up: each
    // paints its own band, inverted, and all of them show.
    const Drawn drawn = DrawBounded("RepeatedSrcInvert.emf");
    EXPECT_EQ(drawn.report.SkippedCount(), 0);
    for (int band = 0; band < 25; ++band) {
        const int y = 454 * (4032 - 128 * band) / 4096;
        EXPECT_EQ(drawn.image.pixel(8, y), qRgb(255, 127, 255)) << "band " << band;
    }
    EXPECT_EQ(drawn.image.pixel(300, 100), kWhite);
}

TEST(HostileBitmaps, DamagedEmbeddedImagesAreReportedNotPrinted)
{
    // Four damaged PNGs (a stray byte before IEND, a broken CRC, data that refers back before its
    // start, a wrong checksum), a damaged JPEG, then a sound 2 x 2 red PNG.
    StandardErrorCapture standardError;
    const Drawn drawn = DrawBounded("DamagedEmbeddedPng.emf");
    EXPECT_EQ(standardError.Text(), "");
    EXPECT_EQ(drawn.report.skippedRecords.count(emr::StretchDIBits) ? drawn.report.skippedRecords.at(emr::StretchDIBits) : 0, 5);
    EXPECT_EQ(drawn.image.pixel(225, 25), qRgb(255, 0, 0)) << "the sound PNG is drawn";
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(drawn.image.pixel(25 + 40 * i, 25), kWhite) << "damaged image " << i << " draws nothing";
}

TEST(HostileBitmaps, SoundEmbeddedPngsOfEveryKindStillDraw)
{
    // The checks that keep damaged PNG data from the PNG library must let every sound one through:
    // each colour type and depth, interlaced or not, compressed every way, split over many chunks.
    StandardErrorCapture standardError;
    const Drawn drawn = DrawBounded("SoundEmbeddedPngs.emf");
    EXPECT_EQ(standardError.Text(), "");
    EXPECT_EQ(drawn.report.SkippedCount(), 0);
    for (int cell = 0; cell < 30; ++cell) {
        const QRect box(10 + 40 * (cell % 15), 10 + 40 * (cell / 15), 30, 30);
        int inked = 0;
        for (int y = box.top() + 2; y < box.bottom() - 2; ++y)
            for (int x = box.left() + 2; x < box.right() - 2; ++x)
                inked += drawn.image.pixel(x, y) != kWhite;
        EXPECT_GT(inked, 100) << "cell " << cell << " is drawn";
    }
}
