#include "PageDataReader.h"

#include "StreamErrors.h"
#include "TQRCompress.h"

#include <algorithm>
#include <new>
#include <vector>

namespace tarvolo::docstore {

namespace {

// A code byte holds at most eight symbols, since no code is shorter than one bit.
constexpr std::int64_t kMostSymbolsPerCodeByte = 8;

std::vector<std::uint8_t> AllocatePage(std::int64_t size)
{
    try {
        return std::vector<std::uint8_t>(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory();
    }
}

PageData ReadPlain(ByteStream& stream, std::int64_t dataStart, std::int64_t dataEnd)
{
    const std::int64_t available = dataEnd - dataStart;
    const std::int64_t prefixLength = std::clamp<std::int64_t>(available, 0, emf::kEmfHeaderMinSize);
    std::vector<std::uint8_t> prefix(static_cast<std::size_t>(prefixLength));
    stream.SetPosition(dataStart);
    stream.ReadExact(prefix.data(), prefixLength);
    const emf::EmfHeader header = emf::ParseEmfHeader(prefix, static_cast<std::uint64_t>(std::max<std::int64_t>(available, 0)));
    if (header.nBytes > available)
        throw EReadError();
    std::vector<std::uint8_t> bytes = AllocatePage(header.nBytes);
    std::copy(prefix.begin(), prefix.end(), bytes.begin());
    stream.ReadExact(bytes.data() + prefixLength, header.nBytes - prefixLength);
    return {std::make_unique<emf::Metafile>(std::move(bytes)), header.nBytes, dataStart + header.nBytes};
}

PageData ReadCompressed(ByteStream& stream, std::int64_t dataStart, std::int64_t dataEnd)
{
    if (dataEnd - dataStart < 4)
        throw EReadError();
    stream.SetPosition(dataStart);
    const std::int64_t uncompressedLength = stream.ReadInt32();
    const std::int64_t codeBytes = dataEnd - dataStart - 4;
    if (uncompressedLength <= static_cast<std::int64_t>(emf::kMetafileMinBytesLeft))
        throw emf::EInvalidGraphic();
    if (uncompressedLength > codeBytes * kMostSymbolsPerCodeByte)
        throw EReadError();

    TQRCompress codec(stream, false, codeBytes);
    std::vector<std::uint8_t> prefix(emf::kEmfHeaderMinSize);
    codec.Decode(prefix);
    const emf::EmfHeader header = emf::ParseEmfHeader(prefix, static_cast<std::uint64_t>(uncompressedLength));
    if (header.nBytes > uncompressedLength)
        throw EReadError();
    std::vector<std::uint8_t> bytes = AllocatePage(uncompressedLength);
    std::copy(prefix.begin(), prefix.end(), bytes.begin());
    codec.Decode(std::span(bytes).subspan(prefix.size()));
    if (codec.RanOutOfInput())
        throw EReadError();
    codec.Finish();
    bytes.resize(header.nBytes);
    return {std::make_unique<emf::Metafile>(std::move(bytes)), uncompressedLength, stream.Position()};
}

} // namespace

PageData ReadPageData(ByteStream& stream, bool compressed, std::int64_t dataStart, std::int64_t dataEnd)
{
    return compressed ? ReadCompressed(stream, dataStart, dataEnd) : ReadPlain(stream, dataStart, dataEnd);
}

} // namespace tarvolo::docstore
