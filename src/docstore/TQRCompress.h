#pragma once

#include "ByteStream.h"

#include <array>
#include <cstdint>
#include <limits>
#include <span>

namespace tarvolo::docstore {

// The page codec: an adaptive prefix code over the 256 byte values, kept in a binary tree that is
// semi-splayed after every symbol. One object codes one page in one direction.
//
// Code bytes go through a small buffer instead of one stream call per byte. The stream ends up
// where byte-at-a-time coding would leave it: after Finish() an encoder has written exactly its
// code bytes, and a decoder stands right after the last code byte it took a bit from.
class TQRCompress {
public:
    static constexpr std::int64_t kUnlimited = std::numeric_limits<std::int64_t>::max();

    // A decoder reads at most inputLimit code bytes; past them, or past the end of the stream, it
    // takes zero bits and remembers that it ran out (RanOutOfInput).
    TQRCompress(ByteStream& stream, bool encoding, std::int64_t inputLimit = kUnlimited);
    // Completes the coding like Finish(), but swallows errors: call Finish() to see them.
    ~TQRCompress();
    TQRCompress(const TQRCompress&) = delete;
    TQRCompress& operator=(const TQRCompress&) = delete;

    void EncodeSymbol(std::uint8_t symbol);
    std::uint8_t DecodeSymbol();
    void Encode(std::span<const std::uint8_t> bytes);
    void Decode(std::span<std::uint8_t> bytes);

    // Encoder: writes the partly filled last code byte and everything buffered.
    // Decoder: gives back the code bytes read ahead but not used.
    void Finish();

    bool RanOutOfInput() const { return inputExhausted_; }

private:
    static constexpr std::size_t kBufferSize = 4096;

    void ResetTree();
    void SplayLeaf(std::uint8_t symbol);
    std::uint8_t NextInputByte();
    void FlushOutput();

    // Code state, as the format defines it.
    std::uint8_t BitIndex;
    bool Encoding;
    std::uint16_t InputByte = 0;
    std::array<std::uint16_t, 256> LeftChild;
    std::array<std::uint16_t, 256> RightChild;
    std::uint16_t PendingByte = 0;
    ByteStream& CodeStream;
    std::array<std::uint8_t, 513> ParentOf;

    // Buffering of code bytes.
    std::array<std::uint8_t, kBufferSize> buffer_;
    std::size_t bufferUsed_ = 0;   // encoder: bytes waiting; decoder: bytes consumed
    std::size_t bufferFilled_ = 0; // decoder: bytes read into the buffer
    std::int64_t inputLeft_;
    bool inputExhausted_ = false;
    bool finished_ = false;
};

} // namespace tarvolo::docstore
