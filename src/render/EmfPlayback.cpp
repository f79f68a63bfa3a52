#include "EmfPlayback.h"

#include "DibDecoder.h"
#include "metafile/GdiConstants.h"

#include <QPaintEngine>
#include <QtMath>

#include <algorithm>
#include <cmath>

namespace tarvolo::emf {

namespace {

// The playback device's metrics, which fixed mapping modes scale by (as GDI scales them by the
// device a metafile plays on): a 96-dpi screen.
constexpr double kPlaybackPixelsX = 1024, kPlaybackPixelsY = 768;
constexpr double kPlaybackMillimetresX = 271, kPlaybackMillimetresY = 203;

// The widest pen Qt draws; wider ones are damage, not drawing, and are drawn one pixel wide.
constexpr double kMaxDevicePenWidth = 32767;

enum : int { kArc = 0, kChord = 1, kPie = 2 };

QColor ColorRef(std::uint32_t value)
{
    return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF), static_cast<int>((value >> 16) & 0xFF));
}

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

QTransform ReadXform(const EmfRecord& record, std::size_t offset)
{
    return QTransform(record.F32(offset), record.F32(offset + 4), record.F32(offset + 8), record.F32(offset + 12),
                      record.F32(offset + 16), record.F32(offset + 20));
}

bool IsFinite(const QTransform& t)
{
    return std::isfinite(t.m11()) && std::isfinite(t.m12()) && std::isfinite(t.m21()) && std::isfinite(t.m22()) &&
           std::isfinite(t.dx()) && std::isfinite(t.dy());
}

bool IsBlit(std::uint32_t type)
{
    return type == emr::BitBlt || type == emr::StretchBlt || type == emr::StretchDIBits || type == emr::MaskBlt;
}

// GDI works in whole device pixels: coordinates are rounded, not cut, so a scale a hair below
// one does not move edges and lines a pixel to the left.
QPainterPath SnapToPixels(const QPainterPath& path)
{
    QPainterPath snapped = path;
    for (int i = 0; i < snapped.elementCount(); ++i) {
        const QPainterPath::Element e = snapped.elementAt(i);
        snapped.setElementPositionAt(i, std::round(e.x), std::round(e.y));
    }
    return snapped;
}

QRectF RectFrom(const RectL& r)
{
    return QRectF(QPointF(r.left, r.top), QPointF(r.right, r.bottom)).normalized();
}

} // namespace

int PlaybackReport::SkippedCount() const
{
    int count = 0;
    for (const auto& [type, times] : skippedRecords)
        count += times;
    return count;
}

PlaybackReport EmfPlayer::Play(const Metafile& metafile, QPainter& painter, const QRectF& target)
{
    return EmfPlayback(metafile, painter, target).Run();
}

PlaybackReport EmfPlayer::Play(const Metafile& metafile, QPainter& painter, const QRectF& target, const TextSink& sink)
{
    return EmfPlayback(metafile, painter, target, sink ? &sink : nullptr).Run();
}

EmfPlayback::EmfPlayback(const Metafile& metafile, QPainter& painter, const QRectF& target, const TextSink* textSink)
    : metafile_(metafile), painter_(painter), textSink_(textSink)
{
    const EmfHeader& header = metafile.Header();
    const double frameWidth = static_cast<double>(header.rclFrame.right) - header.rclFrame.left;
    const double frameHeight = static_cast<double>(header.rclFrame.bottom) - header.rclFrame.top;
    // The frame (0.01 mm) onto the target, through the reference device's pixel size.
    if (frameWidth != 0 && frameHeight != 0 && header.szlDevice.cx > 0 && header.szlDevice.cy > 0) {
        const double pixelWidthMm = static_cast<double>(header.szlMillimeters.cx) / header.szlDevice.cx;
        const double pixelHeightMm = static_cast<double>(header.szlMillimeters.cy) / header.szlDevice.cy;
        const double sx = target.width() * 100.0 / frameWidth * pixelWidthMm;
        const double sy = target.height() * 100.0 / frameHeight * pixelHeightMm;
        init_ = QTransform(sx, 0, 0, sy, target.left() - target.width() / frameWidth * header.rclFrame.left,
                           target.top() - target.height() / frameHeight * header.rclFrame.top);
    } else {
        init_ = QTransform::fromTranslate(target.left(), target.top());
    }
    // Everything is drawn in the painter's device coordinates, whatever transform the caller set.
    init_ = init_ * painter.transform();
    deviceOrigin_ = painter.transform().map(QPointF(0, 0));
    if (painter.device())
        deviceRect_ = QRect(0, 0, painter.device()->width(), painter.device()->height());
    if (painter.hasClipping()) {
        QPainterPath outer = painter.transform().map(painter.clipPath());
        outer.setFillRule(Qt::WindingFill);
        outerClip_ = ClipFromOutline(outer);
    }
    objects_.resize(std::max<std::size_t>(header.nHandles, 1));
    state_.font = StockFont("System", 16, gdi::FW_BOLD);
}

PlaybackReport EmfPlayback::Run()
{
    painter_.save();
    painter_.setRenderHint(QPainter::TextAntialiasing, true);
    painter_.setRenderHint(QPainter::Antialiasing, false);
    painter_.setRenderHint(QPainter::SmoothPixmapTransform, true);

    EmfRecordReader reader(metafile_.Bytes());
    EmfRecord record;
    while (reader.Next(record)) {
        try {
            if (!pending_.empty() && !IsBlit(record.Type()))
                FlushPendingBlits();
            if (PlayRecord(record))
                ++report_.recordsPlayed;
            else
                ++report_.skippedRecords[record.Type()];
        } catch (const EDamagedRecord&) {
            report_.damaged = true;
            break;
        }
    }
    FlushPendingBlits();
    report_.damaged = report_.damaged || reader.Damaged();
    painter_.restore();
    return report_;
}

bool EmfPlayback::PlayRecord(const EmfRecord& record)
{
    switch (record.Type()) {
    case emr::Header:
    case emr::Eof:
    case emr::GdiComment: // EMF+ and other private data: the EMF records that follow draw the page
        return true;
    default:
        break;
    }
    if (PlayStateRecord(record) || PlayObjectRecord(record) || PlayShapeRecord(record) || PlayPathOrClipRecord(record))
        return true;
    const bool played = PlayTextRecord(record) || PlayBitmapRecord(record);
    // Text clipped to its rectangle narrows the painter's clip, and an alpha blend draws inside a
    // saved painter state that takes the clip back: the next drawing sets it again.
    const std::uint32_t type = record.Type();
    if (type == emr::AlphaBlend || type == emr::PolyTextOutA || type == emr::PolyTextOutW ||
        ((type == emr::ExtTextOutA || type == emr::ExtTextOutW) && (record.U32(52) & gdi::ETO_CLIPPED)) ||
        (type == emr::SmallTextOut && (record.U32(20) & gdi::ETO_CLIPPED)))
        InvalidatePainterClip();
    return played;
}

