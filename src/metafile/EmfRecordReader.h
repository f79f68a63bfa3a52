#pragma once

#include "EmfHeader.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>

namespace tarvolo::emf {

// A record whose fields do not fit inside it.
class EDamagedRecord : public std::runtime_error {
public:
    EDamagedRecord() : std::runtime_error("damaged EMF record") {}
};

struct PointL {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

using RectL = EmfRect;

// One record: its type and all of its bytes, the 8-byte type and size included. Every accessor
// checks that what it reads lies inside the record and throws EDamagedRecord otherwise, so a
// record's own counts and offsets can be trusted only after they have been read through here.
class EmfRecord {
public:
    EmfRecord() = default;
    EmfRecord(std::uint32_t type, std::span<const std::uint8_t> bytes) : type_(type), bytes_(bytes) {}

    std::uint32_t Type() const { return type_; }
    std::size_t Size() const { return bytes_.size(); }
    std::span<const std::uint8_t> Bytes() const { return bytes_; }

    std::uint32_t U32(std::size_t offset) const;
    std::int32_t I32(std::size_t offset) const { return static_cast<std::int32_t>(U32(offset)); }
    std::uint16_t U16(std::size_t offset) const;
    std::int16_t I16(std::size_t offset) const { return static_cast<std::int16_t>(U16(offset)); }
    std::uint8_t U8(std::size_t offset) const;
    float F32(std::size_t offset) const;
    PointL Point(std::size_t offset) const { return {I32(offset), I32(offset + 4)}; }
    RectL Rect(std::size_t offset) const { return {I32(offset), I32(offset + 4), I32(offset + 8), I32(offset + 12)}; }
    // count items of itemSize bytes at offset, all inside the record.
    std::span<const std::uint8_t> Span(std::size_t offset, std::uint64_t count, std::uint64_t itemSize = 1) const;

private:
    void Need(std::size_t offset, std::uint64_t length) const;

    std::uint32_t type_ = 0;
    std::span<const std::uint8_t> bytes_;
};

// Walks the records of an EMF. A record must be at least 8 bytes, a multiple of 4 and inside the
// metafile; the walk ends at the first record that is not, and Damaged() then says so.
class EmfRecordReader {
public:
    explicit EmfRecordReader(std::span<const std::uint8_t> metafile) : bytes_(metafile) {}

    // The next record, or false at the end (EMR_EOF included, then nothing more) or at damage.
    bool Next(EmfRecord& record);
    bool Damaged() const { return damaged_; }
    std::size_t Offset() const { return offset_; }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t offset_ = 0;
    bool damaged_ = false;
    bool ended_ = false;
};

} // namespace tarvolo::emf
