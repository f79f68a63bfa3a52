#pragma once

#include "metafile/Metafile.h"

#include <QRectF>

#include <cstdint>
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

// Draws enhanced metafiles on any QPainter (image, widget, printer, PDF) the way PlayEnhMetaFile
// does: the metafile's frame is stretched onto the target rectangle.
class EmfPlayer {
public:
    static PlaybackReport Play(const Metafile& metafile, QPainter& painter, const QRectF& target);
};

} // namespace tarvolo::emf
