#include "ReportFixtures.h"

#include "docstore/ReportDocument.h"
#include "render/EmfRecorder.h"

#include <cmath>

namespace tarvolo::test {

void WriteA4Report(const std::filesystem::path& path, int pages)
{
    docstore::ReportDocument report;
    report.CreateNew(false);
    for (int n = 1; n <= pages; ++n) {
        emf::EmfRecorder page(794, 1123);
        page.font.height = -40;
        page.TextOut(100, 100, QString("Página %1").arg(n));
        page.brush.color = Qt::black;
        page.FillRect(QRect(100, 200, 20 * n, 20));
        report.AppendPage(page.Finish());
    }
    report.Complete();
    report.SaveCopy(path.string());
}

std::vector<int> A4ReportPageNumbersOn(const std::vector<QImage>& sheets)
{
    std::vector<int> numbers;
    for (const QImage& sheet : sheets) {
        const int y = static_cast<int>(std::lround(210.0 / 1123 * sheet.height()));
        int dark = 0;
        for (int x = 0; x < sheet.width(); ++x)
            dark += qGray(sheet.pixel(x, y)) < 128;
        numbers.push_back(static_cast<int>(std::lround(dark * 794.0 / sheet.width() / 20)));
    }
    return numbers;
}

} // namespace tarvolo::test
