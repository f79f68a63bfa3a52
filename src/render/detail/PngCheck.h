#pragma once

#include <QSize>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// libpng writes its errors straight to standard error before it gives up on an image, whatever
// the application does with Qt's messages. So a PNG reaches Qt only once it is known to read
// cleanly: every chunk whole, in order and with its CRC, the header sane, and the image data
// inflating to exactly the rows the header promises, each with a valid filter type. The check
// comes in two steps, so that a caller can weigh the image's size before it is inflated.
namespace tarvolo::emf {

// Where each row of the image data starts (its filter type byte), pass after pass.
class RowStarts {
public:
    void AddPass(std::uint64_t rows, std::uint64_t length)
    {
        if (rows > 0 && length > 1) {
            passes_.push_back({rows, length});
            total_ += rows * length;
        }
    }
    std::uint64_t Total() const { return total_; }
    std::uint64_t Next() const { return pass_ < passes_.size() ? next_ : total_; }
    void Advance()
    {
        next_ += passes_[pass_].length;
        if (++row_ == passes_[pass_].rows) {
            row_ = 0;
            ++pass_;
        }
    }

private:
    struct Pass {
        std::uint64_t rows, length;
    };
    std::vector<Pass> passes_;
    std::uint64_t total_ = 0, next_ = 0, row_ = 0;
    std::size_t pass_ = 0;
};

struct PngLayout {
    QSize size;
    RowStarts rows;
    std::vector<std::uint8_t> stream; // the IDAT chunks joined
};

// The chunks of a PNG, checked as libpng checks them before it would give up on the image;
// nothing when they fail.
std::optional<PngLayout> ReadPngLayout(std::span<const std::uint8_t> data);
// Inflates the image data, keeping only the window back-references need; true when it comes to
// exactly the promised length with a valid filter type at each row start and a matching checksum.
bool InflatesCleanly(PngLayout& png);

} // namespace tarvolo::emf
