// qrptool: inspects, unpacks, packs and verifies report files from the command line.

#include "docstore/AtomicFileWriter.h"
#include "docstore/ReportDocument.h"
#include "docstore/ReportFileFormat.h"
#include "docstore/ReportVerifier.h"
#include "docstore/StreamErrors.h"
#include "render/PageRenderer.h"
#include "render/PageText.h"
#include "platform/NoPrinterDevice.h"
#include "platform/QtPrinterDevice.h"
#include "printing/TQRPrinter.h"
#include "SampleReport.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QPageSize>
#include <QPrinterInfo>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <csignal>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

using namespace tarvolo;
using namespace tarvolo::docstore;

constexpr const char* kUsage =
    "usage: qrptool info FILE | unpack FILE DIR | pack OUT.qrp [--compressed] PAGE.emf... | verify FILE"
    " | render FILE --page N (--dpi D | --size WxH) -o OUT.png"
    " | render FILE --pages A-B (--dpi D | --size WxH) -o OUT-%d.png | render-emf IN.emf (--dpi D | --size WxH) -o OUT.png"
    " | pdf FILE -o OUT.pdf | demo OUT.qrp [--pages N]"
    " | print FILE [--printer NAME] [--pages A-B] [--copies N] [--title T] | printers"
    " | thumbnail IN OUT SIZE | text FILE [--page N]";

class UsageError : public std::runtime_error {
public:
    UsageError() : std::runtime_error(kUsage) {}
};

std::vector<std::uint8_t> ReadWholeFile(const std::string& path)
{
    auto file = FileStream::OpenExisting(path, FileStream::Access::ReadOnly);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(file.Size()));
    file.ReadExact(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    return bytes;
}

// The file at path is replaced only once all of it is written: a failure or an interrupt leaves
// the old one.
void WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes)
{
    AtomicFileWriter writer(path);
    writer.Stream().WriteExact(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    writer.Commit();
}

void WriteWholeFile(const std::string& path, const QByteArray& bytes)
{
    WriteWholeFile(path, std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())));
}

const char* PaperName(printing::TQRPaperSize size)
{
    static const char* const names[] = {"Default", "Letter", "LetterSmall", "Tabloid", "Ledger", "Legal", "Statement",
                                        "Executive", "A3", "A4", "A4Small", "A5", "B4", "B5", "Folio", "Quarto",
                                        "qr10X14", "qr11X17", "Note", "Env9", "Env10", "Env11", "Env12", "Env14",
                                        "CSheet", "DSheet", "ESheet", "Custom"};
    return names[static_cast<int>(size)];
}

int Info(std::span<const std::string> args)
{
    if (args.size() != 1)
        throw UsageError();
    ReportDocument report;
    report.Open(args[0]);
    const HeaderRead header = report.Header();
    const auto createdAt = OleDateToIso8601(header.header.CreatedAt);
    // Paper and orientation as loading the report infers them from page 1, starting from A4 portrait.
    auto paper = printing::TQRPaperSize::A4;
    auto orientation = printing::TPrinterOrientation::poPortrait;
    if (report.PageCount() > 0) {
        const auto first = report.Page(1);
        if (const auto inferred = printing::InferPaper(first->Width(), first->Height())) {
            paper = inferred->first;
            orientation = inferred->second;
        }
    }
    const bool landscape = orientation == printing::TPrinterOrientation::poLandscape;
    const std::int32_t width = printing::TableWidth(paper), length = printing::TableLength(paper);
    std::printf("{\"pages\": %d, \"header_size\": %lld, \"compressed\": %s, \"created_at\": %s, \"file_size\": %lld, "
                "\"paper_size\": \"%s\", \"orientation\": \"%s\", \"sheet_width\": %d, \"sheet_length\": %d}\n",
                report.PageCount(), static_cast<long long>(header.size), report.PagesCompressed() ? "true" : "false",
                createdAt ? ("\"" + *createdAt + "\"").c_str() : "null", static_cast<long long>(report.Size()), PaperName(paper),
                landscape ? "poLandscape" : "poPortrait", landscape ? length : width, landscape ? width : length);
    return 0;
}

