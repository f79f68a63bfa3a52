#include "render/detail/EmfPlayback.h"

#include "render/detail/FontMapper.h"
#include "render/detail/GlyphImages.h"
#include "render/detail/SymbolCharacters.h"
#include "metafile/GdiConstants.h"

#include <QGlyphRun>
#include <QPaintEngine>

#include <cmath>
#include <numeric>

namespace tarvolo::emf {

namespace {

// The most path elements that glyph outlines may bring into a path.
constexpr qsizetype kMaxOutlineElements = qsizetype{1} << 21;

constexpr std::size_t kEmrTextSize = 40;
// What a logical font of height 0 gets: the size of a default dialog font.
constexpr double kDefaultCellHeight = 16;

// Windows-1252, the ANSI code page of the reports this viewer meets, for the bytes 0x80 to 0x9F.
const char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Bytes in a symbol face are the font's own codes, not Windows-1252 characters.
QString DecodeAnsi(std::span<const std::uint8_t> bytes, bool symbolCodes)
{
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (std::uint8_t byte : bytes)
        text.append(QChar(!symbolCodes && byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : char16_t{byte}));
    return text;
}

QString DecodeWide(std::span<const std::uint8_t> bytes)
{
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size() / 2));
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        text.append(QChar(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8))));
    return text;
}

double Length(QPointF v)
{
    return std::hypot(v.x(), v.y());
}

} // namespace

bool EmfPlayback::PlayTextRecord(const EmfRecord& r)
{
    switch (r.Type()) {
    case emr::ExtTextOutW:
    case emr::ExtTextOutA: DrawText(r, 36, r.Type() == emr::ExtTextOutW); return true;
    case emr::PolyTextOutW:
    case emr::PolyTextOutA: {
        const std::uint32_t strings = r.U32(36);
        r.Span(40, strings, kEmrTextSize);
        for (std::uint32_t i = 0; i < strings; ++i)
            DrawText(r, 40 + kEmrTextSize * i, r.Type() == emr::PolyTextOutW);
        return true;
    }
    case emr::SmallTextOut: {
        const QPointF reference(r.I32(8), r.I32(12));
        const std::uint32_t count = r.U32(16), options = r.U32(20);
        std::optional<RectL> rect;
        std::size_t textOffset = 36;
        if (!(options & gdi::ETO_NO_RECT)) {
            rect = r.Rect(36);
            textOffset = 52;
        }
        const bool symbolCodes = SymbolFaceOf(state_.font.faceName) != SymbolFace::None;
        const QString text = options & gdi::ETO_SMALL_CHARS ? DecodeAnsi(r.Span(textOffset, count), symbolCodes)
                                                            : DecodeWide(r.Span(textOffset, count, 2));
        DrawTextRun(reference, text, {}, options, rect, (options & gdi::ETO_GLYPH_INDEX) != 0);
        return true;
    }
    default: return false;
    }
}

void EmfPlayback::DrawText(const EmfRecord& r, std::size_t o, bool wide)
{
    const QPointF reference(r.I32(o), r.I32(o + 4));
    const std::uint32_t count = r.U32(o + 8), offString = r.U32(o + 12), options = r.U32(o + 16);
    const RectL rect = r.Rect(o + 20);
    const std::uint32_t offDx = r.U32(o + 36);
    const bool symbolCodes = SymbolFaceOf(state_.font.faceName) != SymbolFace::None;
    const QString text = wide ? DecodeWide(r.Span(offString, count, 2)) : DecodeAnsi(r.Span(offString, count), symbolCodes);
    std::vector<double> dx;
    if (offDx != 0 && count > 0) {
        const bool pairs = options & gdi::ETO_PDY;
        r.Span(offDx, count, pairs ? 8 : 4);
        dx.reserve(count);
        for (std::uint32_t i = 0; i < count; ++i)
            dx.push_back(r.I32(offDx + (pairs ? 8 : 4) * i));
    }
    DrawTextRun(reference, text, dx, options, rect, (options & gdi::ETO_GLYPH_INDEX) != 0);
}

