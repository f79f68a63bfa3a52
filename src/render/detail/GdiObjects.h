#pragma once

#include "metafile/GdiConstants.h"

#include <QColor>
#include <QImage>
#include <QString>
#include <QVector>

#include <cstdint>
#include <variant>

namespace tarvolo::emf {

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
    std::uint32_t hatch = gdi::HS_HORIZONTAL;
    // BS_DIBPATTERNPT: the tile, of a bounded size. A monochrome pattern keeps colour indexes
    // (Format_Indexed8): 0 is the text colour, 1 the background colour.
    QImage pattern;
    bool monochromePattern = false;
    // The monochrome tile in the colours it was last drawn with, kept for the next fill.
    mutable QImage tinted;
    mutable QRgb tintedText = 0;
    mutable QRgb tintedBackground = 0;
};

struct GdiFont {
    std::int32_t height = 0;
    std::int32_t width = 0;
    std::int32_t escapement = 0; // tenths of a degree
    std::int32_t orientation = 0;
    std::int32_t weight = gdi::FW_NORMAL;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    std::uint8_t charSet = gdi::ANSI_CHARSET;
    QString faceName;
};

struct GdiPalette {
    QVector<QRgb> entries;
};

using GdiObject = std::variant<std::monostate, GdiPen, GdiBrush, GdiFont, GdiPalette>;

} // namespace tarvolo::emf
