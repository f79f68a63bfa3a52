#pragma once

#include "metafile/Metafile.h"

#include <QRectF>
#include <QSize>
#include <QString>

#include <vector>

namespace tarvolo::emf {

// The text of one page in reading order, with where each character lies, for finding text and
// for copying it out: text records are gathered into lines by their baselines, lines top to
// bottom, runs left to right; runs apart by more than a quarter em get a space between them.
class PageText {
public:
    // A hostile page stops adding text past this many characters.
    static constexpr qsizetype kMaxCharacters = 1'000'000;

    // The page as drawn at pageSize pixels (the frame stretched onto it, as PageRenderer draws).
    PageText(const Metafile& page, QSize pageSize);

    // Lines joined by '\n'.
    const QString& Text() const { return text_; }
    // One box per UTF-16 unit of Text(), in page pixels; a null box for the '\n' between lines.
    const std::vector<QRectF>& Boxes() const { return boxes_; }
    // Where the characters start..start+length lie, one box per line they cover, top to bottom.
    std::vector<QRectF> BoxesOf(qsizetype start, qsizetype length) const;
    // The lines with each run at the column its x position gives in average character widths,
    // as `pdftotext -layout` lays a page out; each line ends with '\n'.
    QString LayoutText() const;

private:
    // One text record's characters on a line.
    struct Piece {
        qsizetype start = 0;
        qsizetype length = 0;
        double left = 0;
        bool spaced = false; // apart from the piece before it on its line
    };

    QString text_;
    std::vector<QRectF> boxes_;
    std::vector<std::vector<Piece>> lines_;
    double averageCharWidth_ = 0;
};

} // namespace tarvolo::emf
