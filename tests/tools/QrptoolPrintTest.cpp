// qrptool print and printers through a real CUPS: the test command starts cupsd with a cups-pdf
// queue and names it in TARVOLO_CUPS_QUEUE; without it these tests are skipped.
//
// cups-pdf writes each job as a PDF named after the job's title, so every job here gets a title of
// its own. The queue keeps text as text, so each sheet is recognised by the page number it reads.

#include "support/CupsQueue.h"
#include "support/PdfInspection.h"
#include "support/QrptoolRunner.h"
#include "support/TestSupport.h"

#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using tarvolo::test::Qrptool;
using tarvolo::test::RunResult;
using tarvolo::test::TempDir;

namespace {

std::string Queue()
{
    const char* queue = std::getenv("TARVOLO_CUPS_QUEUE");
    return queue ? queue : "";
}

std::string SampleReport()
{
    return (fs::path(TARVOLO_FIXTURE_DIR) / ".." / ".." / "samples" / "sample-report.qrp").string();
}

// A job title no other job of any run shares.
std::string UniqueTitle()
{
    static int jobs = 0;
    return "qrptool-test-" + std::to_string(getpid()) + "-" + std::to_string(++jobs);
}

void ExpectOneErrorLine(const RunResult& run, const std::string& message)
{
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_TRUE(run.err.starts_with("qrptool: ")) << run.err;
    EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(run.out, "");
}

class QrptoolPrintTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (Queue().empty())
            GTEST_SKIP() << "no CUPS queue named in TARVOLO_CUPS_QUEUE";
    }

    TempDir scratch;
};

} // namespace

TEST_F(QrptoolPrintTest, SendsThePagesOfTheRangeAsA4SheetsWithTheirText)
{
    struct Case {
        std::vector<std::string> options;
        std::vector<int> sheets; // the report page on each sheet
        std::string said;        // around the queue's name
        std::string saidAfter;
    };
    const Case cases[] = {
        {{}, {1, 2, 3, 4, 5}, "5 pages sent to ", ""},
        {{"--pages", "2-3"}, {2, 3}, "2 pages sent to ", ""},
        {{"--pages", "4-9"}, {4, 5}, "2 pages sent to ", ""},
        {{"--pages", "-3", "--copies", "2"}, {1, 2, 3, 1, 2, 3}, "3 pages sent to ", ", 2 copies"},
    };
    for (const Case& c : cases) {
        const std::string title = UniqueTitle();
        SCOPED_TRACE(title);
        std::vector<std::string> words = {"print", SampleReport(), "--printer", Queue(), "--title", title};
        words.insert(words.end(), c.options.begin(), c.options.end());
        const RunResult run = Qrptool(words, scratch);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(run.out.starts_with(c.said + Queue() + " as job " + Queue() + "-")) << run.out;
        EXPECT_TRUE(run.out.ends_with(c.saidAfter + "\n")) << run.out;

        const QString printed = tarvolo::test::WaitForPrintedPdf(QString::fromStdString(title));
        ASSERT_FALSE(printed.isEmpty()) << "cups-pdf wrote no PDF within 30 s";
        const std::vector<tarvolo::test::PdfPage> sheets = tarvolo::test::InspectPdf(printed);
        QFile::remove(printed);

        ASSERT_EQ(sheets.size(), c.sheets.size());
        for (std::size_t i = 0; i < sheets.size(); ++i) {
            EXPECT_NEAR(sheets[i].points.width(), 595, 1) << "sheet " << i + 1;
            EXPECT_NEAR(sheets[i].points.height(), 842, 1) << "sheet " << i + 1;
            const QString text = sheets[i].text;
            EXPECT_TRUE(text.contains("Distribuidora Ejemplo S.A.")) << "sheet " << i + 1 << ": " << text.toStdString();
            EXPECT_TRUE(text.contains(QString("Página %1 de 5").arg(c.sheets[i]))) << "sheet " << i + 1 << ": " << text.toStdString();
        }
    }
}