bool EmfPlayback::PlayStateRecord(const EmfRecord& r)
{
    switch (r.Type()) {
    case emr::SetMapMode: SetMapMode(r.I32(8)); return true;
    case emr::SetWindowOrgEx: state_.windowOrigin = QPointF(r.I32(8), r.I32(12)); return true;
    case emr::SetViewportOrgEx: state_.viewportOrigin = QPointF(r.I32(8), r.I32(12)); return true;
    case emr::SetWindowExtEx:
    case emr::SetViewportExtEx: {
        if (state_.mapMode != gdi::MM_ISOTROPIC && state_.mapMode != gdi::MM_ANISOTROPIC)
            return true;
        const QPointF extent(r.I32(8), r.I32(12));
        if (extent.x() == 0 || extent.y() == 0)
            return true;
        (r.Type() == emr::SetWindowExtEx ? state_.windowExtent : state_.viewportExtent) = extent;
        if (state_.mapMode == gdi::MM_ISOTROPIC)
            FixIsotropic();
        return true;
    }
    case emr::ScaleViewportExtEx:
    case emr::ScaleWindowExtEx: {
        if (state_.mapMode != gdi::MM_ISOTROPIC && state_.mapMode != gdi::MM_ANISOTROPIC)
            return true;
        const double xNum = r.I32(8), xDenom = r.I32(12), yNum = r.I32(16), yDenom = r.I32(20);
        if (xDenom == 0 || yDenom == 0)
            return true;
        QPointF& extent = r.Type() == emr::ScaleViewportExtEx ? state_.viewportExtent : state_.windowExtent;
        const QPointF scaled(std::trunc(extent.x() * xNum / xDenom), std::trunc(extent.y() * yNum / yDenom));
        if (scaled.x() != 0 && scaled.y() != 0)
            extent = scaled;
        if (state_.mapMode == gdi::MM_ISOTROPIC)
            FixIsotropic();
        return true;
    }
    case emr::SetWorldTransform: {
        const QTransform xform = ReadXform(r, 8);
        if (IsFinite(xform) && xform.determinant() != 0)
            state_.world = xform;
        return true;
    }
    case emr::ModifyWorldTransform: {
        const QTransform xform = ReadXform(r, 8);
        if (!IsFinite(xform))
            return true;
        switch (r.U32(32)) {
        case gdi::MWT_IDENTITY: state_.world = QTransform(); break;
        case gdi::MWT_LEFTMULTIPLY: state_.world = xform * state_.world; break;
        case gdi::MWT_RIGHTMULTIPLY: state_.world = state_.world * xform; break;
        case gdi::MWT_SET: state_.world = xform; break;
        default: break;
        }
        return true;
    }
    case emr::SaveDC:
        if (saved_.size() < kMaxSaveDepth)
            saved_.push_back(state_);
        return true;
    case emr::RestoreDC: RestoreDC(r.I32(8)); return true;
    case emr::SetBkMode: state_.backgroundMode = r.I32(8); return true;
    case emr::SetBkColor: state_.backgroundColor = ColorRef(r.U32(8)); return true;
    case emr::SetTextColor: state_.textColor = ColorRef(r.U32(8)); return true;
    case emr::SetTextAlign: state_.textAlign = r.U32(8); return true;
    case emr::SetPolyFillMode: state_.polyFillMode = r.I32(8); return true;
    case emr::SetRop2: state_.rop2 = r.I32(8); return true;
    case emr::SetArcDirection: state_.arcDirection = r.I32(8); return true;
    case emr::SetMiterLimit: state_.miterLimit = r.U32(8); return true;
    case emr::SetBrushOrgEx: state_.brushOrigin = QPointF(r.I32(8), r.I32(12)); return true;
    case emr::MoveToEx: state_.currentPosition = QPointF(r.I32(8), r.I32(12));
        if (inPath_)
            path_.moveTo(LogicalToDevice().map(state_.currentPosition));
        return true;
    // State that changes nothing this player draws.
    case emr::SetStretchBltMode:
    case emr::SetMapperFlags:
    case emr::SetIcmMode:
    case emr::SetColorAdjustment:
    case emr::SetLayout:
    case emr::RealizePalette:
    case emr::SetColorSpace:
    case emr::CreateColorSpace:
    case emr::DeleteColorSpace:
        return true;
    default: return false;
    }
}

void EmfPlayback::SetMapMode(int mode)
{
    if (mode == state_.mapMode && (mode == gdi::MM_ISOTROPIC || mode == gdi::MM_ANISOTROPIC))
        return;
    auto fixed = [&](double unitsPerMmX, double unitsPerMmY) {
        state_.windowExtent = QPointF(std::round(kPlaybackMillimetresX * unitsPerMmX), std::round(kPlaybackMillimetresY * unitsPerMmY));
        state_.viewportExtent = QPointF(kPlaybackPixelsX, -kPlaybackPixelsY);
    };
    switch (mode) {
    case gdi::MM_TEXT:
        state_.windowExtent = state_.viewportExtent = QPointF(1, 1);
        break;
    case gdi::MM_LOMETRIC:
    case gdi::MM_ISOTROPIC: fixed(10, 10); break;
    case gdi::MM_HIMETRIC: fixed(100, 100); break;
    case gdi::MM_LOENGLISH: fixed(100 / 25.4, 100 / 25.4); break;
    case gdi::MM_HIENGLISH: fixed(1000 / 25.4, 1000 / 25.4); break;
    case gdi::MM_TWIPS: fixed(1440 / 25.4, 1440 / 25.4); break;
    case gdi::MM_ANISOTROPIC: break;
    default: return;
    }
    state_.mapMode = mode;
}

// Isotropic mode keeps one unit the same length in x and y: the larger viewport extent shrinks.
void EmfPlayback::FixIsotropic()
{
    const double xdim = std::fabs(state_.viewportExtent.x() * kPlaybackMillimetresX / (kPlaybackPixelsX * state_.windowExtent.x()));
    const double ydim = std::fabs(state_.viewportExtent.y() * kPlaybackMillimetresY / (kPlaybackPixelsY * state_.windowExtent.y()));
    if (xdim > ydim) {
        const double minimum = state_.viewportExtent.x() >= 0 ? 1 : -1;
        state_.viewportExtent.setX(std::floor(state_.viewportExtent.x() * ydim / xdim + 0.5));
        if (state_.viewportExtent.x() == 0)
            state_.viewportExtent.setX(minimum);
    } else if (ydim > 0) {
        const double minimum = state_.viewportExtent.y() >= 0 ? 1 : -1;
        state_.viewportExtent.setY(std::floor(state_.viewportExtent.y() * xdim / ydim + 0.5));
        if (state_.viewportExtent.y() == 0)
            state_.viewportExtent.setY(minimum);
    }
}

void EmfPlayback::RestoreDC(std::int32_t level)
{
    // Negative: that many levels back; positive: back to the state the level-th SaveDC saved.
    const auto depth = static_cast<std::int64_t>(saved_.size());
    const std::int64_t target = level < 0 ? depth + level : static_cast<std::int64_t>(level) - 1;
    if (level == 0 || target < 0 || target >= depth)
        return;
    state_ = saved_[static_cast<std::size_t>(target)];
    saved_.resize(static_cast<std::size_t>(target));
}

// --- Objects ---------------------------------------------------------------------------------

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

// --- Geometry in device pixels ---------------------------------------------------------------

