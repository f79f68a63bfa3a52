#pragma once

#include "Metafile.h"

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QVector>

#include <cstdint>
#include <map>
#include <vector>

namespace tarvolo::emf {

// A drawing canvas that records an enhanced metafile, with the screen as reference device: a
// 96-dpi display of 1024 x 768 pixels on 271 x 203 mm. Coordinates are that device's pixels.
// Pen, brush and font are set as properties and take effect at the next drawing call, which
// creates and selects the GDI objects it needs; equal objects are not created twice.
class EmfRecorder {
public:
    enum class PenStyle : std::uint32_t { Solid = 0, Dash = 1, Dot = 2, DashDot = 3, DashDotDot = 4, Clear = 5 };
    enum class BrushStyle { Solid, Clear };

    struct Pen {
        QColor color = Qt::black;
        int width = 1;
        PenStyle style = PenStyle::Solid;
        bool operator==(const Pen&) const = default;
    };
    struct Brush {
        QColor color = Qt::white;
        BrushStyle style = BrushStyle::Solid;
        bool operator==(const Brush&) const = default;
    };
    struct Font {
        QString face = "Arial";
        int height = -13; // pixels; negative is the character height, positive the cell height
        bool bold = false;
        bool italic = false;
        bool underline = false;
        QColor color = Qt::black;
        bool operator==(const Font&) const = default;
    };

    static constexpr int kReferencePixelsX = 1024, kReferencePixelsY = 768;
    static constexpr int kReferenceMillimetresX = 271, kReferenceMillimetresY = 203;

    // A page of widthPixels x heightPixels on the reference device.
    EmfRecorder(int widthPixels, int heightPixels);

    Pen pen;
    Brush brush;
    Font font;

    void MoveTo(int x, int y);
    void LineTo(int x, int y);
    void Rectangle(const QRect& rect);   // outlined with the pen, filled with the brush
    void FillRect(const QRect& rect);    // the brush only
    void Ellipse(const QRect& rect);
    void RoundRect(const QRect& rect, int cornerWidth, int cornerHeight);
    void Polyline(const QVector<QPoint>& points);
    void Polygon(const QVector<QPoint>& points);
    // Text with its top-left corner at (x, y), in the font's colour on a transparent background.
    void TextOut(int x, int y, const QString& text);
    // Text at (x, y) clipped to rect.
    void TextRect(const QRect& rect, int x, int y, const QString& text);
    // The pixel width of text in the current font, as the recorded advances add up.
    int TextWidth(const QString& text);
    void StretchDraw(const QRect& rect, const QImage& image);
    void StretchDraw(const QRect& rect, const Metafile& metafile);

    // Ends the recording: the header gets its bounds, sizes and counts, and the bytes become a metafile.
    Metafile Finish();

private:
    class RecordWriter;

    void Append(const RecordWriter& record);
    void UseObject(std::uint32_t& selected, std::uint32_t handle);
    std::uint32_t NewHandle();
    void ReleaseHandle(std::uint32_t handle);
    void UsePen();
    void UseBrush(bool filled);
    void UseFont();
    void UseTextColor();
    void IncludeInBounds(const QRect& deviceRect);
    std::vector<std::int32_t> Advances(const QString& text);
    void WriteText(int x, int y, const QString& text, const QRect* clip);
    void WriteImage(const QRect& rect, const QImage& image);
    void WritePoints(std::uint32_t type, std::uint32_t smallType, const QVector<QPoint>& points);

    int width_;
    int height_;
    std::vector<std::uint8_t> bytes_;
    std::uint32_t records_ = 0;
    QRect bounds_;
    std::vector<bool> handlesInUse_{true}; // handle 0 is the metafile itself
    std::uint32_t handleHighWater_ = 1;

    std::uint32_t penHandle_ = 0, brushHandle_ = 0, fontHandle_ = 0;
    Pen currentPen_;
    Brush currentBrush_;
    Font currentFont_;
    bool nullBrushSelected_ = false;
    QColor currentTextColor_ = Qt::black;
    bool textSetUp_ = false;
    QPoint position_;
};

} // namespace tarvolo::emf
