// qrptool thumbnail, as the desktop's thumbnailers run it: qrptool thumbnail IN OUT SIZE.

#include "support/FixtureFiles.h"
#include "support/QrptoolRunner.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

using namespace tarvolo;
using tarvolo::test::Qrptool;
using tarvolo::test::RunResult;

namespace {

// The width and height a PNG's header gives, or 0 x 0 for bytes that are not a PNG.
std::pair<int, int> PngSize(const test::Bytes& png)
{
    static const test::Bytes signature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (png.size() < 24 || !std::equal(signature.begin(), signature.end(), png.begin()))
        return {0, 0};
    const auto bigEndian = [&png](std::size_t at) {
        return static_cast<int>(png[at] << 24 | png[at + 1] << 16 | png[at + 2] << 8 | png[at + 3]);
    };
    return {bigEndian(16), bigEndian(20)};
}

void ExpectOneErrorLine(const RunResult& run, const std::string& what, const std::string& start)
{
    EXPECT_EQ(run.status, 1) << what << "\n" << run.err;
    EXPECT_TRUE(run.err.starts_with(start)) << what << ": " << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << what << ": " << run.err;
}

class QrptoolThumbnailTest : public ::testing::Test {
protected:
    // A report of one blank landscape A4 page.
    std::string LandscapeReport()
    {
        test::WriteFileBytes(scratch / "landscape.emf", test::MakeEmf(256, 0, 29700, 21000));
        const RunResult pack = Qrptool({"pack", (scratch / "landscape.qrp").string(), (scratch / "landscape.emf").string()}, scratch);
        EXPECT_EQ(pack.status, 0) << pack.err;
        return (scratch / "landscape.qrp").string();
    }

    test::TempDir scratch;
};

} // namespace

TEST_F(QrptoolThumbnailTest, TheFirstPageFitsTheSizeWithItsProportions)
{
    const struct {
        std::string report;
        std::string size;
        int width;
        int height;
    } cases[] = {
        {test::SampleReportFile().string(), "128", 91, 128},
        {test::SampleReportFile().string(), "256", 181, 256},
        {LandscapeReport(), "128", 128, 91},
        {LandscapeReport(), "1", 1, 1},
    };
    for (const auto& c : cases) {
        const std::string what = c.report + " at " + c.size;
        const auto out = scratch / "thumbnail.png";
        const RunResult run = Qrptool({"thumbnail", c.report, out.string(), c.size}, scratch);
        ASSERT_EQ(run.status, 0) << what << ": " << run.err;
        EXPECT_EQ(run.err, "") << what;
        const test::Bytes png = test::ReadFileBytes(out);
        EXPECT_EQ(PngSize(png), std::make_pair(c.width, c.height)) << what;

        // The same drawing as the page rendered at that size.
        const auto rendered = scratch / "rendered.png";
        const std::string size = std::to_string(c.width) + "x" + std::to_string(c.height);
        ASSERT_EQ(Qrptool({"render", c.report, "--page", "1", "--size", size, "-o", rendered.string()}, scratch).status, 0);
        EXPECT_EQ(png, test::ReadFileBytes(rendered)) << what;
    }
}

TEST_F(QrptoolThumbnailTest, FailuresSayWhyInOneLineAndWriteNothing)
{
    const auto out = scratch / "thumbnail.png";
    const struct {
        std::vector<std::string> words;
        std::string start;
    } cases[] = {
        {{"thumbnail", test::SampleReportFile().string(), out.string(), "0"}, "qrptool: usage: "},
        {{"thumbnail", test::SampleReportFile().string(), out.string(), "4097"}, "qrptool: usage: "},
        {{"thumbnail", test::SampleReportFile().string(), out.string(), "12x"}, "qrptool: usage: "},
        {{"thumbnail", test::SampleReportFile().string(), out.string(), "-5"}, "qrptool: usage: "},
        {{"thumbnail", test::SampleReportFile().string(), out.string()}, "qrptool: usage: "},
        {{"thumbnail", test::ReportFixture("FirstPageNotMetafile.qrp").string(), out.string(), "128"}, "qrptool: "},
        {{"thumbnail", test::ReportFixture("ImpossiblePageCount.qrp").string(), out.string(), "128"}, "qrptool: "},
        {{"thumbnail", test::ReportFixture("NoPages.qrp").string(), out.string(), "128"}, "qrptool: the report has no pages"},
        {{"thumbnail", (scratch / "missing.qrp").string(), out.string(), "128"}, "qrptool: Cannot open file"},
    };
    for (const auto& c : cases) {
        const std::string what = c.words.back() + " " + c.words[1];
        ExpectOneErrorLine(Qrptool(c.words, scratch), what, c.start);
        EXPECT_FALSE(std::filesystem::exists(out)) << what;
    }
}
