#include "ReportVerifier.h"

#include "PageDataReader.h"
#include "ReportFileFormat.h"
#include "StreamErrors.h"

#include <algorithm>

namespace tarvolo::docstore {

namespace {

std::string RecordName(int page)
{
    return "record " + std::to_string(page);
}

} // namespace

void ReportVerifier::Report(std::int64_t offset, std::string message)
{
    if (!Full())
        problems_.push_back({offset, std::move(message)});
}

std::vector<VerificationProblem> ReportVerifier::Verify()
{
    problems_.clear();
    recordStarts_.clear();
    forwardWalkComplete_ = false;
    size_ = stream_.Size();
    try {
        const HeaderRead header = ReadReportHeader(stream_);
        headerSize_ = header.size;
        storedPageCount_ = header.header.StoredPageCount;
        compressed_ = header.header.PagesCompressed;
    } catch (const EReadError&) {
        Report(0, "the file is too short for a report header and a page (" + std::to_string(size_) + " bytes)");
        return problems_;
    }

    WalkForward();
    if (forwardWalkComplete_) {
        if (storedPageCount_ != static_cast<std::int64_t>(recordStarts_.size()))
            Report(8, "the header says " + std::to_string(storedPageCount_) + " pages but the file holds " +
                          std::to_string(recordStarts_.size()) + " page records");
        WalkBackward();
    }
    return problems_;
}

void ReportVerifier::WalkForward()
{
    std::int64_t current = headerSize_;
    for (int page = 1; current != size_ && !Full(); ++page) {
        if (current + kRecordOverhead > size_) {
            Report(current, RecordName(page) + " is cut short: the file ends " + std::to_string(size_ - current) +
                                " bytes after its start");
            return;
        }
        stream_.SetPosition(current);
        const std::int32_t pageNo = stream_.ReadInt32();
        const std::int64_t next = stream_.ReadInt32();
        if (pageNo != page)
            Report(current, RecordName(page) + " has page number " + std::to_string(pageNo));
        if (next < current + kRecordOverhead || next > size_) {
            Report(current + 4, RecordName(page) + " links to offset " + std::to_string(next) +
                                    (next > size_ ? ", outside the file" : ", which is not after the record"));
            return;
        }
        stream_.SetPosition(next - 4);
        const std::int64_t recordStart = stream_.ReadInt32();
        if (recordStart != current)
            Report(next - 4, RecordName(page) + " ends with the start offset " + std::to_string(recordStart) + " instead of " +
                                 std::to_string(current));
        CheckPageData(page, current + 8, next - 4);
        recordStarts_.push_back(current);
        current = next;
    }
    forwardWalkComplete_ = current == size_;
    if (forwardWalkComplete_ && recordStarts_.empty())
        Report(headerSize_, "the file holds no page records");
}

void ReportVerifier::CheckPageData(int page, std::int64_t dataStart, std::int64_t dataEnd)
{
    const std::string what = "page " + std::to_string(page) + (compressed_ ? " (compressed)" : "");
    try {
        const PageData data = ReadPageData(stream_, compressed_, dataStart, dataEnd);
        if (data.end != dataEnd)
            Report(dataStart, what + ": the page data takes " + std::to_string(data.end - dataStart) + " bytes but the record holds " +
                                  std::to_string(dataEnd - dataStart));
        else if (data.storedLength != static_cast<std::int64_t>(data.page->Bytes().size()))
            Report(dataStart, what + ": the metafile is " + std::to_string(data.page->Bytes().size()) +
                                  " bytes long but the record stores " + std::to_string(data.storedLength));
    } catch (const std::exception& error) {
        Report(dataStart, what + ": " + error.what());
    }
}

void ReportVerifier::WalkBackward()
{
    if (recordStarts_.empty())
        return;
    stream_.SetPosition(size_ - 4);
    std::int64_t current = stream_.ReadInt32();
    if (current != recordStarts_.back()) {
        Report(size_ - 4, "the file's last four bytes point to offset " + std::to_string(current) + " instead of the last record at " +
                              std::to_string(recordStarts_.back()));
        return;
    }
    // Each step must land on the record before, as the forward walk found them.
    for (auto expected = recordStarts_.rbegin() + 1; expected != recordStarts_.rend(); ++expected) {
        stream_.SetPosition(current - 4);
        const std::int64_t previous = stream_.ReadInt32();
        if (previous != *expected) {
            const bool seenForwards = std::any_of(problems_.begin(), problems_.end(),
                                                  [&](const VerificationProblem& p) { return p.offset == current - 4; });
            if (!seenForwards)
                Report(current - 4, "the record at offset " + std::to_string(current) + " links back to offset " +
                                        std::to_string(previous) + " instead of " + std::to_string(*expected));
            return;
        }
        current = previous;
    }
}

} // namespace tarvolo::docstore
