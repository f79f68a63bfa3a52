#pragma once

#include "ByteStream.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace tarvolo::docstore {

constexpr std::int64_t kHeaderSize = 128;
constexpr std::int64_t kOldHeaderSize = 124;
constexpr std::int16_t kLayoutVersion = 3;
constexpr std::int16_t kProducerVersion = 309;
// PageNo, NextRecordOffset and RecordStart around the page data.
constexpr std::int64_t kRecordOverhead = 12;

using HeaderBytes = std::array<std::uint8_t, kHeaderSize>;

// The fields of the 128-byte header.
struct ReportFileHeader {
    std::int16_t LayoutVersion = kLayoutVersion;
    std::int16_t ProducerVersion = kProducerVersion;
    std::int32_t StoredPageCount = 0;
    double CreatedAt = 0.0; // OLE Automation date, local time
    bool PagesCompressed = false;

    static ReportFileHeader Decode(const HeaderBytes& bytes);
    // Reserved and padding bytes are written as zeros.
    HeaderBytes Encode() const;
};

// 124 or 128: the header size, which is also the offset of the first record. Looks for the first
// page's " EMF" signature where the older, 4-byte-packed header would put it; a stream of exactly
// 124 or 128 bytes is a header without pages. Leaves the stream position as it was; fails with
// "Stream read error" when the file is too short to tell.
std::int64_t ProbeHeaderSize(ByteStream& stream);

// Rearranges a header read in the older 124-byte layout into the current one; leaves it alone
// when the stream's header is already in the current layout.
void UpgradeHeader(ByteStream& stream, HeaderBytes& header);
void UpgradeHeaderFrom124(HeaderBytes& header);

// Reads and upgrades the header at offset 0; the stream is left at the first record.
struct HeaderRead {
    ReportFileHeader header;
    std::int64_t size = kHeaderSize;
};
HeaderRead ReadReportHeader(ByteStream& stream);

// OLE Automation dates: days since 30 December 1899, the fraction being the time of day.
double CurrentOleDate();
// "YYYY-MM-DDTHH:MM:SS.mmm", or nothing for a value that is no date.
std::optional<std::string> OleDateToIso8601(double oleDate);

} // namespace tarvolo::docstore