namespace {

// Figures with more elements than this are filled by ScanConvert below rather than by Qt's
// rasteriser, which sorts its edges again on every row and slows down far more than linearly on
// figures with many long edges. Smaller ones are drawn by Qt as they always were.
constexpr int kScanFillElements = 4096;
// Clip outlines combine as outlines (exact, and vector in vector output) up to this size
// together; beyond it they become regions first, as path boolean operations grow faster than
// the outlines do.
constexpr int kMaxOutlineElements = 4096;
// The most points one record may draw: past it the record is counted as skipped.
constexpr std::uint64_t kMaxShapePoints = std::uint64_t{1} << 21;
// Qt's raster engine sets up a region clip with (rows x rectangles) spans at once; a region
// beyond this goes to it as a path, which it scan converts into the spans the region has.
constexpr std::int64_t kMaxRegionClipSpans = std::int64_t{1} << 21;

// The pixel boundary at a device coordinate: a pixel lies past an edge when its centre does, as
// Qt's aliased rasteriser and GDI's rounding of device coordinates both have it. Far-off
// coordinates stop at a bound that keeps every width well inside int.
int PixelBoundary(double v)
{
    constexpr double kFar = 1 << 26;
    if (!(v > -kFar)) // NaN too
        return -static_cast<int>(kFar);
    if (!(v < kFar))
        return static_cast<int>(kFar);
    return static_cast<int>(std::floor(v + 0.5));
}

QRect PixelRect(QPointF a, QPointF b)
{
    const int left = PixelBoundary(std::min(a.x(), b.x())), right = PixelBoundary(std::max(a.x(), b.x()));
    const int top = PixelBoundary(std::min(a.y(), b.y())), bottom = PixelBoundary(std::max(a.y(), b.y()));
    return right > left && bottom > top ? QRect(left, top, right - left, bottom - top) : QRect();
}

// Clip regions reach as far past the device as the device's own size: enough for OffsetClipRgn
// to bring back what it moved away, and a bound on how many rectangles a region can hold.
QRect ClipLimit(const QRect& device)
{
    return device.adjusted(-device.width(), -device.height(), device.width(), device.height());
}

// Combines many regions pairwise, so each rectangle takes part in a logarithmic number of
// combinations instead of one for every rectangle after it.
QRegion CombineMany(std::vector<QRegion> parts, bool exclusive)
{
    if (parts.empty())
        return {};
    while (parts.size() > 1) {
        std::size_t out = 0;
        for (std::size_t i = 0; i < parts.size(); i += 2)
            parts[out++] = i + 1 == parts.size() ? parts[i] : exclusive ? parts[i].xored(parts[i + 1]) : parts[i].united(parts[i + 1]);
        parts.resize(out);
    }
    return parts.front();
}

// The rectangles of a path in device coordinates, with the sense each turns in, when every figure
// of it is an axis-aligned rectangle or encloses nothing; otherwise nothing.
std::optional<std::vector<std::pair<QRect, int>>> PathRectangles(const QPainterPath& path)
{
    std::vector<std::pair<QRect, int>> rects;
    std::vector<QPointF> figure;
    auto finish = [&]() {
        if (figure.size() > 1 && figure.back() == figure.front())
            figure.pop_back();
        if (figure.size() <= 2) { // a point or a line: nothing inside
            figure.clear();
            return true;
        }
        if (figure.size() != 4)
            return false;
        const QPointF a = figure[0], b = figure[1], c = figure[2], d = figure[3];
        const bool across = a.y() == b.y() && b.x() == c.x() && c.y() == d.y() && d.x() == a.x();
        const bool down = a.x() == b.x() && b.y() == c.y() && c.x() == d.x() && d.y() == a.y();
        if (!across && !down)
            return false;
        const double turn = (b.x() - a.x()) * (c.y() - b.y()) - (b.y() - a.y()) * (c.x() - b.x());
        rects.emplace_back(PixelRect(a, c), turn > 0 ? 1 : -1);
        figure.clear();
        return true;
    };
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.isCurveTo() || e.type == QPainterPath::CurveToDataElement)
            return std::nullopt;
        if (e.isMoveTo() && !finish())
            return std::nullopt;
        const QPointF p(e.x, e.y);
        if (figure.empty() || figure.back() != p)
            figure.push_back(p);
    }
    if (!finish())
        return std::nullopt;
    return rects;
}