void EmfPlayback::DrawTextRun(QPointF reference, const QString& text, const std::vector<double>& dx, std::uint32_t options,
                              std::optional<RectL> rect, bool glyphIndexes)
{
    const QTransform toDevice = LogicalToDevice();
    const bool updateCurrentPosition = state_.textAlign & gdi::TA_UPDATECP;
    if (updateCurrentPosition)
        reference = state_.currentPosition;

    // Inside a path bracket the glyph outlines join the path; nothing is painted, and the box
    // the record names neither paints nor clips.
    if (inPath_)
        rect.reset();
    else
        ApplyClip();
    if (rect && (options & gdi::ETO_OPAQUE)) {
        QPainterPath box;
        box.addRect(QRectF(QPointF(rect->left, rect->top), QPointF(rect->right, rect->bottom)).normalized());
        painter_.fillPath(toDevice.map(box), state_.backgroundColor);
    }
    if (rect && (options & gdi::ETO_CLIPPED)) {
        QPainterPath box;
        box.addRect(QRectF(QPointF(rect->left, rect->top), QPointF(rect->right, rect->bottom)).normalized());
        painter_.setClipPath(toDevice.map(box), painter_.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
    }
    if (text.isEmpty())
        return;

    // Sizes in the device: the logical font height goes through the y scale, advances through x.
    const QPointF origin = toDevice.map(QPointF(0, 0));
    const QPointF xAxis = toDevice.map(QPointF(1, 0)) - origin;
    const double xScale = Length(xAxis), yScale = Length(toDevice.map(QPointF(0, 1)) - origin);
    if (!(xScale > 0) || !(yScale > 0) || !std::isfinite(xScale) || !std::isfinite(yScale))
        return;
    const GdiFont& font = state_.font;
    // The baseline runs along the logical x axis as the device shows it, turned counter-clockwise
    // by the escapement as the logical space sees it: a mapping whose y axis points up turns the
    // other way on the device.
    QPointF u = xAxis / xScale;
    if (font.escapement != 0) {
        const double turn = font.escapement / 10.0;
        u = QTransform().rotate(toDevice.determinant() < 0 ? turn : -turn).map(u);
    }
    const QPointF v(-u.y(), u.x());

    FontMapper& fonts = FontMapper::Instance();
    const double em = fonts.EmPixels(font, font.height == 0 ? kDefaultCellHeight : font.height, yScale);
    if (!(em > 0.05) || em > 20000)
        return;
    // Glyphs that are not drawn upright at their natural width, or that join a path, come from outlines.
    const bool upright = u == QPointF(1, 0) && font.width == 0 && !inPath_;
    const QRawFont raw = fonts.Font(font, em, !upright);
    if (!raw.isValid())
        return;

    QVector<quint32> glyphs;
    QString shown; // the characters drawn, when the record has characters and not glyph indexes
    if (glyphIndexes) {
        for (QChar c : text)
            glyphs.push_back(c.unicode());
    } else {
        // A symbol face's codes become the symbols they stand for, one glyph per code as the
        // advances expect, drawn by the family that stands in for the face.
        shown = SymbolText(SymbolFaceOf(font.faceName), text);
        glyphs = raw.glyphIndexesForString(shown);
    }
    if (glyphs.isEmpty())
        return;

    // A width in the logical font stretches the glyphs to that average width.
    double stretch = 1.0;
    if (font.width != 0 && raw.averageCharWidth() > 0)
        stretch = std::clamp(std::fabs(font.width) * xScale / raw.averageCharWidth(), 0.05, 20.0);

    std::vector<double> advances(static_cast<std::size_t>(glyphs.size()));
    if (!dx.empty()) {
        for (std::size_t i = 0; i < advances.size(); ++i)
            advances[i] = (i < dx.size() ? dx[i] : 0.0) * xScale;
    } else {
        const QList<QPointF> natural = raw.advancesForGlyphIndexes(glyphs);
        for (std::size_t i = 0; i < advances.size(); ++i)
            advances[i] = natural[static_cast<qsizetype>(i)].x() * stretch;
    }
    const double total = std::accumulate(advances.begin(), advances.end(), 0.0);

    double shift = 0;
    if ((state_.textAlign & gdi::TA_CENTER) == gdi::TA_CENTER)
        shift = total / 2;
    else if (state_.textAlign & gdi::TA_RIGHT)
        shift = total;
    double drop = raw.ascent();
    if ((state_.textAlign & gdi::TA_BASELINE) == gdi::TA_BASELINE)
        drop = 0;
    else if (state_.textAlign & gdi::TA_BOTTOM)
        drop = -raw.descent();
    const QPointF start = toDevice.map(reference) - u * shift + v * drop;

    // Glyphs are placed in a frame whose x axis is the baseline and whose y axis points down.
    const QTransform frame(u.x() * stretch, u.y() * stretch, v.x(), v.y(), start.x(), start.y());
    QVector<QPointF> positions;
    positions.reserve(glyphs.size());
    double x = 0;
    for (double advance : advances) {
        positions.push_back(QPointF(x / stretch, 0));
        x += advance;
    }
    const double thickness = std::max(1.0, raw.lineThickness());
    const QRectF underline(0, raw.underlinePosition() - thickness / 2, total / stretch, thickness);
    const QRectF strikeOut(0, -raw.xHeight() / 2 - thickness / 2, total / stretch, thickness);
    if (textSink_ && !shown.isEmpty())
        ReportText(shown, positions, advances, frame, stretch, raw, start, em);

    if (inPath_) {
        // Glyph indexes name glyphs of the stand-in font, as when drawn, so their outlines come
        // from it too.
        QPainterPath outlines;
        for (qsizetype i = 0; i < glyphs.size(); ++i) {
            outlines.addPath(raw.pathForGlyph(glyphs[i]).translated(positions[i]));
            // A hostile run of glyphs must not grow the path without bound: past the limit the
            // text stays out of the path, as an oversized shape does.
            if (path_.elementCount() + outlines.elementCount() > kMaxOutlineElements)
                return;
        }
        if (font.underline)
            outlines.addRect(underline);
        if (font.strikeOut)
            outlines.addRect(strikeOut);
        path_.addPath(frame.map(outlines));
    } else {
        painter_.setTransform(frame);
        if (state_.backgroundMode == gdi::OPAQUE && !(options & gdi::ETO_OPAQUE))
            painter_.fillRect(QRectF(0, -raw.ascent(), total / stretch, raw.ascent() + raw.descent()), state_.backgroundColor);
        // Only on images: printers and PDF files keep text as text.
        const bool raster = painter_.paintEngine() && painter_.paintEngine()->type() == QPaintEngine::Raster;
        if (raster && upright && stretch == 1.0 && GlyphImages::Draws(raw)) {
            painter_.setTransform(QTransform());
            GlyphImages::Instance().Draw(painter_, raw, glyphs, positions, start, state_.textColor);
            painter_.setTransform(frame);
        } else {
            QGlyphRun run;
            run.setRawFont(raw);
            run.setGlyphIndexes(glyphs);
            run.setPositions(positions);
            painter_.setPen(state_.textColor);
            painter_.drawGlyphRun(QPointF(0, 0), run);
        }
        if (font.underline)
            painter_.fillRect(underline, state_.textColor);
        if (font.strikeOut)
            painter_.fillRect(strikeOut, state_.textColor);
    }

    if (updateCurrentPosition) {
        const double logicalTotal = total / xScale;
        if ((state_.textAlign & gdi::TA_CENTER) != gdi::TA_CENTER)
            state_.currentPosition += QPointF(state_.textAlign & gdi::TA_RIGHT ? -logicalTotal : logicalTotal, 0);
    }
    // Lines that follow in the path start at the current position, not at the last glyph.
    if (inPath_)
        path_.moveTo(toDevice.map(state_.currentPosition));
}

// Each character's box spans its advance along the baseline and the font's ascent and descent
// across it. A surrogate pair is one glyph: both halves get its box.
void EmfPlayback::ReportText(const QString& shown, const QVector<QPointF>& positions, const std::vector<double>& advances,
                             const QTransform& frame, double stretch, const QRawFont& raw, QPointF start, double em) const
{
    TextRun run;
    run.text = shown;
    run.origin = start;
    run.em = em;
    run.boxes.reserve(shown.size());
    const double ascent = raw.ascent(), height = raw.ascent() + raw.descent();
    qsizetype glyph = 0;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        const qsizetype g = std::min(glyph, positions.size() - 1);
        const QRectF box(positions[g].x(), -ascent, advances[static_cast<std::size_t>(g)] / stretch, height);
        run.boxes.push_back(frame.mapRect(box.normalized()));
        if (!(shown[i].isHighSurrogate() && i + 1 < shown.size() && shown[i + 1].isLowSurrogate()))
            ++glyph;
    }
    (*textSink_)(run);
}

} // namespace tarvolo::emf
