// Time from a page command to the finished paint of the new page (every tile on screen drawn,
// no stand-in left), for reports at fit-width in a 1920 x 1080 viewer window (Qt's offscreen
// platform), the viewer's peak memory at the largest zoom, and finding text in a long report.
//
//   build/release/bench/viewer_bench
//   QT_SCALE_FACTOR=2 build/release/bench/viewer_bench          (a 4K screen at 200 %)
//   build/release/bench/viewer_bench --benchmark_filter=Zoom2000  (alone: peak memory is the process's)
//   build/release/bench/viewer_bench --benchmark_filter=Find

#include "SampleReport.h"
#include "doubles/TestDialogService.h"
#include "platform/NoPrinterDevice.h"
#include "printing/TQRPrinter.h"
#include "viewer/FindBar.h"
#include "viewer/TfrmKestanPreview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>
#include <QScrollBar>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

using namespace tarvolo;

namespace {

// A 1920 x 1080 viewer window on a report, on a machine without printers.
struct Viewer {
    explicit Viewer(const QString& file)
        : printer(noPrinter, [] { return std::make_unique<platform::NoPrinterDevice>(); }), window(printer, noPrinter, dialogs)
    {
        window.showNormal();
        window.resize(1920, 1080);
        QApplication::processEvents();
        window.OpenReportFile(file);
        QApplication::processEvents();
        FinishVisibleTiles();
    }

    preview::TQRPreviewImage& Page() { return *window.QRPreview1->PageView(); }

    // Paints as tiles arrive until every tile on screen is drawn, then paints the finished page.
    void FinishVisibleTiles()
    {
        Page().repaint();
        while (!Page().VisibleTilesReady())
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        Page().repaint();
    }

    // The reader reads: what is queued (the pages ahead) is drawn with the clock stopped.
    void Read(benchmark::State& state)
    {
        state.PauseTiming();
        Page().Tiles()->WaitUntilIdle();
        Page().repaint();
        Page().Tiles()->WaitUntilIdle();
        state.ResumeTiming();
    }

    platform::NoPrinterDevice noPrinter;
    platform::TestDialogService dialogs;
    printing::TQRPrinter printer;
    viewer::TfrmKestanPreview window;
};

const QString kSample = TARVOLO_SOURCE_DIR "/samples/sample-report.qrp";

// The sample's pages recorded 2000 times over, as `qrptool demo --pages 2000` writes them.
QString LongReport()
{
    static QTemporaryDir folder;
    static const QString path = [] {
        const QString file = folder.filePath("r2000.qrp");
        platform::NoPrinterDevice device;
        printing::TQRPrinter printer(device, [] { return std::make_unique<platform::NoPrinterDevice>(); });
        tools::RecordSampleReport(printer, 2000);
        printer.WriteReportFile(file.toStdString());
        return file;
    }();
    return path;
}

void BM_TurnPageAndPaint(benchmark::State& state)
{
    Viewer viewer(kSample);
    const int pages = viewer.printer.PageTotal();
    viewer.Page().Tiles()->WaitUntilIdle();
    bool forward = true;
    for (auto _ : state) {
        // Back and forth through the report: every turn is to the next or the previous page.
        const int page = viewer.window.QRPreview1->PageNumber();
        forward = forward ? page < pages : page == 1;
        if (forward)
            viewer.window.NextPageClick();
        else
            viewer.window.PrevPageClick();
        viewer.FinishVisibleTiles();
        viewer.Read(state);
    }
    state.counters["zoom"] = viewer.window.QRPreview1->Zoom();
    state.counters["page_px_w"] = viewer.Page().width() * viewer.Page().devicePixelRatioF();
}
BENCHMARK(BM_TurnPageAndPaint)->Unit(benchmark::kMillisecond);

// A jump far away: a page nobody drew ahead, shown first as its overview and then finished.
void BM_JumpToAPageNotDrawnAhead(benchmark::State& state)
{
    Viewer viewer(LongReport());
    int page = 1;
    for (auto _ : state) {
        page = 1 + (page + 997) % 2000;
        viewer.window.QRPreview1->SetPageNumber(page);
        viewer.FinishVisibleTiles();
        viewer.Read(state);
    }
}
BENCHMARK(BM_JumpToAPageNotDrawnAhead)->Unit(benchmark::kMillisecond);

// Scrolling repaints tiles already drawn.
void BM_RepaintAfterScroll(benchmark::State& state)
{
    Viewer viewer(kSample);
    for (auto _ : state)
        viewer.Page().repaint();
}
BENCHMARK(BM_RepaintAfterScroll)->Unit(benchmark::kMillisecond);

// Finding a word that is in no page of the 2000-page report, through the window's find bar, from
// the first page to the end of the search, with no page text kept from before; and the longest
// wait the window's event loop saw meanwhile (the window stays responsive).
void BM_FindAnAbsentWord(benchmark::State& state)
{
    Viewer viewer(LongReport());
    viewer::TextSearch& search = *viewer.window.Search();
    qint64 longestWait = 0;
    for (auto _ : state) {
        state.PauseTiming();
        search.ForgetPages();
        viewer.window.ShowFindBar();
        auto* text = viewer.window.FindText()->findChild<QLineEdit*>("FindText");
        text->setText("zephyrqq");
        state.ResumeTiming();
        QTest::keyClick(text, Qt::Key_Return);
        QElapsedTimer loop;
        loop.start();
        while (search.IsRunning()) {
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
            longestWait = std::max(longestWait, loop.restart());
        }
    }
    state.counters["longest_event_wait_ms"] = static_cast<double>(longestWait);
}
BENCHMARK(BM_FindAnAbsentWord)->Unit(benchmark::kMillisecond)->Iterations(3);

// The sample at zoom 2000 (a page of about 16 000 x 22 000 pixels), read from top to bottom in
// twenty screens: the time per screen, and the process's peak memory.
void BM_Zoom2000(benchmark::State& state)
{
    Viewer viewer(kSample);
    viewer.window.QRPreview1->SetZoom(2000);
    QScrollBar* down = viewer.window.QRPreview1->verticalScrollBar();
    QScrollBar* across = viewer.window.QRPreview1->horizontalScrollBar();
    int step = 0;
    for (auto _ : state) {
        down->setValue(down->maximum() * (step % 20) / 19);
        across->setValue(across->maximum() * (step % 7) / 6);
        ++step;
        viewer.FinishVisibleTiles();
        viewer.Read(state);
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
    state.counters["tiles_MB"] = static_cast<double>(viewer.Page().Tiles()->Bytes()) / (1 << 20);
    state.counters["page_px_w"] = viewer.Page().width() * viewer.Page().devicePixelRatioF();
}
BENCHMARK(BM_Zoom2000)->Unit(benchmark::kMillisecond)->Iterations(40);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
