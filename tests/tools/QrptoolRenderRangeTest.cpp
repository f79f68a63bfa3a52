// qrptool render --pages A-B: a range of pages drawn on every core, one PNG per page.

#include "support/FixtureFiles.h"
#include "support/QrptoolRunner.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>

using namespace tarvolo;
using tarvolo::test::Qrptool;
using tarvolo::test::RunResult;

namespace {

std::set<std::string> FileNames(const std::filesystem::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

class QrptoolRenderRangeTest : public ::testing::Test {
protected:
    test::TempDir scratch;
};

} // namespace

TEST_F(QrptoolRenderRangeTest, EachPageOfTheRangeIsTheImageTheSinglePageFormWrites)
{
    const auto range = scratch / "range";
    const auto single = scratch / "single";
    std::filesystem::create_directories(range);
    std::filesystem::create_directories(single);
    const RunResult run = Qrptool({"render", test::SampleReportFile().string(), "--pages", "2-4", "--dpi", "30", "-o", (range / "p-%d.png").string()}, scratch);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(FileNames(range), (std::set<std::string>{"p-2.png", "p-3.png", "p-4.png"}));

    std::string expectedOut;
    for (int n = 2; n <= 4; ++n) {
        const std::string name = "p-" + std::to_string(n) + ".png";
        const RunResult one = Qrptool({"render", test::SampleReportFile().string(), "--page", std::to_string(n), "--dpi", "30", "-o", (single / name).string()}, scratch);
        ASSERT_EQ(one.status, 0) << one.err;
        // The same encoder writes both: equal bytes are equal pixels.
        const test::Bytes png = test::ReadFileBytes(range / name);
        EXPECT_FALSE(png.empty()) << name;
        EXPECT_TRUE(png == test::ReadFileBytes(single / name)) << name;
        // The report line of each page, the range's named for its own file, in page order.
        std::string line = one.out;
        line.replace(0, (single / name).string().size(), (range / name).string());
        expectedOut += line;
    }
    EXPECT_EQ(run.out, expectedOut);
}

TEST_F(QrptoolRenderRangeTest, BadRangesAndNamesWithoutThePageNumberFailWithAMessage)
{
    const auto out = scratch / "out";
    std::filesystem::create_directories(out);
    const struct {
        const char* pages;
        const char* output;
        const char* message;
    } cases[] = {
        {"4-6", "p-%d.png", "no page 6: it has 5"},
        {"4-2", "p-%d.png", "A not after B"},
        {"2-4", "p.png", "%d"},
    };
    for (const auto& c : cases) {
        const RunResult run = Qrptool({"render", test::SampleReportFile().string(), "--pages", c.pages, "--dpi", "30", "-o", (out / c.output).string()}, scratch);
        EXPECT_EQ(run.status, 1) << c.pages << " " << c.output;
        EXPECT_TRUE(run.err.starts_with("qrptool: ")) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_TRUE(FileNames(out).empty()) << c.pages << " " << c.output;
    }
}
