// The commands that draw pages: render, render-emf, pdf, text and thumbnail.

#include "Commands.h"

#include "docstore/ReportDocument.h"
#include "render/PagePrefetch.h"
#include "render/PageRenderer.h"
#include "render/PageText.h"

#include <QBuffer>
#include <QImage>
#include <QSize>
#include <QSizeF>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>

namespace tarvolo::qrptool {

using docstore::ReportDocument;

namespace {

// The text layout works on this thread; decompressing and checking the next pages need not wait
// for it.
constexpr std::size_t kPagesAhead = 8;

// The options of the drawing commands: --page N or --pages A-B, --dpi D, --size WxH, -o OUT.
struct DrawOptions {
    std::vector<std::string> files;
    int page = 1;
    // --pages as ParsePageRange gives it, 0 standing for the first or last page.
    std::optional<std::pair<int, int>> pages;
    double dpi = 0;
    QSize size;
    std::string output;
};

DrawOptions ParseDrawOptions(Arguments args)
{
    DrawOptions options;
    bool onePage = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--page" && hasValue) {
            options.page = std::stoi(args[++i]);
            onePage = true;
        } else if (arg == "--pages" && hasValue) {
            options.pages = ParsePageRange(args[++i]);
        } else if (arg == "--dpi" && hasValue) {
            options.dpi = std::stod(args[++i]);
            if (!(options.dpi > 0 && options.dpi <= 2400))
                throw std::runtime_error("--dpi takes a resolution from 1 to 2400");
        } else if (arg == "--size" && hasValue) {
            int width = 0, height = 0;
            if (std::sscanf(args[++i].c_str(), "%dx%d", &width, &height) != 2)
                throw std::runtime_error("--size takes WIDTHxHEIGHT");
            options.size = QSize(width, height);
        } else if (arg == "-o" && hasValue) {
            options.output = args[++i];
        } else if (arg.starts_with("-")) {
            throw UsageError();
        } else {
            options.files.push_back(arg);
        }
    }
    if (options.files.size() != 1 || options.output.empty() || (onePage && options.pages))
        throw UsageError();
    return options;
}

QSize ImageSize(const emf::Metafile& page, const DrawOptions& options)
{
    if (options.dpi <= 0 && options.size.isEmpty())
        throw UsageError();
    return options.dpi > 0 ? emf::PageRenderer::SizeAtDpi(page, options.dpi) : options.size;
}

QByteArray EncodePng(const QImage& image)
{
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    if (!image.save(&png, "PNG"))
        throw std::runtime_error("the page could not be encoded as PNG");
    return png.data();
}

std::string DrawingLine(const std::string& output, QSize size, const emf::PlaybackReport& report)
{
    char line[64];
    std::snprintf(line, sizeof line, " %dx%d records=%d skipped=%d%s", size.width(), size.height(), report.recordsPlayed,
                  report.SkippedCount(), report.damaged ? " damaged" : "");
    return output + line;
}

int RenderPage(const emf::Metafile& page, const DrawOptions& options)
{
    const QSize size = ImageSize(page, options);
    emf::PlaybackReport report;
    const QImage image = emf::PageRenderer::RenderImage(page, size, &report);
    WriteWholeFile(options.output, EncodePng(image));
    std::printf("%s\n", DrawingLine(options.output, size, report).c_str());
    return 0;
}

// The name pattern with every %d replaced by the page number.
std::string PageFileName(const std::string& pattern, int n)
{
    std::string name = pattern;
    const std::string number = std::to_string(n);
    for (std::size_t at = name.find("%d"); at != std::string::npos; at = name.find("%d", at + number.size()))
        name.replace(at, 2, number);
    return name;
}

// Pages first..last, each into its own PNG, drawn on every core: each worker takes the next page
// number, fetches the page and draws and encodes it alone. The document serializes the fetches
// itself (they are cheap next to drawing). A failing page stops the workers from taking more and
// fails the command, naming the page.
int RenderPages(ReportDocument& report, int first, int last, const DrawOptions& options)
{
    const int count = last - first + 1;
    std::vector<std::string> lines(static_cast<std::size_t>(count));
    std::atomic<int> next = first;
    std::mutex failureLock;
    std::optional<std::pair<int, std::string>> failure; // the lowest page that failed, and why

    const auto drawPage = [&](int n) {
        const auto page = report.Page(n);
        if (!page)
            throw std::runtime_error("the report has no page " + std::to_string(n));
        const QSize size = ImageSize(*page, options);
        // One pass per page: the pages already keep every core busy, bands would only crowd them.
        emf::PlaybackReport played;
        const QImage image = emf::PageRenderer::RenderImage(*page, size, &played, emf::PageRenderer::Cores::One);
        const std::string output = PageFileName(options.output, n);
        WriteWholeFile(output, EncodePng(image));
        lines[static_cast<std::size_t>(n - first)] = DrawingLine(output, size, played);
    };
    const auto work = [&] {
        for (int n = next++; n <= last; n = next++) {
            try {
                drawPage(n);
            } catch (const std::exception& error) {
                next = last + 1;
                std::lock_guard lock(failureLock);
                if (!failure || n < failure->first)
                    failure.emplace(n, error.what());
            }
        }
    };
    {
        const int workers = std::min(count, static_cast<int>(std::max(std::thread::hardware_concurrency(), 1u)));
        std::vector<std::jthread> pool;
        for (int i = 0; i < workers; ++i)
            pool.emplace_back(work);
    }
    if (failure)
        throw std::runtime_error("page " + std::to_string(failure->first) + ": " + failure->second);
    for (const std::string& line : lines)
        std::printf("%s\n", line.c_str());
    return 0;
}

} // namespace

