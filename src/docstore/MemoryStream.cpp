#include "MemoryStream.h"

#include "StreamErrors.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

namespace tarvolo::docstore {

std::int64_t ResolveSeek(std::int64_t offset, SeekOrigin origin, std::int64_t position, std::int64_t size)
{
    std::int64_t base = 0;
    switch (origin) {
    case SeekOrigin::Begin: base = 0; break;
    case SeekOrigin::Current: base = position; break;
    case SeekOrigin::End: base = size; break;
    }
    if (offset > std::numeric_limits<std::int64_t>::max() - base || base + offset < 0)
        throw EReadError();
    return base + offset;
}

std::int64_t MemoryStream::ReadBytes(void* buffer, std::int64_t count)
{
    const auto size = static_cast<std::int64_t>(data_.size());
    if (count <= 0 || position_ >= size)
        return 0;
    const std::int64_t n = std::min(count, size - position_);
    std::memcpy(buffer, data_.data() + position_, static_cast<std::size_t>(n));
    position_ += n;
    return n;
}

std::int64_t MemoryStream::WriteBytes(const void* buffer, std::int64_t count)
{
    if (count <= 0)
        return 0;
    const std::int64_t end = position_ + count;
    try {
        if (end > static_cast<std::int64_t>(data_.size())) {
            if (end > static_cast<std::int64_t>(data_.capacity()))
                data_.reserve(std::max<std::size_t>(static_cast<std::size_t>(end), data_.capacity() * 2));
            data_.resize(static_cast<std::size_t>(end));
        }
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory();
    } catch (const std::length_error&) {
        throw EOutOfMemory();
    }
    std::memcpy(data_.data() + position_, buffer, static_cast<std::size_t>(count));
    position_ = end;
    return count;
}

std::int64_t MemoryStream::SeekTo(std::int64_t offset, SeekOrigin origin)
{
    position_ = ResolveSeek(offset, origin, position_, static_cast<std::int64_t>(data_.size()));
    return position_;
}

std::vector<std::uint8_t> MemoryStream::TakeData()
{
    position_ = 0;
    return std::exchange(data_, {});
}

} // namespace tarvolo::docstore
