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
// Code bytes go through a buffer instead of one stream call per byte. The stream ends up where
// byte-at-a-time coding would leave it: after Finish() an encoder has written exactly its code
// bytes, and a decoder stands right after the last code byte it took a bit from.
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

    bool RanOutOfInput() const { return bitPosition_ > 8 * bufferFilled_; }

private:
    static constexpr std::size_t kBufferSize = 4096;
    // Zero bytes kept after the input so that a 64-bit load at any byte of it stays inside.
    static constexpr std::size_t kInputPadding = 8;
    static constexpr unsigned kLeafBase = 256;
    static constexpr unsigned kNodeCount = 513;

    void ResetTree();
    void SplayLeaf(std::uint8_t symbol);
    void EmitCodeByte(std::uint8_t byte);
    void FlushOutput();
    // Decoder: makes sure eight code bytes from the current one are in the buffer, where the input has them.
    void EnsureInputBytes()
    {
        if ((bitPosition_ >> 3) + 8 > bufferFilled_ && !inputEnded_)
            RefillInput();
    }
    void RefillInput();
    std::uint64_t PeekInputBits() const;

    // Encoder state: the code byte being filled and the next bit of it.
    std::uint8_t BitIndex_ = 0;
    std::uint16_t PendingByte_ = 0;
    bool Encoding_;
    // The children of each internal node: [node][0] is the left child, [node][1] the right, so
    // that a code bit indexes the child directly.
    std::array<std::array<std::uint16_t, 2>, kLeafBase> ChildOf_;
    // The parent of every node; the encoder climbs from a leaf to the root with it. The decoder
    // climbs the path it has just walked down and leaves this alone.
    std::array<std::uint8_t, kNodeCount> ParentOf_;
    ByteStream& CodeStream_;

    // Encoder: code bytes waiting to be written. Decoder: code bytes read, with bitPosition_
    // counting the bits taken from the buffer's start.
    std::array<std::uint8_t, kBufferSize + kInputPadding> buffer_{};
    std::size_t bufferUsed_ = 0;
    std::size_t bufferFilled_ = 0;
    std::size_t bitPosition_ = 0;
    std::int64_t inputLeft_;
    bool inputEnded_ = false;
    bool finished_ = false;
};

} // namespace tarvolo::docstore
