#include "TQRCompress.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace tarvolo::docstore {

TQRCompress::TQRCompress(ByteStream& stream, bool encoding, std::int64_t inputLimit)
    : Encoding_(encoding), CodeStream_(stream), inputLeft_(inputLimit)
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

// A complete binary tree in heap order: bytes 0 to 254 start with the 8-bit code of s + 1,
// byte 255 with nine 0 bits.
void TQRCompress::ResetTree()
{
    ParentOf_[0] = 0;
    for (unsigned i = 1; i < kNodeCount; ++i)
        ParentOf_[i] = static_cast<std::uint8_t>((i - 1) / 2);
    for (unsigned j = 0; j < kLeafBase; ++j)
        ChildOf_[j] = {static_cast<std::uint16_t>(2 * j + 1), static_cast<std::uint16_t>(2 * j + 2)};
}

// Swaps the climbing node with its uncle and goes on from its grandparent, two levels up, until
// it hangs from the root. Sides are computed, not branched on: they are as random as the data.
void TQRCompress::SplayLeaf(std::uint8_t symbol)
{
    unsigned x = symbol + kLeafBase;
    unsigned p = ParentOf_[x];
    while (p != 0) {
        const unsigned g = ParentOf_[p];
        const unsigned uncleSide = ChildOf_[g][1] == p ? 0u : 1u;
        const unsigned uncle = ChildOf_[g][uncleSide];
        ChildOf_[g][uncleSide] = static_cast<std::uint16_t>(x);
        ChildOf_[p][ChildOf_[p][1] == x ? 1u : 0u] = static_cast<std::uint16_t>(uncle);
        ParentOf_[x] = static_cast<std::uint8_t>(g);
        ParentOf_[uncle] = static_cast<std::uint8_t>(p);
        x = g;
        if (x == 0)
            return;
        p = ParentOf_[x];
    }
}

void TQRCompress::FlushOutput()
{
    if (bufferUsed_ == 0)
        return;
    const auto count = static_cast<std::int64_t>(bufferUsed_);
    bufferUsed_ = 0;
    CodeStream_.WriteExact(buffer_.data(), count);
}

void TQRCompress::EmitCodeByte(std::uint8_t byte)
{
    if (bufferUsed_ == kBufferSize)
        FlushOutput();
    buffer_[bufferUsed_++] = byte;
}

void TQRCompress::EncodeSymbol(std::uint8_t symbol)
{
    // The path is found leaf to root and sent root first. It is at most 256 bits long, gathered
    // here in 64-bit words with the bit nearest the root last.
    std::array<std::uint64_t, 4> path{};
    unsigned depth = 0;
    for (unsigned x = symbol + kLeafBase; x != 0; ++depth) {
        const unsigned parent = ParentOf_[x];
        path[depth >> 6] |= static_cast<std::uint64_t>(ChildOf_[parent][1] == x) << (depth & 63);
        x = parent;
    }
    unsigned bitIndex = BitIndex_;
    unsigned pending = PendingByte_;
    while (depth > 0) {
        --depth;
        pending |= static_cast<unsigned>((path[depth >> 6] >> (depth & 63)) & 1u) << bitIndex;
        if (bitIndex == 7) {
            EmitCodeByte(static_cast<std::uint8_t>(pending));
            bitIndex = 0;
            pending = 0;
        } else {
            ++bitIndex;
        }
    }
    BitIndex_ = static_cast<std::uint8_t>(bitIndex);
    PendingByte_ = static_cast<std::uint16_t>(pending);
    SplayLeaf(symbol);
}

void TQRCompress::Encode(std::span<const std::uint8_t> bytes)
{
    for (const std::uint8_t byte : bytes)
        EncodeSymbol(byte);
}