int Render(Arguments args)
{
    const DrawOptions options = ParseDrawOptions(args);
    if (options.pages && options.dpi <= 0 && options.size.isEmpty())
        throw UsageError();
    if (options.pages && options.output.find("%d") == std::string::npos)
        throw std::runtime_error("--pages writes one file per page: -o takes a name with %d for the page number");
    ReportDocument report;
    report.Open(options.files[0]);
    if (options.pages) {
        const int total = report.PageCount();
        const int first = options.pages->first == 0 ? 1 : options.pages->first;
        const int last = options.pages->second == 0 ? total : options.pages->second;
        if (last > total || first > total)
            throw std::runtime_error("the report has no page " + std::to_string(std::max(first, last)) + ": it has " +
                                     std::to_string(total));
        return RenderPages(report, first, last, options);
    }
    const auto page = report.Page(options.page);
    if (!page)
        throw std::runtime_error("the report has no page " + std::to_string(options.page));
    return RenderPage(*page, options);
}

int RenderEmf(Arguments args)
{
    const DrawOptions options = ParseDrawOptions(args);
    if (options.pages)
        throw UsageError();
    return RenderPage(emf::Metafile(ReadWholeFile(options.files[0])), options);
}

int Pdf(Arguments args)
{
    const DrawOptions options = ParseDrawOptions(args);
    if (options.pages)
        throw UsageError();
    ReportDocument report;
    report.Open(options.files[0]);
    const int pages = report.PageCount();
    if (pages == 0)
        throw std::runtime_error("the report has no pages");
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    // The writer reads the pages ahead on a thread of its own; the document serves any thread.
    emf::PageRenderer::WritePdf(pages, [&report](int n) { return report.Page(n); }, pdf,
                                QString::fromStdString(std::filesystem::path(options.files[0]).stem().string()));
    WriteWholeFile(options.output, pdf.data());
    std::printf("%d pages written to %s\n", pages, options.output.c_str());
    return 0;
}

// The text of each page laid out as drawn, each page followed by a form feed, as pdftotext -layout
// writes it.
int Text(Arguments args)
{
    std::string file;
    std::optional<int> only;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--page" && i + 1 < args.size()) {
            only = PositiveNumber(args[++i]);
            if (!only)
                throw std::runtime_error("--page takes a page number from 1");
        } else if (args[i].starts_with("-") || !file.empty()) {
            throw UsageError();
        } else {
            file = args[i];
        }
    }
    if (file.empty())
        throw UsageError();
    ReportDocument report;
    report.Open(file);
    const int total = report.PageCount();
    if (only && *only > total)
        throw std::runtime_error("the report has no page " + std::to_string(*only) + ": it has " + std::to_string(total));
    const auto write = [](const emf::Metafile& page) {
        const emf::PageText text(page, emf::PageRenderer::SizeAtDpi(page, 96));
        const QByteArray bytes = text.LayoutText().toUtf8();
        std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
        std::fputc('\f', stdout);
    };
    if (only) {
        write(*report.Page(*only));
        return 0;
    }
    emf::PagePrefetch prefetch([&report](int n) { return report.Page(n); }, 1, total, kPagesAhead);
    for (int n = 1; n <= total; ++n)
        write(*prefetch.Next());
    return 0;
}

// The first page as a PNG whose longer side is SIZE pixels, for the desktop's file managers.
int Thumbnail(Arguments args)
{
    constexpr int kLargestThumbnail = 4096;
    int side = 0;
    const std::string& sizeText = args[2];
    const auto [end, error] = std::from_chars(sizeText.data(), sizeText.data() + sizeText.size(), side);
    if (error != std::errc() || end != sizeText.data() + sizeText.size() || side < 1 || side > kLargestThumbnail)
        throw UsageError();
    ReportDocument report;
    report.Open(args[0]);
    const auto page = report.Page(1);
    if (!page)
        throw std::runtime_error("the report has no pages");
    // The page's own proportions, from its frame at any resolution.
    const QSizeF frame(emf::PageRenderer::SizeAtDpi(*page, 254));
    if (frame.isEmpty())
        throw std::runtime_error("the first page has no size");
    const double scale = side / std::max(frame.width(), frame.height());
    const QSize size(std::clamp(static_cast<int>(std::lround(frame.width() * scale)), 1, side),
                     std::clamp(static_cast<int>(std::lround(frame.height() * scale)), 1, side));
    WriteWholeFile(args[1], EncodePng(emf::PageRenderer::RenderImage(*page, size)));
    return 0;
}

} // namespace tarvolo::qrptool
