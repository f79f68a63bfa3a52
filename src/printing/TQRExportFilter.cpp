#include "TQRExportFilter.h"

#include "PageSource.h"
#include "docstore/AtomicFileWriter.h"
#include "platform/NativeFileName.h"
#include "render/PageRenderer.h"

#include <QFileInfo>
#include <QIODevice>

#include <exception>
#include <stdexcept>

namespace tarvolo::printing {

namespace {

// A write-only device over a byte stream, so that a PDF goes straight into a file written whole or
// not at all. The stream's own error, with the file's name, is kept for the caller.
class ByteStreamDevice : public QIODevice {
public:
    explicit ByteStreamDevice(docstore::ByteStream& stream) : stream_(stream) { open(QIODevice::WriteOnly); }
    void RethrowFailure() const
    {
        if (failure_)
            std::rethrow_exception(failure_);
    }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override
    {
        try {
            stream_.WriteExact(data, size);
            return size;
        } catch (...) {
            if (!failure_)
                failure_ = std::current_exception();
            return -1;
        }
    }

private:
    docstore::ByteStream& stream_;
    std::exception_ptr failure_;
};

} // namespace

QString TQRExportFilterLibrary::SaveDialogFilter() const
{
    QString filter = QString(kReportFileText) + "(*." + "QRP" + ")|*." + "QRP";
    for (const TQRExportFilterEntry& entry : FilterEntries)
        filter += "|" + entry.Description + " (*." + entry.Extension + ")|*." + entry.Extension;
    return filter;
}

TQRExportFilterLibrary& ExportFilters()
{
    static TQRExportFilterLibrary registry;
    return registry;
}

void TQRPdfExportFilter::ExportPages(PageSource& pages, const QString& title)
{
    const int count = pages.PageTotal();
    if (count == 0)
        throw std::runtime_error("The report has no pages");
    docstore::AtomicFileWriter writer(platform::NativeFileName(FileName()).toStdString());
    ByteStreamDevice device(writer.Stream());
    const QString pdfTitle = title.isEmpty() ? QFileInfo(FileName()).completeBaseName() : title;
    try {
        emf::PageRenderer::WritePdf(count, [&pages](int n) { return pages.FetchPage(n); }, device, pdfTitle);
    } catch (...) {
        device.RethrowFailure();
        throw;
    }
    device.RethrowFailure();
    writer.Commit();
}

TQRExportFilterEntry TQRPdfExportFilter::Entry()
{
    return {[](const QString& fileName) { return std::make_unique<TQRPdfExportFilter>(fileName); }, "PDF document", "pdf"};
}

} // namespace tarvolo::printing