void TQRCompress::RefillInput()
{
    // Keep the byte in use and those after it; drop the ones wholly taken.
    const std::size_t consumed = bitPosition_ >> 3;
    const std::size_t kept = bufferFilled_ > consumed ? bufferFilled_ - consumed : 0;
    std::memmove(buffer_.data(), buffer_.data() + consumed, kept);
    bitPosition_ -= 8 * consumed;
    bufferFilled_ = kept;
    const std::int64_t wanted = std::min<std::int64_t>(static_cast<std::int64_t>(kBufferSize - kept), inputLeft_);
    const std::int64_t got = wanted > 0 ? CodeStream_.ReadBytes(buffer_.data() + kept, wanted) : 0;
    if (got <= 0)
        inputEnded_ = true;
    else {
        inputLeft_ -= got;
        bufferFilled_ += static_cast<std::size_t>(got);
    }
    std::fill(buffer_.begin() + static_cast<std::ptrdiff_t>(bufferFilled_), buffer_.end(), std::uint8_t{0});
}

// The next code bits, first bit lowest: at least 57 of them, zeros past the end of the input.
std::uint64_t TQRCompress::PeekInputBits() const
{
    static_assert(std::endian::native == std::endian::little, "code bytes are loaded as little-endian words");
    const std::size_t byte = bitPosition_ >> 3;
    if (byte > bufferFilled_)
        return 0;
    std::uint64_t word;
    std::memcpy(&word, buffer_.data() + byte, sizeof word);
    return word >> (bitPosition_ & 7);
}

void TQRCompress::Decode(std::span<std::uint8_t> bytes)
{
    constexpr unsigned kPeekedBits = 57;
    // The walk down records each node and the side taken, which is all the splay needs.
    std::array<std::uint16_t, 257> pathNode;
    std::array<std::uint8_t, 257> pathSide;
    for (std::uint8_t& byte : bytes) {
        EnsureInputBytes();
        std::uint64_t bits = PeekInputBits();
        unsigned taken = 0;
        unsigned node = 0;
        unsigned depth = 0;
        do {
            if (taken == kPeekedBits) { // a code longer than the bits at hand: rare
                bitPosition_ += taken;
                taken = 0;
                EnsureInputBytes();
                bits = PeekInputBits();
            }
            const auto bit = static_cast<unsigned>(bits & 1u);
            bits >>= 1;
            ++taken;
            pathNode[depth] = static_cast<std::uint16_t>(node);
            pathSide[depth] = static_cast<std::uint8_t>(bit);
            ++depth;
            node = ChildOf_[node][bit];
        } while (node < kLeafBase);
        bitPosition_ += taken;
        byte = static_cast<std::uint8_t>(node - kLeafBase);

        unsigned x = node;
        for (unsigned level = depth; level >= 2; level -= 2) {
            const unsigned p = pathNode[level - 1];
            const unsigned g = pathNode[level - 2];
            const unsigned uncleSide = pathSide[level - 2] ^ 1u;
            const unsigned uncle = ChildOf_[g][uncleSide];
            ChildOf_[g][uncleSide] = static_cast<std::uint16_t>(x);
            ChildOf_[p][pathSide[level - 1]] = static_cast<std::uint16_t>(uncle);
            x = g;
        }
    }
}

std::uint8_t TQRCompress::DecodeSymbol()
{
    std::uint8_t symbol;
    Decode(std::span(&symbol, 1));
    return symbol;
}

void TQRCompress::Finish()
{
    if (finished_)
        return;
    finished_ = true;
    if (Encoding_) {
        if (BitIndex_ != 0)
            EmitCodeByte(static_cast<std::uint8_t>(PendingByte_));
        FlushOutput();
        return;
    }
    // A code byte counts as read once a bit of it has been taken.
    const std::size_t bytesTaken = (bitPosition_ + 7) / 8;
    if (bufferFilled_ > bytesTaken)
        CodeStream_.SeekTo(-static_cast<std::int64_t>(bufferFilled_ - bytesTaken), SeekOrigin::Current);
}

} // namespace tarvolo::docstore
