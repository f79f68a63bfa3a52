#pragma once

#include "ByteStream.h"

#include <cstdint>
#include <vector>

namespace tarvolo::docstore {

// A growable byte stream in memory. Seeking past the end is allowed; a write there fills the
// gap with zeros.
class MemoryStream : public ByteStream {
public:
    MemoryStream() = default;
    explicit MemoryStream(std::vector<std::uint8_t> bytes) : data_(std::move(bytes)) {}

    std::int64_t ReadBytes(void* buffer, std::int64_t count) override;
    std::int64_t WriteBytes(const void* buffer, std::int64_t count) override;
    std::int64_t SeekTo(std::int64_t offset, SeekOrigin origin) override;

    const std::vector<std::uint8_t>& Data() const { return data_; }
    std::vector<std::uint8_t> TakeData();

private:
    std::vector<std::uint8_t> data_;
    std::int64_t position_ = 0;
};

// The new position for a seek, failing with "Stream read error" when it would be negative.
std::int64_t ResolveSeek(std::int64_t offset, SeekOrigin origin, std::int64_t position, std::int64_t size);

} // namespace tarvolo::docstore
