// The printer device over Qt and a real CUPS: the test command starts cupsd with a cups-pdf queue
// and names it in TARVOLO_CUPS_QUEUE; without it these tests are skipped.

#include "platform/QtPrinterDevice.h"
#include "support/PdfInspection.h"

#include <QCoreApplication>
#include <QFile>
#include <QPainter>

#include <gtest/gtest.h>

using namespace tarvolo::platform;

namespace {

QString Queue()
{
    return qEnvironmentVariable("TARVOLO_CUPS_QUEUE");
}

class QtPrinterDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (Queue().isEmpty())
            GTEST_SKIP() << "no CUPS queue named in TARVOLO_CUPS_QUEUE";
        index = static_cast<int>(device.Printers().indexOf(Queue()));
        ASSERT_GE(index, 0) << "queue " << Queue().toStdString() << " not among " << device.Printers().join(", ").toStdString();
        device.SetPrinterIndex(index);
    }

    QtPrinterDevice device;
    int index = -1;
};

} // namespace

TEST_F(QtPrinterDeviceTest, DescribesTheQueue)
{
    EXPECT_EQ(device.Names().device, Queue());
    const DeviceMode mode = device.GetDeviceMode();
    EXPECT_EQ(mode.dmFields & (DM_PAPERSIZE | DM_ORIENTATION | DM_COPIES), DM_PAPERSIZE | DM_ORIENTATION | DM_COPIES);
    EXPECT_TRUE(mode.dmPaperSize == 9 || mode.dmPaperSize == 1) << mode.dmPaperSize; // A4 or Letter
    const DeviceCapabilities caps = device.Capabilities();
    EXPECT_GT(caps.logPixelsX, 0);
    // The queue prints on the whole sheet: no margins of Qt's own are taken off it.
    EXPECT_EQ(caps.horzRes, caps.physicalWidth);
    EXPECT_EQ(caps.vertRes, caps.physicalHeight);
    device.SetPrinterIndex(-1);
    device.SetDevice({Queue(), {}, {}}, std::nullopt);
    EXPECT_EQ(device.PrinterIndex(), index) << "selecting a device by name selects its index";
    const auto papers = device.Papers();
    EXPECT_NE(std::find(papers.begin(), papers.end(), 9), papers.end()) << "A4 is offered";
}

TEST_F(QtPrinterDeviceTest, DeviceModeChangesReachThePrinterAndDefaultsComeBack)
{
    DeviceMode mode = device.GetDeviceMode();
    mode.dmOrientation = DMORIENT_LANDSCAPE;
    mode.dmPaperSize = 8; // A3
    mode.dmCopies = 3;
    device.SetDevice(device.Names(), mode);
    const DeviceMode changed = device.GetDeviceMode();
    EXPECT_EQ(changed.dmOrientation, DMORIENT_LANDSCAPE);
    EXPECT_EQ(changed.dmPaperSize, 8);
    EXPECT_EQ(changed.dmCopies, 3);
    device.SetDevice(device.Names(), std::nullopt);
    EXPECT_EQ(device.GetDeviceMode().dmOrientation, DMORIENT_PORTRAIT);
    EXPECT_EQ(device.GetDeviceMode().dmCopies, 1);
}

// A page begun turned lies on a landscape sheet of the same paper: CUPS hands it to the printer
// as a landscape page or turned onto the paper as it is fed, its text running up the sheet.
TEST_F(QtPrinterDeviceTest, PrintsAJobThatCupsTurnsIntoAPdfWithATurnedSheet)
{
    const QString title = QString("tarvolo-device-test-%1").arg(QCoreApplication::applicationPid());
    device.SetTitle(title);
    device.BeginDoc();
    ASSERT_TRUE(device.Printing());
    for (int page = 1; page <= 3; ++page) {
        if (page > 1) {
            device.TurnNextPage(page == 2);
            device.NewPage();
        }
        const DeviceCapabilities sheet = device.Capabilities();
        EXPECT_EQ(sheet.horzRes > sheet.vertRes, page == 2) << "page " << page;
        device.Canvas()->setFont(QFont("Liberation Sans", 12));
        device.Canvas()->drawText(sheet.horzRes / 10, sheet.vertRes / 10, QString("Folha %1").arg(page));
    }
    device.EndDoc();
    EXPECT_FALSE(device.Printing());
    EXPECT_THROW(device.Abort(), std::runtime_error);
    EXPECT_EQ(device.GetDeviceMode().dmOrientation, DMORIENT_PORTRAIT) << "the job's orientation comes back";

    const QString printed = tarvolo::test::WaitForPrintedPdf(title);
    ASSERT_FALSE(printed.isEmpty()) << "cups-pdf wrote no PDF within 30 s";
    const std::vector<tarvolo::test::PdfPage> sheets = tarvolo::test::InspectPdf(printed);
    QFile::remove(printed);
    ASSERT_EQ(sheets.size(), 3u);
    for (int page = 1; page <= 3; ++page) {
        const tarvolo::test::PdfPage& sheet = sheets[static_cast<std::size_t>(page - 1)];
        EXPECT_TRUE(sheet.text.contains(QString("Folha %1").arg(page))) << sheet.text.toStdString();
        const tarvolo::test::PdfWord* word = sheet.Word("Folha");
        ASSERT_NE(word, nullptr);
        const bool landscapeSheet = sheet.points.width() > sheet.points.height();
        const bool textRunsUp = word->box.height() > word->box.width();
        EXPECT_EQ(landscapeSheet != textRunsUp, page == 2) << "sheet " << page;
    }
}
