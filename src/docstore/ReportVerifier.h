#pragma once

#include "ByteStream.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tarvolo::docstore {

struct VerificationProblem {
    std::int64_t offset = 0;
    std::string message;
};

// Checks a completed report file against every rule of its layout: record numbering, forward
// and backward links, the tail pointer, the stored page count and each page's data, walking the
// records forwards and then backwards. Walks stop at the first link they cannot follow.
class ReportVerifier {
public:
    static constexpr std::size_t kMostProblems = 100;

    explicit ReportVerifier(ByteStream& stream) : stream_(stream) {}

    // The problems found, in the order met; empty for a sound file.
    std::vector<VerificationProblem> Verify();

private:
    void WalkForward();
    void WalkBackward();
    void CheckPageData(int page, std::int64_t dataStart, std::int64_t dataEnd);
    void Report(std::int64_t offset, std::string message);
    bool Full() const { return problems_.size() >= kMostProblems; }

    ByteStream& stream_;
    std::int64_t size_ = 0;
    std::int64_t headerSize_ = 0;
    std::int32_t storedPageCount_ = 0;
    bool compressed_ = false;
    bool forwardWalkComplete_ = false;
    std::vector<std::int64_t> recordStarts_;
    std::vector<VerificationProblem> problems_;
};

} // namespace tarvolo::docstore
