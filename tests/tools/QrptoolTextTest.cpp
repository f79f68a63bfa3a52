// qrptool text FILE [--page N]: the text of the pages laid out as drawn, a form feed after each.

#include "support/FixtureFiles.h"
#include "support/QrptoolRunner.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace tarvolo;
using tarvolo::test::Qrptool;
using tarvolo::test::RunResult;

namespace {

std::vector<std::string> Pages(const std::string& out)
{
    std::vector<std::string> pages;
    for (std::size_t start = 0, end; (end = out.find('\f', start)) != std::string::npos; start = end + 1)
        pages.push_back(out.substr(start, end - start));
    return pages;
}

} // namespace

TEST(QrptoolText, PrintsEachPageFollowedByAFormFeed)
{
    test::TempDir scratch;
    const std::string sample = test::SampleReportFile().string();

    const RunResult all = Qrptool({"text", sample}, scratch);
    ASSERT_EQ(all.status, 0) << all.err;
    const std::vector<std::string> pages = Pages(all.out);
    ASSERT_EQ(pages.size(), 5u);
    EXPECT_TRUE(all.out.ends_with('\f'));
    EXPECT_NE(pages[0].find("Distribuidora Ejemplo S.A."), std::string::npos) << pages[0];
    EXPECT_NE(pages[0].find("Página 1 de 5"), std::string::npos) << pages[0];
    for (std::size_t n = 1; n < pages.size(); ++n)
        EXPECT_NE(pages[n].find("Página " + std::to_string(n + 1) + " de 5"), std::string::npos) << n + 1;

    const RunResult third = Qrptool({"text", sample, "--page", "3"}, scratch);
    ASSERT_EQ(third.status, 0) << third.err;
    EXPECT_EQ(third.out, pages[2] + '\f');

    test::WriteFileBytes(scratch / "damaged.qrp", test::Bytes(300, 0x5A));
    const struct {
        std::vector<std::string> words;
        const char* message;
    } failures[] = {
        {{"text", sample, "--page", "9"}, "qrptool: the report has no page 9"},
        {{"text", sample, "--page", "0"}, "qrptool: --page takes"},
        {{"text", (scratch / "missing.qrp").string()}, "qrptool: "},
        {{"text", (scratch / "damaged.qrp").string()}, "qrptool: "},
        {{"text"}, "qrptool: usage:"},
    };
    for (const auto& failure : failures) {
        const RunResult run = Qrptool(failure.words, scratch);
        EXPECT_EQ(run.status, 1) << failure.message;
        EXPECT_TRUE(run.out.empty()) << failure.message;
        EXPECT_TRUE(run.err.starts_with(failure.message)) << run.err;
    }
}
