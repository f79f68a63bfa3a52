#include "PageRenderer.h"

#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <cmath>
#include <stdexcept>

namespace tarvolo::emf {

namespace {

constexpr int kMaxImageSide = 20000;
constexpr int kPdfResolution = 1200;

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

QImage PageRenderer::RenderImage(const Metafile& page, QSize size, PlaybackReport* report)
{
    if (size.width() <= 0 || size.height() <= 0 || size.width() > kMaxImageSide || size.height() > kMaxImageSide)
        throw std::runtime_error("image size out of range");
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull())
        throw std::runtime_error("not enough memory for the image");
    image.fill(Qt::white);
    QPainter painter(&image);
    const PlaybackReport result = EmfPlayer::Play(page, painter, QRectF(QPointF(0, 0), QSizeF(size)));
    if (report)
        *report = result;
    return image;
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
    for (int n = 1; n <= pageCount; ++n) {
        const std::unique_ptr<Metafile> metafile = page(n);
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
