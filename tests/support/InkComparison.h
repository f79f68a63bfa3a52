#pragma once

#include <QImage>

namespace tarvolo::test {

// How much of one drawing's ink the other has within one pixel, as the reference renderer's
// imgdiff.py measures it: ink is a pixel whose darkest channel is below 207.
struct InkComparison {
    double recall = 0;    // share of the reference's ink that the candidate also has
    double precision = 0; // share of the candidate's ink that the reference also has

    static InkComparison Compare(const QImage& reference, const QImage& candidate);
};

} // namespace tarvolo::test
