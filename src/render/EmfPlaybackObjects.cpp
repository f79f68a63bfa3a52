#include "render/detail/EmfPlayback.h"

#include "metafile/GdiConstants.h"
#include "render/detail/DibDecoder.h"

#include <algorithm>
#include <cmath>

namespace tarvolo::emf {

namespace {

GdiBrush SolidBrush(QColor color)
{
    GdiBrush brush;
    brush.color = color;
    return brush;
}

// A monochrome brush's tile as colour indexes: 0 where the bitmap is dark (drawn in the text
// colour), 1 where it is light (the background colour), as GDI makes a monochrome bitmap of it.
QImage TwoToneTile(const QImage& image)
{
    const QImage source = image.convertToFormat(QImage::Format_RGB32);
    const int width = source.width(), height = source.height();
    int darkest = 255;
    for (int y = 0; y < height; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        for (int x = 0; x < width; ++x)
            darkest = std::min(darkest, qGray(line[x]));
    }
    QImage tile(source.size(), QImage::Format_Indexed8);
    tile.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    for (int y = 0; y < height; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        std::uint8_t* out = tile.scanLine(y);
        for (int x = 0; x < width; ++x)
            out[x] = qGray(line[x]) > darkest ? 1 : 0;
    }
    return tile;
}

GdiBrush NullBrush()
{
    GdiBrush brush;
    brush.style = gdi::BS_NULL;
    return brush;
}

GdiPen StockPen(std::uint32_t style, QColor color)
{
    GdiPen pen;
    pen.style = style;
    pen.color = color;
    return pen;
}

GdiFont StockFont(const char* face, std::int32_t height, std::int32_t weight = gdi::FW_NORMAL)
{
    GdiFont font;
    font.faceName = face;
    font.height = height;
    font.weight = weight;
    return font;
}

} // namespace

const GdiObject* EmfPlayback::ObjectAt(std::uint32_t index) const
{
    return index < objects_.size() ? &objects_[index] : nullptr;
}

template <typename T> void EmfPlayback::CreateObject(std::uint32_t index, T object)
{
    // Index 0 stands for the metafile itself and is never an object.
    if (index != 0 && index < objects_.size())
        objects_[index] = std::move(object);
}

void EmfPlayback::SelectObject(std::uint32_t index)
{
    if (index & gdi::ENHMETA_STOCK_OBJECT) {
        switch (index) {
        case gdi::WHITE_BRUSH: state_.brush = SolidBrush(Qt::white); break;
        case gdi::LTGRAY_BRUSH: state_.brush = SolidBrush(QColor(0xC0, 0xC0, 0xC0)); break;
        case gdi::GRAY_BRUSH: state_.brush = SolidBrush(QColor(0x80, 0x80, 0x80)); break;
        case gdi::DKGRAY_BRUSH: state_.brush = SolidBrush(QColor(0x40, 0x40, 0x40)); break;
        case gdi::BLACK_BRUSH: state_.brush = SolidBrush(Qt::black); break;
        case gdi::NULL_BRUSH: state_.brush = NullBrush(); break;
        case gdi::DC_BRUSH: state_.brush = SolidBrush(Qt::white); break;
        case gdi::WHITE_PEN: state_.pen = StockPen(gdi::PS_SOLID, Qt::white); break;
        case gdi::BLACK_PEN:
        case gdi::DC_PEN: state_.pen = StockPen(gdi::PS_SOLID, Qt::black); break;
        case gdi::NULL_PEN: state_.pen = StockPen(gdi::PS_NULL, Qt::black); break;
        case gdi::OEM_FIXED_FONT:
        case gdi::ANSI_FIXED_FONT:
        case gdi::SYSTEM_FIXED_FONT: state_.font = StockFont("Courier New", 12); break;
        case gdi::ANSI_VAR_FONT:
        case gdi::DEFAULT_GUI_FONT: state_.font = StockFont("MS Sans Serif", -11); break;
        case gdi::SYSTEM_FONT:
        case gdi::DEVICE_DEFAULT_FONT: state_.font = StockFont("System", 16, gdi::FW_BOLD); break;
        default: break;
        }
        return;
    }
    const GdiObject* object = ObjectAt(index);
    if (!object)
        return;
    if (const auto* pen = std::get_if<GdiPen>(object))
        state_.pen = *pen;
    else if (const auto* brush = std::get_if<GdiBrush>(object))
        state_.brush = *brush;
    else if (const auto* font = std::get_if<GdiFont>(object))
        state_.font = *font;
}

bool EmfPlayback::PlayObjectRecord(const EmfRecord& r)
{
    switch (r.Type()) {
    case emr::SelectObject: SelectObject(r.U32(8)); return true;
    case emr::DeleteObject:
        if (const std::uint32_t index = r.U32(8); index != 0 && index < objects_.size())
            objects_[index] = std::monostate{};
        return true;
    case emr::CreatePen: {
        GdiPen pen;
        pen.style = r.U32(12);
        pen.width = r.I32(16);
        pen.color = ColorRef(r.U32(24));
        CreateObject(r.U32(8), pen);
        return true;
    }
    case emr::ExtCreatePen: {
        GdiPen pen;
        pen.style = r.U32(28);
        pen.width = r.U32(32);
        pen.geometric = (pen.style & gdi::PS_GEOMETRIC) != 0;
        pen.color = ColorRef(r.U32(40));
        if (r.U32(36) == gdi::BS_NULL)
            pen.style = (pen.style & ~gdi::PS_STYLE_MASK) | gdi::PS_NULL;
        if ((pen.style & gdi::PS_STYLE_MASK) == gdi::PS_USERSTYLE) {
            const std::uint32_t entries = r.U32(48);
            r.Span(52, entries, 4);
            for (std::uint32_t i = 0; i < entries && i < 16; ++i)
                pen.dashes.push_back(r.U32(52 + 4 * i));
        }
        CreateObject(r.U32(8), pen);
        return true;
    }
    case emr::CreateBrushIndirect: {
        GdiBrush brush;
        brush.style = r.U32(12);
        brush.color = ColorRef(r.U32(16));
        brush.hatch = r.U32(20);
        CreateObject(r.U32(8), brush);
        return true;
    }
    case emr::CreateDIBPatternBrushPt:
    case emr::CreateMonoBrush: {
        constexpr std::uint32_t kDibPalMono = 2; // a 1-bit bitmap without a colour table
        // The brush tiles its bitmap, so the bitmap is its tile. The tile is kept as long as the
        // brush, so a larger one keeps its top-left corner of this many pixels a side; smaller for
        // a monochrome tile, which is coloured again whenever the text or background colour changes.
        constexpr int kMaxTileSide = 256, kMaxMonochromeTileSide = 64;
        const std::uint32_t usage = r.U32(12), offBmi = r.U32(16), cbBmi = r.U32(20), offBits = r.U32(24), cbBits = r.U32(28);
        GdiBrush brush;
        brush.style = gdi::BS_DIBPATTERNPT;
        if (const std::optional<DibShape> shape = DibDecoder::Shape(r, offBmi, cbBmi)) {
            // A monochrome brush takes the text and background colours only if its bitmap is black
            // and white; other colours make it an ordinary pattern, as the reference draws it.
            const bool monochrome = r.Type() == emr::CreateMonoBrush && shape->bitCount == 1 &&
                                    (usage == kDibPalMono || shape->blackAndWhite);
            const int side = monochrome ? kMaxMonochromeTileSide : kMaxTileSide;
            const QRect tile(0, 0, std::min(shape->width, side), std::min(shape->height, side));
            const std::int64_t pixels = std::int64_t{tile.width()} * tile.height();
            DibDecoder::Options options;
            options.blackAndWhite = usage == kDibPalMono;
            const DibDecoder::Result result = pixels <= patternPixelsLeft_
                                                  ? Decoder().Decode(r, offBmi, cbBmi, offBits, cbBits, tile, tile.size(), options)
                                                  : DibDecoder::Result{{}, DibDecoder::Outcome::OverBudget};
            if (result.outcome == DibDecoder::Outcome::Decoded) {
                patternPixelsLeft_ -= pixels;
                brush.monochromePattern = monochrome;
                brush.pattern = monochrome ? TwoToneTile(result.image)
                                           : result.image.convertToFormat(result.image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                                                                        : QImage::Format_RGB32);
            }
        }
        // A brush that cannot be made paints black, and its record counts as skipped.
        const bool made = !brush.pattern.isNull();
        CreateObject(r.U32(8), made ? brush : SolidBrush(Qt::black));
        return made;
    }
    case emr::ExtCreateFontIndirectW: {
        GdiFont font;
        font.height = r.I32(12);
        font.width = r.I32(16);
        font.escapement = r.I32(20);
        font.orientation = r.I32(24);
        font.weight = r.I32(28);
        font.italic = r.U8(32) != 0;
        font.underline = r.U8(33) != 0;
        font.strikeOut = r.U8(34) != 0;
        font.charSet = r.U8(35);
        const auto face = r.Span(40, 32, 2);
        QString name;
        for (std::size_t i = 0; i < 32; ++i) {
            const char16_t c = static_cast<char16_t>(face[2 * i] | (face[2 * i + 1] << 8));
            if (c == 0)
                break;
            name.append(QChar(c));
        }
        font.faceName = name;
        CreateObject(r.U32(8), font);
        return true;
    }
    case emr::CreatePalette: {
        GdiPalette palette;
        const std::uint16_t count = r.U16(14);
        const auto entries = r.Span(16, count, 4);
        for (std::size_t i = 0; i < count; ++i)
            palette.entries.push_back(qRgb(entries[4 * i], entries[4 * i + 1], entries[4 * i + 2]));
        CreateObject(r.U32(8), palette);
        return true;
    }
    case emr::SelectPalette:
    case emr::SetPaletteEntries:
    case emr::ResizePalette:
        return true;
    default: return false;
    }
}

// --- Pens and brushes as Qt draws them -------------------------------------------------------

QPen EmfPlayback::MakePen(const QTransform& toDevice) const
{
    const GdiPen& pen = state_.pen;
    const std::uint32_t style = pen.style & gdi::PS_STYLE_MASK;
    if (style == gdi::PS_NULL)
        return Qt::NoPen;
    QPen qpen(pen.color);
    // A pen is as wide in device pixels as its logical width maps to, and never thinner than one.
    const double deviceWidth = std::fabs(pen.width) * std::sqrt(std::fabs(toDevice.determinant()));
    const bool cosmetic = !(deviceWidth < kMaxDevicePenWidth) || (deviceWidth < 1.5 && !(pen.geometric && deviceWidth >= 1.0));
    qpen.setWidthF(cosmetic ? 0.0 : deviceWidth);
    qpen.setCosmetic(cosmetic);
    if (pen.geometric && style != gdi::PS_USERSTYLE) {
        // Qt measures a wide pen's dashes in pen widths, as GDI does for geometric pens (the pixel
        // lengths of the one-pixel pens below would make dashes 3 to 18 widths long). GDI's round
        // and square ends lie within those lengths, half a width either side of a shorter dash;
        // Qt adds them outside, so each dash gives one width to the gap after it.
        QVector<qreal> pattern;
        switch (style) {
        case gdi::PS_DASH: pattern = {3, 1}; break;
        case gdi::PS_DOT: pattern = {1, 1}; break;
        case gdi::PS_DASHDOT: pattern = {3, 1, 1, 1}; break;
        case gdi::PS_DASHDOTDOT: pattern = {3, 1, 1, 1, 1, 1}; break;
        default: break;
        }
        if (!pattern.isEmpty()) {
            if ((pen.style & gdi::PS_ENDCAP_MASK) != gdi::PS_ENDCAP_FLAT)
                for (qsizetype i = 0; i < pattern.size(); i += 2) {
                    // Qt draws no ends on a dash of no length: a dot keeps a sliver, and the
                    // period its length.
                    const qreal dash = std::max<qreal>(pattern[i] - 1, 1.0 / 64);
                    pattern[i + 1] += pattern[i] - dash;
                    pattern[i] = dash;
                }
            qpen.setDashPattern(pattern);
        }
    } else if (cosmetic || pen.geometric) {
        switch (style) {
        case gdi::PS_DASH: qpen.setDashPattern({18, 6}); break;
        case gdi::PS_DOT:
        case gdi::PS_ALTERNATE: qpen.setDashPattern({3, 3}); break;
        case gdi::PS_DASHDOT: qpen.setDashPattern({9, 6, 3, 6}); break;
        case gdi::PS_DASHDOTDOT: qpen.setDashPattern({9, 3, 3, 3, 3, 3}); break;
        case gdi::PS_USERSTYLE:
            if (pen.dashes.size() >= 2 && pen.dashes.size() % 2 == 0) {
                QVector<qreal> pattern;
                for (qreal dash : pen.dashes)
                    pattern.push_back(std::max<qreal>(dash / std::max(pen.width, 1.0), 0.1));
                qpen.setDashPattern(pattern);
            }
            break;
        default: break;
        }
    }
    if (pen.geometric) {
        switch (pen.style & gdi::PS_ENDCAP_MASK) {
        case gdi::PS_ENDCAP_SQUARE: qpen.setCapStyle(Qt::SquareCap); break;
        case gdi::PS_ENDCAP_FLAT: qpen.setCapStyle(Qt::FlatCap); break;
        default: qpen.setCapStyle(Qt::RoundCap); break;
        }
        switch (pen.style & gdi::PS_JOIN_MASK) {
        case gdi::PS_JOIN_BEVEL: qpen.setJoinStyle(Qt::BevelJoin); break;
        case gdi::PS_JOIN_MITER: qpen.setJoinStyle(Qt::MiterJoin); qpen.setMiterLimit(state_.miterLimit); break;
        default: qpen.setJoinStyle(Qt::RoundJoin); break;
        }
    } else {
        qpen.setCapStyle(Qt::RoundCap);
        qpen.setJoinStyle(Qt::RoundJoin);
    }
    return qpen;
}

QBrush EmfPlayback::MakeBrush(const GdiBrush& brush) const
{
    QBrush qbrush = BrushPattern(brush);
    // Patterns and hatches are laid out in device pixels from the brush origin, counted from the
    // caller's origin so that tiles of a page join their patterns seamlessly.
    const QPointF origin = deviceOrigin_ + state_.brushOrigin;
    qbrush.setTransform(QTransform::fromTranslate(origin.x(), origin.y()));
    return qbrush;
}

QBrush EmfPlayback::BrushPattern(const GdiBrush& brush) const
{
    switch (brush.style) {
    case gdi::BS_NULL: return Qt::NoBrush;
    case gdi::BS_HATCHED: {
        // Indexed by HS_HORIZONTAL .. HS_DIAGCROSS.
        static const Qt::BrushStyle hatches[] = {Qt::HorPattern, Qt::VerPattern, Qt::FDiagPattern,
                                                 Qt::BDiagPattern, Qt::CrossPattern, Qt::DiagCrossPattern};
        static_assert(std::size(hatches) == gdi::HS_DIAGCROSS + 1);
        return QBrush(brush.color, brush.hatch <= gdi::HS_DIAGCROSS ? hatches[brush.hatch] : Qt::SolidPattern);
    }
    case gdi::BS_DIBPATTERNPT:
    case gdi::BS_DIBPATTERN:
    case gdi::BS_PATTERN: {
        if (brush.pattern.isNull())
            return QBrush(brush.color);
        if (!brush.monochromePattern)
            return QBrush(brush.pattern);
        // A monochrome pattern paints its 0 bits in the text colour and its 1 bits in the background
        // colour: its colour table is set once for each pair of colours, and the result kept.
        const QRgb text = state_.textColor.rgb(), background = state_.backgroundColor.rgb();
        if (brush.tinted.isNull() || brush.tintedText != text || brush.tintedBackground != background) {
            QImage tile = brush.pattern;
            tile.setColorTable({text, background});
            brush.tinted = tile.convertToFormat(QImage::Format_RGB32);
            brush.tintedText = text;
            brush.tintedBackground = background;
        }
        return QBrush(brush.tinted);
    }
    default: return QBrush(brush.color);
    }
}

} // namespace tarvolo::emf
