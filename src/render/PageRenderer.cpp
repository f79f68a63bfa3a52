#include "PageRenderer.h"

#include "PagePrefetch.h"

#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <thread>

namespace tarvolo::emf {

namespace {

constexpr int kMaxImageSide = 20000;
// Below this many pixels a page is drawn in one pass: starting threads would cost more.
constexpr qint64 kBandedImagePixels = 1'000'000;
constexpr int kPdfResolution = 1200;
// Pages the PDF writer's prefetch holds ready at most: a few megabytes, whatever the report.
constexpr std::size_t kPdfPagesAhead = 8;

QSizeF FrameMillimetres(const Metafile& page)
{
    const EmfRect& frame = page.Header().rclFrame;
    return QSizeF((static_cast<double>(frame.right) - frame.left) / 100.0, (static_cast<double>(frame.bottom) - frame.top) / 100.0);
}

} // namespace

QSize PageRenderer::SizeAtDpi(const Metafile& page, double dpi)
{
    const QSizeF mm = FrameMillimetres(page);
    return QSize(static_cast<int>(std::floor(mm.width() / 25.4 * dpi + 0.5)), static_cast<int>(std::floor(mm.height() / 25.4 * dpi + 0.5)));
}

QImage PageRenderer::RenderImage(const Metafile& page, QSize size, PlaybackReport* report, Cores cores)
{
    if (size.width() <= 0 || size.height() <= 0 || size.width() > kMaxImageSide || size.height() > kMaxImageSide)
        throw std::runtime_error("image size out of range");
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull())
        throw std::runtime_error("not enough memory for the image");

    const int available = cores == Cores::One ? 1 : static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 16u));
    const int bands = static_cast<qint64>(size.width()) * size.height() < kBandedImagePixels ? 1 : std::min(available, size.height());
    std::vector<PlaybackReport> results(static_cast<std::size_t>(bands));
    auto drawBand = [&](int band) {
        const int top = size.height() * band / bands, bottom = size.height() * (band + 1) / bands;
        // A view onto the band's rows of the image: the band draws straight into it.
        QImage rows(image.scanLine(top), size.width(), bottom - top, image.bytesPerLine(), image.format());
        results[static_cast<std::size_t>(band)] = RenderTile(page, size, QRect(0, top, size.width(), bottom - top), rows);
    };
    {
        std::vector<std::jthread> helpers;
        for (int band = 1; band < bands; ++band)
            helpers.emplace_back(drawBand, band);
        drawBand(0);
    }
    if (report)
        *report = results.front(); // every band plays the same records
    return image;
}

PlaybackReport PageRenderer::RenderTile(const Metafile& page, QSize pageSize, QRect tile, QImage& image)
{
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.translate(-tile.topLeft());
    return EmfPlayer::Play(page, painter, QRectF(QPointF(0, 0), QSizeF(pageSize)));
}

void PageRenderer::WritePdf(const std::vector<Metafile>& pages, QIODevice& output, const QString& title)
{
    WritePdf(static_cast<int>(pages.size()), [&pages](int n) { return std::make_unique<Metafile>(pages[static_cast<std::size_t>(n - 1)]); },
             output, title);
}

void PageRenderer::WritePdf(int pageCount, const PageFetcher& page, QIODevice& output, const QString& title)
{
    QPdfWriter writer(&output);
    writer.setTitle(title);
    writer.setCreator("Tarvolo");
    writer.setResolution(kPdfResolution);
    QPainter painter;
    // The writer is sequential: the pages are read and decoded ahead on a thread of their own
    // while it draws, so the fetcher must be callable from another thread.
    PagePrefetch prefetch(page, 1, pageCount, kPdfPagesAhead);
    for (int n = 1; n <= pageCount; ++n) {
        const std::unique_ptr<Metafile> metafile = prefetch.Next();
        QSizeF mm = metafile ? FrameMillimetres(*metafile) : QSizeF();
        if (!(mm.width() > 0) || !(mm.height() > 0))
            mm = QSizeF(210, 297);
        writer.setPageSize(QPageSize(mm, QPageSize::Millimeter));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        if (n == 1) {
            if (!painter.begin(&writer))
                throw std::runtime_error("Cannot write the PDF");
        } else {
            writer.newPage();
        }
        if (metafile)
            EmfPlayer::Play(*metafile, painter, QRectF(0, 0, mm.width() / 25.4 * kPdfResolution, mm.height() / 25.4 * kPdfResolution));
    }
    if (painter.isActive() && !painter.end())
        throw std::runtime_error("Cannot write the PDF");
}

} // namespace tarvolo::emf
