#pragma once

#include <cstdint>
#include <vector>

namespace tarvolo::printing {

// Which pages of a report a print takes beyond its first and last page: a list of ranges, the odd
// or even pages only, and the order.
enum class TPageSet : std::uint8_t { psAll, psOdd, psEven };

struct TPageRange {
    int First = 0;
    int Last = 0;
    bool operator==(const TPageRange&) const = default;
};

struct TPageChoice {
    // More than one range: exactly these pages, in the order given. Otherwise the first and the
    // last page of the print alone say which pages are printed.
    std::vector<TPageRange> Ranges;
    TPageSet PageSet = TPageSet::psAll;
    bool Reverse = false;

    bool operator==(const TPageChoice&) const = default;
};

// The page numbers a print from first to last prints, in the order they are printed.
std::vector<int> PagesToPrint(const TPageChoice& choice, int first, int last);

} // namespace tarvolo::printing
