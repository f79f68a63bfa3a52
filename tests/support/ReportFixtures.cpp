#include "ReportFixtures.h"

#include "docstore/TQRPageList.h"
#include "render/EmfRecorder.h"

namespace tarvolo::test {

void WriteA4Report(const std::filesystem::path& path, int pages)
{
    docstore::TQRPageList list;
    list.SetRecordStream(docstore::TQRStream::CreateInMemory(100000));
    for (int n = 1; n <= pages; ++n) {
        emf::EmfRecorder page(794, 1123);
        page.font.height = -40;
        page.TextOut(100, 100, QString("Página %1").arg(n));
        page.brush.color = Qt::black;
        page.FillRect(QRect(100, 200, 20 * n, 20));
        list.AppendPage(page.Finish());
    }
    list.CompleteFile();
    list.CopyToFile(path.string());
}

} // namespace tarvolo::test
