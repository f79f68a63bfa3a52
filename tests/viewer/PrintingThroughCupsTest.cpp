// Printing as users meet it, through the real printer device and the CUPS scheduler the test
// command starts: cancelled prints, queues that refuse jobs or have gone, the print setup's page
// choices and orientation as they arrive on paper. Queues of their own are made and removed here;
// without the scheduler's queue in TARVOLO_CUPS_QUEUE these tests are skipped.
//
// cups-pdf writes each job as a PDF named after the job's title, so every job gets a title of its
// own; it takes jobs in order, so once a later job has arrived an earlier one would have too.

#include "doubles/TestDialogService.h"
#include "platform/CupsSpooler.h"
#include "platform/DevNames.h"
#include "platform/QtPrinterDevice.h"
#include "printing/TQRPrinter.h"
#include "support/CupsQueue.h"
#include "support/PdfInspection.h"
#include "support/ReportFixtures.h"
#include "support/TestSupport.h"
#include "viewer/TfrmKestanPreview.h"

#include "render/EmfRecorder.h"

#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace tarvolo;
using namespace tarvolo::platform;
using namespace tarvolo::printing;
using tarvolo::test::ExtraQueue;
using tarvolo::viewer::TfrmKestanPreview;

namespace {

QString Queue()
{
    return qEnvironmentVariable("TARVOLO_CUPS_QUEUE");
}

QString UniqueTitle(const char* what)
{
    static int jobs = 0;
    return QString("tarvolo-%1-%2-%3").arg(what).arg(QCoreApplication::applicationPid()).arg(++jobs);
}

// The "Página n" each sheet of a printed PDF reads; 0 for a sheet without one.
std::vector<int> PageNumbersRead(const std::vector<test::PdfPage>& sheets)
{
    std::vector<int> numbers;
    for (const test::PdfPage& sheet : sheets) {
        int number = 0;
        for (std::size_t i = 0; i + 1 < sheet.words.size(); ++i)
            if (sheet.words[i].text == "Página")
                number = sheet.words[i + 1].text.toInt();
        numbers.push_back(number);
    }
    return numbers;
}

class PrintingThroughCupsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (Queue().isEmpty())
            GTEST_SKIP() << "no CUPS queue named in TARVOLO_CUPS_QUEUE";
    }

    std::string Report(int pages)
    {
        const auto path = folder / ("report-" + std::to_string(pages) + ".qrp");
        test::WriteA4Report(path, pages);
        return path.string();
    }

    // A one-page job to the same queue, waited for: every job sent before it has arrived by then.
    void PrintMarkerAndWait(TQRPrinter& printer)
    {
        const QString marker = UniqueTitle("marker");
        printer.DocumentTitle = marker;
        printer.FirstPage = printer.LastPage = 1;
        printer.CancelRequested = false;
        printer.PrintProgress = nullptr;
        printer.PrintReport();
        const QString printed = test::WaitForPrintedPdf(marker);
        ASSERT_FALSE(printed.isEmpty()) << "the marker job did not arrive";
        QFile::remove(printed);
    }

    test::TempDir folder;
    QtPrinterDevice application;
};

// A viewer window on the real printers, its dialogs answered by the test.
class ViewerPrintingThroughCupsTest : public PrintingThroughCupsTest {
protected:
    void SetUp() override
    {
        PrintingThroughCupsTest::SetUp();
        if (IsSkipped())
            return;
        printer = std::make_unique<TQRPrinter>(application, [] { return std::make_unique<QtPrinterDevice>(); });
        window = std::make_unique<TfrmKestanPreview>(*printer, application, dialogs);
        window->show();
        QTest::qWait(10);
    }

    void TearDown() override
    {
        window.reset();
        printer.reset();
    }

    // The print setup confirmed on that queue, changed further by choose.
    void ChooseInSetup(const QString& queue, std::function<void(PrintDialogBlock&)> choose = {})
    {
        dialogs.printAnswers.push_back([queue, choose](PrintDialogBlock& block) {
            block.hDevNames = MakeDevNames({queue, {}, queue});
            if (choose)
                choose(block);
            return true;
        });
        window->PrintSetup->trigger();
    }

    // Prints through the window's command and returns the messages it showed.
    std::vector<QString> PrintAndListMessages(const QString& title)
    {
        printer->DocumentTitle = title;
        dialogs.messages.clear();
        window->Print->trigger();
        std::vector<QString> texts;
        for (const auto& message : dialogs.messages)
            texts.push_back(message.text);
        return texts;
    }

