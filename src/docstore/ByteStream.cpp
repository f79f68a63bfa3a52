#include "ByteStream.h"

#include "StreamErrors.h"
#include "metafile/LittleEndian.h"

namespace tarvolo::docstore {

std::int64_t ByteStream::Size()
{
    const std::int64_t position = Position();
    const std::int64_t size = SeekTo(0, SeekOrigin::End);
    SetPosition(position);
    return size;
}

void ByteStream::ReadExact(void* buffer, std::int64_t count)
{
    if (count != 0 && ReadBytes(buffer, count) != count)
        throw EReadError();
}

void ByteStream::WriteExact(const void* buffer, std::int64_t count)
{
    if (count != 0 && WriteBytes(buffer, count) != count) {
        const std::string detail = WriteFailure();
        if (detail.empty())
            throw EWriteError();
        throw EWriteError(detail);
    }
}

std::int32_t ByteStream::ReadInt32()
{
    std::uint8_t bytes[4];
    ReadExact(bytes, sizeof bytes);
    return ReadI32LE(bytes);
}

void ByteStream::WriteInt32(std::int32_t value)
{
    std::uint8_t bytes[4];
    WriteI32LE(bytes, value);
    WriteExact(bytes, sizeof bytes);
}

} // namespace tarvolo::docstore