// The pixels a device path encloses by a fill rule, as a region within `bounds`. Edges cross each
// row where Qt's aliased rasteriser has them cross it, in the same fixed point (26.6 points,
// 16.16 crossings), so both light the same pixels; but each row adds up its crossings instead of
// sorting them, so time is linear in the edges, the rows they cross and the width they span,
// and memory in the edges and the width of `bounds`.
QRegion ScanConvert(const QPainterPath& path, Qt::FillRule rule, const QRect& bounds)
{
    if (bounds.isEmpty())
        return {};
    struct Edge {
        std::int64_t x, slope; // 16.16 crossing, plus half a pixel, on the current row, and its change per row
        int firstRow, endRow, direction;
    };
    // Far-off crossings stop where adding up their steps cannot overflow; they are off the bounds.
    constexpr std::int64_t kFarFixed = std::int64_t{1} << 58, kSteepest = std::int64_t{1} << 38;
    auto clampFixed = [&](double v) { return static_cast<std::int64_t>(std::clamp(v, -double(kFarFixed), double(kFarFixed))); };
    std::vector<Edge> edges;
    const int top = bounds.top(), endRow = bounds.bottom() + 1;
    auto fixed = [](double v) { return static_cast<std::int64_t>(std::floor(std::clamp(v, -1e9, 1e9) * 64 + 0.5)); };
    auto addEdge = [&](QPointF a, QPointF b) {
        if (!std::isfinite(a.x()) || !std::isfinite(b.x()) || !std::isfinite(a.y()) || !std::isfinite(b.y()))
            return;
        std::int64_t ax = fixed(a.x()), ay = fixed(a.y()), bx = fixed(b.x()), by = fixed(b.y());
        int direction = 1;
        if (ay > by) {
            std::swap(ax, bx);
            std::swap(ay, by);
            direction = -1;
        }
        const auto start = static_cast<int>((ay + 32) >> 6);
        const int first = std::max(start, top), end = std::min(static_cast<int>((by - 32) >> 6) + 1, endRow);
        if (first >= end)
            return;
        const std::int64_t x = 32768 + ax * 1024;
        if (bx == ax) {
            edges.push_back({x, 0, first, end, direction});
            return;
        }
        const double slope = static_cast<double>(bx - ax) / static_cast<double>(by - ay);
        const auto slopeFixed = std::clamp(static_cast<std::int64_t>(std::clamp(slope * 65536., -1e15, 1e15)), -kSteepest, kSteepest);
        const std::int64_t offset = std::int64_t{start} * 65536 + 32768 - ay * 1024;
        std::int64_t startX = std::abs(offset) < (std::int64_t{1} << 24) ? x + ((slopeFixed * offset) >> 16)
                                                                        : clampFixed(x + double(slopeFixed) * double(offset) / 65536.);
        // Rows above the bounds are stepped over at once.
        const std::int64_t skipped = first - start;
        startX = skipped < (std::int64_t{1} << 20) ? startX + slopeFixed * skipped : clampFixed(double(startX) + double(slopeFixed) * double(skipped));
        edges.push_back({std::clamp(startX, -kFarFixed, kFarFixed), slopeFixed, first, end, direction});
    };
    auto addFigure = [&](const QPointF* points, std::size_t count) {
        for (std::size_t i = 0; i + 1 < count; ++i)
            addEdge(points[i], points[i + 1]);
        if (count > 2)
            addEdge(points[count - 1], points[0]); // figures are filled closed
    };
    bool curved = false;
    for (int i = 0; i < path.elementCount() && !curved; ++i)
        curved = path.elementAt(i).isCurveTo();
    if (curved) {
        for (const QPolygonF& polygon : path.toSubpathPolygons())
            addFigure(polygon.constData(), static_cast<std::size_t>(polygon.size()));
    } else {
        edges.reserve(static_cast<std::size_t>(path.elementCount()));
        QPointF start, previous;
        int count = 0;
        for (int i = 0; i <= path.elementCount(); ++i) {
            const bool figureEnds = i == path.elementCount() || path.elementAt(i).isMoveTo();
            if (figureEnds && count > 2)
                addEdge(previous, start); // figures are filled closed
            if (i == path.elementCount())
                break;
            const QPointF point(path.elementAt(i).x, path.elementAt(i).y);
            if (figureEnds) {
                start = point;
                count = 0;
            } else {
                addEdge(previous, point);
            }
            previous = point;
            ++count;
        }
    }
    if (edges.empty())
        return {};

    // Edges by the row they start on.
    const int rows = endRow - top;
    std::vector<int> starts(static_cast<std::size_t>(rows) + 1, 0);
    for (const Edge& e : edges)
        ++starts[static_cast<std::size_t>(e.firstRow - top) + 1];
    for (int row = 0; row < rows; ++row)
        starts[static_cast<std::size_t>(row) + 1] += starts[static_cast<std::size_t>(row)];
    std::vector<int> byRow(edges.size());
    {
        std::vector<int> next(starts.begin(), starts.end() - 1);
        for (std::size_t i = 0; i < edges.size(); ++i)
            byRow[static_cast<std::size_t>(next[static_cast<std::size_t>(edges[i].firstRow - top)]++)] = static_cast<int>(i);
    }

    const int left = bounds.left(), width = bounds.width();
    std::vector<int> crossings(static_cast<std::size_t>(width), 0); // winding change at each pixel boundary
    std::vector<Edge> active; // copies, walked in order, row after row
    std::vector<QRect> rects, runs, previous;
    int bandTop = top;
    auto closeBand = [&](int row) {
        for (const QRect& run : previous)
            rects.emplace_back(run.left(), bandTop, run.width(), row - bandTop);
        previous.swap(runs);
        bandTop = row;
    };
    for (int row = top; row < endRow; ++row) {
        const auto rowIndex = static_cast<std::size_t>(row - top);
        for (int k = starts[rowIndex]; k < starts[rowIndex + 1]; ++k)
            active.push_back(edges[static_cast<std::size_t>(byRow[static_cast<std::size_t>(k)])]);
        runs.clear();
        int lowest = width, highest = -1;
        for (std::size_t k = 0; k < active.size();) {
            Edge& e = active[k];
            if (e.endRow <= row) {
                e = active.back();
                active.pop_back();
                continue;
            }
            ++k;
            const std::int64_t x = e.x;
            e.x = std::clamp(e.x + e.slope, -kFarFixed, kFarFixed);
            const std::int64_t boundary = (x >> 16) - left;
            if (boundary >= width)
                continue;
            const int at = static_cast<int>(std::max<std::int64_t>(boundary, 0));
            crossings[static_cast<std::size_t>(at)] += e.direction;
            lowest = std::min(lowest, at);
            highest = std::max(highest, at);
        }
        int winding = 0, runStart = -1;
        for (int x = lowest; x <= highest; ++x) {
            winding += crossings[static_cast<std::size_t>(x)];
            crossings[static_cast<std::size_t>(x)] = 0;
            const bool inside = rule == Qt::OddEvenFill ? (winding & 1) != 0 : winding != 0;
            if (inside && runStart < 0)
                runStart = x;
            else if (!inside && runStart >= 0) {
                runs.emplace_back(left + runStart, row, x - runStart, 1);
                runStart = -1;
            }
        }
        if (runStart >= 0) // inside up to the edge of the bounds
            runs.emplace_back(left + runStart, row, width - runStart, 1);
        bool same = runs.size() == previous.size();
        for (std::size_t i = 0; same && i < runs.size(); ++i)
            same = runs[i].left() == previous[i].left() && runs[i].width() == previous[i].width();
        if (!same)
            closeBand(row);
    }
    runs.clear();
    closeBand(endRow);
    QRegion region;
    region.setRects(rects.data(), static_cast<int>(rects.size()));
    return region;
}

// Points that add nothing once a figure is on whole pixels: repeats of the point before, and
// points inside a straight run. Without them the outline and the pen's way along it are the same.
QPainterPath WithoutRedundantPoints(const QPainterPath& path)
{
    for (int i = 0; i < path.elementCount(); ++i)
        if (path.elementAt(i).isCurveTo())
            return path;
    auto inRun = [](QPointF a, QPointF b, QPointF c) {
        const QPointF u = b - a, v = c - b;
        return u.x() * v.y() - u.y() * v.x() == 0 && u.x() * v.x() + u.y() * v.y() > 0;
    };
    QPainterPath reduced;
    reduced.setFillRule(path.fillRule());
    reduced.reserve(path.elementCount());
    std::vector<QPointF> figure;
    auto flush = [&]() {
        for (std::size_t i = 0; i < figure.size(); ++i) {
            if (i == 0)
                reduced.moveTo(figure[i]);
            else
                reduced.lineTo(figure[i]);
        }
        figure.clear();
    };
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.isMoveTo())
            flush();
        const QPointF p(e.x, e.y);
        if (!figure.empty() && figure.back() == p)
            continue;
        while (figure.size() >= 2 && inRun(figure[figure.size() - 2], figure.back(), p))
            figure.pop_back();
        figure.push_back(p);
    }
    flush();
    return reduced;
}

// A clip area combined with another by a region mode. Regions combine exactly; outlines combine
// as outlines while they are small, and are scan converted to regions when they are not.
ClipArea CombineAreas(const ClipArea& a, const ClipArea& b, int mode, const QRect& limit)
{
    ClipArea result;
    auto regionOf = [&](const ClipArea& area) {
        return area.outline ? ScanConvert(*area.outline, area.outline->fillRule(), limit) : area.region;
    };
    auto sizeOf = [](const ClipArea& area) {
        return area.outline ? static_cast<std::int64_t>(area.outline->elementCount()) : 5 * std::int64_t{area.region.rectCount()};
    };
    if ((a.outline || b.outline) && sizeOf(a) + sizeOf(b) <= kMaxOutlineElements) {
        auto outlineOf = [](const ClipArea& area) {
            if (area.outline)
                return *area.outline;
            QPainterPath outline;
            outline.addRegion(area.region);
            return outline;
        };
        const QPainterPath pa = outlineOf(a), pb = outlineOf(b);
        switch (mode) {
        case gdi::RGN_AND: result.outline = pa.intersected(pb); break;
        case gdi::RGN_OR: result.outline = pa.united(pb); break;
        case gdi::RGN_DIFF: result.outline = pa.subtracted(pb); break;
        case gdi::RGN_XOR: result.outline = pa.united(pb).subtracted(pa.intersected(pb)); break;
        default: result.outline = pb; break;
        }
        return result;
    }
    const QRegion ra = regionOf(a), rb = regionOf(b);
    switch (mode) {
    case gdi::RGN_AND: result.region = ra.intersected(rb); break;
    case gdi::RGN_OR: result.region = ra.united(rb); break;
    case gdi::RGN_DIFF: result.region = ra.subtracted(rb); break;
    case gdi::RGN_XOR: result.region = ra.xored(rb); break;
    default: result.region = rb; break;
    }
    return result;
}

} // namespace

