#include "render/PageRenderer.h"
#include "support/InkComparison.h"
#include "support/TestSupport.h"

#include <QImage>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <string>
#include <vector>

using namespace tarvolo::emf;
using tarvolo::test::MisplacedPixels;
namespace fs = std::filesystem;

// A page drawn in pieces (tiles of the preview, bands on several cores) is the page drawn in one
// pass, pixel for pixel.

namespace {

Metafile LoadPicture(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return Metafile(std::move(bytes));
}

// Hatches, pattern brushes, clipping, bitmaps and text, and a report page.
const char* const kPictures[] = {
    "corpus/emf-external/test-039.emf", // hatch and pattern brushes, clip regions, bitmaps
    "corpus/emf-external/test-013.emf", // clipping and blits
    "corpus/emf-external/test-087.emf", // pattern brushes
    "corpus/emf-external/test-041.emf", // stretched bitmaps
    "corpus/emf-external/EA-test-file-006.emf",
    "oracle/pages/long_0003.emf",
};

QImage OnePass(const Metafile& page, QSize size)
{
    QImage whole(size, QImage::Format_RGB32);
    PageRenderer::RenderTile(page, size, QRect(QPoint(0, 0), size), whole);
    return whole;
}


} // namespace

TEST(PageRenderer, TilesJoinIntoThePageDrawnInOnePass)
{
    for (const char* name : kPictures) {
        SCOPED_TRACE(name);
        const Metafile page = LoadPicture(tarvolo::test::SharedDir() / name);
        const QSize size = PageRenderer::SizeAtDpi(page, 96 * 1.5);
        const QImage whole = OnePass(page, size);

        // Odd tile sizes, so that tile edges fall inside patterns, glyphs and bitmaps.
        QImage joined(size, QImage::Format_RGB32);
        const QSize tileSize(157, 203);
        for (int top = 0; top < size.height(); top += tileSize.height())
            for (int left = 0; left < size.width(); left += tileSize.width()) {
                const QRect tile = QRect(QPoint(left, top), tileSize).intersected(QRect(QPoint(0, 0), size));
                QImage image(tile.size(), QImage::Format_RGB32);
                PageRenderer::RenderTile(page, size, tile, image);
                for (int y = 0; y < tile.height(); ++y)
                    std::copy_n(image.constScanLine(y), tile.width() * 4, joined.scanLine(tile.top() + y) + tile.left() * 4);
            }
        // Qt smooths a scaled bitmap up to the edge of what it draws, so a few pixels of a bitmap
        // cut by a tile's edge may differ; anything more is a seam.
        EXPECT_LE(MisplacedPixels(joined, whole), 16);
    }
}

TEST(PageRenderer, ALargeImageDrawnInBandsIsTheImageOfOnePass)
{
    const Metafile page = LoadPicture(tarvolo::test::SharedDir() / "corpus/emf-external/test-039.emf");
    const QSize size = PageRenderer::SizeAtDpi(page, 300);
    ASSERT_GT(static_cast<qint64>(size.width()) * size.height(), 1'000'000);
    PlaybackReport report;
    const QImage banded = PageRenderer::RenderImage(page, size, &report);
    EXPECT_EQ(MisplacedPixels(banded, OnePass(page, size)), 0);
    EXPECT_GT(report.recordsPlayed, 0);
}

// Fonts and their glyph caches belong to one thread: pages drawn at once on several threads come
// out as when drawn alone.
TEST(PageRenderer, PagesDrawnAtOnceOnSeveralThreadsAreTheirImagesDrawnAlone)
{
    std::vector<Metafile> pages;
    for (const char* name : kPictures)
        pages.push_back(LoadPicture(tarvolo::test::SharedDir() / name));
    std::vector<QImage> alone;
    for (const Metafile& page : pages)
        alone.push_back(OnePass(page, PageRenderer::SizeAtDpi(page, 96)));

    std::vector<std::future<std::vector<QImage>>> threads;
    for (int t = 0; t < 4; ++t)
        threads.push_back(std::async(std::launch::async, [&pages] {
            std::vector<QImage> drawn;
            for (const Metafile& page : pages)
                drawn.push_back(OnePass(page, PageRenderer::SizeAtDpi(page, 96)));
            return drawn;
        }));
    for (auto& thread : threads) {
        const std::vector<QImage> drawn = thread.get();
        for (std::size_t i = 0; i < pages.size(); ++i)
            EXPECT_TRUE(drawn[i] == alone[i]) << kPictures[i];
    }
}
