#pragma once

#include <QImage>

#include <filesystem>

namespace tarvolo::test {

// A completed report of `pages` A4 pages (794 x 1123 screen pixels), each saying its number and
// carrying a black bar 20 × n pixels wide at (100, 200).
void WriteA4Report(const std::filesystem::path& path, int pages);

// The number of the page of such a report drawn over the whole of sheet, read from its bar; 0 for
// an empty sheet.
int A4ReportPageNumberOn(const QImage& sheet);

} // namespace tarvolo::test