// --- Shapes ----------------------------------------------------------------------------------

std::vector<QPointF> EmfPlayback::ReadPoints(const EmfRecord& r, std::size_t countOffset, std::size_t pointsOffset, bool small) const
{
    const std::uint32_t count = r.U32(countOffset);
    r.Span(pointsOffset, count, small ? 4 : 8); // every point inside the record before anything is allocated
    std::vector<QPointF> points;
    points.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        if (small)
            points.emplace_back(r.I16(pointsOffset + 4 * i), r.I16(pointsOffset + 4 * i + 2));
        else
            points.emplace_back(r.I32(pointsOffset + 8 * i), r.I32(pointsOffset + 8 * i + 4));
    }
    return points;
}

// Figures of consecutive points straight into device coordinates, without a logical copy.
QPainterPath EmfPlayback::DeviceFigures(const EmfRecord& r, std::size_t pointsOffset, const std::vector<std::uint32_t>& counts,
                                        bool small, bool closed) const
{
    const QTransform toDevice = LogicalToDevice();
    std::size_t total = 0;
    for (const std::uint32_t count : counts)
        total += count;
    r.Span(pointsOffset, total, small ? 4 : 8);
    QPainterPath figures;
    figures.reserve(static_cast<int>(total + counts.size()));
    std::size_t at = pointsOffset;
    for (const std::uint32_t count : counts) {
        for (std::uint32_t i = 0; i < count; ++i, at += small ? 4 : 8) {
            const QPointF point = toDevice.map(small ? QPointF(r.I16(at), r.I16(at + 2)) : QPointF(r.I32(at), r.I32(at + 4)));
            if (i == 0)
                figures.moveTo(point);
            else
                figures.lineTo(point);
        }
        if (closed && count > 0)
            figures.closeSubpath();
    }
    return figures;
}

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

void EmfPlayback::FillWithBrush(const QPainterPath& devicePath, const GdiBrush& brush)
{
    if (brush.style == gdi::BS_NULL)
        return;
    painter_.setTransform(QTransform());
    if (brush.style == gdi::BS_HATCHED && state_.backgroundMode == gdi::OPAQUE)
        painter_.fillPath(devicePath, state_.backgroundColor);
    painter_.fillPath(devicePath, MakeBrush(brush));
}

void EmfPlayback::ApplyClip()
{
    painter_.setTransform(QTransform());
    if (appliedClipSerial_ == state_.clipSerial)
        return;
    appliedClipSerial_ = state_.clipSerial;
    // The caller's clip, the meta region and the clip region together.
    std::optional<ClipArea> area = outerClip_;
    for (const std::optional<ClipArea>* part : {&state_.metaClip, &state_.clip}) {
        if (*part)
            area = area ? CombineAreas(*area, **part, gdi::RGN_AND, ClipLimit(deviceRect_)) : **part;
    }
    if (!area) {
        painter_.setClipping(false);
    } else if (area->outline) {
        painter_.setClipPath(*area->outline);
    } else if (static_cast<std::int64_t>(area->region.rectCount()) *
                   std::min(area->region.boundingRect().height(), std::max(deviceRect_.height(), 1)) <=
               kMaxRegionClipSpans) {
        painter_.setClipRegion(area->region);
    } else {
        QPainterPath outline;
        outline.addRegion(area->region);
        painter_.setClipPath(outline);
    }
}

bool EmfPlayback::RasterDevice() const
{
    return painter_.paintEngine() && painter_.paintEngine()->type() == QPaintEngine::Raster;
}

// A device path's inside as a path of the pixel rectangles ScanConvert finds on the device.
QPainterPath EmfPlayback::ScanFilled(const QPainterPath& devicePath, Qt::FillRule rule) const
{
    QPainterPath filled;
    filled.addRegion(ScanConvert(devicePath, rule, deviceRect_));
    return filled;
}

void EmfPlayback::DrawPathInDevice(const QPainterPath& devicePath, bool fill, bool stroke)
{
    if (state_.rop2 == gdi::R2_NOP)
        return;
    ApplyClip();
    QPainterPath path = SnapToPixels(devicePath);
    // Figures of many points lose the points that add nothing on whole pixels; if they stay
    // large on a raster device, this player's scan converter fills them.
    bool large = path.elementCount() > kScanFillElements && RasterDevice();
    if (large) {
        path = WithoutRedundantPoints(path);
        large = path.elementCount() > kScanFillElements;
    }
    path.setFillRule(state_.polyFillMode == gdi::WINDING ? Qt::WindingFill : Qt::OddEvenFill);
    if (fill)
        FillWithBrush(large ? ScanFilled(path, path.fillRule()) : path, state_.brush);
    if (stroke) {
        const QTransform toDevice = LogicalToDevice();
        QPen pen = MakePen(toDevice);
        if (pen.style() != Qt::NoPen) {
            if (state_.rop2 == gdi::R2_WHITE)
                pen.setColor(Qt::white);
            else if (state_.rop2 == gdi::R2_BLACK)
                pen.setColor(Qt::black);
            painter_.setTransform(QTransform());
            const QRectF bounds = path.boundingRect();
            if (pen.isCosmetic() && bounds.width() < 1 && bounds.height() < 1) {
                if (path.elementCount() < 2 || bounds.width() + bounds.height() == 0)
                    return;
                // GDI lights at least the first pixel of a line; Qt draws nothing this short.
                painter_.fillRect(QRectF(std::floor(bounds.left()), std::floor(bounds.top()), 1, 1), pen.color());
            } else if (large && !pen.isCosmetic()) {
                // A wide pen's outline is filled like any other large figure.
                painter_.fillPath(ScanFilled(QPainterPathStroker(pen).createStroke(path), Qt::WindingFill), pen.brush());
            } else {
                painter_.strokePath(path, pen);
            }
        }
    }
}

void EmfPlayback::DrawShape(const QPainterPath& shape, bool fill, bool stroke)
{
    const QPainterPath devicePath = LogicalToDevice().map(shape);
    if (inPath_) {
        path_.addPath(devicePath);
        return;
    }
    DrawPathInDevice(devicePath, fill, stroke);
}

