// Time from a page command to the finished paint of the new page, for the sample report at
// fit-width in a 1920 x 1080 viewer window (Qt's offscreen platform).
//
//   build/release/bench/viewer_bench

#include "doubles/TestDialogService.h"
#include "platform/NoPrinterDevice.h"
#include "printing/TQRPrinter.h"
#include "viewer/TfrmKestanPreview.h"

#include <QApplication>

#include <benchmark/benchmark.h>

using namespace tarvolo;

namespace {

// A 1920 x 1080 viewer window on the sample report, on a machine without printers.
struct ViewerOnSample {
    ViewerOnSample()
        : printer(noPrinter, [] { return std::make_unique<platform::NoPrinterDevice>(); }), window(printer, noPrinter, dialogs)
    {
        window.showNormal();
        window.resize(1920, 1080);
        QApplication::processEvents();
        window.OpenReportFile(TARVOLO_SOURCE_DIR "/samples/sample-report.qrp");
        QApplication::processEvents();
    }
    platform::NoPrinterDevice noPrinter;
    platform::TestDialogService dialogs;
    printing::TQRPrinter printer;
    viewer::TfrmKestanPreview window;
};

void BM_TurnPageAndPaint(benchmark::State& state)
{
    ViewerOnSample viewer;
    const int pages = viewer.printer.PageTotal();
    for (auto _ : state) {
        viewer.window.NextPageClick();
        if (viewer.window.QRPreview1->PageNumber() == pages)
            viewer.window.FirstPageClick();
        viewer.window.QRPreview1->PageView()->repaint(); // the paint, finished before it returns
    }
    state.counters["zoom"] = viewer.window.QRPreview1->Zoom();
    state.counters["page_w"] = viewer.window.QRPreview1->PageView()->width();
}
BENCHMARK(BM_TurnPageAndPaint)->Unit(benchmark::kMillisecond);

// Scrolling repaints the page already drawn.
void BM_RepaintAfterScroll(benchmark::State& state)
{
    ViewerOnSample viewer;
    for (auto _ : state)
        viewer.window.QRPreview1->PageView()->repaint();
}
BENCHMARK(BM_RepaintAfterScroll)->Unit(benchmark::kMillisecond);

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
