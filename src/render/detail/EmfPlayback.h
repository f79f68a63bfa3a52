#pragma once

#include "metafile/EmfRecordReader.h"
#include "render/EmfPlayer.h"
#include "render/detail/DeviceContextState.h"
#include "render/detail/DibDecoder.h"
#include "render/detail/GdiObjects.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>

#include <optional>
#include <vector>

namespace tarvolo::emf {

// A COLORREF as records store it: red in the low byte.
inline QColor ColorRef(std::uint32_t value)
{
    return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF), static_cast<int>((value >> 16) & 0xFF));
}

inline QRectF RectFrom(const RectL& r)
{
    return QRectF(QPointF(r.left, r.top), QPointF(r.right, r.bottom)).normalized();
}

// One playback of one metafile onto one painter: the device context state machine, the object
// table and the drawing of each record. Record handlers are spread over EmfPlayback*.cpp by topic;
// the geometry of device areas they share is in Areas.
class EmfPlayback {
public:
    EmfPlayback(const Metafile& metafile, QPainter& painter, const QRectF& target, const TextSink* textSink = nullptr);
    PlaybackReport Run();

private:
    static constexpr std::size_t kMaxSaveDepth = 1024;
    // The widest pen Qt draws; wider ones are damage, not drawing, and are drawn one pixel wide.
    static constexpr double kMaxDevicePenWidth = 32767;

    // Dispatch and the device context's state (EmfPlaybackState.cpp).
    bool PlayRecord(const EmfRecord& record); // false when the record type is skipped
    bool PlayStateRecord(const EmfRecord& record);
    QTransform LogicalToDevice() const { return state_.PageTransform() * init_; }
    QTransform ReferenceToDevice() const { return init_; }
    void SetMapMode(int mode);
    void FixIsotropic();
    void RestoreDC(std::int32_t level);

    // The object table, and pens and brushes as Qt draws them (EmfPlaybackObjects.cpp).
    bool PlayObjectRecord(const EmfRecord& record);
    void SelectObject(std::uint32_t index);
    template <typename T> void CreateObject(std::uint32_t index, T object);
    const GdiObject* ObjectAt(std::uint32_t index) const;
    QPen MakePen(const QTransform& toDevice) const;
    QBrush MakeBrush(const GdiBrush& brush) const;
    QBrush BrushPattern(const GdiBrush& brush) const;

    // Shapes and paths (EmfPlaybackShapes.cpp). Drawing is in logical coordinates; inside a path
    // bracket the shape goes to the path instead.
    bool PlayShapeRecord(const EmfRecord& record);
    bool PlayPathRecord(const EmfRecord& record);
    void DrawShape(const QPainterPath& shape, bool fill, bool stroke);
    void DrawPathInDevice(const QPainterPath& devicePath, bool fill, bool stroke);
    void FillWithBrush(const QPainterPath& devicePath, const GdiBrush& brush);
    bool RasterDevice() const;
    QPainterPath ScanFilled(const QPainterPath& devicePath, Qt::FillRule rule) const;
    QPainterPath ArcPath(const RectL& box, PointL start, PointL end, int kind) const;
    std::vector<QPointF> ReadPoints(const EmfRecord& record, std::size_t countOffset, std::size_t pointsOffset, bool small) const;
    QPainterPath DeviceFigures(const EmfRecord& record, std::size_t pointsOffset, const std::vector<std::uint32_t>& counts,
                               bool small, bool closed) const;

    // Clipping and region data (EmfPlaybackClipping.cpp). The painter's clip is set by ApplyClip,
    // and only when the area changed since.
    bool PlayClipRecord(const EmfRecord& record);
    void ApplyClip();
    void InvalidatePainterClip() { appliedClipSerial_ = kNoClipSerial; }
    void CombineClip(const ClipArea& area, int mode);
    void SetMetaRegion();
    std::vector<QRectF> RegionRects(const EmfRecord& record, std::size_t offset, std::uint32_t size) const;
    QPainterPath RegionPath(const EmfRecord& record, std::size_t offset, std::uint32_t size) const;

    // Text (EmfPlaybackText.cpp).
    bool PlayTextRecord(const EmfRecord& record);
    void DrawText(const EmfRecord& record, std::size_t textOffset, bool wide);
    void DrawTextRun(QPointF reference, const QString& text, const std::vector<double>& dx, std::uint32_t options,
                     std::optional<RectL> rect, bool glyphIndexes);
    void ReportText(const QString& shown, const QVector<QPointF>& positions, const std::vector<double>& advances,
                    const QTransform& frame, double stretch, const QRawFont& raw, QPointF start, double em) const;

    // Bitmaps (EmfPlaybackBitmaps.cpp). Only the part of a bitmap that shows is decoded, at about
    // the size it shows at: `image` holds that part and `whole` says where the blit's whole source
    // rectangle lies in its pixels, so that drawing `whole` onto the destination puts the part in
    // its place.
    struct BitmapPart {
        QImage image; // null when nothing of the bitmap shows
        QRectF whole;
        bool skipped = false; // damaged, or beyond the playback's pixel budget
    };
    struct StoredBitmap {
        std::uint32_t offBmi, cbBmi, offBits, cbBits;
    };
    bool PlayBitmapRecord(const EmfRecord& record);
    BitmapPart DecodeShownPart(const EmfRecord& record, const StoredBitmap& bitmap, const QRectF& source, bool dibRows,
                               const QRectF& logicalDest, DibDecoder::Alpha alpha = DibDecoder::Alpha::Ignore);
    DibDecoder& Decoder();
    // Blits with raster operations wait in pending_ until it is clear whether they form one of
    // the transparent-bitmap idioms; no more wait than an idiom can use.
    struct PendingBlit {
        QRectF logicalDest;
        QRectF deviceRect;
        QTransform toDevice;
        QImage image;
        QRectF whole;
        std::uint32_t rop;
    };
    void DrawBitmap(const QRectF& logicalDest, const BitmapPart& source, std::uint32_t rop);
    void DrawImageAt(const QRectF& logicalDest, const QImage& image, const QRectF& whole, const QTransform& toDevice);
    void PatternBlit(const QRectF& logicalDest, std::uint32_t rop);
    void ResolvePendingIdioms();
    void FlushPendingBlits(std::size_t keep = 0);

    const Metafile& metafile_;
    QPainter& painter_;
    const TextSink* textSink_; // null when nobody asks for the text
    static constexpr std::uint64_t kNoClipSerial = ~std::uint64_t{0};
    QTransform init_;                    // reference device pixels to the painter's device
    QRect deviceRect_;                   // the painter's device, in its pixels
    QPointF deviceOrigin_;               // where the caller's origin lies on the device: a tile's offset
    std::optional<ClipArea> outerClip_;  // the caller's clip, in device coordinates
    std::uint64_t clipSerials_ = 0;      // the last serial number a clip change took
    std::uint64_t appliedClipSerial_ = kNoClipSerial; // the clip the painter has now
    DeviceContextState state_;
    std::vector<DeviceContextState> saved_;
    std::vector<GdiObject> objects_;
    bool inPath_ = false;
    QPainterPath path_; // device coordinates
    std::vector<PendingBlit> pending_;
    std::optional<DibDecoder> decoder_;  // made at the first bitmap, with a budget for this painter's device
    // Pattern brushes are kept while the playback lasts, so their tiles have a budget of their own.
    std::int64_t patternPixelsLeft_ = std::int64_t{1} << 22;
    PlaybackReport report_;
};

} // namespace tarvolo::emf