QPainterPath EmfPlayback::ArcPath(const RectL& box, PointL start, PointL end, int kind) const
{
    const QRectF rect = RectFrom(box);
    const QPointF center = rect.center();
    const double rx = std::max(rect.width() / 2, 1e-9), ry = std::max(rect.height() / 2, 1e-9);
    // The arc runs between the radial lines through the two points; Qt measures angles on the
    // ellipse itself, counter-clockwise on the screen.
    auto angleOf = [&](PointL p) { return qRadiansToDegrees(std::atan2(-(p.y - center.y()) / ry, (p.x - center.x()) / rx)); };
    const double a0 = angleOf(start), a1 = angleOf(end);
    double sweep = a1 - a0;
    if (state_.arcDirection == gdi::AD_CLOCKWISE) {
        sweep = std::fmod(sweep, 360.0);
        if (sweep >= 0)
            sweep -= 360.0;
    } else {
        sweep = std::fmod(sweep, 360.0);
        if (sweep <= 0)
            sweep += 360.0;
    }
    QPainterPath path;
    if (kind == kPie) {
        path.moveTo(center);
        path.arcTo(rect, a0, sweep);
    } else {
        path.arcMoveTo(rect, a0);
        path.arcTo(rect, a0, sweep);
    }
    if (kind != kArc)
        path.closeSubpath();
    return path;
}

bool EmfPlayback::PlayShapeRecord(const EmfRecord& r)
{
    switch (r.Type()) {
    case emr::LineTo: {
        const QPointF to(r.I32(8), r.I32(12));
        QPainterPath line;
        line.moveTo(state_.currentPosition);
        line.lineTo(to);
        if (inPath_)
            path_.lineTo(LogicalToDevice().map(to));
        else
            DrawShape(line, false, true);
        state_.currentPosition = to;
        return true;
    }
    case emr::Rectangle:
    case emr::Ellipse: {
        QPainterPath shape;
        const QRectF rect = RectFrom(r.Rect(8));
        if (r.Type() == emr::Rectangle)
            shape.addRect(rect);
        else
            shape.addEllipse(rect);
        DrawShape(shape, true, true);
        return true;
    }
    case emr::RoundRect: {
        QPainterPath shape;
        shape.addRoundedRect(RectFrom(r.Rect(8)), std::fabs(r.I32(24)) / 2.0, std::fabs(r.I32(28)) / 2.0);
        DrawShape(shape, true, true);
        return true;
    }
    case emr::Arc:
    case emr::Chord:
    case emr::Pie: {
        const int kind = r.Type() == emr::Arc ? kArc : r.Type() == emr::Chord ? kChord : kPie;
        DrawShape(ArcPath(r.Rect(8), r.Point(24), r.Point(32), kind), kind != kArc, true);
        return true;
    }
    case emr::ArcTo: {
        QPainterPath arc = ArcPath(r.Rect(8), r.Point(24), r.Point(32), kArc);
        QPainterPath shape;
        shape.moveTo(state_.currentPosition);
        shape.lineTo(arc.pointAtPercent(0));
        shape.connectPath(arc);
        state_.currentPosition = arc.currentPosition();
        DrawShape(shape, false, true);
        return true;
    }
    case emr::AngleArc: {
        const QPointF center(r.I32(8), r.I32(12));
        const double radius = r.U32(16);
        const double start = r.F32(20), sweep = r.F32(24);
        if (!std::isfinite(start) || !std::isfinite(sweep))
            return true;
        const QRectF rect(center.x() - radius, center.y() - radius, 2 * radius, 2 * radius);
        QPainterPath shape;
        shape.moveTo(state_.currentPosition);
        shape.arcTo(rect, start, std::clamp(sweep, -3600.0, 3600.0));
        state_.currentPosition = shape.currentPosition();
        DrawShape(shape, false, true);
        return true;
    }
    case emr::Polyline:
    case emr::Polyline16:
    case emr::Polygon:
    case emr::Polygon16:
    case emr::PolylineTo:
    case emr::PolylineTo16:
    case emr::PolyBezier:
    case emr::PolyBezier16:
    case emr::PolyBezierTo:
    case emr::PolyBezierTo16: {
        const std::uint32_t t = r.Type();
        const bool small = t == emr::Polyline16 || t == emr::Polygon16 || t == emr::PolylineTo16 || t == emr::PolyBezier16 ||
                           t == emr::PolyBezierTo16;
        const bool fromCurrent = t == emr::PolylineTo || t == emr::PolylineTo16 || t == emr::PolyBezierTo || t == emr::PolyBezierTo16;
        const bool bezier = t == emr::PolyBezier || t == emr::PolyBezier16 || t == emr::PolyBezierTo || t == emr::PolyBezierTo16;
        const bool polygon = t == emr::Polygon || t == emr::Polygon16;
        r.Span(28, r.U32(24), small ? 4 : 8); // every point inside the record, or the record is damaged
        if (r.U32(24) > kMaxShapePoints)
            return false;
        if (!bezier && !fromCurrent) {
            const QPainterPath figure = DeviceFigures(r, 28, {r.U32(24)}, small, polygon);
            if (inPath_)
                path_.addPath(figure);
            else if (!figure.isEmpty())
                DrawPathInDevice(figure, polygon, true);
            return true;
        }
        std::vector<QPointF> points = ReadPoints(r, 24, 28, small);
        if (fromCurrent)
            points.insert(points.begin(), state_.currentPosition);
        if (points.empty())
            return true;
        QPainterPath shape;
        shape.moveTo(points[0]);
        if (bezier) {
            for (std::size_t i = 1; i + 2 < points.size(); i += 3)
                shape.cubicTo(points[i], points[i + 1], points[i + 2]);
        } else {
            for (std::size_t i = 1; i < points.size(); ++i)
                shape.lineTo(points[i]);
        }
        if (polygon)
            shape.closeSubpath();
        if (fromCurrent)
            state_.currentPosition = shape.currentPosition();
        if (inPath_ && fromCurrent) {
            // Continue the figure in progress rather than starting a new one.
            const QPainterPath device = LogicalToDevice().map(shape);
            for (int i = 1; i < device.elementCount(); ++i) {
                const auto e = device.elementAt(i);
                if (e.type == QPainterPath::CurveToElement && i + 2 < device.elementCount()) {
                    path_.cubicTo(e, device.elementAt(i + 1), device.elementAt(i + 2));
                    i += 2;
                } else {
                    path_.lineTo(e);
                }
            }
            return true;
        }
        DrawShape(shape, polygon, true);
        return true;
    }
    case emr::PolyPolyline:
    case emr::PolyPolyline16:
    case emr::PolyPolygon:
    case emr::PolyPolygon16: {
        const std::uint32_t t = r.Type();
        const bool small = t == emr::PolyPolyline16 || t == emr::PolyPolygon16;
        const bool polygon = t == emr::PolyPolygon || t == emr::PolyPolygon16;
        const std::uint32_t polygons = r.U32(24);
        const std::uint32_t total = r.U32(28);
        r.Span(32, polygons, 4);
        const std::size_t pointsOffset = 32 + 4 * static_cast<std::size_t>(polygons);
        r.Span(pointsOffset, total, small ? 4 : 8);
        std::vector<std::uint32_t> counts(polygons);
        std::uint64_t index = 0;
        for (std::uint32_t p = 0; p < polygons; ++p) {
            counts[p] = r.U32(32 + 4 * p);
            index += counts[p];
            if (index > total)
                throw EDamagedRecord();
        }
        if (total > kMaxShapePoints)
            return false;
        const QPainterPath figures = DeviceFigures(r, pointsOffset, counts, small, polygon);
        if (inPath_)
            path_.addPath(figures);
        else if (!figures.isEmpty())
            DrawPathInDevice(figures, polygon, true);
        return true;
    }
    case emr::PolyDraw:
    case emr::PolyDraw16: {
        const bool small = r.Type() == emr::PolyDraw16;
        r.Span(28, r.U32(24), small ? 5 : 9); // every point and its type inside the record
        if (r.U32(24) > kMaxShapePoints)
            return false;
        const std::vector<QPointF> points = ReadPoints(r, 24, 28, small);
        const auto types = r.Span(28 + points.size() * (small ? 4 : 8), points.size());
        QPainterPath shape;
        shape.moveTo(state_.currentPosition);
        for (std::size_t i = 0; i < points.size(); ++i) {
            const std::uint8_t type = types[i] & ~gdi::PT_CLOSEFIGURE;
            if (type == gdi::PT_MOVETO)
                shape.moveTo(points[i]);
            else if (type == gdi::PT_BEZIERTO && i + 2 < points.size()) {
                shape.cubicTo(points[i], points[i + 1], points[i + 2]);
                i += 2;
            } else
                shape.lineTo(points[i]);
            if (types[i] & gdi::PT_CLOSEFIGURE)
                shape.closeSubpath();
        }
        state_.currentPosition = shape.currentPosition();
        DrawShape(shape, false, true);
        return true;
    }
    case emr::SetPixelV: {
        const QPointF device = LogicalToDevice().map(QPointF(r.I32(8), r.I32(12)));
        ApplyClip();
        painter_.setTransform(QTransform());
        painter_.fillRect(QRectF(std::floor(device.x()), std::floor(device.y()), 1, 1), ColorRef(r.U32(16)));
        return true;
    }
    case emr::FillRgn:
    case emr::PaintRgn:
    case emr::FrameRgn:
    case emr::InvertRgn: {
        const bool withBrush = r.Type() == emr::FillRgn || r.Type() == emr::FrameRgn;
        const std::size_t dataOffset = r.Type() == emr::FrameRgn ? 40 : withBrush ? 32 : 28;
        const QPainterPath region = LogicalToDevice().map(RegionPath(r, dataOffset, r.U32(24)));
        GdiBrush brush = state_.brush;
        if (withBrush) {
            const std::uint32_t index = r.U32(28);
            if (index & gdi::ENHMETA_STOCK_OBJECT) {
                const GdiBrush saved = state_.brush;
                SelectObject(index);
                brush = state_.brush;
                state_.brush = saved;
            } else if (const GdiObject* object = ObjectAt(index); object && std::holds_alternative<GdiBrush>(*object)) {
                brush = std::get<GdiBrush>(*object);
            }
        }
        ApplyClip();
        if (r.Type() == emr::FrameRgn) {
            const QPointF stroke = QPointF(r.I32(32), r.I32(36));
            const double width = std::max(1.0, std::fabs(stroke.x()) * std::sqrt(std::fabs(LogicalToDevice().determinant())));
            QPainterPathStroker stroker;
            stroker.setWidth(2 * width);
            FillWithBrush(stroker.createStroke(region).intersected(region), brush);
        } else if (r.Type() == emr::InvertRgn) {
            painter_.setTransform(QTransform());
            painter_.setCompositionMode(QPainter::RasterOp_NotDestination);
            painter_.fillPath(region, Qt::black);
            painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
        } else {
            FillWithBrush(region, brush);
        }
        return true;
    }
    case emr::GradientFill: {
        const std::uint32_t vertices = r.U32(24), count = r.U32(28), mode = r.U32(32);
        r.Span(36, vertices, 16);
        auto vertexPoint = [&](std::uint32_t i) { return QPointF(r.I32(36 + 16 * i), r.I32(40 + 16 * i)); };
        auto vertexColor = [&](std::uint32_t i) {
            return QColor(r.U16(44 + 16 * i) >> 8, r.U16(46 + 16 * i) >> 8, r.U16(48 + 16 * i) >> 8);
        };
        const std::size_t meshOffset = 36 + 16 * static_cast<std::size_t>(vertices);
        const QTransform toDevice = LogicalToDevice();
        ApplyClip();
        painter_.setTransform(QTransform());
        for (std::uint32_t i = 0; i < count && i < 65536; ++i) {
            if (mode == gdi::GRADIENT_FILL_TRIANGLE) { // filled with their mean colour
                const std::uint32_t a = r.U32(meshOffset + 12 * i), b = r.U32(meshOffset + 12 * i + 4), c = r.U32(meshOffset + 12 * i + 8);
                if (a >= vertices || b >= vertices || c >= vertices)
                    continue;
                QPainterPath triangle;
                triangle.moveTo(vertexPoint(a));
                triangle.lineTo(vertexPoint(b));
                triangle.lineTo(vertexPoint(c));
                triangle.closeSubpath();
                const QColor ca = vertexColor(a), cb = vertexColor(b), cc = vertexColor(c);
                painter_.fillPath(toDevice.map(triangle), QColor((ca.red() + cb.red() + cc.red()) / 3,
                                                                  (ca.green() + cb.green() + cc.green()) / 3,
                                                                  (ca.blue() + cb.blue() + cc.blue()) / 3));
            } else {
                const std::uint32_t a = r.U32(meshOffset + 8 * i), b = r.U32(meshOffset + 8 * i + 4);
                if (a >= vertices || b >= vertices)
                    continue;
                const QRectF rect = QRectF(vertexPoint(a), vertexPoint(b)).normalized();
                const QPointF from = toDevice.map(vertexPoint(a));
                const QPointF to = toDevice.map(mode == gdi::GRADIENT_FILL_RECT_H ? QPointF(vertexPoint(b).x(), vertexPoint(a).y())
                                                          : QPointF(vertexPoint(a).x(), vertexPoint(b).y()));
                QLinearGradient gradient(from, to);
                gradient.setColorAt(0, vertexColor(a));
                gradient.setColorAt(1, vertexColor(b));
                QPainterPath box;
                box.addRect(rect);
                painter_.fillPath(toDevice.map(box), gradient);
            }
        }
        return true;
    }
    case emr::ExtFloodFill:
        return false;
    default: return false;
    }
}

