#include "ReportDocument.h"

#include "StreamErrors.h"
#include "metafile/EmfHeader.h"
#include "metafile/LittleEndian.h"

namespace tarvolo::docstore {

bool ReportDocument::StoresCompressedPages(ByteStream& stream, const HeaderRead& header)
{
    if (!header.header.PagesCompressed)
        return false;
    // A compressed record stores UncompressedLength where a plain one starts its EMF header.
    std::uint8_t start[emf::kEmfSignatureOffset + 4] = {};
    const std::int64_t position = stream.Position();
    stream.SetPosition(header.size + 8);
    const bool plain = stream.ReadBytes(start, sizeof start) == sizeof start && ReadU32LE(start) == emf::kEmrHeader &&
                       ReadU32LE(start + emf::kEmfSignatureOffset) == emf::kEmfSignature;
    stream.SetPosition(position);
    return !plain;
}

void ReportDocument::Open(const std::string& path)
{
    std::lock_guard lock(mutex_);
    try {
        pages_.OpenFile(path);
        ByteStream& stream = *pages_.RecordStream();
        pages_.SetCompressPages(StoresCompressedPages(stream, ReadReportHeader(stream)));
    } catch (...) {
        DropPages();
        throw;
    }
}

void ReportDocument::CreateNew(bool compressPages)
{
    std::lock_guard lock(mutex_);
    DropPages();
    pages_.SetRecordStream(TQRStream::CreateInMemory(kSpillLimit));
    pages_.SetCompressPages(compressPages);
}

void ReportDocument::AppendPage(const emf::Metafile& page)
{
    std::lock_guard lock(mutex_);
    pages_.AppendPage(page);
}

void ReportDocument::Complete()
{
    std::lock_guard lock(mutex_);
    pages_.CompleteFile();
}

void ReportDocument::Close()
{
    std::lock_guard lock(mutex_);
    DropPages();
}

void ReportDocument::DropPages()
{
    pages_.SetRecordStream(nullptr);
    pages_.Reset();
}

std::unique_ptr<emf::Metafile> ReportDocument::Page(int n)
{
    std::lock_guard lock(mutex_);
    return pages_.ReadPage(n);
}

void ReportDocument::SaveCopy(const std::string& path)
{
    std::lock_guard lock(mutex_);
    pages_.CopyToFile(path);
}

HeaderRead ReportDocument::Header()
{
    std::lock_guard lock(mutex_);
    if (!pages_.RecordStream())
        throw EReadError();
    ByteStream& stream = *pages_.RecordStream();
    const std::int64_t position = stream.Position();
    const HeaderRead header = ReadReportHeader(stream);
    stream.SetPosition(position);
    return header;
}

std::int64_t ReportDocument::Size()
{
    std::lock_guard lock(mutex_);
    return pages_.RecordStream() ? pages_.RecordStream()->Size() : 0;
}

} // namespace tarvolo::docstore

namespace tarvolo::docstore {

bool ReportDocument::IsOpen() const
{
    std::lock_guard lock(mutex_);
    return pages_.RecordStream() != nullptr;
}

int ReportDocument::PageCount() const
{
    std::lock_guard lock(mutex_);
    return pages_.RecordCount();
}

bool ReportDocument::PagesCompressed() const
{
    std::lock_guard lock(mutex_);
    return pages_.CompressPages();
}

} // namespace tarvolo::docstore
