#pragma once

#include <QList>
#include <QRectF>
#include <QSize>

class QPainter;

namespace tarvolo::preview {

// Marks drawn over the page: matches of a search (the current one stronger) and selected text.
// Rectangles are shares of the page's width and height (0..1), as the page's text boxes divided
// by the size they were measured at, so that they hold at every zoom.
struct PageMarks {
    QList<QRectF> found;
    QList<QRectF> current;
    QList<QRectF> selected;
};

// Draws the marks over a page drawn at size, multiplied into it so that the text stays readable.
void DrawMarks(QPainter& painter, const PageMarks& marks, QSize size);

} // namespace tarvolo::preview
