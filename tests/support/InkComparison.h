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

// Pixels of `drawn` that no pixel of `expected` within one pixel matches (each channel within 24).
// A drawing cut into pieces maps the page's coordinates less the piece's offset, which may round a
// point lying exactly between two pixels the other way: a shift of one pixel is no fault.
int MisplacedPixels(const QImage& drawn, const QImage& expected);

} // namespace tarvolo::test
