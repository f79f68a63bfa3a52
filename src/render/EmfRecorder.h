#pragma once

#include "metafile/Metafile.h"
#include "ReportCanvas.h"

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
// Pen, brush and font take effect at the next drawing call, which creates and selects the GDI
// objects it needs; equal objects are not created twice.
class EmfRecorder : public ReportCanvas {
public:
    static constexpr int kReferencePixelsX = 1024, kReferencePixelsY = 768;
    static constexpr int kReferenceMillimetresX = 271, kReferenceMillimetresY = 203;

    // A page of widthPixels x heightPixels on the reference device.
    EmfRecorder(int widthPixels, int heightPixels);

    void MoveTo(int x, int y) override;
    void LineTo(int x, int y) override;
    void Rectangle(const QRect& rect) override;
    void FillRect(const QRect& rect) override;
    void Ellipse(const QRect& rect) override;
    void RoundRect(const QRect& rect, int cornerWidth, int cornerHeight) override;
    void Polyline(const QVector<QPoint>& points) override;
    void Polygon(const QVector<QPoint>& points) override;
    void TextOut(int x, int y, const QString& text) override;
    void TextRect(const QRect& rect, int x, int y, const QString& text) override;
    // The pixel width of text in the current font, as the recorded advances add up.
    int TextWidth(const QString& text) override;
    void StretchDraw(const QRect& rect, const QImage& image) override;
    void StretchDraw(const QRect& rect, const Metafile& metafile) override;

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