int Unpack(std::span<const std::string> args)
{
    if (args.size() != 2)
        throw UsageError();
    ReportDocument report;
    report.Open(args[0]);
    const std::filesystem::path folder(args[1]);
    std::filesystem::create_directories(folder);
    for (int n = 1; n <= report.PageCount(); ++n) {
        const auto page = report.Page(n);
        char name[32];
        std::snprintf(name, sizeof name, "page-%04d.emf", n);
        WriteWholeFile((folder / name).string(), page->Bytes());
    }
    std::printf("%d pages written to %s\n", report.PageCount(), folder.string().c_str());
    return 0;
}

int Pack(std::span<const std::string> args)
{
    if (args.empty())
        throw UsageError();
    bool compressed = false;
    for (const std::string& arg : args.subspan(1)) {
        if (arg == "--compressed")
            compressed = true;
        else if (arg.starts_with("--"))
            throw UsageError();
    }
    ReportDocument report;
    report.CreateNew(compressed);
    for (const std::string& arg : args.subspan(1)) {
        if (arg.starts_with("--"))
            continue;
        try {
            report.AppendPage(emf::Metafile(ReadWholeFile(arg)));
        } catch (const emf::EInvalidGraphic& error) {
            throw std::runtime_error(arg + ": " + error.what());
        }
    }
    report.Complete();
    report.SaveCopy(args[0]);
    std::printf("%d pages written to %s\n", report.PageCount(), args[0].c_str());
    return 0;
}

// A whole decimal number from 1 up, and nothing else: no sign, no spaces, no trailing text.
std::optional<int> PositiveNumber(std::string_view text)
{
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || text.front() == '-' || error != std::errc() || stop != end || value < 1)
        return std::nullopt;
    return value;
}

// The pages of --pages as the printer object takes them, 0 standing for the first or last page:
// "A-B", "A-" (A to the end), "-B" (the start to B) or a single "N".
std::pair<int, int> ParsePageRange(std::string_view text)
{
    const auto bad = [] { return std::runtime_error("--pages takes N, A-B, A- or -B, pages counted from 1 and A not after B"); };
    const std::size_t dash = text.find('-');
    if (dash == std::string_view::npos) {
        const auto page = PositiveNumber(text);
        if (!page)
            throw bad();
        return {*page, *page};
    }
    const std::string_view from = text.substr(0, dash), to = text.substr(dash + 1);
    if (from.empty() && to.empty())
        throw bad();
    const auto first = from.empty() ? std::optional(0) : PositiveNumber(from);
    const auto last = to.empty() ? std::optional(0) : PositiveNumber(to);
    if (!first || !last || (*last != 0 && *first > *last))
        throw bad();
    return {*first, *last};
}

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

DrawOptions ParseDrawOptions(std::span<const std::string> args)
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

int Render(std::span<const std::string> args)
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

int RenderEmf(std::span<const std::string> args)
{
    const DrawOptions options = ParseDrawOptions(args);
    if (options.pages)
        throw UsageError();
    return RenderPage(emf::Metafile(ReadWholeFile(options.files[0])), options);
}

// Pages 1, 2, ... fetched on a thread of its own while the caller draws the one before: at most
// `ahead` pages wait in memory. A fetch that fails reaches the caller when it asks for that page,
// as the same exception.
class PagePrefetcher {
public:
    PagePrefetcher(ReportDocument& report, int pageCount, std::size_t ahead)
        : report_(report), pageCount_(pageCount), ahead_(ahead), fetcher_([this](std::stop_token stop) { Fetch(stop); })
    {
    }

    // Pages must be asked for in order, each once.
    std::unique_ptr<emf::Metafile> Page(int n)
    {
        if (n != nextWanted_++)
            throw std::logic_error("pages are prefetched in order");
        std::unique_lock lock(lock_);
        changed_.wait(lock, [this] { return !ready_.empty(); });
        Fetched fetched = std::move(ready_.front());
        ready_.pop_front();
        changed_.notify_all();
        if (fetched.error)
            std::rethrow_exception(fetched.error);
        return std::move(fetched.page);
    }

private:
    struct Fetched {
        std::unique_ptr<emf::Metafile> page;
        std::exception_ptr error;
    };

    void Fetch(std::stop_token stop)
    {
        for (int n = 1; n <= pageCount_; ++n) {
            {
                // Room first, then the fetch: no page waits outside the queue.
                std::unique_lock lock(lock_);
                if (!changed_.wait(lock, stop, [this] { return ready_.size() < ahead_; }))
                    return;
            }
            Fetched fetched;
            try {
                fetched.page = report_.Page(n);
            } catch (...) {
                fetched.error = std::current_exception();
            }
            std::lock_guard lock(lock_);
            const bool failed = fetched.error != nullptr;
            ready_.push_back(std::move(fetched));
            changed_.notify_all();
            // The caller stops at the failed page: nothing after it is wanted.
            if (failed)
                return;
        }
    }

