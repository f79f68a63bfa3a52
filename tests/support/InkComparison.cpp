#include "InkComparison.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace tarvolo::test {

namespace {

std::vector<bool> InkMask(const QImage& image)
{
    std::vector<bool> mask(static_cast<std::size_t>(image.width()) * image.height());
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            mask[static_cast<std::size_t>(y) * image.width() + x] = std::min({qRed(c), qGreen(c), qBlue(c)}) < 207;
        }
    return mask;
}

std::vector<bool> Dilate(const std::vector<bool>& mask, int width, int height)
{
    std::vector<bool> out(mask.size());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            bool any = false;
            for (int dy = -1; dy <= 1 && !any; ++dy)
                for (int dx = -1; dx <= 1 && !any; ++dx) {
                    const int nx = x + dx, ny = y + dy;
                    any = nx >= 0 && ny >= 0 && nx < width && ny < height && mask[static_cast<std::size_t>(ny) * width + nx];
                }
            out[static_cast<std::size_t>(y) * width + x] = any;
        }
    return out;
}

double Covered(const std::vector<bool>& ink, const std::vector<bool>& near)
{
    std::size_t total = 0, hit = 0;
    for (std::size_t i = 0; i < ink.size(); ++i)
        if (ink[i]) {
            ++total;
            hit += near[i];
        }
    return total == 0 ? 1.0 : static_cast<double>(hit) / static_cast<double>(total);
}

} // namespace

InkComparison InkComparison::Compare(const QImage& reference, const QImage& candidate)
{
    const QImage ref = reference.convertToFormat(QImage::Format_RGB32);
    const QImage cand = candidate.size() == reference.size() ? candidate.convertToFormat(QImage::Format_RGB32)
                                                              : candidate.scaled(reference.size()).convertToFormat(QImage::Format_RGB32);
    const auto refInk = InkMask(ref), candInk = InkMask(cand);
    const int w = ref.width(), h = ref.height();
    return {Covered(refInk, Dilate(candInk, w, h)), Covered(candInk, Dilate(refInk, w, h))};
}

namespace {

int ChannelDifference(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

} // namespace

int MisplacedPixels(const QImage& drawn, const QImage& expected)
{
    constexpr int kTolerance = 24;
    int count = 0;
    for (int y = 0; y < drawn.height(); ++y)
        for (int x = 0; x < drawn.width(); ++x) {
            const QRgb pixel = drawn.pixel(x, y);
            if (pixel == expected.pixel(x, y))
                continue;
            bool matched = false;
            for (int dy = -1; dy <= 1 && !matched; ++dy)
                for (int dx = -1; dx <= 1 && !matched; ++dx)
                    matched = expected.valid(x + dx, y + dy) && ChannelDifference(pixel, expected.pixel(x + dx, y + dy)) <= kTolerance;
            count += !matched;
        }
    return count;
}

} // namespace tarvolo::test
