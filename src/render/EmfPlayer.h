#pragma once

#include "metafile/Metafile.h"

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>

class QPainter;

namespace tarvolo::emf {

struct PlaybackReport {
    int recordsPlayed = 0;
    // Record types skipped because they are unknown or not drawn, with how often each occurred.
    std::map<std::uint32_t, int> skippedRecords;
    // Playback stopped early at a damaged record; what came before it was drawn.
    bool damaged = false;

    int SkippedCount() const;
};

// One text record as drawn, for finding and copying the text of a page. Glyph indexes without
// a character map are not reported; symbol-font codes come as the Unicode symbols drawn.
struct TextRun {
    QString text;
    QPointF origin;      // where the baseline starts, in device pixels
    QList<QRectF> boxes; // one device box per UTF-16 unit of text, in text order
    double em = 0;       // the font's em, in device pixels
};
using TextSink = std::function<void(const TextRun&)>;

// Draws enhanced metafiles on any QPainter (image, widget, printer, PDF) the way PlayEnhMetaFile
// does: the metafile's frame is stretched onto the target rectangle.
class EmfPlayer {
public:
    static PlaybackReport Play(const Metafile& metafile, QPainter& painter, const QRectF& target);
    // The same, telling the sink of every text record played, whether or not clipping lets it
    // show, text that joins a path included.
    static PlaybackReport Play(const Metafile& metafile, QPainter& painter, const QRectF& target, const TextSink& sink);
};

} // namespace tarvolo::emf