    ReportDocument& report_;
    const int pageCount_;
    const std::size_t ahead_;
    int nextWanted_ = 1;
    std::mutex lock_;
    std::condition_variable_any changed_;
    std::deque<Fetched> ready_;
    // Last: it starts once the rest is built and is stopped and joined before the rest goes.
    std::jthread fetcher_;
};

int Pdf(std::span<const std::string> args)
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
    {
        // The PDF is drawn on this thread; decompressing and checking the next pages need not wait for it.
        constexpr std::size_t kPagesAhead = 8;
        PagePrefetcher prefetcher(report, pages, kPagesAhead);
        emf::PageRenderer::WritePdf(pages, [&prefetcher](int n) { return prefetcher.Page(n); }, pdf,
                                    QString::fromStdString(std::filesystem::path(options.files[0]).stem().string()));
    }
    WriteWholeFile(options.output, pdf.data());
    std::printf("%d pages written to %s\n", pages, options.output.c_str());
    return 0;
}

// The text of each page laid out as drawn, each page followed by a form feed, as pdftotext -layout
// writes it.
int Text(std::span<const std::string> args)
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
    constexpr std::size_t kPagesAhead = 8;
    PagePrefetcher prefetcher(report, total, kPagesAhead);
    for (int n = 1; n <= total; ++n)
        write(*prefetcher.Page(n));
    return 0;
}

// The first page as a PNG whose longer side is SIZE pixels, for the desktop's file managers.
int Thumbnail(std::span<const std::string> args)
{
    if (args.size() != 3)
        throw UsageError();
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
    const QImage image = emf::PageRenderer::RenderImage(*page, size);
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    if (!image.save(&png, "PNG"))
        throw std::runtime_error("the page could not be encoded as PNG");
    WriteWholeFile(args[1], png.data());
    return 0;
}

int Demo(std::span<const std::string> args)
{
    int pages = 3;
    std::string output;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--pages" && i + 1 < args.size())
            pages = std::stoi(args[++i]);
        else if (!args[i].starts_with("-") && output.empty())
            output = args[i];
        else
            throw UsageError();
    }
    if (output.empty() || pages < 1 || pages > 10000)
        throw UsageError();
    // No installed printer may change the sample: it is recorded for A4 on the screen.
    platform::NoPrinterDevice noPrinter;
    printing::TQRPrinter printer(noPrinter, [] { return std::make_unique<platform::NoPrinterDevice>(); });
    printer.DocumentTitle = "Relatório de vendas";
    tools::RecordSampleReport(printer, pages);
    printer.WriteReportFile(output);
    std::printf("%d pages written to %s\n", printer.PageTotal(), output.c_str());
    return 0;
}

int Print(std::span<const std::string> args)
{
    std::string file;
    std::optional<std::string> printerName, title;
    std::pair<int, int> pages{0, 0};
    int copies = 1;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--printer" && hasValue) {
            printerName = args[++i];
        } else if (arg == "--pages" && hasValue) {
            pages = ParsePageRange(args[++i]);
        } else if (arg == "--copies" && hasValue) {
            const auto number = PositiveNumber(args[++i]);
            // CUPS takes at most 9999 copies unless told otherwise.
            if (!number || *number > 9999)
                throw std::runtime_error("--copies takes a number from 1 to 9999");
            copies = *number;
        } else if (arg == "--title" && hasValue) {
            title = args[++i];
        } else if (arg.starts_with("-") || !file.empty()) {
            throw UsageError();
        } else {
            file = arg;
        }
    }
    if (file.empty())
        throw UsageError();

    platform::QtPrinterDevice applicationPrinter;
    const QStringList queues = applicationPrinter.Printers();
    if (queues.isEmpty())
        throw std::runtime_error("no printer is installed");
    int index = -1;
    if (printerName) {
        index = static_cast<int>(queues.indexOf(QString::fromStdString(*printerName)));
        if (index < 0)
            throw std::runtime_error("no printer named " + *printerName);
    } else if (QPrinterInfo::defaultPrinterName().isEmpty()) {
        // Qt would otherwise write the job to a PDF file of no name instead of a printer.
        throw std::runtime_error("no default printer is set: name one with --printer");
    }
    printing::TQRPrinter printer(applicationPrinter, [] { return std::make_unique<platform::QtPrinterDevice>(); });
    // Selecting a printer loads its default paper; the report, read after it, sets its own from page 1.
    printer.SelectPrinter(index);
    printer.ReadReportFile(file);
    const int total = printer.PageTotal();
    if (total == 0)
        throw std::runtime_error("the report has no pages");
    const int first = pages.first == 0 ? 1 : pages.first;
    if (first > total)
        throw std::runtime_error("the report has no page " + std::to_string(first) + ": it has " + std::to_string(total));
    // Pages past the end would come out as empty sheets.
    const int last = pages.second == 0 ? total : std::min(pages.second, total);
    printer.FirstPage = first;
    printer.LastPage = last;
    printer.SetCopies(copies);
    printer.DocumentTitle = QString::fromStdString(title ? *title : std::filesystem::path(file).filename().string());
    printer.PrintReport();
    const int count = last - first + 1;
    std::printf("%d %s sent to %s", count, count == 1 ? "page" : "pages", printer.DevicePrinter().Names().device.toLocal8Bit().constData());
    if (copies > 1)
        std::printf(", %d copies", copies);
    std::printf("\n");
    return 0;
}

