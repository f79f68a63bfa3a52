#include "TQRCompress.h"

#include <algorithm>

namespace tarvolo::docstore {

TQRCompress::TQRCompress(ByteStream& stream, bool encoding, std::int64_t inputLimit)
    : BitIndex(encoding ? 0 : 7), Encoding(encoding), CodeStream(stream), inputLeft_(inputLimit)
{
    ResetTree();
}

TQRCompress::~TQRCompress()
{
    try {
        Finish();
    } catch (...) {
        // A destructor cannot report; callers that care call Finish() first.
    }
}

void TQRCompress::ResetTree()
{
    ParentOf[0] = 0;
    for (unsigned i = 1; i <= 512; ++i)
        ParentOf[i] = static_cast<std::uint8_t>((i - 1) / 2);
    for (unsigned j = 0; j <= 255; ++j) {
        LeftChild[j] = static_cast<std::uint16_t>(2 * j + 1);
        RightChild[j] = static_cast<std::uint16_t>(2 * j + 2);
    }
}

void TQRCompress::SplayLeaf(std::uint8_t symbol)
{
    unsigned x = symbol + 256u;
    for (;;) {
        const unsigned p = ParentOf[x];
        if (p == 0)
            return;
        const unsigned g = ParentOf[p];
        unsigned uncle;
        if (LeftChild[g] == p) {
            uncle = RightChild[g];
            RightChild[g] = static_cast<std::uint16_t>(x);
        } else {
            uncle = LeftChild[g];
            LeftChild[g] = static_cast<std::uint16_t>(x);
        }
        if (LeftChild[p] == x)
            LeftChild[p] = static_cast<std::uint16_t>(uncle);
        else
            RightChild[p] = static_cast<std::uint16_t>(uncle);
        ParentOf[x] = static_cast<std::uint8_t>(g);
        ParentOf[uncle] = static_cast<std::uint8_t>(p);
        x = g;
        if (x == 0)
            return;
    }
}

void TQRCompress::FlushOutput()
{
    if (bufferUsed_ == 0)
        return;
    const auto count = static_cast<std::int64_t>(bufferUsed_);
    bufferUsed_ = 0;
    CodeStream.WriteExact(buffer_.data(), count);
}

void TQRCompress::EncodeSymbol(std::uint8_t symbol)
{
    // The path is recorded leaf to root and sent root first; it is at most 256 bits long.
    std::array<std::uint8_t, 256> path;
    unsigned depth = 0;
    for (unsigned x = symbol + 256u; x != 0;) {
        const unsigned parent = ParentOf[x];
        path[depth++] = RightChild[parent] == x ? 1 : 0;
        x = parent;
    }
    unsigned bitIndex = BitIndex;
    unsigned pending = PendingByte;
    while (depth > 0) {
        pending |= static_cast<unsigned>(path[--depth]) << bitIndex;
        if (bitIndex == 7) {
            if (bufferUsed_ == kBufferSize)
                FlushOutput();
            buffer_[bufferUsed_++] = static_cast<std::uint8_t>(pending);
            bitIndex = 0;
            pending = 0;
        } else {
            ++bitIndex;
        }
    }
    BitIndex = static_cast<std::uint8_t>(bitIndex);
    PendingByte = static_cast<std::uint16_t>(pending);
    SplayLeaf(symbol);
}

std::uint8_t TQRCompress::NextInputByte()
{
    if (bufferUsed_ == bufferFilled_) {
        bufferUsed_ = bufferFilled_ = 0;
        const std::int64_t wanted = std::min<std::int64_t>(kBufferSize, inputLeft_);
        const std::int64_t got = wanted > 0 ? CodeStream.ReadBytes(buffer_.data(), wanted) : 0;
        if (got <= 0) {
            inputExhausted_ = true;
            return 0;
        }
        inputLeft_ -= got;
        bufferFilled_ = static_cast<std::size_t>(got);
    }
    return buffer_[bufferUsed_++];
}

std::uint8_t TQRCompress::DecodeSymbol()
{
    unsigned node = 0;
    unsigned bitIndex = BitIndex;
    unsigned input = InputByte;
    do {
        if (bitIndex == 7) {
            input = NextInputByte();
            bitIndex = 0;
        } else {
            ++bitIndex;
        }
        node = ((input >> bitIndex) & 1u) ? RightChild[node] : LeftChild[node];
    } while (node <= 255);
    BitIndex = static_cast<std::uint8_t>(bitIndex);
    InputByte = static_cast<std::uint16_t>(input);
    const auto symbol = static_cast<std::uint8_t>(node - 256);
    SplayLeaf(symbol);
    return symbol;
}

void TQRCompress::Encode(std::span<const std::uint8_t> bytes)
{
    for (const std::uint8_t byte : bytes)
        EncodeSymbol(byte);
}

void TQRCompress::Decode(std::span<std::uint8_t> bytes)
{
    for (std::uint8_t& byte : bytes)
        byte = DecodeSymbol();
}

void TQRCompress::Finish()
{
    if (finished_)
        return;
    finished_ = true;
    if (Encoding) {
        if (BitIndex != 0) {
            if (bufferUsed_ == kBufferSize)
                FlushOutput();
            buffer_[bufferUsed_++] = static_cast<std::uint8_t>(PendingByte);
        }
        FlushOutput();
    } else if (bufferFilled_ > bufferUsed_) {
        CodeStream.SeekTo(-static_cast<std::int64_t>(bufferFilled_ - bufferUsed_), SeekOrigin::Current);
    }
}

} // namespace tarvolo::docstore