// --- Paths and clipping ----------------------------------------------------------------------

std::vector<QRectF> EmfPlayback::RegionRects(const EmfRecord& r, std::size_t offset, std::uint32_t size) const
{
    std::vector<QRectF> rects;
    if (size < 32)
        return rects;
    r.Span(offset, size);
    const std::uint32_t count = r.U32(offset + 8);
    const std::uint32_t headerSize = std::max<std::uint32_t>(r.U32(offset), 32);
    r.Span(offset + headerSize, count, 16);
    if (static_cast<std::uint64_t>(headerSize) + 16ull * count > size)
        throw EDamagedRecord();
    rects.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const QRectF rect = RectFrom(r.Rect(offset + headerSize + 16 * i));
        if (!rect.isEmpty())
            rects.push_back(rect);
    }
    return rects;
}

QPainterPath EmfPlayback::RegionPath(const EmfRecord& r, std::size_t offset, std::uint32_t size) const
{
    // Simplifying merges the rectangles into outlines for FrameRgn; its time grows far faster
    // than the rectangles do, so many are left as they are.
    constexpr std::size_t kMaxSimplifiedRects = 256;
    const std::vector<QRectF> rects = RegionRects(r, offset, size);
    QPainterPath region;
    region.reserve(static_cast<int>(5 * rects.size()));
    for (const QRectF& rect : rects)
        region.addRect(rect);
    region.setFillRule(Qt::WindingFill);
    return rects.size() <= kMaxSimplifiedRects ? region.simplified() : region;
}

