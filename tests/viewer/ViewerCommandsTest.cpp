// The viewer's save, load, print setup and print commands, with their dialogs answered by the test
// and a test printer on the machine.

#include "doubles/TestDialogService.h"
#include "doubles/TestPrinterDevice.h"
#include "platform/DevNames.h"
#include "printing/TQRExportFilter.h"
#include "printing/TQRPrinter.h"
#include "support/KeyTarget.h"
#include "support/PdfInspection.h"
#include "support/ReportFixtures.h"
#include "support/TestSupport.h"
#include "viewer/TfrmKestanPreview.h"

#include <QAction>
#include <QApplication>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QToolBar>

#include <gtest/gtest.h>

#include <filesystem>

using namespace tarvolo;
using namespace tarvolo::platform;
using namespace tarvolo::printing;
using tarvolo::viewer::TfrmKestanPreview;

namespace {

// A viewer window on a machine with two printers; the report printer's own device is kept, so
// that its jobs can be looked at.
class ViewerCommandsTest : public ::testing::Test {
protected:
    ViewerCommandsTest()
        : printer(application,
                  [this] {
                      auto device = std::make_unique<TestPrinterDevice>();
                      device->printers = Printers();
                      reportDevice = device.get();
                      return device;
                  }),
          window(std::make_unique<TfrmKestanPreview>(printer, application, dialogs))
    {
        window->showNormal();
        window->resize(900, 700);
        QTest::qWait(10);
    }

    ~ViewerCommandsTest() override { ExportFilters().FilterEntries.clear(); }

    static std::vector<TestPrinterDevice::Printer> Printers()
    {
        return {TestPrinterDevice::LaserPrinter("Laser"), TestPrinterDevice::LaserPrinter("Office")};
    }

    QString Report(int pages, const char* name = "report.qrp")
    {
        const auto path = folder / name;
        test::WriteA4Report(path, pages);
        return QString::fromStdString(path.string());
    }

    QString InFolder(const char* name) const { return QString::fromStdString((folder / name).string()); }

    test::TempDir folder;
    TestPrinterDevice application = [] {
        TestPrinterDevice device;
        device.printers = Printers();
        return device;
    }();
    TestDialogService dialogs;
    TestPrinterDevice* reportDevice = nullptr;
    TQRPrinter printer;
    std::unique_ptr<TfrmKestanPreview> window;
};

} // namespace

