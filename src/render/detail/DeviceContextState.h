#pragma once

#include "render/detail/Areas.h"
#include "render/detail/GdiObjects.h"

#include <QPointF>
#include <QTransform>

#include <cstdint>
#include <optional>

namespace tarvolo::emf {

// Everything a metafile record can set on the device context it plays into; SaveDC copies it
// whole. Clipping is kept in the coordinates of the painter's device.
struct DeviceContextState {
    int mapMode = gdi::MM_TEXT;
    QPointF windowOrigin{0, 0};
    QPointF windowExtent{1, 1};
    QPointF viewportOrigin{0, 0};
    QPointF viewportExtent{1, 1};
    QTransform world;

    QColor textColor = Qt::black;
    QColor backgroundColor = Qt::white;
    int backgroundMode = gdi::OPAQUE;
    std::uint32_t textAlign = gdi::TA_LEFT | gdi::TA_TOP | gdi::TA_NOUPDATECP;
    int polyFillMode = gdi::ALTERNATE;
    int rop2 = gdi::R2_COPYPEN;
    int arcDirection = gdi::AD_COUNTERCLOCKWISE;
    double miterLimit = 10.0;
    QPointF brushOrigin{0, 0};
    QPointF currentPosition{0, 0}; // logical units

    GdiPen pen;        // BLACK_PEN
    GdiBrush brush;    // WHITE_BRUSH
    GdiFont font;      // the system font, as a DC starts with

    // No value: no clipping. Drawing is clipped to both the clip region and the meta region
    // (which SetMetaRgn makes of the clip region). Every change of either takes a new serial
    // number, so the painter's clip is set again only when the area changed.
    std::optional<ClipArea> clip;
    std::optional<ClipArea> metaClip;
    std::uint64_t clipSerial = 0;

    // Logical units to the reference device's pixels: the world transform, then the mapping mode.
    QTransform PageTransform() const
    {
        const double sx = viewportExtent.x() / (windowExtent.x() != 0 ? windowExtent.x() : 1);
        const double sy = viewportExtent.y() / (windowExtent.y() != 0 ? windowExtent.y() : 1);
        const QTransform mapping(sx, 0, 0, sy, viewportOrigin.x() - sx * windowOrigin.x(), viewportOrigin.y() - sy * windowOrigin.y());
        return world * mapping;
    }
};

} // namespace tarvolo::emf
