// Which pages a print takes, and in what order, from the page list, odd or even and reverse.

#include "printing/PageChoice.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

using namespace tarvolo::printing;
using enum TPageSet;

TEST(PagesToPrintTest, RangesThenOddOrEvenNumbersThenOrder)
{
    struct Case {
        const char* what;
        std::vector<TPageRange> ranges;
        TPageSet pageSet;
        bool reverse;
        int first;
        int last;
        std::vector<int> pages;
    };
    const std::vector<Case> cases = {
        {"first to last", {}, psAll, false, 3, 6, {3, 4, 5, 6}},
        {"one page", {}, psAll, false, 4, 4, {4}},
        {"first after last", {}, psAll, false, 6, 3, {}},
        {"pages past any report are kept", {}, psAll, false, 9998, 10001, {9998, 9999, 10000, 10001}},
        {"a single range gives way to first and last", {{2, 3}}, psAll, false, 5, 6, {5, 6}},
        {"ranges in the order given, repeats kept", {{5, 6}, {1, 2}, {6, 6}}, psAll, false, 1, 30, {5, 6, 1, 2, 6}},
        {"a backwards range gives nothing", {{1, 2}, {5, 3}, {7, 7}}, psAll, false, 1, 30, {1, 2, 7}},
        {"ranges replace first and last even when empty", {{5, 3}, {9, 8}}, psAll, false, 1, 30, {}},
        {"odd numbers of a list", {{1, 1}, {4, 4}, {6, 8}}, psOdd, false, 1, 8, {1, 7}},
        {"even numbers of a list", {{1, 1}, {4, 4}, {6, 8}}, psEven, false, 1, 8, {4, 6, 8}},
        {"odd numbers, not places, from an even first page", {}, psOdd, false, 2, 5, {3, 5}},
        {"even from first to last", {}, psEven, false, 1, 5, {2, 4}},
        {"odd of a lone even page", {}, psOdd, false, 2, 2, {}},
        {"reverse", {}, psAll, true, 1, 4, {4, 3, 2, 1}},
        {"reverse after odd", {{1, 1}, {4, 4}, {6, 8}}, psOdd, true, 1, 8, {7, 1}},
        {"reverse keeps the list's own order reversed", {{5, 6}, {1, 2}}, psEven, true, 1, 30, {2, 6}},
        {"a range ending on the largest page ends", {}, psAll, false, INT_MAX - 1, INT_MAX, {INT_MAX - 1, INT_MAX}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(PagesToPrint({c.ranges, c.pageSet, c.reverse}, c.first, c.last), c.pages);
    }
}
