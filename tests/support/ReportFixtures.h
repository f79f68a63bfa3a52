#pragma once

#include <filesystem>

namespace tarvolo::test {

// A completed report of `pages` A4 pages (794 x 1123 screen pixels), each saying its number.
void WriteA4Report(const std::filesystem::path& path, int pages);

} // namespace tarvolo::test
