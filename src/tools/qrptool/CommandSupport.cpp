#include "Commands.h"

#include "docstore/AtomicFileWriter.h"
#include "docstore/FileStream.h"

#include <charconv>

namespace tarvolo::qrptool {

using docstore::AtomicFileWriter;
using docstore::FileStream;

std::vector<std::uint8_t> ReadWholeFile(const std::string& path)
{
    auto file = FileStream::OpenExisting(path, FileStream::Access::ReadOnly);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(file.Size()));
    file.ReadExact(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    return bytes;
}

void WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes)
{
    AtomicFileWriter writer(path);
    writer.Stream().WriteExact(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    writer.Commit();
}

void WriteWholeFile(const std::string& path, const QByteArray& bytes)
{
    WriteWholeFile(path, std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())));
}

std::optional<int> PositiveNumber(std::string_view text)
{
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || text.front() == '-' || error != std::errc() || stop != end || value < 1)
        return std::nullopt;
    return value;
}

std::pair<int, int> ParsePageRange(std::string_view text)
{
    const auto bad = [] { return std::runtime_error("--pages takes N, A-B, A- or -B, pages counted from 1 and A not after B"); };
    const std::size_t dash = text.find('-');
    if (dash == std::string_view::npos) {
        const auto page = PositiveNumber(text);
        if (!page)
            throw bad();
        return {*page, *page};
    }
    const std::string_view from = text.substr(0, dash), to = text.substr(dash + 1);
    if (from.empty() && to.empty())
        throw bad();
    const auto first = from.empty() ? std::optional(0) : PositiveNumber(from);
    const auto last = to.empty() ? std::optional(0) : PositiveNumber(to);
    if (!first || !last || (*last != 0 && *first > *last))
        throw bad();
    return {*first, *last};
}

} // namespace tarvolo::qrptool