TEST_F(QrptoolPrintTest, ListsTheQueueWithItsPaper)
{
    const RunResult run = Qrptool({"printers"}, scratch);
    ASSERT_EQ(run.status, 0) << run.err;
    std::istringstream lines(run.out);
    bool listed = false;
    for (std::string line; std::getline(lines, line);)
        listed = listed || line == Queue() + " A4" || line == Queue() + " A4 (default)";
    EXPECT_TRUE(listed) << run.out;
}

TEST_F(QrptoolPrintTest, RefusesBadRequestsInOneLine)
{
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--pages", "3-2"}, "--pages takes"},
        {{"--pages", "two"}, "--pages takes"},
        {{"--pages", "0"}, "--pages takes"},
        {{"--copies", "0"}, "--copies takes"},
        {{"--printer", "NoSuchQueue"}, "no printer named NoSuchQueue"},
        {{"--pages", "6-"}, "the report has no page 6"},
        {{"--paper", "A4"}, "usage: "},
    };
    for (const auto& [options, message] : cases) {
        std::vector<std::string> words = {"print", SampleReport(), "--printer", Queue(), "--title", UniqueTitle()};
        words.insert(words.end(), options.begin(), options.end());
        SCOPED_TRACE(options[0] + " " + options[1]);
        ExpectOneErrorLine(Qrptool(words, scratch), message);
    }
}

// Ctrl+C or a kill during a long print goes the way of the viewer's Cancel: nothing reaches the
// queue. The signal comes early, while the report is read or its first pages drawn, whatever the
// machine's speed.
TEST_F(QrptoolPrintTest, ASignalDuringAPrintCancelsItAndNothingIsPrinted)
{
    const std::string report = (scratch / "long.qrp").string();
    ASSERT_EQ(Qrptool({"demo", report, "--pages", "2000"}, scratch).status, 0);
    for (const int signal : {SIGINT, SIGTERM}) {
        const std::string title = UniqueTitle();
        SCOPED_TRACE(title);
        const RunResult run = tarvolo::test::QrptoolInterrupted({"print", report, "--printer", Queue(), "--title", title},
                                                                scratch, signal, std::chrono::milliseconds(300));
        EXPECT_EQ(run.status, 128 + signal) << run.err;
        EXPECT_TRUE(run.err.starts_with("qrptool: cancelled after page ")) << run.err;
        EXPECT_NE(run.err.find("; nothing was printed\n"), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");

        // The queue takes jobs in order: once a later one has arrived, the cancelled one would have.
        const std::string marker = UniqueTitle();
        ASSERT_EQ(Qrptool({"print", SampleReport(), "--printer", Queue(), "--title", marker, "--pages", "1"}, scratch).status, 0);
        const QString printed = tarvolo::test::WaitForPrintedPdf(QString::fromStdString(marker));
        ASSERT_FALSE(printed.isEmpty()) << "the marker job did not arrive";
        QFile::remove(printed);
        EXPECT_TRUE(tarvolo::test::PrintedPdfs(QString::fromStdString(title)).isEmpty()) << "the interrupted print came out";
    }
}

// What the spooler says reaches the user in one line: a queue that refuses jobs, and a scheduler
// that is not there at all.
TEST_F(QrptoolPrintTest, ASpoolerThatRefusesOrIsNotThereIsNamedInOneLine)
{
    tarvolo::test::ExtraQueue refusing("QrptoolRefusing");
    if (!refusing.Made() || !refusing.Reject())
        GTEST_SKIP() << "lpadmin cannot make queues here";
    const std::string name = refusing.Name().toStdString();
    ExpectOneErrorLine(Qrptool({"print", SampleReport(), "--printer", name, "--title", UniqueTitle()}, scratch),
                       "the printer " + name + " is not accepting jobs: ");

    setenv("CUPS_SERVER", (scratch / "no-scheduler.sock").c_str(), 1);
    const RunResult unreachable = Qrptool({"print", SampleReport(), "--printer", Queue(), "--title", UniqueTitle()}, scratch);
    unsetenv("CUPS_SERVER");
    ExpectOneErrorLine(unreachable, "the print service (CUPS) cannot be reached to print on " + Queue());
}