int Printers(std::span<const std::string> args)
{
    if (!args.empty())
        throw UsageError();
    const QStringList names = QPrinterInfo::availablePrinterNames();
    if (names.isEmpty())
        std::printf("no printers\n");
    const QString defaultName = QPrinterInfo::defaultPrinterName();
    for (const QString& name : names)
        std::printf("%s %s%s\n", name.toLocal8Bit().constData(),
                    QPrinterInfo::printerInfo(name).defaultPageSize().name().toLocal8Bit().constData(),
                    name == defaultName ? " (default)" : "");
    return 0;
}

int Verify(std::span<const std::string> args)
{
    if (args.size() != 1)
        throw UsageError();
    const auto stream = TQRStream::OpenOnFile(args[0]);
    ReportVerifier verifier(*stream);
    const auto problems = verifier.Verify();
    for (const auto& problem : problems)
        std::printf("offset %lld: %s\n", static_cast<long long>(problem.offset), problem.message.c_str());
    if (!problems.empty())
        throw std::runtime_error(args[0] + " is not a sound report: " + std::to_string(problems.size()) +
                                 (problems.size() == 1 ? " problem" : " problems") +
                                 (problems.size() >= ReportVerifier::kMostProblems ? " or more" : ""));
    std::printf("%s is a sound report\n", args[0].c_str());
    return 0;
}

int Run(const std::vector<std::string>& words)
{
    if (words.empty())
        throw UsageError();
    const std::string_view command = words[0];
    const std::span<const std::string> args(words.begin() + 1, words.end());
    if (command == "info")
        return Info(args);
    if (command == "unpack")
        return Unpack(args);
    if (command == "pack")
        return Pack(args);
    if (command == "verify")
        return Verify(args);
    if (command == "render" || command == "render-emf" || command == "pdf" || command == "demo" || command == "print" ||
        command == "printers" || command == "thumbnail" || command == "text") {
        // Drawing needs fonts and printers need Qt's print support, both of a GUI application; no
        // display is needed.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        // Failures reach standard error as one line of our own; Qt's notices would break that.
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        int argc = 1;
        char name[] = "qrptool";
        char* argv[] = {name, nullptr};
        QGuiApplication application(argc, argv);
        if (command == "render")
            return Render(args);
        if (command == "render-emf")
            return RenderEmf(args);
        if (command == "demo")
            return Demo(args);
        if (command == "print")
            return Print(args);
        if (command == "printers")
            return Printers(args);
        if (command == "thumbnail")
            return Thumbnail(args);
        if (command == "text")
            return Text(args);
        return Pdf(args);
    }
    throw UsageError();
}

// Messages go out on one line, whatever they carry.
std::string OneLine(std::string text)
{
    for (char& c : text)
        if (c == '\n' || c == '\r')
            c = ' ';
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    // Past a file size limit a write fails and is reported like any other, instead of the signal
    // ending the program with its temporary output left behind.
    std::signal(SIGXFSZ, SIG_IGN);
    try {
        return Run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& error) {
        std::fflush(stdout);
        std::fprintf(stderr, "qrptool: %s\n", OneLine(error.what()).c_str());
        return 1;
    }
}