TEST_F(ViewerCommandsTest, SaveWritesTheReportFileOrHandsTheChosenExportFilterTheReport)
{
    // No report open: the dialog is asked, and confirming writes nothing.
    dialogs.saveAnswers.push_back(FileDialogAnswer{InFolder("nothing.qrp"), 1});
    window->SaveReport->trigger();
    ASSERT_EQ(dialogs.saveRequests.size(), 1u);
    EXPECT_EQ(dialogs.saveRequests[0].title, "Salvar Relatório");
    EXPECT_EQ(dialogs.saveRequests[0].filter, "Report file(*.QRP)|*.QRP");
    EXPECT_EQ(dialogs.saveRequests[0].defaultExtension, "QRP");
    EXPECT_FALSE(std::filesystem::exists(folder / "nothing.qrp"));

    ExportFilters().AddFilter(TQRPdfExportFilter::Entry());
    const QString report = Report(3);
    window->OpenReportFile(report);
    dialogs.saveAnswers.push_back(FileDialogAnswer{InFolder("copy.qrp"), 1});
    dialogs.saveAnswers.push_back(FileDialogAnswer{InFolder("copy.pdf"), 2});
    dialogs.saveAnswers.push_back(std::nullopt); // cancelled
    for (int i = 0; i < 3; ++i)
        window->SaveReport->trigger();
    EXPECT_EQ(dialogs.saveRequests.back().filter, "Report file(*.QRP)|*.QRP|PDF document (*.pdf)|*.pdf");
    EXPECT_EQ(test::ReadFileBytes(folder / "copy.qrp"), test::ReadFileBytes(report.toStdString()));
    const std::vector<test::PdfPage> pdf = test::InspectPdf(InFolder("copy.pdf"));
    ASSERT_EQ(pdf.size(), 3u);
    EXPECT_TRUE(pdf[2].text.contains("Página 3")) << pdf[2].text.toStdString();
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(ViewerCommandsTest, LoadOpensAChosenReportAndSaysWhenItIsMissing)
{
    dialogs.openAnswers.push_back(FileDialogAnswer{InFolder("missing.qrp"), 1});
    window->LoadReport->trigger();
    ASSERT_EQ(dialogs.openRequests.size(), 1u);
    EXPECT_EQ(dialogs.openRequests[0].title, "Carregar Relatório");
    EXPECT_EQ(dialogs.openRequests[0].filter, "Report file (*.QRP)|*.QRP");
    EXPECT_EQ(dialogs.openRequests[0].defaultExtension, "");
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "O relatório não foi encontrado!");
    EXPECT_EQ(dialogs.messages[0].title, QCoreApplication::applicationName());
    EXPECT_EQ(dialogs.messages[0].icon, DialogService::Icon::None);
    EXPECT_EQ(window->windowTitle(), "(Nenhum relatório aberto)");

    dialogs.openAnswers.push_back(FileDialogAnswer{Report(4, "vendas.qrp"), 1});
    dialogs.openAnswers.push_back(std::nullopt);
    window->LoadReport->trigger();
    window->LoadReport->trigger(); // cancelled: the report stays
    EXPECT_EQ(window->windowTitle(), "vendas.qrp");
    EXPECT_EQ(printer.PageTotal(), 4);
    EXPECT_EQ(dialogs.messages.size(), 1u);
}

