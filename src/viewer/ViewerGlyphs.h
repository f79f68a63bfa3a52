#pragma once

#include <QIcon>

class QPainter;

namespace tarvolo::viewer {

// The viewer's 11 toolbar glyphs, drawn as vectors at 16 and 32 pixels: 0 zoom to page, 1 zoom
// 100 %, 2 zoom to width, 3 first page, 4 previous page, 5 next page, 6 last page, 7 print
// setup, 8 print, 9 load report, 10 save report.
class ViewerGlyphs {
public:
    static constexpr int kCount = 11;
    static QIcon Glyph(int index);
    // The printer of the print glyph, in a 16-unit box, for other toolbars that show a printer.
    static void PaintPrinter(QPainter& painter);
};

} // namespace tarvolo::viewer
