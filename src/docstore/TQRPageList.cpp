#include "TQRPageList.h"

#include "AtomicFileWriter.h"
#include "ReportFileFormat.h"
#include "StreamErrors.h"
#include "PageDataReader.h"
#include "TQRCompress.h"
#include "metafile/LittleEndian.h"

#include <cerrno>
#include <limits>
#include <sys/stat.h>
#include <utility>

namespace tarvolo::docstore {

namespace {

constexpr std::int64_t kLargestOffset = std::numeric_limits<std::int32_t>::max();

[[noreturn]] void ThrowWalkError(int page, const std::string& detail)
{
    throw EReportFileError("Cannot find page " + std::to_string(page) + ": " + detail);
}

// Offsets are signed 32-bit: a report cannot grow past 2 GB.
[[noreturn]] void ThrowTooLarge(const TQRStream& stream, std::int64_t size)
{
    const std::string where = stream.SpillFile().empty() ? "the report" : QuotedPath(stream.SpillFile());
    throw EWriteError("cannot write " + where + ": a report file cannot pass 2 GB, and this one would be " +
                      std::to_string(size) + " bytes long");
}

std::string LinkDetail(std::int64_t from, std::int64_t to, const char* problem)
{
    return "the record at offset " + std::to_string(from) + " links to offset " + std::to_string(to) + ", " + problem;
}

} // namespace

ByteStream& TQRPageList::Stream()
{
    if (!RecordStream_)
        throw EReadError();
    return *RecordStream_;
}

void TQRPageList::SetRecordStream(std::shared_ptr<TQRStream> stream)
{
    RecordStream_ = std::move(stream);
    resumeOffset_ = -1;
}

void TQRPageList::AppendPage(const emf::Metafile& page)
{
    std::lock_guard lock(ListLock_);
    resumeOffset_ = -1;
    ++RecordCount_;
    if (RecordCount_ == 1)
        WriteHeader();
    const auto& bytes = page.Bytes();
    BeginPageRecord();
    if (CompressPages_) {
        Stream().WriteInt32(static_cast<std::int32_t>(bytes.size()));
        TQRCompress codec(Stream(), true);
        codec.Encode(bytes);
        codec.Finish();
    } else {
        Stream().WriteExact(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    }
    EndPageRecord();
}

void TQRPageList::BeginPageRecord()
{
    ByteStream& stream = Stream();
    recordStart_ = stream.SeekTo(0, SeekOrigin::End);
    if (recordStart_ > kLargestOffset - kRecordOverhead)
        ThrowTooLarge(*RecordStream_, recordStart_ + kRecordOverhead);
    stream.WriteInt32(RecordCount_);
    nextRecordField_ = stream.Position();
    stream.WriteInt32(static_cast<std::int32_t>(nextRecordField_));
}

void TQRPageList::EndPageRecord()
{
    ByteStream& stream = Stream();
    stream.WriteInt32(static_cast<std::int32_t>(recordStart_));
    const std::int64_t recordEnd = stream.Position();
    if (recordEnd > kLargestOffset)
        ThrowTooLarge(*RecordStream_, recordEnd);
    stream.SetPosition(nextRecordField_);
    stream.WriteInt32(static_cast<std::int32_t>(recordEnd));
    stream.SetPosition(recordEnd);
    resumeOffset_ = recordEnd;
}

void TQRPageList::CompleteFile()
{
    WriteHeader();
}

void TQRPageList::WriteHeader()
{
    ReportFileHeader header;
    header.StoredPageCount = RecordCount_;
    header.CreatedAt = CurrentOleDate();
    header.PagesCompressed = CompressPages_;
    const HeaderBytes bytes = header.Encode();
    Stream().SetPosition(0);
    Stream().WriteExact(bytes.data(), kHeaderSize);
    resumeOffset_ = kHeaderSize;
}

void TQRPageList::ReadHeader()
{
    resumeOffset_ = -1;
    ByteStream& stream = Stream();
    const HeaderRead read = ReadReportHeader(stream);
    const std::int32_t count = read.header.StoredPageCount;
    // Every record takes at least its 12 bytes of links: a count beyond that is a damaged header.
    const std::int64_t mostPages = (stream.Size() - read.size) / kRecordOverhead;
    if (count < 0 || count > mostPages)
        throw EReportFileError("Damaged report: the page count at offset 8 is " + std::to_string(count) +
                               (count < 0 ? "" : ", more than the " + std::to_string(mostPages) + " pages a file of " +
                                                     std::to_string(stream.Size()) + " bytes can hold"));
    RecordCount_ = count;
    resumeOffset_ = read.size;
}

void TQRPageList::OpenFile(const std::string& path)
{
    RecordStream_.reset();
    resumeOffset_ = -1;
    RecordStream_ = TQRStream::OpenOnFile(path);
    ReadHeader();
}

void TQRPageList::CopyToFile(const std::string& path)
{
    // The copy moves the stream's position: no walk may run meanwhile.
    std::lock_guard lock(ListLock_);
    // Replacing the file this list reads from would destroy the pages it is copying.
    if (RecordStream_ && RecordStream_->FileDescriptor() >= 0) {
        struct stat source {};
        struct stat target {};
        if (::fstat(RecordStream_->FileDescriptor(), &source) == 0 && ::stat(path.c_str(), &target) == 0 &&
            source.st_dev == target.st_dev && source.st_ino == target.st_ino)
            throw EFCreateError(path, SystemErrorText(EBUSY));
    }
    AtomicFileWriter writer(path);
    if (RecordStream_)
        RecordStream_->CopyTo(writer.Stream());
    writer.Commit();
    resumeOffset_ = -1;
}

std::int64_t TQRPageList::PositionAtLastPage(int n, std::int64_t firstRecord, std::int64_t size)
{
    ByteStream& stream = Stream();
    stream.SetPosition(size - 4);
    const std::int64_t last = stream.ReadInt32();
    if (last < firstRecord || last > size - kRecordOverhead)
        ThrowWalkError(n, "the file's last four bytes point to offset " + std::to_string(last) +
                              ", which is not a page record of a file of " + std::to_string(size) + " bytes");
    return last;
}

std::int64_t TQRPageList::PositionAtPage(int n, std::int64_t resumeOffset, std::int64_t firstRecord, std::int64_t size)
{
    ByteStream& stream = Stream();
    if (n == 1)
        return firstRecord;
    if (n == RecordCount_)
        return PositionAtLastPage(n, firstRecord, size);

    // Resume where the last operation left the stream only when it ended on a record boundary;
    // after a failure nobody knows where the stream stands, so the walk begins at the first record.
    std::int64_t start = firstRecord;
    if (resumeOffset == size)
        start = PositionAtLastPage(n, firstRecord, size);
    else if (resumeOffset >= firstRecord && resumeOffset <= size - kRecordOverhead)
        start = resumeOffset;

    stream.SetPosition(start);
    const std::int32_t p = stream.ReadInt32();
    if (n > p)
        return WalkForward(n, start, size);
    if (n < p)
        return WalkBackward(n, start, firstRecord, size);
    return start;
}

std::int64_t TQRPageList::WalkForward(int n, std::int64_t start, std::int64_t size)
{
    ByteStream& stream = Stream();
    // Every hop moves forward by a whole record, so the walk ends within size / 12 hops.
    for (std::int64_t current = start;;) {
        // PageNo and NextRecordOffset in one read: a long walk is made of these.
        std::uint8_t fields[8];
        stream.SetPosition(current);
        stream.ReadExact(fields, sizeof fields);
        if (ReadI32LE(fields) == n)
            return current;
        const std::int64_t next = ReadI32LE(fields + 4);
        if (next == size)
            ThrowWalkError(n, "the walk reached the end of the file at offset " + std::to_string(size));
        if (next < current + kRecordOverhead)
            ThrowWalkError(n, LinkDetail(current, next, "which is not after the record"));
        if (next > size - kRecordOverhead)
            ThrowWalkError(n, LinkDetail(current, next, "outside the file"));
        current = next;
    }
}

std::int64_t TQRPageList::WalkBackward(int n, std::int64_t start, std::int64_t firstRecord, std::int64_t size)
{
    ByteStream& stream = Stream();
    for (std::int64_t current = start;;) {
        stream.SetPosition(current);
        const std::int32_t q = stream.ReadInt32();
        if (q == n)
            return current;
        if (current <= firstRecord)
            ThrowWalkError(n, "the walk reached the first record at offset " + std::to_string(current));
        stream.SetPosition(current - 4);
        const std::int64_t previous = stream.ReadInt32();
        if (previous > current - kRecordOverhead)
            ThrowWalkError(n, LinkDetail(current, previous, "which is not before the record"));
        if (previous < firstRecord || previous > size - kRecordOverhead)
            ThrowWalkError(n, LinkDetail(current, previous, "outside the file"));
        current = previous;
    }
}

std::unique_ptr<emf::Metafile> TQRPageList::ReadPage(int n)
{
    if (n < 1 || n > RecordCount_)
        return nullptr;
    std::lock_guard lock(ListLock_);
    ByteStream& stream = Stream();

    // Until this read succeeds, nobody knows where the stream stands.
    const std::int64_t resumeOffset = std::exchange(resumeOffset_, -1);
    const std::int64_t size = stream.Size();
    const std::int64_t start = PositionAtPage(n, resumeOffset, ProbeHeaderSize(stream), size);
    stream.SetPosition(start);
    // The first and the last record are reached without a walk: a file cut short at a record
    // boundary, or a page count larger than the records, would otherwise serve another page.
    const std::int32_t pageNo = stream.ReadInt32();
    if (pageNo != n)
        ThrowWalkError(n, "the record at offset " + std::to_string(start) + " holds page " + std::to_string(pageNo) +
                              (n == RecordCount_ && n != 1 ? ", and the file's last four bytes at offset " +
                                                                 std::to_string(size - 4) + " point to it"
                                                           : ""));
    const std::int64_t next = stream.ReadInt32();
    if (next < start + kRecordOverhead || next > size)
        ThrowWalkError(n, LinkDetail(start, next, next > size ? "outside the file" : "which is not after the record"));

    PageData data = ReadPageData(stream, CompressPages_, start + 8, next - 4);
    stream.SetPosition(next);
    resumeOffset_ = next;
    return std::move(data.page);
}

} // namespace tarvolo::docstore
