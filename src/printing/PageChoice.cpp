#include "PageChoice.h"

#include <algorithm>

namespace tarvolo::printing {

namespace {

// Counts up to last without stepping past it, so that a range ending on the largest int ends.
void AddPages(std::vector<int>& pages, int first, int last)
{
    if (first > last)
        return;
    for (int page = first;; ++page) {
        pages.push_back(page);
        if (page == last)
            break;
    }
}

} // namespace

std::vector<int> PagesToPrint(const TPageChoice& choice, int first, int last)
{
    std::vector<int> pages;
    if (choice.Ranges.size() > 1) {
        for (const TPageRange& range : choice.Ranges)
            AddPages(pages, range.First, range.Last);
    } else {
        AddPages(pages, first, last);
    }
    // Odd and even are the page numbers, not the places in the list: "odd of 2, 3, 4" is page 3.
    if (choice.PageSet != TPageSet::psAll) {
        const bool odd = choice.PageSet == TPageSet::psOdd;
        std::erase_if(pages, [odd](int page) { return (page % 2 != 0) != odd; });
    }
    if (choice.Reverse)
        std::reverse(pages.begin(), pages.end());
    return pages;
}

} // namespace tarvolo::printing
