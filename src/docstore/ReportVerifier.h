#pragma once

#include "ByteStream.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tarvolo::docstore {

struct VerificationProblem {
    std::int64_t offset = 0;
    std::string message;
};

// Checks a completed report file against every rule of its layout: the stored page count, record
// numbering, forward and backward links, the tail pointer, each page's data and the EMF records
// of each page. The records are walked forwards from the header and then backwards from the
// tail; when the forward walk meets a link it cannot follow, the backward walk goes on to the
// records beyond it, so that damage further on shows too.
class ReportVerifier {
public:
    static constexpr std::size_t kMostProblems = 100;

    explicit ReportVerifier(ByteStream& stream) : stream_(stream) {}

    // The problems found, in the order met; empty for a sound file. A page count the file cannot
    // hold comes first.
    std::vector<VerificationProblem> Verify();

private:
    void CheckPageCount();
    void WalkForward();
    void WalkBackward();
    void WalkBackwardPastBreak(std::int64_t current);
    // Where the page data from dataStart ends when nothing but the file bounds it; -1 when it
    // cannot be read that way.
    std::int64_t NaturalPageDataEnd(std::int64_t dataStart);
    void CheckPageData(int page, std::int64_t dataStart, std::int64_t dataEnd);
    // Reports the first damaged EMF record of one page.
    void CheckEmfRecords(const std::string& what, std::span<const std::uint8_t> metafile, std::int64_t dataStart);
    std::int64_t ReadInt32At(std::int64_t offset);
    void Report(std::int64_t offset, std::string message);
    bool ReportedAt(std::int64_t offset) const;
    bool Full() const { return problems_.size() >= kMostProblems; }

    ByteStream& stream_;
    std::int64_t fileSize_ = 0;
    std::int64_t headerSize_ = 0;
    std::int32_t StoredPageCount_ = 0;
    // How this reader expects the pages: decided like every other reader, not by the header flag alone.
    bool CompressPages_ = false;
    bool pageCountReported_ = false;
    bool forwardWalkComplete_ = false;
    // The record starts the forward walk reached, in file order.
    std::vector<std::int64_t> recordStarts_;
    std::vector<VerificationProblem> problems_;
};

} // namespace tarvolo::docstore
