#pragma once

#include <QImage>

#include <filesystem>
#include <vector>

namespace tarvolo::test {

// A completed report of `pages` A4 pages (794 x 1123 screen pixels), each saying its number and
// carrying a black bar 20 × n pixels wide at (100, 200).
void WriteA4Report(const std::filesystem::path& path, int pages);

// The numbers of the pages of such a report drawn over the whole of each sheet, read from their
// bars; 0 for an empty sheet.
std::vector<int> A4ReportPageNumbersOn(const std::vector<QImage>& sheets);

} // namespace tarvolo::test
