#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <QVector>

#include <cstdint>
#include <variant>

namespace tarvolo::emf {

// Pen styles, brush styles and other GDI constants the player needs.
namespace gdi {
enum : std::uint32_t {
    PS_SOLID = 0, PS_DASH = 1, PS_DOT = 2, PS_DASHDOT = 3, PS_DASHDOTDOT = 4, PS_NULL = 5, PS_INSIDEFRAME = 6,
    PS_USERSTYLE = 7, PS_ALTERNATE = 8, PS_STYLE_MASK = 0xF, PS_ENDCAP_ROUND = 0x000, PS_ENDCAP_SQUARE = 0x100,
    PS_ENDCAP_FLAT = 0x200, PS_ENDCAP_MASK = 0xF00, PS_JOIN_ROUND = 0x0000, PS_JOIN_BEVEL = 0x1000,
    PS_JOIN_MITER = 0x2000, PS_JOIN_MASK = 0xF000, PS_GEOMETRIC = 0x10000,
};
enum : std::uint32_t { BS_SOLID = 0, BS_NULL = 1, BS_HATCHED = 2, BS_PATTERN = 3, BS_DIBPATTERN = 5, BS_DIBPATTERNPT = 6 };
enum : std::uint32_t {
    HS_HORIZONTAL = 0, HS_VERTICAL = 1, HS_FDIAGONAL = 2, HS_BDIAGONAL = 3, HS_CROSS = 4, HS_DIAGCROSS = 5,
};
} // namespace gdi

struct GdiPen {
    std::uint32_t style = gdi::PS_SOLID;
    double width = 0; // logical units; 0 is one device pixel
    QColor color = Qt::black;
    bool geometric = false; // an extended pen whose width is in logical units even when 1
    QVector<qreal> dashes;  // PS_USERSTYLE entries, in logical units
};

struct GdiBrush {
    std::uint32_t style = gdi::BS_SOLID;
    QColor color = Qt::white;
    std::uint32_t hatch = 0;
    QImage pattern; // BS_DIBPATTERNPT and monochrome pattern brushes
    bool monochromePattern = false; // 1-bit pattern: 0 is text colour, 1 background colour
};

struct GdiFont {
    std::int32_t height = 0;
    std::int32_t width = 0;
    std::int32_t escapement = 0; // tenths of a degree
    std::int32_t orientation = 0;
    std::int32_t weight = 400;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    std::uint8_t charSet = 0;
    QString faceName;
};

struct GdiPalette {
    QVector<QRgb> entries;
};

using GdiObject = std::variant<std::monostate, GdiPen, GdiBrush, GdiFont, GdiPalette>;

} // namespace tarvolo::emf
