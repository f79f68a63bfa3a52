#include "ReportFileFormat.h"

#include "StreamErrors.h"
#include "metafile/LittleEndian.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace tarvolo::docstore {

namespace {

constexpr std::int64_t kOldLayoutProbeOffset = 173;
constexpr std::int64_t kCurrentLayoutProbeOffset = 177;

// The letters before the first zero byte of four bytes read at offset.
std::string ReadProbe(ByteStream& stream, std::int64_t offset)
{
    char bytes[4];
    stream.SetPosition(offset);
    stream.ReadExact(bytes, sizeof bytes);
    return std::string(bytes, strnlen(bytes, sizeof bytes));
}

// Restores a stream position when a scope ends, failures included.
class PositionKeeper {
public:
    explicit PositionKeeper(ByteStream& stream) : stream_(stream), position_(stream.Position()) {}
    ~PositionKeeper()
    {
        try {
            stream_.SetPosition(position_);
        } catch (...) {
        }
    }
    PositionKeeper(const PositionKeeper&) = delete;
    PositionKeeper& operator=(const PositionKeeper&) = delete;

private:
    ByteStream& stream_;
    std::int64_t position_;
};

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

constexpr std::int64_t kOleEpochDaysFromUnix = -25569; // 1899-12-30

} // namespace

ReportFileHeader ReportFileHeader::Decode(const HeaderBytes& bytes)
{
    ReportFileHeader header;
    header.LayoutVersion = static_cast<std::int16_t>(ReadU16LE(&bytes[0]));
    header.ProducerVersion = static_cast<std::int16_t>(ReadU16LE(&bytes[2]));
    header.StoredPageCount = ReadI32LE(&bytes[8]);
    header.CreatedAt = ReadDoubleLE(&bytes[16]);
    header.PagesCompressed = bytes[25] != 0;
    return header;
}

HeaderBytes ReportFileHeader::Encode() const
{
    HeaderBytes bytes{};
    WriteU16LE(&bytes[0], static_cast<std::uint16_t>(LayoutVersion));
    WriteU16LE(&bytes[2], static_cast<std::uint16_t>(ProducerVersion));
    WriteI32LE(&bytes[8], StoredPageCount);
    WriteDoubleLE(&bytes[16], CreatedAt);
    bytes[25] = PagesCompressed ? 1 : 0;
    return bytes;
}

std::int64_t ProbeHeaderSize(ByteStream& stream)
{
    PositionKeeper keeper(stream);
    // A report without pages is its header alone; there is no page to probe.
    const std::int64_t size = stream.Size();
    if (size == kHeaderSize || size == kOldHeaderSize)
        return size;
    if (ReadProbe(stream, kOldLayoutProbeOffset) == "EMF")
        return kOldHeaderSize;
    ReadProbe(stream, kCurrentLayoutProbeOffset);
    return kHeaderSize;
}

void UpgradeHeaderFrom124(HeaderBytes& header)
{
    HeaderBytes old = header;
    std::memcpy(&header[0], &old[0], 5);     // versions and reserved byte
    std::memcpy(&header[8], &old[8], 4);     // StoredPageCount
    std::memcpy(&header[16], &old[12], 8);   // CreatedAt
    header[24] = old[20];
    header[25] = old[21];                    // PagesCompressed
    std::memcpy(&header[26], &old[22], 101); // reserved
}

void UpgradeHeader(ByteStream& stream, HeaderBytes& header)
{
    if (ProbeHeaderSize(stream) == kOldHeaderSize)
        UpgradeHeaderFrom124(header);
}

HeaderRead ReadReportHeader(ByteStream& stream)
{
    stream.SetPosition(0);
    HeaderRead result;
    result.size = ProbeHeaderSize(stream);
    HeaderBytes bytes{};
    stream.ReadBytes(bytes.data(), result.size);
    if (result.size == kOldHeaderSize)
        UpgradeHeaderFrom124(bytes);
    result.header = ReportFileHeader::Decode(bytes);
    stream.SetPosition(result.size);
    return result;
}

double CurrentOleDate()
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    const std::int64_t days =
        DaysFromCivil(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1), static_cast<unsigned>(local.tm_mday)) -
        kOleEpochDaysFromUnix;
    const double secondsOfDay = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + millis / 1000.0;
    return static_cast<double>(days) + secondsOfDay / 86400.0;
}

std::optional<std::string> OleDateToIso8601(double oleDate)
{
    // Years 0001 to 9999, the range of the date type that writes these values.
    if (!std::isfinite(oleDate) || oleDate < -657434.0 || oleDate >= 2958466.0)
        return std::nullopt;
    // Before the epoch the fraction still counts forwards from midnight.
    const double dayPart = std::trunc(oleDate);
    const double fraction = std::fabs(oleDate - dayPart);
    auto millisOfDay = static_cast<std::int64_t>(std::llround(fraction * 86400000.0));
    auto days = static_cast<std::int64_t>(dayPart) + kOleEpochDaysFromUnix;
    if (millisOfDay >= 86400000) {
        millisOfDay -= 86400000;
        ++days;
    }
    // Civil date from days since 1970-01-01.
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned day = doy - (153 * mp + 2) / 5 + 1;
    const unsigned month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2);

    char text[96];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02lld:%02lld:%02lld.%03lld", static_cast<long long>(year), month, day,
                  static_cast<long long>(millisOfDay / 3600000), static_cast<long long>(millisOfDay / 60000 % 60),
                  static_cast<long long>(millisOfDay / 1000 % 60), static_cast<long long>(millisOfDay % 1000));
    return std::string(text);
}

} // namespace tarvolo::docstore
