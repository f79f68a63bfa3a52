// Printing a long report through the real CUPS queue named in TARVOLO_CUPS_QUEUE (scripts/test.sh
// and scripts/start-cups.sh set one up): the time until the job is handed to CUPS, and how much
// memory the print takes on top of what the process had, for 200 and 2000 pages of the sample
// report. Memory should not grow with the page count.
//
//   TARVOLO_CUPS_QUEUE=$(bash scripts/start-cups.sh) build/release/bench/print_bench

#include "SampleReport.h"
#include "platform/NoPrinterDevice.h"
#include "platform/QtPrinterDevice.h"
#include "printing/TQRPrinter.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <filesystem>

using namespace tarvolo;

namespace {

long PeakResidentKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

std::string SampleReportOf(int pages)
{
    const auto path = std::filesystem::temp_directory_path() / ("tarvolo-print-bench-" + std::to_string(pages) + ".qrp");
    platform::NoPrinterDevice noPrinter;
    printing::TQRPrinter printer(noPrinter, [] { return std::make_unique<platform::NoPrinterDevice>(); });
    tools::RecordSampleReport(printer, pages);
    printer.WriteReportFile(path.string());
    return path.string();
}

void BM_PrintReportToCups(benchmark::State& state)
{
    const QString queue = qEnvironmentVariable("TARVOLO_CUPS_QUEUE");
    if (queue.isEmpty()) {
        state.SkipWithError("no CUPS queue named in TARVOLO_CUPS_QUEUE");
        return;
    }
    const int pages = static_cast<int>(state.range(0));
    const std::string report = SampleReportOf(pages);
    platform::QtPrinterDevice applicationPrinter;
    const int index = static_cast<int>(applicationPrinter.Printers().indexOf(queue));
    const long before = PeakResidentKiB();
    for (auto _ : state) {
        printing::TQRPrinter printer(applicationPrinter, [] { return std::make_unique<platform::QtPrinterDevice>(); });
        printer.SelectPrinter(index);
        printer.ReadReportFile(report);
        printer.DocumentTitle = QString("print-bench-%1").arg(pages);
        printer.PrintReport();
    }
    state.counters["pages"] = pages;
    state.counters["peak_rss_MB"] = static_cast<double>(PeakResidentKiB()) / 1024.0;
    state.counters["peak_rss_growth_MB"] = static_cast<double>(PeakResidentKiB() - before) / 1024.0;
    std::filesystem::remove(report);
}
// One job each: CUPS goes on converting a job for a while after it is handed over.
BENCHMARK(BM_PrintReportToCups)->Arg(200)->Arg(2000)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
