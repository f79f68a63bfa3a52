#include "render/EmfPlayer.h"
#include "metafile/EmfRecordReader.h"
#include "render/EmfRecorder.h"
#include "metafile/GdiConstants.h"
#include "metafile/LittleEndian.h"
#include "render/PageRenderer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace tarvolo;
using namespace tarvolo::emf;

namespace {

// A small business-report page.
Metafile RecordSamplePage()
{
    EmfRecorder page(400, 300);
    page.brush.color = QColor(0xDD, 0xE6, 0xF2);
    page.FillRect(QRect(20, 20, 360, 30));
    page.font.height = -16;
    page.font.bold = true;
    page.TextOut(30, 26, "Relatório de vendas");
    page.pen.width = 2;
    page.pen.color = QColor(0x1F, 0x3A, 0x5F);
    page.MoveTo(20, 60);
    page.LineTo(380, 60);
    page.font.bold = false;
    page.font.height = -12;
    page.font.color = Qt::darkRed;
    page.TextRect(QRect(20, 80, 60, 20), 20, 80, "clipped text that runs on");
    page.pen.width = 1;
    page.pen.color = Qt::black;
    page.brush.style = EmfRecorder::BrushStyle::Clear;
    page.Rectangle(QRect(20, 120, 100, 50));
    page.brush.style = EmfRecorder::BrushStyle::Solid;
    page.brush.color = Qt::green;
    page.Ellipse(QRect(140, 120, 60, 50));
    page.RoundRect(QRect(220, 120, 60, 50), 10, 10);
    page.Polygon({QPoint(300, 170), QPoint(340, 120), QPoint(380, 170)});
    page.Polyline({QPoint(20, 200), QPoint(60, 180), QPoint(100, 200)});
    QImage logo(8, 8, QImage::Format_RGB32);
    logo.fill(Qt::blue);
    page.StretchDraw(QRect(300, 200, 64, 64), logo);
    return page.Finish();
}

} // namespace

TEST(EmfRecorder, WritesAValidHeaderAndRecords)
{
    const Metafile page = RecordSamplePage();
    const EmfHeader& header = page.Header();
    EXPECT_EQ(header.nBytes, page.Bytes().size());
    EXPECT_EQ(header.szlDevice.cx, 1024);
    EXPECT_EQ(header.szlMillimeters.cx, 271);
    EXPECT_EQ(page.Width(), 400);
    EXPECT_EQ(page.Height(), 300);
    EXPECT_NEAR(header.rclBounds.left, 19, 1); // the 2-pixel line reaches one pixel further
    EXPECT_EQ(header.rclBounds.top, 20);
    EXPECT_GE(header.rclBounds.right, 379);
    EXPECT_GE(header.rclBounds.bottom, 263);

    EmfRecordReader reader(page.Bytes());
    EmfRecord record;
    std::uint32_t records = 0, highestHandle = 0, last = 0;
    while (reader.Next(record)) {
        ++records;
        last = record.Type();
        const std::uint32_t type = record.Type();
        if (type == emr::CreatePen || type == emr::CreateBrushIndirect || type == emr::ExtCreateFontIndirectW)
            highestHandle = std::max(highestHandle, record.U32(8));
    }
    EXPECT_FALSE(reader.Damaged());
    EXPECT_EQ(records, header.nRecords);
    EXPECT_EQ(last, emr::Eof);
    EXPECT_GT(header.nHandles, highestHandle);
}

TEST(EmfRecorder, PlaysBackWhatWasDrawn)
{
    const Metafile page = RecordSamplePage();
    PlaybackReport report;
    const QImage image = PageRenderer::RenderImage(page, QSize(400, 300), &report);
    EXPECT_FALSE(report.damaged);
    EXPECT_EQ(report.SkippedCount(), 0);
    EXPECT_EQ(image.pixel(370, 45), qRgb(0xDD, 0xE6, 0xF2)) << "filled rectangle";
    EXPECT_EQ(image.pixel(170, 145), QColor(Qt::green).rgb()) << "ellipse";
    EXPECT_EQ(image.pixel(330, 230), QColor(Qt::blue).rgb()) << "image";
    EXPECT_EQ(image.pixel(20, 140), qRgb(0, 0, 0)) << "rectangle outline";
    EXPECT_EQ(image.pixel(60, 140), qRgb(255, 255, 255)) << "clear brush";
    // Clipped text stays inside its rectangle.
    for (int x = 82; x < 200; ++x)
        for (int y = 80; y < 100; ++y)
            ASSERT_EQ(image.pixel(x, y), qRgb(255, 255, 255)) << x << "," << y;
}

TEST(EmfRecorder, TextAdvancesAddUpToTheMeasuredWidth)
{
    EmfRecorder page(200, 50);
    page.font.height = -20;
    const int width = page.TextWidth("Página 1 de 3");
    EXPECT_GT(width, 90);
    EXPECT_LT(width, 150);
    page.TextOut(10, 10, "Página 1 de 3");
    const Metafile metafile = page.Finish();
    EmfRecordReader reader(metafile.Bytes());
    EmfRecord record;
    while (reader.Next(record))
        if (record.Type() == emr::ExtTextOutW) {
            const std::uint32_t count = record.U32(44), offDx = record.U32(72);
            int sum = 0;
            for (std::uint32_t i = 0; i < count; ++i)
                sum += record.I32(offDx + 4 * i);
            EXPECT_EQ(sum, width);
        }
}

TEST(EmfRecorder, EmbedsAnotherMetafile)
{
    EmfRecorder inner(100, 100);
    inner.brush.color = Qt::red;
    inner.FillRect(QRect(0, 0, 100, 100));
    EmfRecorder outer(200, 200);
    outer.StretchDraw(QRect(50, 50, 100, 100), inner.Finish());
    const QImage image = PageRenderer::RenderImage(outer.Finish(), QSize(200, 200));
    EXPECT_EQ(image.pixel(100, 100), QColor(Qt::red).rgb());
    EXPECT_EQ(image.pixel(20, 20), qRgb(255, 255, 255));
}