    TestDialogService dialogs;
    std::unique_ptr<TQRPrinter> printer;
    std::unique_ptr<TfrmKestanPreview> window;
};

} // namespace

TEST_F(PrintingThroughCupsTest, CancelAfterPageThreeSendsNothingAndLeavesNoJob)
{
    // A queue no other test prints on, so that its list of jobs is this test's alone.
    ExtraQueue queue("Cancel");
    if (!queue.Made())
        GTEST_SKIP() << "lpadmin cannot make queues here";
    TQRPrinter printer(application, [] { return std::make_unique<QtPrinterDevice>(); });
    printer.SelectPrinterNamed(queue.Name());
    printer.ReadReportFile(Report(30));
    const QString cancelled = UniqueTitle("cancelled");
    printer.DocumentTitle = cancelled;
    printer.PrintProgress = [&](int done, int) {
        if (done == 3)
            printer.RequestCancel();
    };
    printer.PrintReport();
    EXPECT_TRUE(printer.LastPrint().Cancelled);
    EXPECT_EQ(printer.LastPrint().LastPageDrawn, 3);
    EXPECT_EQ(printer.LastPrint().Job.id, 0) << "nothing reached the spooler";
    EXPECT_FALSE(printer.DevicePrinter().Printing());

    PrintMarkerAndWait(printer);
    EXPECT_TRUE(test::PrintedPdfs(cancelled).isEmpty()) << "the cancelled job was printed";
    EXPECT_EQ(queue.PendingJobs(), "");
}

TEST_F(ViewerPrintingThroughCupsTest, AWindowClosedDuringAPrintPrintsNothingAndThenCloses)
{
    ExtraQueue queue("Closed");
    if (!queue.Made())
        GTEST_SKIP() << "lpadmin cannot make queues here";
    window->OpenReportFile(QString::fromStdString(Report(30)));
    ChooseInSetup(queue.Name());
    const QString title = UniqueTitle("closed");
    // Closing comes in through the event loop, the way the window manager's close button does.
    QTimer::singleShot(0, window.get(), [this] { window->close(); });
    EXPECT_EQ(PrintAndListMessages(title), std::vector<QString>{}) << "a window closed by the user says nothing";
    EXPECT_TRUE(printer->LastPrint().Cancelled);
    QTest::qWait(50);
    EXPECT_FALSE(window->isVisible()) << "the window closes once the print is dropped";

    PrintMarkerAndWait(*printer);
    EXPECT_TRUE(test::PrintedPdfs(title).isEmpty()) << "the print of the closed window came out";
    EXPECT_EQ(queue.PendingJobs(), "");
}

TEST_F(ViewerPrintingThroughCupsTest, RefusingAndMissingQueuesAreNamedAndTheNextPrintWorks)
{
    ExtraQueue refusing("Refusing"), leaving("Leaving");
    if (!refusing.Made() || !leaving.Made())
        GTEST_SKIP() << "lpadmin cannot make queues here";
    ASSERT_TRUE(refusing.Reject());
    window->OpenReportFile(QString::fromStdString(Report(3)));

    if (cups::DefaultQueue().isEmpty()) {
        const auto said = PrintAndListMessages(UniqueTitle("nodefault"));
        ASSERT_EQ(said.size(), 1u);
        EXPECT_EQ(said[0], "Nenhuma impressora padrão está definida. Escolha uma impressora na Configuração de Impressão.");
    }

    ChooseInSetup(refusing.Name());
    auto said = PrintAndListMessages(UniqueTitle("refused"));
    ASSERT_EQ(said.size(), 1u);
    EXPECT_TRUE(said[0].startsWith(QString("A impressora \"%1\" não está aceitando trabalhos: ").arg(refusing.Name()))) << said[0].toStdString();
    EXPECT_TRUE(said[0].contains("not accepting jobs")) << "CUPS' own reason: " << said[0].toStdString();

    ChooseInSetup(leaving.Name());
    leaving.Remove();
    said = PrintAndListMessages(UniqueTitle("gone"));
    ASSERT_EQ(said.size(), 1u);
    EXPECT_TRUE(said[0].startsWith(QString("A impressora \"%1\" não existe mais: ").arg(leaving.Name()))) << said[0].toStdString();

    // The setup after a queue went away still works, and so does the next print.
    ChooseInSetup(Queue());
    const QString good = UniqueTitle("good");
    EXPECT_EQ(PrintAndListMessages(good), std::vector<QString>{});
    const QString printed = test::WaitForPrintedPdf(good);
    ASSERT_FALSE(printed.isEmpty()) << "the print after the failures did not arrive";
    EXPECT_EQ(PageNumbersRead(test::InspectPdf(printed)), (std::vector<int>{1, 2, 3}));
    QFile::remove(printed);
}