// A device path as a clip area. Rectangles on whole pixels make a region, by the path's fill
// rule; anything else stays an outline, and a large outline is scan converted to a region.
ClipArea EmfPlayback::ClipFromOutline(const QPainterPath& devicePath) const
{
    const QRect limit = ClipLimit(deviceRect_);
    ClipArea area;
    if (const auto rects = PathRectangles(devicePath)) {
        const bool oddEven = devicePath.fillRule() == Qt::OddEvenFill;
        const bool oneSense = std::all_of(rects->begin(), rects->end(), [&](const auto& rect) { return rect.second == rects->front().second; });
        // Winding rectangles that turn both ways may cancel out, which the scan converter counts.
        if (oddEven || oneSense) {
            std::vector<QRegion> parts;
            parts.reserve(rects->size());
            for (const auto& rect : *rects)
                parts.emplace_back(rect.first & limit);
            area.region = CombineMany(std::move(parts), oddEven);
            return area;
        }
    }
    if (devicePath.elementCount() > kMaxOutlineElements)
        area.region = ScanConvert(devicePath, devicePath.fillRule(), limit);
    else
        area.outline = devicePath;
    return area;
}

// Logical rectangles (right and bottom edges outside) as a clip area of their union.
ClipArea EmfPlayback::ClipFromRects(const std::vector<QRectF>& rects, const QTransform& toDevice) const
{
    const bool keepsAxes = toDevice.isAffine() && ((toDevice.m12() == 0 && toDevice.m21() == 0) || (toDevice.m11() == 0 && toDevice.m22() == 0));
    if (keepsAxes) {
        const QRect limit = ClipLimit(deviceRect_);
        std::vector<QRegion> parts;
        parts.reserve(rects.size());
        for (const QRectF& rect : rects) {
            const QRectF device = toDevice.mapRect(rect);
            parts.emplace_back(PixelRect(device.topLeft(), device.bottomRight()) & limit);
        }
        ClipArea area;
        area.region = CombineMany(std::move(parts), false);
        return area;
    }
    QPainterPath outline;
    outline.reserve(static_cast<int>(5 * rects.size()));
    for (const QRectF& rect : rects)
        outline.addPolygon(toDevice.map(QPolygonF(rect)));
    outline.setFillRule(Qt::WindingFill);
    return ClipFromOutline(outline);
}

void EmfPlayback::CombineClip(const ClipArea& area, int mode)
{
    if (mode < gdi::RGN_AND || mode > gdi::RGN_COPY)
        return;
    if (mode == gdi::RGN_COPY || (mode == gdi::RGN_AND && !state_.clip)) {
        state_.clip = area;
    } else if (!state_.clip) {
        // No clip region is the whole surface: OR leaves it whole, XOR and DIFF cut the area out.
        if (mode == gdi::RGN_OR)
            return;
        ClipArea everything;
        everything.region = QRegion(ClipLimit(deviceRect_));
        state_.clip = CombineAreas(everything, area, gdi::RGN_DIFF, ClipLimit(deviceRect_));
    } else {
        state_.clip = CombineAreas(*state_.clip, area, mode, ClipLimit(deviceRect_));
    }
    state_.clipSerial = ++clipSerials_;
}

// The clip region joins the meta region, which later clip regions cannot reach past, and clipping
// starts over.
void EmfPlayback::SetMetaRegion()
{
    if (!state_.clip)
        return;
    state_.metaClip = state_.metaClip ? CombineAreas(*state_.metaClip, *state_.clip, gdi::RGN_AND, ClipLimit(deviceRect_)) : *state_.clip;
    state_.clip.reset();
    state_.clipSerial = ++clipSerials_;
}

bool EmfPlayback::PlayPathOrClipRecord(const EmfRecord& r)
{
    switch (r.Type()) {
    case emr::BeginPath:
        inPath_ = true;
        path_ = QPainterPath();
        path_.moveTo(LogicalToDevice().map(state_.currentPosition));
        return true;
    case emr::EndPath: inPath_ = false; return true;
    case emr::AbortPath:
        inPath_ = false;
        path_ = QPainterPath();
        return true;
    case emr::CloseFigure:
        if (inPath_)
            path_.closeSubpath();
        return true;
    case emr::FlattenPath: return true;
    case emr::WidenPath: {
        QPainterPathStroker stroker(MakePen(QTransform()));
        const double width = std::fabs(state_.pen.width) * std::sqrt(std::fabs(LogicalToDevice().determinant()));
        stroker.setWidth(std::clamp(std::isfinite(width) ? width : 1.0, 1.0, kMaxDevicePenWidth));
        path_ = stroker.createStroke(path_);
        return true;
    }
    case emr::FillPath:
    case emr::StrokePath:
    case emr::StrokeAndFillPath: {
        if (inPath_)
            return true;
        const bool fill = r.Type() != emr::StrokePath;
        const bool stroke = r.Type() != emr::FillPath;
        QPainterPath path = path_;
        if (fill)
            path.closeSubpath();
        DrawPathInDevice(path, fill, stroke);
        path_ = QPainterPath();
        return true;
    }
    case emr::SelectClipPath:
        if (!inPath_) {
            QPainterPath path = path_;
            path.closeSubpath();
            path.setFillRule(state_.polyFillMode == gdi::WINDING ? Qt::WindingFill : Qt::OddEvenFill);
            CombineClip(ClipFromOutline(path), r.I32(8));
            path_ = QPainterPath();
        }
        return true;
    case emr::IntersectClipRect:
    case emr::ExcludeClipRect:
        CombineClip(ClipFromRects({RectFrom(r.Rect(8))}, LogicalToDevice()),
                    r.Type() == emr::IntersectClipRect ? gdi::RGN_AND : gdi::RGN_DIFF);
        return true;
    case emr::ExtSelectClipRgn: {
        const std::uint32_t size = r.U32(8);
        const int mode = r.I32(12);
        if (size < 32) {
            // No region: RGN_COPY takes the clip region away; the other modes need a region.
            if (mode == gdi::RGN_COPY && state_.clip) {
                state_.clip.reset();
                state_.clipSerial = ++clipSerials_;
            }
            return true;
        }
        // Region data is in the reference device's pixels.
        CombineClip(ClipFromRects(RegionRects(r, 16, size), ReferenceToDevice()), mode);
        return true;
    }
    case emr::OffsetClipRgn:
        if (state_.clip) {
            const QTransform toDevice = LogicalToDevice();
            const QPointF offset = toDevice.map(QPointF(r.I32(8), r.I32(12))) - toDevice.map(QPointF(0, 0));
            if (state_.clip->outline)
                state_.clip->outline->translate(offset);
            else
                state_.clip->region = state_.clip->region.translated(PixelBoundary(offset.x()), PixelBoundary(offset.y())) &
                                      ClipLimit(deviceRect_);
            state_.clipSerial = ++clipSerials_;
        }
        return true;
    case emr::SetMetaRgn: SetMetaRegion(); return true;
    default: return false;
    }
}

} // namespace tarvolo::emf
