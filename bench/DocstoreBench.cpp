// Codec throughput, page access in a long report and opening a very large report.
//
//   build/release/bench/docstore_bench                                  # everything
//   build/release/bench/docstore_bench --benchmark_filter=OpenLargeReport  # alone, for its peak memory
//
// Reports are generated once under $TMPDIR/tarvolo-bench and reused.

#include "docstore/MemoryStream.h"
#include "docstore/TQRCompress.h"
#include "docstore/TQRPageList.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/resource.h>

using namespace tarvolo;
using namespace tarvolo::docstore;

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

Bytes ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<Bytes> RealPages()
{
    std::vector<Bytes> pages;
    for (const auto& entry : fs::directory_iterator(fs::path(TARVOLO_SHARED_DIR) / "oracle" / "pages"))
        pages.push_back(ReadFile(entry.path()));
    return pages;
}

// Every real EMF at hand, one after the other: report pages and pictures from many programs.
const Bytes& RealEmfBytes()
{
    static const Bytes bytes = [] {
        Bytes all;
        for (const char* folder : {"oracle/pages", "corpus/emf-external"})
            for (const auto& entry : fs::directory_iterator(fs::path(TARVOLO_SHARED_DIR) / folder))
                if (entry.path().extension() == ".emf") {
                    const Bytes file = ReadFile(entry.path());
                    all.insert(all.end(), file.begin(), file.end());
                }
        return all;
    }();
    return bytes;
}

fs::path BenchFolder()
{
    const fs::path folder = fs::temp_directory_path() / "tarvolo-bench";
    fs::create_directories(folder);
    return folder;
}

// A report of `count` pages cycling through the real pages, made once and kept.
fs::path ReportOf(int count, bool compressed)
{
    const fs::path path = BenchFolder() / ("report-" + std::to_string(count) + (compressed ? "-c" : "") + ".qrp");
    if (fs::exists(path))
        return path;
    const auto pages = RealPages();
    std::vector<emf::Metafile> metafiles;
    for (const auto& page : pages)
        metafiles.emplace_back(page);
    TQRPageList list;
    list.SetRecordStream(TQRStream::CreateInMemory(100000));
    list.SetCompressPages(compressed);
    for (int i = 0; i < count; ++i)
        list.AppendPage(metafiles[static_cast<std::size_t>(i) % metafiles.size()]);
    list.CompleteFile();
    list.CopyToFile((path.string() + ".new"));
    fs::rename(path.string() + ".new", path);
    return path;
}

void BM_Encode(benchmark::State& state)
{
    const Bytes& input = RealEmfBytes();
    for (auto _ : state) {
        MemoryStream out;
        TQRCompress codec(out, true);
        codec.Encode(input);
        codec.Finish();
        benchmark::DoNotOptimize(out.Data().data());
        state.counters["ratio"] = static_cast<double>(out.Data().size()) / static_cast<double>(input.size());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
}
BENCHMARK(BM_Encode)->Unit(benchmark::kMillisecond);

void BM_Decode(benchmark::State& state)
{
    const Bytes& input = RealEmfBytes();
    MemoryStream encoded;
    {
        TQRCompress codec(encoded, true);
        codec.Encode(input);
    }
    Bytes output(input.size());
    for (auto _ : state) {
        encoded.SetPosition(0);
        TQRCompress codec(encoded, false);
        codec.Decode(output);
        benchmark::DoNotOptimize(output.data());
    }
    if (output != input)
        state.SkipWithError("decoded bytes differ");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
}
BENCHMARK(BM_Decode)->Unit(benchmark::kMillisecond);

constexpr int kLongReport = 10000;

// arg 0: page 1, 1: the last page, 2: the middle page from the first record, 3: the next page after a read.
void BM_ReadPage(benchmark::State& state)
{
    const bool compressed = state.range(1) != 0;
    TQRPageList list;
    list.OpenFile(ReportOf(kLongReport, compressed));
    list.SetCompressPages(compressed);
    int next = 1;
    for (auto _ : state) {
        switch (state.range(0)) {
        case 0: benchmark::DoNotOptimize(list.ReadPage(1)); break;
        case 1: benchmark::DoNotOptimize(list.ReadPage(kLongReport)); break;
        case 2:
            state.PauseTiming();
            list.ReadHeader(); // back on the first record
            state.ResumeTiming();
            benchmark::DoNotOptimize(list.ReadPage(kLongReport / 2));
            break;
        case 3:
            benchmark::DoNotOptimize(list.ReadPage(next));
            next = next % (kLongReport - 1) + 1;
            break;
        }
    }
}
BENCHMARK(BM_ReadPage)
    ->ArgNames({"which", "compressed"})
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

long PeakResidentKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A report of about 1 GB: open it and read its first and last page.
void BM_OpenLargeReport(benchmark::State& state)
{
    const fs::path path = ReportOf(37000, false);
    const long before = PeakResidentKiB();
    for (auto _ : state) {
        TQRPageList list;
        list.OpenFile(path);
        benchmark::DoNotOptimize(list.ReadPage(1));
        benchmark::DoNotOptimize(list.ReadPage(list.RecordCount()));
    }
    state.counters["file_MB"] = static_cast<double>(fs::file_size(path)) / 1e6;
    state.counters["peak_rss_MB"] = static_cast<double>(PeakResidentKiB()) / 1024.0;
    state.counters["peak_rss_growth_MB"] = static_cast<double>(PeakResidentKiB() - before) / 1024.0;
}
BENCHMARK(BM_OpenLargeReport)->Unit(benchmark::kMicrosecond);

} // namespace