TEST_F(ViewerPrintingThroughCupsTest, PageListsOddEvenAndReverseOrderArriveOnTheSheets)
{
    window->OpenReportFile(QString::fromStdString(Report(10)));
    struct Case {
        std::vector<PrintPageRange> ranges;
        PrintPageSet set;
        bool reverse;
        std::vector<int> sheets;
    };
    const Case cases[] = {
        {{{1, 1}, {4, 4}, {6, 8}}, PrintPageSet::All, false, {1, 4, 6, 7, 8}},
        {{{1, 1}, {4, 4}, {6, 8}}, PrintPageSet::Odd, true, {7, 1}},
        {{{2, 9}}, PrintPageSet::Even, false, {2, 4, 6, 8}},
        {{{3, 5}}, PrintPageSet::All, true, {5, 4, 3}},
    };
    for (const Case& c : cases) {
        ChooseInSetup(Queue(), [&c](PrintDialogBlock& block) {
            block.Flags = (block.Flags & ~PD_SELECTION) | PD_PAGENUMS;
            block.pageRanges = c.ranges;
            block.nFromPage = c.ranges.front().nFromPage;
            block.nToPage = c.ranges.back().nToPage;
            block.pageSet = c.set;
            block.reverseOrder = c.reverse;
        });
        const QString title = UniqueTitle("pages");
        EXPECT_EQ(PrintAndListMessages(title), std::vector<QString>{});
        const QString printed = test::WaitForPrintedPdf(title);
        ASSERT_FALSE(printed.isEmpty()) << title.toStdString();
        EXPECT_EQ(PageNumbersRead(test::InspectPdf(printed)), c.sheets) << title.toStdString();
        QFile::remove(printed);
    }
}

// Landscape chosen in the setup gives landscape sheets; a landscape page in a portrait report keeps
// a sheet of its own shape whichever orientation was chosen. cups-pdf may hand a landscape sheet
// over as a portrait one with the text turned, so a sheet counts as landscape when either shows.
TEST_F(ViewerPrintingThroughCupsTest, TheChosenOrientationAndAPagesOwnShapeArriveOnTheSheets)
{
    docstore::ReportDocument report;
    report.CreateNew(false);
    int n = 0;
    for (const QSize size : {QSize(794, 1123), QSize(1123, 794), QSize(794, 1123)}) {
        emf::EmfRecorder page(size.width(), size.height());
        page.font.height = -40;
        page.TextOut(100, 100, QString("Página %1").arg(++n));
        report.AppendPage(page.Finish());
    }
    report.Complete();
    const std::string path = (folder / "mixed.qrp").string();
    report.SaveCopy(path);
    window->OpenReportFile(QString::fromStdString(path));

    for (const bool landscape : {false, true}) {
        ChooseInSetup(Queue(), [landscape](PrintDialogBlock& block) {
            DeviceMode mode = block.hDevMode.value_or(DeviceMode{});
            mode.dmFields |= DM_ORIENTATION;
            mode.dmOrientation = landscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
            block.hDevMode = mode;
        });
        const QString title = UniqueTitle(landscape ? "landscape" : "portrait");
        EXPECT_EQ(PrintAndListMessages(title), std::vector<QString>{});
        const QString printed = test::WaitForPrintedPdf(title);
        ASSERT_FALSE(printed.isEmpty()) << title.toStdString();
        const std::vector<test::PdfPage> sheets = test::InspectPdf(printed);
        QFile::remove(printed);
        ASSERT_EQ(sheets.size(), 3u);
        for (std::size_t i = 0; i < sheets.size(); ++i) {
            // Which way the line "Página n" runs, from the box around all its pieces.
            QRectF line;
            for (const test::PdfWord& word : sheets[i].words)
                line = line.united(word.box);
            ASSERT_FALSE(line.isEmpty()) << "sheet " << i + 1 << " has no text";
            const bool landscapeSheet = sheets[i].points.width() > sheets[i].points.height();
            const bool textRunsUp = line.height() > line.width();
            const bool expected = i == 1 ? true : landscape;
            EXPECT_EQ(landscapeSheet != textRunsUp, expected) << (landscape ? "landscape" : "portrait") << " chosen, sheet " << i + 1;
        }
    }
}
