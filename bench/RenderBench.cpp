// Drawing pages with the EMF player (one pass on one thread, as the reference renderer draws),
// drawing page images as the tools do (on every core), and recording a typical report page.
//
//   build/release/bench/render_bench
//   scripts/bench-render.sh   (also times the reference renderer on the same pages and sizes)

#include "render/EmfRecorder.h"
#include "render/PageRenderer.h"

#include <QGuiApplication>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>

using namespace tarvolo::emf;
namespace fs = std::filesystem;

namespace {

std::vector<fs::path> BenchPages()
{
    std::vector<fs::path> pages;
    for (const auto& entry : fs::directory_iterator(fs::path(TARVOLO_SHARED_DIR) / "oracle" / "pages"))
        pages.push_back(entry.path());
    std::sort(pages.begin(), pages.end());
    return pages;
}

Metafile Load(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Metafile(std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
}

void BM_DrawPage(benchmark::State& state, fs::path path, double dpi)
{
    const Metafile page = Load(path);
    const QSize size = PageRenderer::SizeAtDpi(page, dpi);
    QImage image(size, QImage::Format_RGB32);
    for (auto _ : state) {
        image.fill(Qt::white);
        QPainter painter(&image);
        EmfPlayer::Play(page, painter, QRectF(QPointF(0, 0), QSizeF(size)));
    }
    state.counters["pages_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// The page as `qrptool render` draws it, a new image each time: in one pass, or in bands on every
// core. A new image's memory is first touched here, which the timing includes.
void BM_RenderImage(benchmark::State& state, fs::path path, double dpi)
{
    const Metafile page = Load(path);
    const QSize size = PageRenderer::SizeAtDpi(page, dpi);
    for (auto _ : state)
        benchmark::DoNotOptimize(PageRenderer::RenderImage(page, size, nullptr, state.range(0) ? PageRenderer::Cores::Every : PageRenderer::Cores::One));
}

// A report page: a title, a header row, 40 rows of five columns and a footer.
void BM_RecordReportPage(benchmark::State& state)
{
    for (auto _ : state) {
        EmfRecorder page(794, 1123);
        page.font.height = -21;
        page.font.bold = true;
        page.TextOut(40, 40, "Distribuidora Ejemplo S.A.");
        page.font.height = -12;
        page.brush.color = QColor(0xDD, 0xE6, 0xF2);
        page.FillRect(QRect(40, 100, 714, 24));
        for (int row = 0; row < 40; ++row) {
            const int y = 130 + row * 22;
            page.font.bold = row == 0;
            page.TextOut(48, y, QString("17/01/2024"));
            page.TextOut(160, y, QString("F-%1").arg(100 + row, 6, 10, QChar('0')));
            page.TextOut(260, y, QString("Cliente número %1").arg(row));
            page.TextOut(560, y, QString("1.234,%1 €").arg(row, 2, 10, QChar('0')));
            page.pen.color = QColor(0xCC, 0xCC, 0xCC);
            page.MoveTo(40, y + 20);
            page.LineTo(754, y + 20);
        }
        page.font.bold = false;
        page.TextOut(640, 1080, "Página 1 de 10");
        benchmark::DoNotOptimize(page.Finish());
    }
    state.counters["pages_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RecordReportPage)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    for (const fs::path& page : BenchPages())
        for (const double dpi : {96.0, 300.0})
            benchmark::RegisterBenchmark(("BM_DrawPage/" + page.stem().string() + "/" + std::to_string(static_cast<int>(dpi)) + "dpi").c_str(),
                                         BM_DrawPage, page, dpi)
                ->Unit(benchmark::kMillisecond);
    for (const fs::path& page : BenchPages())
        benchmark::RegisterBenchmark(("BM_RenderImage/" + page.stem().string() + "/300dpi").c_str(), BM_RenderImage, page, 300.0)
            ->ArgName("every_core")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
