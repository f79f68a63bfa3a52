#include "EmfRecordReader.h"

#include "GdiConstants.h"
#include "LittleEndian.h"

#include <cstring>

namespace tarvolo::emf {

void EmfRecord::Need(std::size_t offset, std::uint64_t length) const
{
    if (offset > bytes_.size() || length > bytes_.size() - offset)
        throw EDamagedRecord();
}

std::uint32_t EmfRecord::U32(std::size_t offset) const
{
    Need(offset, 4);
    return ReadU32LE(bytes_.data() + offset);
}

std::uint16_t EmfRecord::U16(std::size_t offset) const
{
    Need(offset, 2);
    return ReadU16LE(bytes_.data() + offset);
}

std::uint8_t EmfRecord::U8(std::size_t offset) const
{
    Need(offset, 1);
    return bytes_[offset];
}

float EmfRecord::F32(std::size_t offset) const
{
    const std::uint32_t bits = U32(offset);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::span<const std::uint8_t> EmfRecord::Span(std::size_t offset, std::uint64_t count, std::uint64_t itemSize) const
{
    if (itemSize != 0 && count > (std::uint64_t{1} << 40) / itemSize)
        throw EDamagedRecord();
    const std::uint64_t length = count * itemSize;
    Need(offset, length);
    return bytes_.subspan(offset, static_cast<std::size_t>(length));
}

bool EmfRecordReader::Next(EmfRecord& record)
{
    if (ended_ || damaged_ || offset_ >= bytes_.size())
        return false;
    if (bytes_.size() - offset_ < 8) {
        damaged_ = true;
        return false;
    }
    const std::uint32_t type = ReadU32LE(bytes_.data() + offset_);
    const std::uint32_t size = ReadU32LE(bytes_.data() + offset_ + 4);
    if (size < 8 || size % 4 != 0 || size > bytes_.size() - offset_) {
        damaged_ = true;
        return false;
    }
    record = EmfRecord(type, bytes_.subspan(offset_, size));
    offset_ += size;
    if (type == emr::Eof)
        ended_ = true;
    return true;
}

} // namespace tarvolo::emf
