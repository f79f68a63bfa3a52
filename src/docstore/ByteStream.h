#pragma once

#include <cstdint>
#include <string>

namespace tarvolo::docstore {

enum class SeekOrigin { Begin = 0, Current = 1, End = 2 };

// A seekable stream of bytes. Implementations override the three primitive operations; size
// and position are derived from SeekTo, as callers of the report layout expect.
class ByteStream {
public:
    virtual ~ByteStream() = default;

    // Returns how many bytes were read; fewer than count (0 at the end) is not a failure.
    virtual std::int64_t ReadBytes(void* buffer, std::int64_t count) = 0;
    // Returns how many bytes were written.
    virtual std::int64_t WriteBytes(const void* buffer, std::int64_t count) = 0;
    // Returns the new position.
    virtual std::int64_t SeekTo(std::int64_t offset, SeekOrigin origin) = 0;
    // Why the last write took fewer bytes than it was given, naming the file where there is
    // one; empty when the stream cannot tell.
    virtual std::string WriteFailure() const { return {}; }

    std::int64_t Position() { return SeekTo(0, SeekOrigin::Current); }
    void SetPosition(std::int64_t position) { SeekTo(position, SeekOrigin::Begin); }
    std::int64_t Size();

    // Reads or writes exactly count bytes or fails with "Stream read error" / "Stream write error",
    // the latter followed by the stream's WriteFailure() when it has one.
    void ReadExact(void* buffer, std::int64_t count);
    void WriteExact(const void* buffer, std::int64_t count);
    std::int32_t ReadInt32();
    void WriteInt32(std::int32_t value);
};

} // namespace tarvolo::docstore
