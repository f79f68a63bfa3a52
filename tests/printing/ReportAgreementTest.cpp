// qrptool and the report printer object open reports through the same document: on every report
// file of the project they must see the same pages, and fail on the same pages with the same words.

#include "doubles/TestPrinterDevice.h"
#include "printing/TQRPrinter.h"
#include "support/FixtureFiles.h"
#include "support/QrptoolRunner.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace tarvolo;
namespace fs = std::filesystem;

namespace {

// What one reader made of a report: its pages in order, up to the first that failed, and the
// error that ended the reading (empty when every page read).
struct Reading {
    int pageTotal = -1;
    std::vector<test::Bytes> pages;
    std::string error;
};

Reading ThroughThePrinterObject(const fs::path& file)
{
    platform::TestPrinterDevice noPrinters;
    printing::TQRPrinter printer(noPrinters, [] { return std::make_unique<platform::TestPrinterDevice>(); });
    Reading reading;
    try {
        printer.ReadReportFile(file.string());
        reading.pageTotal = printer.PageTotal();
        for (int n = 1; n <= printer.PageTotal(); ++n)
            reading.pages.push_back(printer.FetchPage(n)->Bytes());
    } catch (const std::exception& error) {
        reading.error = error.what();
    }
    return reading;
}

Reading ThroughQrptool(const fs::path& file, const test::TempDir& scratch)
{
    Reading reading;
    const test::RunResult info = test::Qrptool({"info", file.string()}, scratch);
    if (info.status != 0) {
        reading.error = info.err;
    } else {
        std::sscanf(info.out.c_str(), "{\"pages\": %d", &reading.pageTotal);
        const fs::path folder = scratch / "pages";
        fs::remove_all(folder);
        const test::RunResult unpack = test::Qrptool({"unpack", file.string(), folder.string()}, scratch);
        if (unpack.status != 0)
            reading.error = unpack.err;
        for (int n = 1;; ++n) {
            char name[32];
            std::snprintf(name, sizeof name, "page-%04d.emf", n);
            if (!fs::exists(folder / name))
                break;
            reading.pages.push_back(test::ReadFileBytes(folder / name));
        }
    }
    // qrptool says "qrptool: <message>" on one line.
    if (reading.error.starts_with("qrptool: "))
        reading.error = reading.error.substr(9);
    if (reading.error.ends_with('\n'))
        reading.error.pop_back();
    return reading;
}

} // namespace

TEST(ReportAgreement, QrptoolAndThePrinterObjectReadEveryReportAlike)
{
    test::TempDir scratch;
    const auto files = test::AllReportFiles();
    ASSERT_GE(files.size(), 10u);
    for (const fs::path& file : files) {
        const Reading printer = ThroughThePrinterObject(file);
        const Reading tool = ThroughQrptool(file, scratch);
        const std::string name = file.filename().string();
        EXPECT_EQ(tool.error, printer.error) << name;
        if (printer.pageTotal >= 0) {
            EXPECT_EQ(tool.pageTotal, printer.pageTotal) << name;
        }
        EXPECT_EQ(tool.pages.size(), printer.pages.size()) << name;
        for (std::size_t i = 0; i < std::min(tool.pages.size(), printer.pages.size()); ++i)
            EXPECT_EQ(tool.pages[i], printer.pages[i]) << name << " page " << i + 1;
    }
}
