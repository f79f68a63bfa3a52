#include "EmfRecorder.h"

#include "render/detail/FontMapper.h"
#include "metafile/GdiConstants.h"
#include "metafile/LittleEndian.h"
#include "PageRenderer.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>

namespace tarvolo::emf {

namespace {

// Canvas pen styles are written into CreatePen records as they are.
static_assert(static_cast<std::uint32_t>(ReportCanvas::PenStyle::Solid) == gdi::PS_SOLID &&
              static_cast<std::uint32_t>(ReportCanvas::PenStyle::Dash) == gdi::PS_DASH &&
              static_cast<std::uint32_t>(ReportCanvas::PenStyle::Dot) == gdi::PS_DOT &&
              static_cast<std::uint32_t>(ReportCanvas::PenStyle::DashDot) == gdi::PS_DASHDOT &&
              static_cast<std::uint32_t>(ReportCanvas::PenStyle::DashDotDot) == gdi::PS_DASHDOTDOT &&
              static_cast<std::uint32_t>(ReportCanvas::PenStyle::Clear) == gdi::PS_NULL);

constexpr int kHeaderSize = 108;
constexpr int kMaxImageSide = 4096;
// Metafiles drawn into a page are recorded as images of about this resolution.
constexpr double kEmbeddedMetafileScale = 3.0;

std::uint32_t ColorRef(const QColor& color)
{
    return static_cast<std::uint32_t>(color.red()) | (static_cast<std::uint32_t>(color.green()) << 8) |
           (static_cast<std::uint32_t>(color.blue()) << 16);
}

bool FitsInt16(const QVector<QPoint>& points)
{
    return std::all_of(points.begin(), points.end(), [](const QPoint& p) {
        return p.x() >= std::numeric_limits<std::int16_t>::min() && p.x() <= std::numeric_limits<std::int16_t>::max() &&
               p.y() >= std::numeric_limits<std::int16_t>::min() && p.y() <= std::numeric_limits<std::int16_t>::max();
    });
}

} // namespace

// Builds one record: its type, a size filled in at the end, and little-endian fields.
class EmfRecorder::RecordWriter {
public:
    explicit RecordWriter(std::uint32_t type) { U32(type).U32(0); }
    RecordWriter& U32(std::uint32_t v)
    {
        for (int shift = 0; shift < 32; shift += 8)
            bytes_.push_back(static_cast<std::uint8_t>(v >> shift));
        return *this;
    }
    RecordWriter& I32(std::int32_t v) { return U32(static_cast<std::uint32_t>(v)); }
    RecordWriter& U16(std::uint16_t v)
    {
        bytes_.push_back(static_cast<std::uint8_t>(v));
        bytes_.push_back(static_cast<std::uint8_t>(v >> 8));
        return *this;
    }
    RecordWriter& U8(std::uint8_t v)
    {
        bytes_.push_back(v);
        return *this;
    }
    RecordWriter& F32(float v)
    {
        std::uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        return U32(bits);
    }
    RecordWriter& Rect(const QRect& r) { return I32(r.left()).I32(r.top()).I32(r.right()).I32(r.bottom()); }
    RecordWriter& Raw(const std::vector<std::uint8_t>& bytes)
    {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        return *this;
    }
    RecordWriter& PadTo4()
    {
        while (bytes_.size() % 4)
            bytes_.push_back(0);
        return *this;
    }
    std::size_t Size() const { return bytes_.size(); }
    std::vector<std::uint8_t> Finished() const
    {
        std::vector<std::uint8_t> bytes = bytes_;
        WriteU32LE(bytes.data() + 4, static_cast<std::uint32_t>(bytes.size()));
        return bytes;
    }

private:
    std::vector<std::uint8_t> bytes_;
};

EmfRecorder::EmfRecorder(int widthPixels, int heightPixels) : width_(widthPixels), height_(heightPixels)
{
    bytes_.resize(kHeaderSize, 0);
    records_ = 1;
}

void EmfRecorder::Append(const RecordWriter& record)
{
    const auto bytes = record.Finished();
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    ++records_;
}

std::uint32_t EmfRecorder::NewHandle()
{
    for (std::uint32_t i = 1; i < handlesInUse_.size(); ++i)
        if (!handlesInUse_[i]) {
            handlesInUse_[i] = true;
            return i;
        }
    handlesInUse_.push_back(true);
    handleHighWater_ = static_cast<std::uint32_t>(handlesInUse_.size());
    return handleHighWater_ - 1;
}

void EmfRecorder::ReleaseHandle(std::uint32_t handle)
{
    if (handle == 0 || (handle & gdi::ENHMETA_STOCK_OBJECT))
        return;
    Append(RecordWriter(emr::DeleteObject).U32(handle));
    handlesInUse_[handle] = false;
}

// Selects handle, deleting the object it replaces: a page keeps one pen, brush and font at a time.
void EmfRecorder::UseObject(std::uint32_t& selected, std::uint32_t handle)
{
    Append(RecordWriter(emr::SelectObject).U32(handle));
    const std::uint32_t previous = selected;
    selected = handle;
    ReleaseHandle(previous);
}

void EmfRecorder::UsePen()
{
    if (penHandle_ != 0 && pen == currentPen_)
        return;
    currentPen_ = pen;
    if (pen.style == PenStyle::Clear) {
        UseObject(penHandle_, gdi::NULL_PEN);
        return;
    }
    const std::uint32_t handle = NewHandle();
    Append(RecordWriter(emr::CreatePen).U32(handle).U32(static_cast<std::uint32_t>(pen.style)).I32(pen.width).I32(0).U32(ColorRef(pen.color)));
    UseObject(penHandle_, handle);
}

void EmfRecorder::UseBrush(bool filled)
{
    if (!filled) {
        if (brushHandle_ != gdi::NULL_BRUSH)
            UseObject(brushHandle_, gdi::NULL_BRUSH);
        return;
    }
    if (brushHandle_ != 0 && brushHandle_ != gdi::NULL_BRUSH && brush == currentBrush_)
        return;
    currentBrush_ = brush;
    if (brush.style == BrushStyle::Clear) {
        if (brushHandle_ != gdi::NULL_BRUSH)
            UseObject(brushHandle_, gdi::NULL_BRUSH);
        return;
    }
    const std::uint32_t handle = NewHandle();
    Append(RecordWriter(emr::CreateBrushIndirect).U32(handle).U32(gdi::BS_SOLID).U32(ColorRef(brush.color)).U32(gdi::HS_HORIZONTAL));
    UseObject(brushHandle_, handle);
}

void EmfRecorder::UseFont()
{
    if (fontHandle_ == 0 || font.face != currentFont_.face || font.height != currentFont_.height || font.bold != currentFont_.bold ||
        font.italic != currentFont_.italic || font.underline != currentFont_.underline) {
        const std::uint32_t handle = NewHandle();
        RecordWriter record(emr::ExtCreateFontIndirectW);
        record.U32(handle).I32(font.height).I32(0).I32(0).I32(0).I32(font.bold ? gdi::FW_BOLD : gdi::FW_NORMAL);
        record.U8(font.italic).U8(font.underline).U8(0).U8(gdi::DEFAULT_CHARSET).U8(gdi::OUT_DEFAULT_PRECIS);
        record.U8(gdi::CLIP_DEFAULT_PRECIS).U8(gdi::DEFAULT_QUALITY).U8(gdi::DEFAULT_PITCH);
        for (int i = 0; i < 32; ++i)
            record.U16(i < font.face.size() && i < 31 ? font.face.at(i).unicode() : 0);
        Append(record);
        UseObject(fontHandle_, handle);
    }
    currentFont_ = font;
    UseTextColor();
}

void EmfRecorder::UseTextColor()
{
    if (!textSetUp_) {
        Append(RecordWriter(emr::SetTextAlign).U32(gdi::TA_LEFT | gdi::TA_TOP | gdi::TA_NOUPDATECP));
        Append(RecordWriter(emr::SetBkMode).U32(gdi::TRANSPARENT));
        Append(RecordWriter(emr::SetTextColor).U32(ColorRef(font.color)));
        currentTextColor_ = font.color;
        textSetUp_ = true;
    } else if (font.color != currentTextColor_) {
        Append(RecordWriter(emr::SetTextColor).U32(ColorRef(font.color)));
        currentTextColor_ = font.color;
    }
}

void EmfRecorder::IncludeInBounds(const QRect& deviceRect)
{
    bounds_ = bounds_.isNull() ? deviceRect : bounds_.united(deviceRect);
}

void EmfRecorder::MoveTo(int x, int y)
{
    Append(RecordWriter(emr::MoveToEx).I32(x).I32(y));
    position_ = QPoint(x, y);
}

void EmfRecorder::LineTo(int x, int y)
{
    UsePen();
    Append(RecordWriter(emr::LineTo).I32(x).I32(y));
    IncludeInBounds(QRect(position_, QPoint(x, y)).normalized().adjusted(-pen.width / 2, -pen.width / 2, pen.width / 2, pen.width / 2));
    position_ = QPoint(x, y);
}

void EmfRecorder::Rectangle(const QRect& rect)
{
    UsePen();
    UseBrush(true);
    Append(RecordWriter(emr::Rectangle).I32(rect.left()).I32(rect.top()).I32(rect.right() + 1).I32(rect.bottom() + 1));
    IncludeInBounds(rect);
}

void EmfRecorder::FillRect(const QRect& rect)
{
    UseBrush(true);
    RecordWriter record(emr::BitBlt);
    record.Rect(rect).I32(rect.left()).I32(rect.top()).I32(rect.width()).I32(rect.height()).U32(gdi::PATCOPY).I32(0).I32(0);
    record.F32(1).F32(0).F32(0).F32(1).F32(0).F32(0).U32(0).U32(0).U32(0).U32(0).U32(0).U32(0);
    Append(record);
    IncludeInBounds(rect);
}

void EmfRecorder::Ellipse(const QRect& rect)
{
    UsePen();
    UseBrush(true);
    Append(RecordWriter(emr::Ellipse).I32(rect.left()).I32(rect.top()).I32(rect.right() + 1).I32(rect.bottom() + 1));
    IncludeInBounds(rect);
}

void EmfRecorder::RoundRect(const QRect& rect, int cornerWidth, int cornerHeight)
{
    UsePen();
    UseBrush(true);
    Append(RecordWriter(emr::RoundRect).I32(rect.left()).I32(rect.top()).I32(rect.right() + 1).I32(rect.bottom() + 1).I32(cornerWidth).I32(cornerHeight));
    IncludeInBounds(rect);
}

void EmfRecorder::Polyline(const QVector<QPoint>& points)
{
    if (points.isEmpty())
        return;
    UsePen();
    WritePoints(emr::Polyline, emr::Polyline16, points);
}

void EmfRecorder::Polygon(const QVector<QPoint>& points)
{
    if (points.isEmpty())
        return;
    UsePen();
    UseBrush(true);
    WritePoints(emr::Polygon, emr::Polygon16, points);
}

// A point-list record, in its 16-bit form whenever every coordinate fits.
void EmfRecorder::WritePoints(std::uint32_t type, std::uint32_t smallType, const QVector<QPoint>& points)
{
    const QRect box = QPolygon(points).boundingRect();
    const bool small = FitsInt16(points);
    RecordWriter record(small ? smallType : type);
    record.Rect(box).U32(static_cast<std::uint32_t>(points.size()));
    for (const QPoint& p : points) {
        if (small)
            record.U16(static_cast<std::uint16_t>(p.x())).U16(static_cast<std::uint16_t>(p.y()));
        else
            record.I32(p.x()).I32(p.y());
    }
    Append(record);
    IncludeInBounds(box);
}

// Whole-pixel advances whose running sum follows the font's exact advances.
std::vector<std::int32_t> EmfRecorder::Advances(const QString& text)
{
    FontMapper& fonts = FontMapper::Instance();
    GdiFont logical;
    logical.faceName = font.face;
    logical.weight = font.bold ? gdi::FW_BOLD : gdi::FW_NORMAL;
    logical.italic = font.italic;
    const double em = fonts.EmPixels(logical, font.height, 1.0);
    const QRawFont raw = fonts.Font(logical, std::max(em, 1.0));
    std::vector<std::int32_t> advances;
    advances.reserve(static_cast<std::size_t>(text.size()));
    double exact = 0;
    long rounded = 0;
    for (QChar c : text) {
        const auto glyphs = raw.glyphIndexesForString(QString(c));
        if (!glyphs.isEmpty())
            exact += raw.advancesForGlyphIndexes(glyphs).value(0).x();
        const long next = std::lround(exact);
        advances.push_back(static_cast<std::int32_t>(next - rounded));
        rounded = next;
    }
    return advances;
}

int EmfRecorder::TextWidth(const QString& text)
{
    const auto advances = Advances(text);
    return std::accumulate(advances.begin(), advances.end(), 0);
}

void EmfRecorder::WriteText(int x, int y, const QString& text, const QRect* clip)
{
    if (text.isEmpty())
        return;
    UseFont();
    const std::vector<std::int32_t> dx = Advances(text);
    const int width = std::accumulate(dx.begin(), dx.end(), 0);
    const QRect box(x, y, std::max(width, 1), std::abs(font.height) * 5 / 4 + 1);
    const QRect textClip = clip ? *clip : QRect();

    const auto count = static_cast<std::uint32_t>(text.size());
    const std::uint32_t stringOffset = 76;
    const std::uint32_t stringBytes = (2 * count + 3) & ~3u;
    const std::uint32_t options = clip ? std::uint32_t{gdi::ETO_CLIPPED} : 0;
    RecordWriter record(emr::ExtTextOutW);
    record.Rect(clip ? box.intersected(*clip) : box).U32(gdi::GM_COMPATIBLE).F32(0).F32(0);
    record.I32(x).I32(y).U32(count).U32(stringOffset).U32(options);
    if (clip)
        record.I32(textClip.left()).I32(textClip.top()).I32(textClip.right() + 1).I32(textClip.bottom() + 1);
    else
        record.I32(0).I32(0).I32(-1).I32(-1);
    record.U32(stringOffset + stringBytes);
    for (QChar c : text)
        record.U16(c.unicode());
    record.PadTo4();
    for (std::int32_t advance : dx)
        record.I32(advance);
    Append(record);
    IncludeInBounds(clip ? box.intersected(*clip) : box);
}

void EmfRecorder::TextOut(int x, int y, const QString& text)
{
    WriteText(x, y, text, nullptr);
}

void EmfRecorder::TextRect(const QRect& rect, int x, int y, const QString& text)
{
    WriteText(x, y, text, &rect);
}

void EmfRecorder::WriteImage(const QRect& rect, const QImage& source)
{
    if (source.isNull() || rect.isEmpty())
        return;
    QImage image = source;
    if (image.width() > kMaxImageSide || image.height() > kMaxImageSide)
        image = image.scaled(kMaxImageSide, kMaxImageSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    // Transparent parts are laid on white, as on paper.
    QImage opaque(image.size(), QImage::Format_RGB888);
    opaque.fill(Qt::white);
    {
        QPainter painter(&opaque);
        painter.drawImage(0, 0, image);
    }
    const int stride = (opaque.width() * 3 + 3) & ~3;
    std::vector<std::uint8_t> bits(static_cast<std::size_t>(stride) * opaque.height(), 0);
    for (int row = 0; row < opaque.height(); ++row) {
        const std::uint8_t* src = opaque.constScanLine(opaque.height() - 1 - row);
        std::uint8_t* dst = bits.data() + static_cast<std::size_t>(row) * stride;
        for (int x = 0; x < opaque.width(); ++x) {
            dst[3 * x] = src[3 * x + 2];
            dst[3 * x + 1] = src[3 * x + 1];
            dst[3 * x + 2] = src[3 * x];
        }
    }
    RecordWriter record(emr::StretchDIBits);
    record.Rect(rect).I32(rect.left()).I32(rect.top()).I32(0).I32(0).I32(opaque.width()).I32(opaque.height());
    record.U32(80).U32(40).U32(120).U32(static_cast<std::uint32_t>(bits.size())).U32(gdi::DIB_RGB_COLORS).U32(gdi::SRCCOPY);
    record.I32(rect.width()).I32(rect.height());
    record.U32(40).I32(opaque.width()).I32(opaque.height()).U16(1).U16(24).U32(gdi::BI_RGB).U32(static_cast<std::uint32_t>(bits.size()));
    record.I32(3780).I32(3780).U32(0).U32(0);
    record.Raw(bits);
    Append(record);
    IncludeInBounds(rect);
}

void EmfRecorder::StretchDraw(const QRect& rect, const QImage& image)
{
    WriteImage(rect, image);
}

void EmfRecorder::StretchDraw(const QRect& rect, const Metafile& metafile)
{
    const QSize size(std::clamp(static_cast<int>(rect.width() * kEmbeddedMetafileScale), 1, kMaxImageSide),
                     std::clamp(static_cast<int>(rect.height() * kEmbeddedMetafileScale), 1, kMaxImageSide));
    WriteImage(rect, PageRenderer::RenderImage(metafile, size));
}

Metafile EmfRecorder::Finish()
{
    Append(RecordWriter(emr::Eof).U32(0).U32(16).U32(20));
    std::uint8_t* h = bytes_.data();
    const QRect bounds = bounds_.isNull() ? QRect(QPoint(0, 0), QPoint(-1, -1)) : bounds_;
    WriteU32LE(h, emr::Header);
    WriteU32LE(h + 4, kHeaderSize);
    WriteI32LE(h + 8, bounds.left());
    WriteI32LE(h + 12, bounds.top());
    WriteI32LE(h + 16, bounds.right());
    WriteI32LE(h + 20, bounds.bottom());
    // The frame in 0.01 mm is the page in the reference device's pixels.
    WriteI32LE(h + 24, 0);
    WriteI32LE(h + 28, 0);
    WriteI32LE(h + 32, static_cast<std::int32_t>(std::lround(width_ * 100.0 * kReferenceMillimetresX / kReferencePixelsX)));
    WriteI32LE(h + 36, static_cast<std::int32_t>(std::lround(height_ * 100.0 * kReferenceMillimetresY / kReferencePixelsY)));
    WriteU32LE(h + 40, kEmfSignature);
    WriteU32LE(h + 44, 0x10000);
    WriteU32LE(h + 48, static_cast<std::uint32_t>(bytes_.size()));
    WriteU32LE(h + 52, records_);
    WriteU16LE(h + 56, static_cast<std::uint16_t>(handleHighWater_));
    WriteI32LE(h + 72, kReferencePixelsX);
    WriteI32LE(h + 76, kReferencePixelsY);
    WriteI32LE(h + 80, kReferenceMillimetresX);
    WriteI32LE(h + 84, kReferenceMillimetresY);
    WriteI32LE(h + 100, kReferenceMillimetresX * 1000);
    WriteI32LE(h + 104, kReferenceMillimetresY * 1000);
    return Metafile(bytes_);
}

} // namespace tarvolo::emf
