#include "ReportVerifier.h"

#include "PageDataReader.h"
#include "ReportDocument.h"
#include "ReportFileFormat.h"
#include "StreamErrors.h"
#include "metafile/EmfRecordReader.h"
#include "metafile/GdiConstants.h"
#include "metafile/LittleEndian.h"

#include <algorithm>

namespace tarvolo::docstore {

namespace {


std::string RecordName(int page)
{
    return "record " + std::to_string(page);
}

std::string EmfRecordName(std::uint64_t ordinal, std::uint32_t type)
{
    return "EMF record " + std::to_string(ordinal) + " (type " + std::to_string(type) + ")";
}

} // namespace

void ReportVerifier::Report(std::int64_t offset, std::string message)
{
    if (!Full())
        problems_.push_back({offset, std::move(message)});
}

bool ReportVerifier::ReportedAt(std::int64_t offset) const
{
    return std::any_of(problems_.begin(), problems_.end(), [&](const VerificationProblem& p) { return p.offset == offset; });
}

std::int64_t ReportVerifier::ReadInt32At(std::int64_t offset)
{
    stream_.SetPosition(offset);
    return stream_.ReadInt32();
}

std::vector<VerificationProblem> ReportVerifier::Verify()
{
    problems_.clear();
    recordStarts_.clear();
    pageCountReported_ = false;
    forwardWalkComplete_ = false;
    fileSize_ = stream_.Size();
    try {
        const HeaderRead header = ReadReportHeader(stream_);
        headerSize_ = header.size;
        StoredPageCount_ = header.header.StoredPageCount;
        CompressPages_ = ReportDocument::StoresCompressedPages(stream_, header);
    } catch (const EReadError&) {
        Report(0, "the file is too short for a report header and a page (" + std::to_string(fileSize_) + " bytes)");
        return problems_;
    }

    CheckPageCount();
    WalkForward();
    if (forwardWalkComplete_ && !pageCountReported_ && StoredPageCount_ != static_cast<std::int64_t>(recordStarts_.size()))
        Report(8, "the header says " + std::to_string(StoredPageCount_) + " pages but the file holds " +
                      std::to_string(recordStarts_.size()) + " page records");
    WalkBackward();
    return problems_;
}

// A count no file of this size can hold is reported on its own; the walks still run, since they
// do not depend on it.
void ReportVerifier::CheckPageCount()
{
    const std::int64_t mostRecords = std::max<std::int64_t>(fileSize_ - headerSize_, 0) / kRecordOverhead;
    if (StoredPageCount_ < 0)
        Report(8, "the header says " + std::to_string(StoredPageCount_) + " pages");
    else if (StoredPageCount_ > mostRecords)
        Report(8, "the header says " + std::to_string(StoredPageCount_) + " pages, but a file of " + std::to_string(fileSize_) +
                      " bytes has room for at most " + std::to_string(mostRecords) + " page records");
    else
        return;
    pageCountReported_ = true;
}

void ReportVerifier::WalkForward()
{
    std::int64_t current = headerSize_;
    for (int page = 1; current != fileSize_ && !Full(); ++page) {
        if (current + kRecordOverhead > fileSize_) {
            Report(current, RecordName(page) + " is cut short: the file ends " + std::to_string(fileSize_ - current) +
                                " bytes after its start");
            return;
        }
        stream_.SetPosition(current);
        const std::int32_t pageNo = stream_.ReadInt32();
        std::int64_t next = stream_.ReadInt32();
        if (pageNo != page)
            Report(current, RecordName(page) + " has page number " + std::to_string(pageNo));
        const bool inFile = next >= current + kRecordOverhead && next <= fileSize_;
        if (!inFile || ReadInt32At(next - 4) != current) {
            // Either the forward link or the record's own start offset is wrong. The page data
            // knows its own length: the record's start offset standing right after it shows that
            // the forward link is the broken one, and where the next record really is.
            const std::int64_t end = NaturalPageDataEnd(current + 8);
            if (end >= 0 && end + 4 != next && ReadInt32At(end) == current) {
                Report(current + 4, RecordName(page) + " links to offset " + std::to_string(next) +
                                        " but ends at offset " + std::to_string(end + 4) +
                                        ", where its page data and its start offset end");
                next = end + 4;
            } else if (inFile) {
                Report(next - 4, RecordName(page) + " ends with the start offset " + std::to_string(ReadInt32At(next - 4)) +
                                     " instead of " + std::to_string(current));
            } else {
                Report(current + 4, RecordName(page) + " links to offset " + std::to_string(next) +
                                        (next > fileSize_ ? ", outside the file" : ", which is not after the record"));
                return;
            }
        }
        CheckPageData(page, current + 8, next - 4);
        recordStarts_.push_back(current);
        current = next;
    }
    forwardWalkComplete_ = current == fileSize_;
    if (forwardWalkComplete_ && recordStarts_.empty())
        Report(headerSize_, "the file holds no page records");
}

std::int64_t ReportVerifier::NaturalPageDataEnd(std::int64_t dataStart)
{
    try {
        return ReadPageData(stream_, CompressPages_, dataStart, fileSize_ - 4).end;
    } catch (const std::exception&) {
        return -1;
    }
}

void ReportVerifier::CheckPageData(int page, std::int64_t dataStart, std::int64_t dataEnd)
{
    const std::string what = "page " + std::to_string(page) + (CompressPages_ ? " (compressed)" : "");
    try {
        const PageData data = ReadPageData(stream_, CompressPages_, dataStart, dataEnd);
        if (data.end != dataEnd)
            Report(dataStart, what + ": the page data takes " + std::to_string(data.end - dataStart) + " bytes but the record holds " +
                                  std::to_string(dataEnd - dataStart));
        else if (data.storedLength != static_cast<std::int64_t>(data.page->Bytes().size()))
            Report(dataStart, what + ": the metafile is " + std::to_string(data.page->Bytes().size()) +
                                  " bytes long but the record stores " + std::to_string(data.storedLength));
        CheckEmfRecords(what, data.page->Bytes(), dataStart);
    } catch (const std::exception& error) {
        Report(dataStart, what + ": " + error.what());
    }
}

void ReportVerifier::CheckEmfRecords(const std::string& what, std::span<const std::uint8_t> metafile, std::int64_t dataStart)
{
    // A plain page's records lie in the file itself; a compressed page's only in its decoded bytes.
    const auto report = [&](std::size_t offsetInPage, const std::string& subject, const std::string& fault) {
        if (CompressPages_)
            Report(dataStart, what + ": " + subject + " at offset " + std::to_string(offsetInPage) + " within the decoded page " + fault);
        else
            Report(dataStart + static_cast<std::int64_t>(offsetInPage), what + ": " + subject + " " + fault);
    };
    const std::string metafileEnd = "the end of the metafile (nBytes " + std::to_string(metafile.size()) + ")";

    emf::EmfRecordReader reader(metafile);
    emf::EmfRecord record;
    std::uint64_t count = 0;
    std::size_t lastOffset = 0;
    std::uint32_t lastType = 0;
    for (std::size_t offset = reader.Offset(); reader.Next(record); offset = reader.Offset()) {
        ++count;
        lastOffset = offset;
        lastType = record.Type();
    }

    if (reader.Damaged()) {
        const std::size_t offset = reader.Offset();
        const std::size_t left = metafile.size() - offset;
        if (left < 8) {
            report(offset, "EMF record " + std::to_string(count + 1),
                   "is cut short: only " + std::to_string(left) + " bytes remain before " + metafileEnd);
            return;
        }
        const std::uint32_t type = ReadU32LE(metafile.data() + offset);
        const std::uint32_t size = ReadU32LE(metafile.data() + offset + 4);
        const std::string subject = EmfRecordName(count + 1, type);
        if (size == 0)
            report(offset, subject, "has size 0");
        else if (size % 4 != 0)
            report(offset, subject, "has size " + std::to_string(size) + ", not a multiple of 4");
        else if (size < 8)
            report(offset, subject, "has size " + std::to_string(size) + ", too small for its own type and size");
        else
            report(offset, subject, "is " + std::to_string(size) + " bytes long and runs past " + metafileEnd + " by " +
                                        std::to_string(size - left) + " bytes");
        return;
    }
    if (lastType != emf::emr::Eof) {
        report(lastOffset, EmfRecordName(count, lastType), "is the metafile's last record: EMR_EOF is missing at its end");
        return;
    }
    if (reader.Offset() != metafile.size()) {
        report(lastOffset, "EMR_EOF (EMF record " + std::to_string(count) + ")",
               "ends the metafile " + std::to_string(metafile.size() - reader.Offset()) + " bytes before " + metafileEnd);
    }
    // nRecords is left alone: real-world metafiles often miscount and still play as they should.
}

void ReportVerifier::WalkBackward()
{
    if (fileSize_ - headerSize_ < kRecordOverhead)
        return;
    const std::int64_t tail = ReadInt32At(fileSize_ - 4);
    if (!forwardWalkComplete_) {
        WalkBackwardPastBreak(tail);
        return;
    }
    if (recordStarts_.empty())
        return;
    if (tail != recordStarts_.back()) {
        if (!ReportedAt(fileSize_ - 4))
            Report(fileSize_ - 4, "the file's last four bytes point to offset " + std::to_string(tail) + " instead of the last record at " +
                                  std::to_string(recordStarts_.back()));
        return;
    }
    // Each step must land on the record before, as the forward walk found them.
    std::int64_t current = tail;
    for (auto expected = recordStarts_.rbegin() + 1; expected != recordStarts_.rend(); ++expected) {
        const std::int64_t previous = ReadInt32At(current - 4);
        if (previous != *expected) {
            if (!ReportedAt(current - 4))
                Report(current - 4, "the record at offset " + std::to_string(current) + " links back to offset " +
                                        std::to_string(previous) + " instead of " + std::to_string(*expected));
            return;
        }
        current = previous;
    }
}

// The forward walk stopped at a link it could not follow: from the tail, check the records it did
// not reach, until the walk meets a record it did reach or a link of its own it cannot follow.
void ReportVerifier::WalkBackwardPastBreak(std::int64_t current)
{
    std::int64_t end = fileSize_;
    while (!Full()) {
        const std::string link = end == fileSize_ ? "the file's last four bytes point"
                                                  : "the record at offset " + std::to_string(end) + " links back";
        // Each step goes back by a whole record at least, so the walk ends.
        if (current < headerSize_ || current > end - kRecordOverhead) {
            if (!ReportedAt(end - 4))
                Report(end - 4, link + " to offset " + std::to_string(current) + ", where no record before it can start");
            return;
        }
        if (std::binary_search(recordStarts_.begin(), recordStarts_.end(), current))
            return;
        stream_.SetPosition(current);
        const std::int32_t pageNo = stream_.ReadInt32();
        const std::int64_t next = stream_.ReadInt32();
        if (next != end) {
            if (!ReportedAt(current + 4))
                Report(current + 4, link + " to offset " + std::to_string(current) + ", whose record links to offset " +
                                        std::to_string(next) + " instead of " + std::to_string(end));
            return;
        }
        CheckPageData(pageNo, current + 8, end - 4);
        if (current == headerSize_)
            return;
        end = current;
        current = ReadInt32At(current - 4);
    }
}

} // namespace tarvolo::docstore
