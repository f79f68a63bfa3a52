#pragma once

#include "DeviceContextState.h"
#include "EmfPlayer.h"
#include "metafile/EmfRecordReader.h"
#include "GdiObjects.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <optional>
#include <vector>

namespace tarvolo::emf {

// One playback of one metafile onto one painter: the device context state machine, the object
// table and the drawing of each record. Record handlers are spread over EmfPlayback*.cpp by topic.
class EmfPlayback {
public:
    EmfPlayback(const Metafile& metafile, QPainter& painter, const QRectF& target);
    PlaybackReport Run();

private:
    static constexpr std::size_t kMaxSaveDepth = 1024;

    // Dispatch.
    bool PlayRecord(const EmfRecord& record); // false when the record type is skipped
    bool PlayStateRecord(const EmfRecord& record);
    bool PlayObjectRecord(const EmfRecord& record);
    bool PlayShapeRecord(const EmfRecord& record);
    bool PlayPathOrClipRecord(const EmfRecord& record);
    bool PlayTextRecord(const EmfRecord& record);
    bool PlayBitmapRecord(const EmfRecord& record);

    // Coordinates.
    QTransform LogicalToDevice() const { return state_.PageTransform() * init_; }
    QTransform ReferenceToDevice() const { return init_; }
    void SetMapMode(int mode);
    void FixIsotropic();
    void RestoreDC(std::int32_t level);

    // Objects.
    void SelectObject(std::uint32_t index);
    template <typename T> void CreateObject(std::uint32_t index, T object);
    const GdiObject* ObjectAt(std::uint32_t index) const;

    // Drawing in logical coordinates; inside a path bracket the shape goes to the path instead.
    void DrawShape(const QPainterPath& shape, bool fill, bool stroke);
    void DrawPathInDevice(const QPainterPath& devicePath, bool fill, bool stroke);
    QPen MakePen(const QTransform& toDevice) const;
    QBrush MakeBrush(const GdiBrush& brush) const;
    void FillWithBrush(const QPainterPath& devicePath, const GdiBrush& brush);
    void ApplyClip();
    void CombineClip(const QPainterPath& devicePath, int mode);
    QPainterPath ArcPath(const RectL& box, PointL start, PointL end, int kind) const;
    std::vector<QPointF> ReadPoints(const EmfRecord& record, std::size_t countOffset, std::size_t pointsOffset, bool small) const;
    QPainterPath RegionPath(const EmfRecord& record, std::size_t offset, std::uint32_t size) const;

    // Text.
    void DrawText(const EmfRecord& record, std::size_t textOffset, bool wide);
    void DrawTextRun(QPointF reference, const QString& text, const std::vector<double>& dx, std::uint32_t options,
                     std::optional<RectL> rect, bool glyphIndexes);

    // Bitmaps. Blits with raster operations wait in pending_ until it is clear whether they
    // form one of the transparent-bitmap idioms.
    struct PendingBlit {
        QRectF logicalDest;
        QRectF deviceRect;
        QTransform toDevice;
        QImage image;
        std::uint32_t rop;
    };
    void DrawBitmap(const QRectF& logicalDest, const QImage& source, std::uint32_t rop);
    void DrawImageAt(const QRectF& logicalDest, const QImage& image, const QTransform& toDevice);
    void PatternBlit(const QRectF& logicalDest, std::uint32_t rop);
    void ResolvePendingIdioms();
    void FlushPendingBlits();

    const Metafile& metafile_;
    QPainter& painter_;
    QTransform init_;                       // reference device pixels to the painter's device
    std::optional<QPainterPath> outerClip_; // the caller's clip, in device coordinates
    DeviceContextState state_;
    std::vector<DeviceContextState> saved_;
    std::vector<GdiObject> objects_;
    bool inPath_ = false;
    QPainterPath path_; // device coordinates
    std::vector<PendingBlit> pending_;
    PlaybackReport report_;
};

} // namespace tarvolo::emf
