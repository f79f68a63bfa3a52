// The printer device over Qt and a real CUPS: the test command starts cupsd with a cups-pdf queue
// and names it in TARVOLO_CUPS_QUEUE; without it these tests are skipped.

#include "platform/QtPrinterDevice.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPainter>
#include <QThread>

#include <gtest/gtest.h>

using namespace tarvolo::platform;

namespace {

QString Queue()
{
    return qEnvironmentVariable("TARVOLO_CUPS_QUEUE");
}

// The PDF files cups-pdf has written, newest first.
QFileInfoList PrintedPdfs()
{
    QFileInfoList files;
    for (const QString& folder : {QDir::homePath() + "/PDF", QString("/var/spool/cups-pdf/ANONYMOUS")})
        files += QDir(folder).entryInfoList({"*.pdf"}, QDir::Files, QDir::Time);
    return files;
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

TEST_F(QtPrinterDeviceTest, PrintsAJobThatCupsTurnsIntoAPdf)
{
    const QDateTime started = QDateTime::currentDateTime().addSecs(-1);
    device.SetTitle("tarvolo-test-job");
    device.BeginDoc();
    ASSERT_TRUE(device.Printing());
    device.Canvas()->drawText(200, 200, "Página 1");
    device.NewPage();
    device.Canvas()->drawText(200, 200, "Página 2");
    device.EndDoc();
    EXPECT_FALSE(device.Printing());
    EXPECT_THROW(device.Abort(), std::runtime_error);

    QElapsedTimer waited;
    waited.start();
    QFileInfo printed;
    while (waited.elapsed() < 20000) {
        const QFileInfoList files = PrintedPdfs();
        if (!files.isEmpty() && files.first().lastModified() >= started && files.first().size() > 0) {
            printed = files.first();
            break;
        }
        QThread::msleep(200);
    }
    ASSERT_TRUE(printed.exists()) << "cups-pdf wrote no PDF within 20 s";
    QFile file(printed.filePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray pdf = file.readAll();
    EXPECT_TRUE(pdf.startsWith("%PDF"));
    EXPECT_EQ(pdf.count("/Type /Page\n") + pdf.count("/Type/Page\n") + pdf.count("/Type /Page>>") + pdf.count("/Type/Page/"), 2)
        << "two pages";
}