TEST_F(ViewerCommandsTest, PrintSendsTheWholeReportWithoutADialog)
{
    window->Print->trigger(); // no report: nothing
    window->OpenReportFile(Report(3));
    window->Print->trigger();
    ASSERT_EQ(reportDevice->jobs.size(), 1u);
    EXPECT_EQ(test::A4ReportPageNumbersOn(reportDevice->jobs[0].pages), (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(reportDevice->jobs[0].ended);
    EXPECT_EQ(reportDevice->jobs[0].title, "report.qrp") << "an untitled job carries the report's name";
    EXPECT_TRUE(dialogs.printRequests.empty());
    EXPECT_TRUE(window->ToolBar1->isEnabled());
}

TEST_F(ViewerCommandsTest, TheProgressDialogsCancelStopsThePrintAfterThePageAndNotTheNextPrint)
{
    window->OpenReportFile(Report(5));
    QString label;
    reportDevice->onPageBegun = [&](int ended) {
        auto* progress = window->findChild<QProgressDialog*>("PrintProgress");
        ASSERT_NE(progress, nullptr);
        label = progress->labelText();
        EXPECT_FALSE(window->ToolBar1->isEnabled()) << "no other command runs during a print";
        if (ended == 1)
            progress->findChild<QPushButton*>()->click();
    };
    window->Print->trigger();
    EXPECT_EQ(label, "Imprimindo página 2 de 5");
    ASSERT_EQ(reportDevice->jobs.size(), 1u);
    EXPECT_TRUE(reportDevice->jobs[0].aborted);
    EXPECT_EQ(test::A4ReportPageNumbersOn(reportDevice->jobs[0].pages), (std::vector<int>{1, 2}));

    reportDevice->onPageBegun = nullptr;
    window->Print->trigger();
    ASSERT_EQ(reportDevice->jobs.size(), 2u);
    EXPECT_TRUE(reportDevice->jobs[1].ended);
    EXPECT_EQ(reportDevice->jobs[1].pages.size(), 5u);
}

TEST_F(ViewerCommandsTest, ClosingTheWindowDuringAPrintCancelsIt)
{
    window->OpenReportFile(Report(4));
    reportDevice->onPageBegun = [&](int ended) {
        if (ended == 0)
            QTest::keyClick(test::KeyTarget(window.get()), Qt::Key_Escape);
    };
    window->Print->trigger();
    EXPECT_TRUE(reportDevice->jobs.at(0).aborted);
    EXPECT_TRUE(dialogs.messages.empty()) << "the user who closed the window hears nothing of the cancel";
    QTest::qWait(10);
    EXPECT_FALSE(window->isVisible()) << "the window closes once the print is dropped";
}

TEST_F(ViewerCommandsTest, ACancelledPrintSaysThatNothingWasPrinted)
{
    window->OpenReportFile(Report(5));
    reportDevice->onPageBegun = [&](int ended) {
        if (ended == 2)
            window->findChild<QProgressDialog*>("PrintProgress")->findChild<QPushButton*>()->click();
    };
    window->Print->trigger();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "Impressão cancelada após a página 3; nada foi impresso.");
    EXPECT_EQ(dialogs.messages[0].icon, DialogService::Icon::Information);
}

// The spooler's refusals are worded for the user with the queue and CUPS' reason, and the next
// print goes through.
TEST_F(ViewerCommandsTest, APrintTheSpoolerRefusesIsReportedAndTheNextOneWorks)
{
    window->OpenReportFile(Report(2));
    using Reason = PrintJobError::Reason;
    const std::pair<PrintJobError, QString> cases[] = {
        {{Reason::NoDefaultPrinter, "", ""},
         "Nenhuma impressora padrão está definida. Escolha uma impressora na Configuração de Impressão."},
        {{Reason::QueueMissing, "Laser", "The printer or class does not exist."},
         "A impressora \"Laser\" não existe mais: The printer or class does not exist."},
        {{Reason::NotAccepting, "Laser", "Destination \"Laser\" is not accepting jobs."},
         "A impressora \"Laser\" não está aceitando trabalhos: Destination \"Laser\" is not accepting jobs."},
        {{Reason::SpoolerUnavailable, "Laser", "Connection refused"},
         "O serviço de impressão (CUPS) não responde; nada foi enviado para a impressora \"Laser\": Connection refused"},
    };
    for (const auto& [error, text] : cases) {
        dialogs.messages.clear();
        reportDevice->refuseAtEnd = error;
        window->Print->trigger();
        ASSERT_EQ(dialogs.messages.size(), 1u);
        EXPECT_EQ(dialogs.messages[0].text, text);
        EXPECT_EQ(dialogs.messages[0].icon, DialogService::Icon::Error);
        EXPECT_TRUE(window->ToolBar1->isEnabled());
    }
    dialogs.messages.clear();
    window->Print->trigger();
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(reportDevice->jobs.back().ended);
}

TEST_F(ViewerCommandsTest, TheCurrentPageChosenIsThePageShownWhenPrinting)
{
    window->OpenReportFile(Report(5));
    dialogs.printAnswers.push_back([](PrintDialogBlock& block) {
        EXPECT_EQ(block.Flags & PD_NOCURRENTPAGE, 0u) << "the current page is offered";
        block.Flags = (block.Flags & ~(PD_SELECTION | PD_PAGENUMS)) | PD_CURRENTPAGE;
        return true;
    });
    window->PrintSetup->trigger();
    window->QRPreview1->SetPageNumber(3);
    window->Print->trigger();
    window->QRPreview1->SetPageNumber(4);
    window->Print->trigger();
    ASSERT_EQ(reportDevice->jobs.size(), 2u);
    EXPECT_EQ(test::A4ReportPageNumbersOn(reportDevice->jobs[0].pages), (std::vector<int>{3}));
    EXPECT_EQ(test::A4ReportPageNumbersOn(reportDevice->jobs[1].pages), (std::vector<int>{4}));
}

// A queue removed from before the chosen one in the list changes neither the setup nor the print.
TEST_F(ViewerCommandsTest, TheChosenPrinterIsKeptByNameWhenTheListChanges)
{
    window->OpenReportFile(Report(2));
    dialogs.printAnswers.push_back([](PrintDialogBlock& block) {
        block.hDevNames = MakeDevNames({"Office", "test driver", "usb:Office"});
        return true;
    });
    window->PrintSetup->trigger();
    application.printers.erase(application.printers.begin());
    reportDevice->printers.erase(reportDevice->printers.begin());

    dialogs.printAnswers.push_back([](PrintDialogBlock&) { return true; });
    window->PrintSetup->trigger();
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messages.front().text.toStdString();
    EXPECT_EQ(ReadDevNames(dialogs.printRequests.back().hDevNames).device, "Office") << "the setup starts on the printer chosen";
    window->Print->trigger();
    ASSERT_EQ(reportDevice->jobs.size(), 1u);
    EXPECT_EQ(reportDevice->Names().device, "Office");
}

TEST_F(ViewerCommandsTest, PrintSetupOffersThePagesOfTheReportAndItsChoicesReachThePrint)
{
    window->PrintSetup->trigger(); // no report, and the user cancels
    ASSERT_EQ(dialogs.printRequests.size(), 1u);
    const PrintDialogBlock& empty = dialogs.printRequests[0];
    EXPECT_EQ(empty.nMinPage, 0);
    EXPECT_EQ(empty.nMaxPage, 9999);
    EXPECT_EQ(empty.nFromPage, 0);
    EXPECT_EQ(empty.nToPage, 0);
    EXPECT_EQ(empty.Flags, PD_ALLPAGES | PD_NOSELECTION | PD_HIDEPRINTTOFILE | PD_ENABLEPRINTHOOK | PD_ENABLESETUPHOOK);

    window->OpenReportFile(Report(5));
    dialogs.printAnswers.push_back([](PrintDialogBlock& block) {
        block.Flags = (block.Flags & ~PD_SELECTION) | PD_PAGENUMS;
        block.nFromPage = 2;
        block.nToPage = 3;
        block.nCopies = 2;
        block.hDevNames = MakeDevNames({"Office", "test driver", "usb:Office"});
        return true;
    });
    window->PrintSetup->trigger();
    const PrintDialogBlock& loaded = dialogs.printRequests.back();
    EXPECT_EQ(loaded.nMinPage, 1);
    EXPECT_EQ(loaded.nMaxPage, 5);
    EXPECT_EQ(loaded.nFromPage, 1);
    EXPECT_EQ(loaded.nToPage, 5);
    EXPECT_EQ(ReadDevNames(loaded.hDevNames).device, "Laser") << "the system's default printer";

    window->Print->trigger();
    ASSERT_EQ(reportDevice->jobs.size(), 1u);
    EXPECT_EQ(reportDevice->Names().device, "Office");
    EXPECT_EQ(test::A4ReportPageNumbersOn(reportDevice->jobs[0].pages), (std::vector<int>{2, 3}));
    EXPECT_EQ(reportDevice->jobs[0].mode.dmCopies, 2);

    // Another report starts again from the whole report on the default printer.
    window->OpenReportFile(Report(4, "other.qrp"));
    window->Print->trigger();
    ASSERT_EQ(reportDevice->jobs.size(), 2u);
    EXPECT_EQ(test::A4ReportPageNumbersOn(reportDevice->jobs[1].pages), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(reportDevice->Names().device, "Laser");
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(ViewerCommandsTest, AFailingPrintSetupSaysSoAndKeepsTheEarlierChoices)
{
    window->OpenReportFile(Report(5));
    dialogs.printAnswers.push_back([](PrintDialogBlock&) -> bool { throw std::runtime_error("the printer went away"); });
    window->PrintSetup->trigger();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].title, "Error");
    EXPECT_EQ(dialogs.messages[0].text, "Não foi possível configurar a impressora.");
    EXPECT_EQ(dialogs.messages[0].icon, DialogService::Icon::Error);
    window->Print->trigger();
    EXPECT_EQ(reportDevice->jobs.at(0).pages.size(), 5u);
}
